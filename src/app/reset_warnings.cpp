#include "app/reset_warnings.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/datetime.h"
#include "common/text.h"
#include "settings/registry.h"
#include "settings/settings.h"

namespace hw::app {

namespace {
std::int64_t MinuteOf(const schedule::DateTime& t) {
    return datetime::DaysFromCivil(t.year, t.month, t.day) * 1440 + t.hour * 60 + t.minute;
}

settings::cRegistry Warned(platform::Desktop& d) { return settings::MachineKey(d, kWarnedKey); }
}  // namespace

std::string WarningText(const std::string& pattern, int minutes) {
    static constexpr std::string_view kField = "{minutes}", kPlural = " minutes";
    const std::string n = std::to_string(minutes);
    std::string text;
    size_t from = 0;
    for (size_t p = pattern.find(kField); p != std::string::npos; p = pattern.find(kField, from)) {
        text.append(pattern, from, p - from);
        text += n;
        from = p + kField.size();
        // "1 minutes" said as "1 minute", only where the number is ours.
        if (minutes == 1 && pattern.compare(from, kPlural.size(), kPlural) == 0) {
            text += " minute";
            from += kPlural.size();
        }
    }
    text.append(pattern, from);
    return text;
}

void ResetWarnings::Keep(std::exception_ptr failure) {
    if (!failed_) failed_ = std::move(failure);
}

bool ResetWarnings::Sent(const std::string& key) {
    if (sent_.contains(key)) return true;
    settings::cRegistry reg = Warned(d_);
    reg.SetValueKey(key);
    return reg.ValueExists();
}

void ResetWarnings::MarkSent(const std::string& key, std::int64_t dueMinute) {
    sent_[key] = dueMinute;
    unrecorded_.erase(key);
    try {
        settings::cRegistry reg = Warned(d_);
        reg.SetValueKey(key);
        reg.SetValueType(platform::reg::kDword);
        reg.SetValue(std::int32_t{1});
    } catch (...) {
        Keep(std::current_exception());
    }
}

bool ResetWarnings::Forget(const std::string& key) {
    try {
        settings::cRegistry reg = Warned(d_);
        reg.SetValueKey(key);
        if (reg.ValueExists()) reg.DeleteValue();
        return true;
    } catch (...) {
        Keep(std::current_exception());
        return false;
    }
}

void ResetWarnings::ForgetPast(std::int64_t nowMinute) {
    std::erase_if(sent_, [&](const auto& s) { return s.second < nowMinute - 1440; });
    settings::cRegistry reg = Warned(d_);
    if (!reg.KeyExists()) return;
    std::vector<std::string> names;
    std::int32_t count = 0;
    reg.EnumerateValues(names, count);
    for (std::int32_t i = 1; i <= count; ++i) {
        // "item|next time|minutes": the due time is the middle field.
        const std::vector<std::string> f = text::Split(names[static_cast<size_t>(i)], "|");
        const auto due = f.size() == 3 ? schedule::ParseDateTime(f[1]) : std::nullopt;
        if (due && MinuteOf(*due) >= nowMinute) continue;
        try {
            reg.SetValueKey(names[static_cast<size_t>(i)]);
            reg.DeleteValue();
        } catch (...) {
            Keep(std::current_exception());
        }
    }
}

std::vector<std::string> ResetWarnings::Check(const std::vector<ComingReset>& resets, std::size_t players,
                                              const std::function<bool(const std::string&)>& send) {
    std::vector<std::string> tried;
    failed_ = nullptr;
    // A registry that cannot be read at the minute changes no setting:
    // the values last read stand.
    if (const auto v = settings::ReadSettingIfReadable(d_, settings::kWarnPlayersMinutes))
        minutes_ = settings::NumberOf(*v, 0, 0, settings::kMostWarnMinutes);
    const int before = minutes_;
    if (before <= 0) return tried;
    const platform::LocalTime local = d_.GetLocalTime();
    const std::int64_t now = MinuteOf(schedule::FromLocalTime(local));
    ForgetPast(now);
    ForgetOver(resets);
    if (const auto v = settings::ReadSettingIfReadable(d_, settings::kWarnPlayersText)) pattern_ = v->ToText();
    std::string pattern = pattern_;
    if (text::IsBlankValue(pattern)) pattern = settings::kDefaultWarnPlayersText;
    for (const ComingReset& r : resets) {
        if (players == 0) break;  // no one to warn
        Warn(r, now, before, pattern, tried, send);
    }
    if (failed_) std::rethrow_exception(std::exchange(failed_, nullptr));
    return tried;
}

void ResetWarnings::ForgetOver(const std::vector<ComingReset>& resets) {
    // A reset no longer coming (it ran, or its row went) is over: the same
    // time set again later is a new run, warned of or logged afresh.
    // The registry forgets it too, or a time still to come reads as warned.
    std::erase_if(sent_, [&](const auto& s) {
        const std::string& key = s.first;
        const std::string run = key.substr(0, key.rfind('|'));
        const bool over = std::none_of(resets.begin(), resets.end(), [&](const ComingReset& r) {
            return run == r.item + "|" + r.nextTime || (!r.firstTime.empty() && run == r.item + "|" + r.firstTime);
        });
        if (over) Forget(key);
        return over;
    });
    std::erase_if(unrecorded_, [&](const std::string& key) {
        const std::string run = key.substr(0, key.rfind('|'));
        return std::none_of(resets.begin(), resets.end(),
                            [&](const ComingReset& r) { return run == r.item + "|" + r.nextTime; });
    });
}

void ResetWarnings::Warn(const ComingReset& r, std::int64_t now, int before, const std::string& pattern,
                         std::vector<std::string>& tried, const std::function<bool(const std::string&)>& send) {
    const auto due = schedule::ParseDateTime(r.nextTime);
    if (!due) return;  // restart rows have no time
    const std::int64_t dueMinute = MinuteOf(*due);
    const std::int64_t left = dueMinute - now;
    const std::vector<int> marks = before > 1 ? std::vector<int>{before, 1} : std::vector<int>{1};
    for (size_t i = 0; i < marks.size(); ++i) {
        const std::string key = r.item + "|" + r.nextTime + "|" + std::to_string(marks[i]);
        if (left > marks[i]) {
            // Not yet. Said already and now minutes off, the clock has
            // gone back (daylight saving's end, a clock set by hand): it
            // is said again when its time comes round again. A second's
            // correction across a minute is no reason to say it twice.
            // What an earlier run of Harrowatch sent is known from the
            // registry only, and is forgotten there just the same.
            if (left > marks[i] + 1 && (sent_.erase(key) || !unrecorded_.contains(key)) && Forget(key))
                unrecorded_.insert(key);
            continue;
        }
        if (Sent(key)) continue;
        MarkSent(key, dueMinute);  // once, whether the server takes it or not
        if (left < 1) {
            // No check came while a minute was left.
            if (onNotSent) onNotSent(r.item + ": \"" + WarningText(pattern, marks[i]) + "\" (no time left)");
            continue;
        }
        // Late: a later warning that is due too says it for both.
        if (i + 1 < marks.size() && left <= marks[i + 1]) continue;
        const std::string text = WarningText(pattern, static_cast<int>(left));
        tried.push_back(text);
        if (!send(text) && onNotSent) onNotSent(r.item + ": \"" + text + "\"");
    }
}

}  // namespace hw::app
