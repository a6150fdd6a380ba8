// Recording the accesses of a port I/O library (INPOUT32.dll) as a VCD file:
// what each library that records calls. One implementation, over the Win32
// API (recording_win32.cpp), serves both the simulated port and the Wine
// library over ppdev.
//
// The file is written by VcdRecorder (vcd_recorder.h) through a buffer that
// a thread of the library hands to the file every half second, and that goes
// to the file in full when recording stops and when the process ends; a
// process killed between accesses loses at most the last second.
#pragma once

#include <cstdint>
#include <vector>

namespace recording {

// Starts recording the ports at `bases` into the file at `path` (created, or
// emptied), ending a recording already running. When the file cannot be
// created, writes one line to standard error naming it and the reason, and
// gives false: the library works on without recording.
bool Start(const char* path, const std::vector<std::uint16_t>& bases);

// Ends the recording, with everything recorded in the file. Nothing when
// none runs.
void Stop();

// Starts recording into the file that the environment variable
// DORUZEDA_RECORD names, if it names one; called once, at the first access.
void StartFromEnvironment(const std::vector<std::uint16_t>& bases);

// Whether a recording runs: cheap, for the library's first look.
bool Running();

// One access: the value written to `address`, or the value a read returned.
void Access(std::uint16_t address, std::uint8_t value, bool isWrite);

// The process is ending (the library's DLL_PROCESS_DETACH): what is buffered
// goes to the file, which is closed. Takes no lock another thread could
// hold forever, and waits for no thread.
void ProcessEnding();

}  // namespace recording
