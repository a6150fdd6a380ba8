// The host's comparison of two VCD files' changes (the statement
// same-changes): a recording and its replay, or a logic analyser's file and
// the recording of its play. Standard C++ only.
#pragma once

#include <string>

namespace same_changes {

// Reads both files as a play of the port at 378 would (record/vcd_reader.h)
// and compares their changes: each time a driven pin goes from a level it
// had to the other. A pin's first level in a file is where it starts, not a
// change. Times count from each file's first change. True when each pin has
// the same changes in both, in the same order, each within
// `toleranceUs` of the other's time; `report` says how many and the widest
// gap, or the first that differs, or why a file cannot be read.
bool Compare(const char* first, const char* second, long long toleranceUs, std::string& report);

}  // namespace same_changes
