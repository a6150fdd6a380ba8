// The hold of a pulse and of a play's steps (port/timed_operations.cpp): the
// timing rules of a wait for a moment on the seam's clock, in one place.
#pragma once

#include <cstdint>
#include <optional>

#include "deadline.h"
#include "wait_sleep.h"

// Holds until `end` on the seam's clock (WaitSleeper::NowNs), never
// returning before it: sleeps on the fine timer while more than about a
// millisecond remains, then watches the clock. False when the unload
// (WaitSleeper::EndAllWaits) ended it first. `sleeper` is made at the first
// sleep (a short hold needs none) and left to the caller to close once the
// write it holds for is made: closing the system's timer takes a call to
// Wine's server, about 40 us.
bool HoldUntil(const Deadline& end, std::optional<WaitSleeper>& sleeper);
