// Scenarios and the streams they build. A fault here would make every
// end-to-end case wrong in the same way, so the expected values come from
// outside the station: the hub frame example and the CRC catalogue check
// value.
#include "record.h"
#include "script.h"

#include <gtest/gtest.h>

namespace {

// The stream read back into bytes, least significant bit first.
std::vector<int> bytes_of(const std::vector<uint8_t> &bits) {
    std::vector<int> out;
    for (size_t k = 0; k + 8 <= bits.size(); k += 8) {
        int b = 0;
        for (int j = 0; j < 8; j++)
            b |= bits[k + static_cast<size_t>(j)] << j;
        out.push_back(b);
    }
    return out;
}

scenario parsed(const std::string &text) {
    scenario sc;
    std::string error;
    EXPECT_TRUE(parse_scenario(text, sc, error)) << error;
    return sc;
}

TEST(Script, WindFramesCarryTheirCheckByte) {
    scenario sc = parsed("frame 12 2\nframe 12 2 check 15\nframe 250 4\n");
    EXPECT_EQ(bytes_of(sc.bits), (std::vector<int>{0xAA, 12, 2, 16, 0xAA, 12, 2, 15, 0xAA, 250, 4,
                                                   0})); // 256 keeps its low 8 bits
    // The sync byte arrives as 0,1,0,1,0,1,0,1.
    EXPECT_EQ(std::vector<uint8_t>(sc.bits.begin(), sc.bits.begin() + 8),
              (std::vector<uint8_t>{0, 1, 0, 1, 0, 1, 0, 1}));
}

TEST(Script, HubFramesGetTheirLengthAndBothCrcs) {
    uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(crc8(digits, sizeof digits), 0xA1); // the catalogue check value

    scenario sc = parsed("board hub\nframe 01 D7 00 2D 03 03 00 06 7B 00 C8 01\n");
    EXPECT_EQ(bytes_of(sc.bits),
              (std::vector<int>{0xAA, 0x10, 0x94, 0x01, 0xD7, 0x00, 0x2D, 0x03, 0x03, 0x00, 0x06,
                                0x7B, 0x00, 0xC8, 0x01, 0xC4}));

    sc = parsed("board hub\nframe\nheader 2\nframe bad-header bad-crc 03 00 00\n");
    std::vector<int> bytes = bytes_of(sc.bits);
    EXPECT_EQ(std::vector<int>(bytes.begin(), bytes.begin() + 6),
              (std::vector<int>{0xAA, 0x03, 0xEB, 0xAA, 0x02, 0xB5}));
    // The spoilt frame: both CRCs inverted.
    std::vector<uint8_t> sound = hub_frame({0x03, 0x00, 0x00});
    EXPECT_EQ(bytes[8], sound[2] ^ 0xFF);
    EXPECT_EQ(bytes.back(), sound.back() ^ 0xFF);
}

TEST(Script, StreamDirectivesAndSettings) {
    scenario sc = parsed("# comment\n"
                         "board hub\n"
                         "interface 02:00:00:00:00:7f\n"
                         "export busy\n"
                         "args 50\n"
                         "args trace   # more words\n"
                         "bits 1 0 1\n"
                         "silence 2\n"
                         "repeat 2 bits 1\n"
                         "bytes 0F\n");
    EXPECT_EQ(sc.board, board_kind::hub);
    EXPECT_TRUE(sc.interface);
    EXPECT_EQ(sc.mac[0], 0x02);
    EXPECT_EQ(sc.mac[5], 0x7f);
    EXPECT_EQ(sc.export_file, export_mode::busy);
    EXPECT_EQ(sc.args, (std::vector<std::string>{"50", "trace"}));
    EXPECT_EQ(sc.bits, (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0}));

    EXPECT_FALSE(parsed("interface none\n").interface);
    EXPECT_EQ(parsed("garbage 3\n").bits, parsed("garbage 3\n").bits); // the same every time
    EXPECT_EQ(parsed("garbage 3\n").bits.size(), 24u);
}

TEST(Script, FaultsNameTheirLine) {
    for (const char *bad :
         {"frame 256 0", "frame 1", "frame 1 2 crc 3", "bits 2", "bytes AAA", "header 3",
          "export maybe", "interface 00:11", "repeat x bits 1", "board router", "fly"}) {
        scenario sc;
        std::string error;
        EXPECT_FALSE(parse_scenario(std::string("board wind\n") + bad + "\n", sc, error)) << bad;
        EXPECT_EQ(error.rfind("line 2: ", 0), 0u) << error;
    }
    scenario sc;
    std::string error;
    EXPECT_FALSE(parse_scenario("board hub\nframe 01 XY\n", sc, error));
}

// The first line of `text` that parse_scenario() refuses, or 0.
int refused_line(const std::string &text) {
    scenario sc;
    std::string error;
    if (parse_scenario(text, sc, error))
        return 0;
    return std::atoi(error.c_str() + 5); // "line N: ..."
}

TEST(Script, HubFrameLengthByteNeverWraps) {
    // 251 record bytes and the 4 around them fill the length byte: 255.
    std::string records;
    for (int k = 0; k < 251; k++)
        records += " 01";
    std::vector<int> bytes = bytes_of(parsed("board hub\nframe" + records + "\n").bits);
    ASSERT_EQ(bytes.size(), 255u);
    EXPECT_EQ(bytes[1], 255);
    // One more would wrap it to 0.
    EXPECT_EQ(refused_line("board hub\nframe" + records + " 01\n"), 2);
}

TEST(Script, LinesAndWrapShapeTheRun) {
    scenario wind = parsed("board wind\n"), hub = parsed("board hub\n");
    EXPECT_EQ(clock_line_of(wind), 2);
    EXPECT_EQ(data_line_of(wind), 1);
    EXPECT_EQ(clock_line_of(hub), 3);
    EXPECT_EQ(data_line_of(hub), 7);
    scenario moved = parsed("board hub\nlines 514 513\n");
    EXPECT_EQ(clock_line_of(moved), 514);
    EXPECT_EQ(data_line_of(moved), 513);

    scenario sc = parsed("wrap timeout 5\nargs 50\nwrap --foreground\nend low\n");
    EXPECT_EQ(sc.wrap, (std::vector<std::string>{"timeout", "5", "--foreground"}));
    EXPECT_EQ(sc.end, stream_end::low);
    EXPECT_EQ(parsed("").end, stream_end::stop);

    for (const char *bad :
         {"lines 2 2", "lines 2", "lines -1 3", "lines 2 x", "wrap", "end never", "end"})
        EXPECT_EQ(refused_line(std::string("board wind\n") + bad + "\n"), 2) << bad;
}

TEST(Script, PlantsStayInsideTmp) {
    scenario sc = parsed("plant file /tmp/victim \"kept # here\\n\\x00\\\"\"  # comment\n"
                         "plant link /tmp/sensors.dat /tmp/victim\n"
                         "plant fifo /tmp/sensors_.dat\n"
                         "plant directory /tmp/d\n"
                         "plant file /tmp/d/empty \"\"\n");
    ASSERT_EQ(sc.plants.size(), 5u);
    EXPECT_EQ(sc.plants[0].kind, plant::file);
    EXPECT_EQ(sc.plants[0].path, "/tmp/victim");
    EXPECT_EQ(sc.plants[0].text, std::string("kept # here\n\0\"", 14));
    EXPECT_EQ(sc.plants[1].kind, plant::link);
    EXPECT_EQ(sc.plants[1].text, "/tmp/victim");
    EXPECT_EQ(sc.plants[2].kind, plant::fifo);
    EXPECT_EQ(sc.plants[3].kind, plant::directory);
    EXPECT_EQ(sc.plants[4].text, "");

    // A program that follows a planted link must stay in the sandbox's /tmp.
    for (const char *bad :
         {"plant file /etc/passwd \"x\"", "plant fifo /tmp", "plant fifo /tmp/", "plant fifo tmp/x",
          "plant fifo /tmp/../etc/x", "plant fifo /tmp/a//b", "plant fifo /tmp/./a",
          "plant link /tmp/a /etc/passwd", "plant link /tmp/a ../etc", "plant link /tmp/a",
          "plant file /tmp/a text", "plant file /tmp/a \"open", "plant file /tmp/a \"x\" y",
          "plant file /tmp/a \"\\q\"", "plant socket /tmp/a", "plant fifo /tmp/a extra"})
        EXPECT_EQ(refused_line(std::string("board wind\n") + bad + "\n"), 2) << bad;
}

TEST(Script, FaultsComeInTheOrderOfTheirPoints) {
    scenario sc = parsed("at 64 tmp free\n"
                         "at 32 tmp full\n"
                         "at 40 missing data for 12\n"
                         "at 40 stop after 1.5\n"
                         "at 0 missing clock\n");
    ASSERT_EQ(sc.faults.size(), 5u);
    EXPECT_EQ(sc.faults[0].action, fault::missing_clock);
    EXPECT_EQ(sc.faults[0].count, 0u); // missing to the end
    EXPECT_EQ(sc.faults[1].action, fault::tmp_full);
    EXPECT_EQ(sc.faults[2].action, fault::missing_data); // same point: in the scenario's order
    EXPECT_EQ(sc.faults[2].pulses, 40u);
    EXPECT_EQ(sc.faults[2].count, 12u);
    EXPECT_EQ(sc.faults[3].action, fault::stop);
    EXPECT_DOUBLE_EQ(sc.faults[3].seconds, 1.5);
    EXPECT_EQ(sc.faults[4].action, fault::tmp_free);

    for (const char *bad :
         {"at x tmp full", "at -1 tmp full", "at 5 tmp", "at 5 tmp empty", "at 5 missing export",
          "at 5 missing data for 0", "at 5 missing data for", "at 5 missing data in 3",
          "at 5 stop after 0", "at 5 stop after -1", "at 5 stop 1", "at 5 stop after 1 s",
          "at 5 stop after 99999"})
        EXPECT_EQ(refused_line(std::string("board wind\n") + bad + "\n"), 2) << bad;
}

TEST(Script, FaultsThatChangeTheRouterAndWatchIt) {
    scenario sc = parsed("layout virtual\n"
                         "hosts empty\n"
                         "at 8 plant file /tmp/d/x \"# kept\"\n"
                         "at 9 remove /tmp/d\n"
                         "at 10 hosts server\n"
                         "at 11 watch cpu for 0.5\n"
                         "at 12 refuse clock for 3\n"
                         "dns silent\n"
                         "at 13 dns answers\n"
                         "at 14 watch period for 2\n");
    EXPECT_EQ(sc.layout, gpio_layout::virtual_devices);
    EXPECT_FALSE(sc.server_named);
    ASSERT_EQ(sc.faults.size(), 7u);
    EXPECT_EQ(sc.faults[0].action, fault::plant_now);
    EXPECT_EQ(sc.faults[0].planted.path, "/tmp/d/x");
    EXPECT_EQ(sc.faults[0].planted.text, "# kept");
    EXPECT_EQ(sc.faults[1].action, fault::remove_now);
    EXPECT_EQ(sc.faults[1].planted.path, "/tmp/d");
    EXPECT_EQ(sc.faults[2].action, fault::name_server);
    EXPECT_EQ(sc.faults[3].action, fault::watch_cpu);
    EXPECT_DOUBLE_EQ(sc.faults[3].seconds, 0.5);
    EXPECT_EQ(sc.faults[4].action, fault::refused_clock);
    EXPECT_EQ(sc.faults[4].count, 3u);
    EXPECT_TRUE(sc.dns);
    EXPECT_EQ(sc.faults[5].action, fault::dns_answers);
    EXPECT_EQ(sc.faults[6].action, fault::watch_period);
    EXPECT_DOUBLE_EQ(sc.faults[6].seconds, 2);
    EXPECT_EQ(parsed("").layout, gpio_layout::chip);
    EXPECT_TRUE(parsed("").server_named);
    EXPECT_FALSE(parsed("dns silent\n").server_named);

    for (const char *bad :
         {"layout sysfs", "hosts", "hosts none", "at 5 hosts", "at 5 hosts empty",
          "at 5 plant link /tmp/a /etc/passwd", "at 5 remove /etc", "at 5 remove /tmp",
          "at 5 remove", "at 5 watch cpu", "at 5 watch cpu for 0", "at 5 watch ram for 1",
          "at 5 refuse data", "at 5 refuse clock for 0", "dns answers", "at 5 dns silent",
          "at 5 watch period for 0"})
        EXPECT_EQ(refused_line(std::string("board wind\n") + bad + "\n"), 2) << bad;
}

TEST(Script, UnquoteReadsWhatQuotedWrites) {
    std::string every;
    for (int c = 0; c < 256; c++)
        every += static_cast<char>(c);
    std::string back;
    ASSERT_TRUE(unquote(::quoted(every), back));
    EXPECT_EQ(back, every);
    for (const char *bad :
         {"", "\"", "x\"\"", "\"a\"b\"", "\"\\\"", "\"\\x4\"", "\"\\xZZ\"", "\"\\a\""})
        EXPECT_FALSE(unquote(bad, back)) << bad;
}

} // namespace
