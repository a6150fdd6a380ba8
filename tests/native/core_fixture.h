// A controller on fresh fakes, with a scratch directory as the current
// directory so that the log file each test produces is its own. Tests make
// the controller's state through its operations and read it through
// RowsToList, SelectedRow and the port trace.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "port/port_controller.h"
#include "tests/fakes/controller_setup.h"
#include "tests/fakes/fakes.h"

class CoreTest : public ::testing::Test {
protected:
    CoreTest() { fakes::ResetAll(); }

    // A table of one port, LPT1 at `base`, selected.
    void UsePort(std::uint16_t base)
    {
        UseTable({{"LPT1", base}});
        controller.ChooseRow(0);
    }

    // Discovery lists these ports as rows 0.., each at its own address; the
    // selection stays as it was (none, on a fresh controller).
    void UseTable(std::initializer_list<std::pair<const char*, std::uint16_t>> rows)
    {
        fakes::Discover(controller, rows);
        ForgetSetup();
    }

    // What setting up left behind: the trace, the log lines and the log
    // file, the device list's counts.
    static void ForgetSetup()
    {
        fakes::Port().trace.clear();
        fakes::ResetLogSink();
        fakes::ResetDevices();
        std::remove("RurSetupDebug.txt");
    }

    static std::string Trace() { return fakes::Describe(fakes::Port().trace); }
    static const std::vector<std::string>& Debugger() { return fakes::LogSink().debuggerOutput; }
    std::string LogFile() const { return scratch.LogFile(); }

    // The line the log file gets for `message` at the fake sink's fixed time.
    static std::string FileLine(const std::string& message)
    {
        return "12/03/2024 09:05:07.042 " + message + "\n";
    }

    // Replaces the controller with a newly constructed one (it holds a
    // mutex, so it cannot be assigned).
    void FreshController()
    {
        controller.~PortController();
        new (&controller) PortController();
    }

    fakes::ScratchDirectory scratch;
    PortController controller;
};
