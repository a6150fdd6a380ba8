// The deadline on the fake clock: what is left, rounded so that a system wait
// given it never ends early, and the moment it passes.
#include <gtest/gtest.h>

#include "port/deadline.h"
#include "tests/fakes/fakes.h"

namespace {

TEST(DeadlineTest, RemainsUntilItsEndAndPassesAtIt)
{
    fakes::ResetSleeps();
    fakes::FakeSleeps& clock = fakes::Sleeps();
    clock.fakeClock = true;
    clock.stepNs = 0;
    clock.nowNs = 5000000000;
    const Deadline deadline = Deadline::AfterMs(100);
    struct Row {
        std::int64_t nowNs;
        std::int64_t remainingNs;
        unsigned long remainingMs;
        bool passed;
    };
    const Row rows[] = {
        {5000000000, 100000000, 100, false},
        {5000000001, 99999999, 100, false},
        {5099000300, 999700, 1, false},
        {5099999999, 1, 1, false},
        {5100000000, 0, 0, true},
        {5200000000, 0, 0, true},
    };
    for (const Row& row : rows) {
        clock.nowNs = row.nowNs;
        EXPECT_EQ(deadline.RemainingNs(), row.remainingNs) << row.nowNs;
        EXPECT_EQ(deadline.RemainingMs(), row.remainingMs) << row.nowNs;
        EXPECT_EQ(deadline.Passed(), row.passed) << row.nowNs;
    }
    fakes::ResetSleeps();
}

}  // namespace
