// VcdReader: the steps a file gives for the port at 378 (each "TIME REG
// MASK/BITS", the time in ns from the first step, D the data register, C the
// control register), or its refusal with the line to blame. The file is fed
// seven bytes at a time, so that words and lines fall across chunks.
#include "record/vcd_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Play(const std::string& file)
{
    PlaySchedule schedule;
    VcdReader reader(0x378, schedule);
    bool good = true;
    for (std::size_t at = 0; at < file.size() && good; at += 7) {
        good = reader.Feed(file.data() + at, file.size() - at < 7 ? file.size() - at : 7);
    }
    if (!good || !reader.Finish()) return reader.Why();
    std::string steps;
    for (std::size_t at = 0; at < schedule.Count(); ++at) {
        const PlayStep& step = schedule.Steps()[at];
        char text[48];
        std::snprintf(text, sizeof text, "%s%llu %c %02X/%02X", at == 0 ? "" : ", ",
                      static_cast<unsigned long long>(step.atNs), step.reg == 0 ? 'D' : 'C',
                      static_cast<unsigned>(step.mask), static_cast<unsigned>(step.bits));
        steps += text;
    }
    return steps;
}

// The recording's header: strobe (!, inverted), d0 ("), d7 (#), ack (+).
const std::string kRecorded =
    "$version Doruzeda_DO port recorder $end\n$timescale 1us $end\n"
    "$scope module lpt_378 $end\n$var wire 1 ! lpt378_pin01_strobe $end\n"
    "$var wire 1 \" lpt378_pin02_d0 $end\n$var wire 1 # lpt378_pin09_d7 $end\n"
    "$var wire 1 + lpt378_pin10_ack $end\n$upscope $end\n$enddefinitions $end\n";
// sigrok's header, seven lines, then its end on line 8.
const std::string kSigrokVars =
    "$comment\n  Acquisition with 8/13 channels $end\n$timescale 100 us $end\n"
    "$scope module libsigrok $end\n$var wire 1 ! D0 $end\n$var wire 1 \" D1 $end\n"
    "$upscope $end\n";
const std::string kSigrok = kSigrokVars + "$enddefinitions $end\n";

TEST(VcdReaderTest, GivesEachFilesStepsOrRefusesNamingTheLine)
{
    const struct {
        std::string file;
        const char* expected;
    } rows[] = {
        // The recording's layout: unknown levels change nothing, a stamp's
        // changes to a register are one step, the last level of a pin counting.
        {kRecorded +
             "#0\n$dumpvars\nx!\nx\"\nx+\n$end\n#5\n1\"\n0!\n1+\n1#\n#7\n0\"\n#7\n1\"\n0\"\n",
         "0 D 81/81, 0 C 01/01, 2000 D 01/00"},
        {kSigrok + "#0 1! 0\" $comment #1 1! $end\n#12 0!\n", "0 D 03/01, 1200000 D 01/00"},
        {"$timescale\n 10 fs\n$end $var wire 1 a D7 $end $enddefinitions $end #3 1a #300000003 0a",
         "0 D 80/80, 3000 D 80/00"},
        {"$timescale 1 s $end $var wire 1 a D7 $end $enddefinitions $end #2 1a #3 0a",
         "0 D 80/80, 1000000000 D 80/00"},
        // A file of two ports plays the selected port's signals only.
        {"$timescale 1 ns $end $var reg 1 a lpt278_pin02_d0 $end $var reg 1 b lpt378_pin03_d1 $end "
         "$enddefinitions $end #1 1a 1b",
         "0 D 02/02"},
        {"hello\n", "line 1: not a VCD file: hello"},
        {"", "line 1: not a VCD file: no $enddefinitions"},
        {"$timescale 3 ns $end",
         "line 1: a timescale other than 1, 10 or 100 of s, ms, us, ns, ps, fs: 3ns"},
        {kSigrokVars + "$var wire 1 # CLK $end", "line 8: a signal that names no pin: CLK"},
        {"$timescale 1us $end\n$var wire 8 # lpt378_pin02_d0 $end",
         "line 2: a signal wider than a bit: lpt378_pin02_d0"},
        {"$timescale 1us $end $var wire 1 # lpt278_pin02_d0 $end\n$enddefinitions $end",
         "line 2: no signal of port 378 (the file has port 278)"},
        {"$timescale 1us $end $var wire 1 # lpt378_pin10_ack $end\n$enddefinitions $end",
         "line 2: no signal of an output pin"},
        {kSigrok + "#5 1!\n#4 0!", "line 10: a time stamp before the one before it: #4"},
        {kSigrok + "#5 1!\n1%", "line 10: a change of an undeclared identifier: %"},
        {kSigrok + "#5\nb101 !", "line 10: a vector or real value: b101"},
        {kSigrok + "#0 1!\n#180000000 0!",
         "line 10: the play would last longer than 4.8 hours: #180000000"},
        {kSigrok + "#" + std::string(300, '1'), "line 9: a word longer than 255 characters"},
        {kSigrokVars + "$var wire 1 ! D3 $end", "line 8: an identifier declared twice: !"},
        {kSigrok + "#1 1!\n$comment never closed", "line 10: the file ends inside a $ command"},
    };
    for (const auto& row : rows) EXPECT_EQ(Play(row.file), row.expected) << row.file;
}

}  // namespace
