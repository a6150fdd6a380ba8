// The deadline on the fake clock: what is left, rounded up so that a system
// wait given it never ends early, and the moment it passes.
#include <gtest/gtest.h>

#include "port/deadline.h"
#include "tests/fakes/fakes.h"

namespace {

TEST(DeadlineTest, RemainsUntilItsEndAndPassesAtIt)
{
    fakes::ResetSleeps();
    fakes::Sleeps().fakeClock = true;
    fakes::Sleeps().stepNs = 0;
    fakes::Sleeps().nowNs = 5000000000;
    const Deadline deadline = Deadline::AfterMs(100);
    // The clock, then what remains in ns and in ms, and whether it passed.
    const std::int64_t rows[][4] = {{5000000001, 99999999, 100, 0},
                                    {5099999999, 1, 1, 0},
                                    {5100000000, 0, 0, 1},
                                    {5200000000, 0, 0, 1}};
    for (const auto& row : rows) {
        fakes::Sleeps().nowNs = row[0];
        EXPECT_EQ(deadline.RemainingNs(), row[1]) << row[0];
        EXPECT_EQ(static_cast<std::int64_t>(deadline.RemainingMs()), row[2]) << row[0];
        EXPECT_EQ(deadline.Passed(), row[3] != 0) << row[0];
    }
    fakes::ResetSleeps();
}

}  // namespace
