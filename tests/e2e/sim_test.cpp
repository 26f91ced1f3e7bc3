// The emulated station's own logic: scenarios and the streams they build, the
// board's counting, the trace format, the decoded reports, the results' own
// formats, the command line and the reads of /proc. A fault here
// would make every end-to-end case wrong in the same way, so the expected
// values come from outside the station: the hub frame example and the CRC
// catalogue check value.
#include "board.h"
#include "options.h"
#include "proc.h"
#include "record.h"
#include "script.h"
#include "vcd.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
                         "at 11 watch cpu for 0.5\n");
    EXPECT_EQ(sc.layout, gpio_layout::virtual_devices);
    EXPECT_FALSE(sc.server_named);
    ASSERT_EQ(sc.faults.size(), 4u);
    EXPECT_EQ(sc.faults[0].action, fault::plant_now);
    EXPECT_EQ(sc.faults[0].planted.path, "/tmp/d/x");
    EXPECT_EQ(sc.faults[0].planted.text, "# kept");
    EXPECT_EQ(sc.faults[1].action, fault::remove_now);
    EXPECT_EQ(sc.faults[1].planted.path, "/tmp/d");
    EXPECT_EQ(sc.faults[2].action, fault::name_server);
    EXPECT_EQ(sc.faults[3].action, fault::watch_cpu);
    EXPECT_DOUBLE_EQ(sc.faults[3].seconds, 0.5);
    EXPECT_EQ(parsed("").layout, gpio_layout::chip);
    EXPECT_TRUE(parsed("").server_named);

    for (const char *bad :
         {"layout sysfs", "hosts", "hosts none", "at 5 hosts", "at 5 hosts empty",
          "at 5 plant link /tmp/a /etc/passwd", "at 5 remove /etc", "at 5 remove /tmp",
          "at 5 remove", "at 5 watch cpu", "at 5 watch cpu for 0", "at 5 watch ram for 1"})
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

TEST(Board, RunsOutUnlessItHoldsTheLineLow) {
    board b;
    b.bits = {1};
    clock_write(b, 0);
    clock_write(b, 1);
    clock_write(b, 0);
    EXPECT_TRUE(run_out(b));
    b.low_at_end = true;
    EXPECT_FALSE(run_out(b));
    EXPECT_EQ(serve_sample(b), 0);
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

TEST(Record, ListsWhatTheCopyOfTmpCannotHold) {
    EXPECT_EQ(tmp_entry("/tmp/sensors.dat", S_IFLNK | 0777, "/tmp/victim"),
              "/tmp/sensors.dat link \"/tmp/victim\"\n");
    EXPECT_EQ(tmp_entry("/tmp/sensors_.dat", S_IFIFO | 0644, ""), "/tmp/sensors_.dat fifo\n");
    EXPECT_EQ(tmp_entry("/tmp/d", S_IFDIR | 0755, ""), "/tmp/d directory\n");
    EXPECT_EQ(tmp_entry("/tmp/d/f", S_IFREG | 0644, "1 2\n"), "/tmp/d/f file \"1 2\\n\"\n");
    EXPECT_EQ(tmp_entry("/tmp/s", S_IFSOCK | 0755, ""), "/tmp/s socket\n");
    EXPECT_EQ(tmp_entry("/tmp/c", S_IFCHR | 0600, ""), "/tmp/c device\n");
}

TEST(Record, JudgesACoreByHalfOfTheTimeTheStationDidNotHoldTheProgram) {
    EXPECT_STREQ(cpu_verdict(0.02, 2.0, 0), "the program did not pin a core");
    EXPECT_STREQ(cpu_verdict(0.99, 2.0, 0), "the program did not pin a core");
    EXPECT_STREQ(cpu_verdict(1.0, 2.0, 0), "the program pinned a core");
    // Retrying at once while the station answers each read: little time of
    // its own, but all of the time the station left it.
    EXPECT_STREQ(cpu_verdict(0.3, 2.0, 1.6), "the program pinned a core");
    // Pausing between tries, the station's answers as slow: far below.
    EXPECT_STREQ(cpu_verdict(0.05, 2.0, 0.3), "the program did not pin a core");
    EXPECT_STREQ(cpu_verdict(0.0, 2.0, 2.0), "the program pinned a core"); // never let go
    EXPECT_STREQ(cpu_verdict(0.4, 0.4, 0), "too short to judge");
}

// The station judges a program's processor time from /proc while other
// processes come and go: one that ends between the open and the read of its
// file must read as nothing, not end the station.
TEST(Proc, AFileOfAProcessThatEndedReadsAsNothing) {
    int self = open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(self, 0);
    EXPECT_EQ(proc_text(self).rfind(std::to_string(getpid()) + " (", 0), 0u);
    close(self);

    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        pause();
        _exit(0);
    }
    int fd = open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(proc_text(fd), "");
    close(fd);
}

// The command line as the shell would hand it over.
options_result parse(std::vector<const char *> args, options &out, std::string &error) {
    args.insert(args.begin(), "station-sim");
    return parse_options(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(Options, ReadsEveryOptionAndThePrograms) {
    options o;
    std::string error;
    ASSERT_EQ(parse({"--live", "--scenario", "s", "--out", "o", "--trace", "t.vcd", "--rounds", "3",
                     "--name", "n", "--server-name", "srv", "--", "prog", "--help"},
                    o, error),
              options_result::run);
    EXPECT_TRUE(o.live);
    EXPECT_EQ(o.scenario, "s");
    EXPECT_EQ(o.out, "o");
    EXPECT_EQ(o.trace, "t.vcd");
    EXPECT_EQ(o.rounds, 3u);
    EXPECT_EQ(o.name, "n");
    EXPECT_EQ(o.server_name, "srv");
    EXPECT_EQ(o.command, (std::vector<std::string>{"prog", "--help"})); // the program's own

    options loop;
    ASSERT_EQ(parse({"--scenario", "s", "--loop", "--", "p"}, loop, error), options_result::run);
    EXPECT_EQ(loop.rounds, 0u);
    EXPECT_EQ(loop.server_name, "weather-server");
}

TEST(Options, HelpAndWrongCommandLines) {
    options o;
    std::string error;
    EXPECT_EQ(parse({"--scenario", "s", "--help"}, o, error), options_result::help);
    for (std::vector<const char *> bad :
         {std::vector<const char *>{"--bogus", "--scenario", "s", "--", "p"},
          {"--scenario", "s", "--"},
          {"--", "p"},
          {"--scenario", "--", "p"},
          {"--scenario", "s", "--rounds", "0", "--", "p"},
          {"--scenario", "s", "--rounds", "2x", "--", "p"},
          {"--scenario"}}) {
        options fresh;
        EXPECT_EQ(parse(bad, fresh, error), options_result::wrong) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    // Every option, one line each, in the help.
    std::string help = help_text();
    for (const char *name :
         {"--scenario FILE ", "--out DIR ", "--trace FILE.vcd ", "--live ", "--rounds N ",
          "--loop ", "--name NAME ", "--server-name NAME ", "--help "})
        EXPECT_NE(help.find(std::string("\n  ") + name), std::string::npos) << name;
}

TEST(Record, QuotesEveryByteVisibly) {
    EXPECT_EQ(quoted(std::string("12 90\n\r\t\"\\\x01\xff\0", 13)),
              "\"12 90\\n\\r\\t\\\"\\\\\\x01\\xff\\x00\"");
}

} // namespace
