// The emulated station's own logic: scenarios and the streams they build, the
// board's counting, the trace format and the decoded reports. A fault here
// would make every end-to-end case wrong in the same way, so the expected
// values come from outside the station: the hub frame example and the CRC
// catalogue check value.
#include "board.h"
#include "record.h"
#include "script.h"
#include "vcd.h"

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

TEST(Board, CountsFallingEdgesAndPresentsTheirBit) {
    board b;
    b.bits = {1, 0, 1};
    EXPECT_EQ(data_level(b), 0); // nothing before the first pulse
    EXPECT_TRUE(clock_write(b, 0));
    EXPECT_EQ(serve_sample(b), 1);
    EXPECT_FALSE(clock_write(b, 0)); // the clock was low already: no pulse
    EXPECT_FALSE(clock_write(b, 1));
    EXPECT_EQ(data_level(b), 1); // held while the clock is high
    EXPECT_EQ(serve_sample(b), 1);
    clock_write(b, 0);
    EXPECT_EQ(serve_sample(b), 0);
    clock_write(b, 1);
    clock_write(b, 0);
    EXPECT_EQ(serve_sample(b), 1);
    EXPECT_EQ(b.pulses, 3u);
    EXPECT_EQ(b.writes, 6u);
    EXPECT_EQ(b.samples, 4u);
    EXPECT_EQ(b.high_samples, 1u);
    EXPECT_FALSE(exhausted(b));
    clock_write(b, 1);
    clock_write(b, 7); // any non-zero level is high
    clock_write(b, 0);
    EXPECT_TRUE(exhausted(b));
    EXPECT_EQ(data_level(b), 0);
}

TEST(Board, PlaysItsStreamForAsManyRoundsAsAsked) {
    board b;
    b.bits = {1, 0};
    b.rounds = 2;
    std::vector<int> seen;
    for (int k = 0; k < 4; k++) {
        clock_write(b, 0);
        seen.push_back(serve_sample(b));
        clock_write(b, 1);
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 1, 0}));
    clock_write(b, 0);
    EXPECT_TRUE(exhausted(b));

    b.rounds = 0; // for ever
    EXPECT_FALSE(exhausted(b));
    EXPECT_EQ(serve_sample(b), 1);
}

TEST(Trace, DeclaresBothLinesAndKeepsEveryEdgeVisible) {
    std::string head = vcd_header(3, 7);
    EXPECT_NE(head.find("$timescale 1us $end"), std::string::npos);
    EXPECT_NE(head.find("$var wire 1 c gpio3_clock $end"), std::string::npos);
    EXPECT_NE(head.find("$var wire 1 d gpio7_data $end"), std::string::npos);
    EXPECT_NE(head.find("#0\n$dumpvars\n1c\n0d\n$end\n"), std::string::npos);

    int64_t last = 0;
    EXPECT_EQ(vcd_step(last, 250, 0, 1), "#250\n0c\n1d\n");
    // Edges read together share a time: each gets the next microsecond.
    EXPECT_EQ(vcd_step(last, 250, 1, vcd_unchanged), "#251\n1c\n");
    EXPECT_EQ(vcd_step(last, 240, 0, vcd_unchanged), "#252\n0c\n");
    EXPECT_EQ(vcd_step(last, 900, vcd_unchanged, vcd_unchanged), "");
    EXPECT_EQ(last, 252);
}

TEST(Record, DecodesAWindReport) {
    uint8_t report[32] = {'0', '0', '1', 'a', '2', 'b', '3', 'c',
                          '4', 'd', '5', 'e', 0,   7,   1,   0x2C};
    std::string text = describe_report(report, sizeof report, "192.0.2.1:10003", "192.0.2.2:10003");
    EXPECT_EQ(text, "192.0.2.1:10003 -> 192.0.2.2:10003, 32 bytes\n"
                    "  station \"001a2b3c4d5e\" gust 7 dir 300\n"
                    "  30 30 31 61 32 62 33 63 34 64 35 65 00 07 01 2c 00 00 00 00 00 00 00 00 00 "
                    "00 00 00 00 00 00 00\n");
    uint8_t anonymous[32] = {};
    EXPECT_NE(describe_report(anonymous, 32, "a", "b").find("station \"\" gust 0 dir 0"),
              std::string::npos);
    EXPECT_EQ(describe_report(report, 3, "a", "b"), "a -> b, 3 bytes\n  30 30 31\n");
}

TEST(Record, QuotesEveryByteVisibly) {
    EXPECT_EQ(quoted(std::string("12 90\n\r\t\"\\\x01\xff\0", 13)),
              "\"12 90\\n\\r\\t\\\"\\\\\\x01\\xff\\x00\"");
}

} // namespace
