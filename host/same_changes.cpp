#include "host/same_changes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "port/pin_map.h"
#include "record/vcd_reader.h"

namespace same_changes {
namespace {

constexpr std::uint16_t kPort = 0x378;

struct Change {
    long long atUs;
    int pin;
    bool high;
};

// Each time a pin goes from the level it had to the other, in the steps'
// order, and by pin within a step.
bool ReadChanges(const char* file, std::vector<Change>& changes, std::string& report)
{
    PlaySchedule schedule;
    VcdFileReader reader;
    char why[PlayReader::kWhySize];
    if (!reader.Read(file, kPort, schedule, why, sizeof why)) {
        report = std::string(file) + " cannot be read: " + why;
        return false;
    }
    int level[PinMap::kLastSignalPin + 1];
    for (int& known : level) known = -1;
    for (std::size_t at = 0; at < schedule.Count(); ++at) {
        const PlayStep& step = schedule.Steps()[at];
        for (int pin = PinMap::kFirstPin; pin <= PinMap::kLastSignalPin; ++pin) {
            const PinMapRow& row = *PinMap::Find(pin);
            if (static_cast<unsigned>(row.reg) != step.reg || (row.mask & step.mask) == 0) continue;
            const bool high = PinMap::LevelIn(row, static_cast<std::uint16_t>(step.bits));
            if (level[pin] >= 0 && level[pin] != static_cast<int>(high)) {
                changes.push_back({static_cast<long long>(step.atNs / 1000), pin, high});
            }
            level[pin] = high ? 1 : 0;
        }
    }
    return true;
}

std::string Describe(const Change& change, long long originUs)
{
    char text[64];
    std::snprintf(text, sizeof text, "pin %d to %d at %lld us", change.pin, change.high ? 1 : 0,
                  change.atUs - originUs);
    return text;
}

}  // namespace

bool Compare(const char* first, const char* second, long long toleranceUs, std::string& report)
{
    std::vector<Change> one;
    std::vector<Change> two;
    if (!ReadChanges(first, one, report) || !ReadChanges(second, two, report)) return false;
    const long long originOne = one.empty() ? 0 : one.front().atUs;
    const long long originTwo = two.empty() ? 0 : two.front().atUs;
    // Pin by pin: a recording orders the changes of different pins made
    // within a microsecond by pin, but never a pin's own.
    const auto byPin = [](const Change& left, const Change& right) { return left.pin < right.pin; };
    std::stable_sort(one.begin(), one.end(), byPin);
    std::stable_sort(two.begin(), two.end(), byPin);
    long long widest = 0;
    for (std::size_t at = 0; at < one.size() || at < two.size(); ++at) {
        const bool both = at < one.size() && at < two.size();
        const long long gap = both ? (one[at].atUs - originOne) - (two[at].atUs - originTwo) : 0;
        const long long apart = gap < 0 ? -gap : gap;
        if (!both || one[at].pin != two[at].pin || one[at].high != two[at].high ||
            apart > toleranceUs) {
            report = "change " + std::to_string(at + 1) +
                     " differs: " + (at < one.size() ? Describe(one[at], originOne) : "none") +
                     " in " + first + ", " +
                     (at < two.size() ? Describe(two[at], originTwo) : "none") + " in " + second;
            return false;
        }
        if (apart > widest) widest = apart;
    }
    report = std::to_string(one.size()) + " changes, each within " + std::to_string(toleranceUs) +
             " us (the widest gap " + std::to_string(widest) + " us)";
    return true;
}

}  // namespace same_changes
