// scripts/simulate: Harrowatch for simulated days per seed against a world
// that misbehaves, its promises checked after every step.
//   --seed S | --seeds A-B | --soak      which runs (--soak: seeds 1-10000)
//   --days D                             simulated days a seed (0.5)
//   --trace                              every step of the run
//   --scenario NAME | --scenarios        named scenarios instead
//   --strict                             pinned promises count as broken too
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "simulation/world.h"

namespace {

using namespace hw::simulation;

// Promises that still break on open defects, each named for what is wrong.
// A run counts each break of these, says so in its line and goes on; mending
// one removes its line here, and from then on the simulation holds the code
// to it. --strict tolerates none.
struct Pinned {
    const char* promise;
    const char* defect;
};
const Pinned kPinned[] = {
    {"", ""},  // none open now
};

const char* PinnedDefect(const std::string& promise) {
    for (const Pinned& p : kPinned)
        if (*p.promise && promise == p.promise) return p.defect;
    return "";
}

int Usage() {
    std::fprintf(stderr,
                 "usage: simulate [--seed S | --seeds A-B | --soak] [--days D] [--trace] [--strict]\n"
                 "       simulate --scenario NAME | --scenarios | --list\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t first = 1, last = 1;
    double days = 0.5;
    bool trace = false, strict = false, scenarios = false;
    std::string scenario;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--seed" && v) {
            first = last = std::strtoull(v, nullptr, 10), ++i;
        } else if (a == "--seeds" && v) {
            const char* dash = std::strchr(v, '-');
            first = std::strtoull(v, nullptr, 10);
            last = dash ? std::strtoull(dash + 1, nullptr, 10) : first;
            ++i;
        } else if (a == "--soak") {
            first = 1, last = 10000;
        } else if (a == "--days" && v) {
            days = std::strtod(v, nullptr), ++i;
        } else if (a == "--trace") {
            trace = true;
        } else if (a == "--strict") {
            strict = true;
        } else if (a == "--scenario" && v) {
            scenario = v, ++i;
        } else if (a == "--scenarios") {
            scenarios = true;
        } else if (a == "--list") {
            for (const Scenario& s : Scenarios()) std::printf("%-34s %s\n", s.name, s.what);
            return 0;
        } else {
            return Usage();
        }
    }
    if (last < first || days <= 0) return Usage();

    std::set<std::string> tolerated;
    if (!strict)
        for (const Pinned& p : kPinned)
            if (*p.promise) tolerated.insert(p.promise);
    std::vector<Options> runs;
    if (scenarios || !scenario.empty()) {
        for (const Scenario& s : Scenarios())
            if (scenarios || scenario == s.name) runs.push_back({1, days, trace, s.name, tolerated});
        if (runs.empty()) return Usage();
    } else {
        for (std::uint64_t s = first; s <= last; ++s) runs.push_back({s, days, trace, {}, tolerated});
    }
    int broken = 0, pinned = 0, clean = 0;
    double simulated = 0;
    for (const Options& o : runs) {
        const Result r = Simulate(o);
        simulated += r.simulatedDays;
        const std::string name = o.scenario.empty() ? "" : "scenario " + o.scenario + ": ";
        std::printf("%s%s\n", name.c_str(), r.line.c_str());
        for (const auto& [promise, p] : r.pinned)
            std::printf("  pinned %s (%llu times; open: %s): %s\n", promise.c_str(), static_cast<unsigned long long>(p.count),
                        PinnedDefect(promise), p.first.c_str());
        if (r.ok) {
            ++(r.pinned.empty() ? clean : pinned);
            continue;
        }
        ++broken;
        std::printf("BROKEN seed %llu: %s: %s\n  last steps:\n", static_cast<unsigned long long>(o.seed), r.promise.c_str(),
                    r.detail.c_str());
        for (const std::string& s : r.lastSteps) std::printf("    %s\n", s.c_str());
        std::printf("  replay: scripts/simulate %s --days %g --trace\n",
                    o.scenario.empty() ? ("--seed " + std::to_string(o.seed)).c_str() : ("--scenario " + o.scenario).c_str(),
                    days);
    }
    std::printf("%d runs, %.1f simulated days: %d kept every promise, %d broke a pinned one, %d broke one\n",
                static_cast<int>(runs.size()), simulated, clean, pinned, broken);
    return broken ? 1 : 0;
}
