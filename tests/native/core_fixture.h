// A controller on fresh fakes, with a scratch directory as the current
// directory so that the log file each test produces is its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "fakes.h"
#include <new>

#include "controller_probe.h"
#include "port/port_controller.h"

class CoreTest : public ::testing::Test {
protected:
    CoreTest() { fakes::ResetAll(); }

    // A table of one port, LPT1 at `base`, selected.
    void UsePort(std::uint16_t base)
    {
        std::snprintf(State(controller).portTable[0].name,
                      sizeof State(controller).portTable[0].name, "LPT1");
        State(controller).portTable[0].baseAddress = base;
        State(controller).portCount = 1;
        State(controller).selectedIndex = 0;
    }

    // Names rows 0.. of the table, each with its own address, none selected.
    void UseTable(std::initializer_list<std::pair<const char*, std::uint16_t>> rows)
    {
        int row = 0;
        for (const auto& [name, base] : rows) {
            std::snprintf(State(controller).portTable[row].name,
                          sizeof State(controller).portTable[row].name, "%s", name);
            State(controller).portTable[row].baseAddress = base;
            ++row;
        }
        State(controller).portCount = row;
        State(controller).selectedIndex = -1;
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
