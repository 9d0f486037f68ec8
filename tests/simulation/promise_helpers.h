// What the promise checks share: the resets' effects on the stand-in and
// the data folder, and the schedule's rows as text.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "schedule/grid_layout.h"
#include "schedule/schedule.h"
#include "simulation/world.h"

namespace hw::simulation::promises {

namespace p = platform;

inline constexpr std::uint64_t kMinute = 60000;
// Windows' own threshold for a hung window; a probe a poll can be off by one poll.
inline constexpr std::uint64_t kHungMs = 5000;

struct ItemEffect {
    const char* item;
    const char* file;  // a data file Harrowatch deletes itself, or null
    int standin::Effects::*count;
};
inline const ItemEffect kItemEffects[] = {
    {"Store Inventory", nullptr, &standin::Effects::storeResets},
    {"Confinement", nullptr, &standin::Effects::confinementResets},
    {"Thandrel's Quests", nullptr, &standin::Effects::storylineResets},
    {"Guild Master Log", nullptr, &standin::Effects::guildLogClears},
    {"Transaction List", nullptr, &standin::Effects::transactionDeletes},
    {"Public Messages", nullptr, &standin::Effects::messageDeletes},
    {"Hall of Records", "KALTORHallInfo.KLD", nullptr},
    {"Guild Crest", "KALTORGuildMasters.KLD", nullptr},
    {"Server Monsters", "KALTORServerMonsters.KLD", nullptr},
};

static_assert(std::size(kItemEffects) == Promises::kItems);

inline p::Pid PidIn(const std::string& text) {
    const size_t at = text.find("process id ");
    return at == std::string::npos ? 0 : static_cast<p::Pid>(std::strtoull(text.c_str() + at + 11, nullptr, 10));
}

inline std::vector<std::string> GridRows(ui::GridModel& g, int dataRows, bool withFreqId) {
    std::vector<std::string> rows;
    for (int r = 1; r <= dataRows && r < g.Rows(); ++r)
        rows.push_back(g.TextMatrix(r, schedule::kColName) + "|" +
                       g.TextMatrix(r, withFreqId ? schedule::kColFreqId : schedule::kColFreq) + "|" +
                       g.TextMatrix(r, schedule::kColNextTime));
    return rows;
}

inline std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : ", ") + x;
    return s.empty() ? "(none)" : s;
}

}  // namespace hw::simulation::promises
