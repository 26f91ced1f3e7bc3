// What the kernel cases take from a scenario (station-sim --print-stream):
// the settings the init and the board need, and the bit stream in the order
// the board plays it.
#include "options.h"
#include "script.h"

#include <gtest/gtest.h>

namespace {

std::string listing(const std::string &text) {
    scenario sc;
    std::string error;
    EXPECT_TRUE(parse_scenario(text, sc, error)) << error;
    return stream_listing(sc);
}

TEST(StreamListing, DefaultsOfTheWindBoardAndBitsInPlayingOrder) {
    // 0x01 then 0x80, each least significant bit first: the first bit the
    // board shifts out is the first character.
    std::string expected = "board wind\n"
                           "lines 2 1\n"
                           "chip 0 8 station-board\n"
                           "sysfs legacy\n"
                           "interface 00:1a:2b:3c:4d:5e\n"
                           "export present\n"
                           "layout chip\n"
                           "end stop\n"
                           "plants 0\n"
                           "faults 0\n"
                           "bits 18\n"
                           "100000000000000110\n";
    EXPECT_EQ(listing("board wind\nbytes 01 80\nbits 1 0\n"), expected);
}

TEST(StreamListing, EverySettingAKernelRunMustHonourOrRefuse) {
    EXPECT_EQ(listing("board hub\n"
                      "lines 3 17\n"
                      "chip base dynamic\n"
                      "chip label soc\n"
                      "other chip 32 bank0\n"
                      "sysfs chip-local\n"
                      "interface none\n"
                      "export busy\n"
                      "layout virtual\n"
                      "end low\n"
                      "args 50 trace\n"
                      "wrap timeout 5\n"
                      "plant fifo /tmp/sensors.dat\n"
                      "at 8 tmp full\n"
                      "silence 3\n"),
              "board hub\n"
              "lines 3 17\n"
              "chip dynamic 24 soc\n"
              "other-chip 32 bank0\n"
              "sysfs chip-local\n"
              "interface none\n"
              "export busy\n"
              "layout virtual\n"
              "end low\n"
              "args 50 trace\n"
              "wrap timeout 5\n"
              "plants 1\n"
              "faults 1\n"
              "bits 3\n"
              "000\n");
    // The hub board's own pair, and another station address.
    std::string hub = listing("board hub\ninterface 02:00:00:00:00:0a\n");
    EXPECT_NE(hub.find("lines 3 7\nchip 0 8 station-board\n"), std::string::npos) << hub;
    EXPECT_NE(hub.find("interface 02:00:00:00:00:0a\n"), std::string::npos) << hub;
    EXPECT_NE(hub.find("bits 0\n\n"), std::string::npos) << hub;
}

TEST(StreamListing, NeedsAScenarioButNoProgram) {
    const char *with[] = {"station-sim", "--scenario", "s", "--print-stream"};
    options o;
    std::string error;
    ASSERT_EQ(parse_options(4, with, o, error), options_result::run) << error;
    EXPECT_TRUE(o.print_stream);
    EXPECT_TRUE(o.command.empty());

    const char *without[] = {"station-sim", "--print-stream"};
    options fresh;
    EXPECT_EQ(parse_options(2, without, fresh, error), options_result::wrong);
    EXPECT_NE(help_text().find("\n  --print-stream "), std::string::npos);
}

} // namespace
