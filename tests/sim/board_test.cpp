// The emulated board's counting and the trace of its lines.
#include "board.h"
#include "vcd.h"

#include <gtest/gtest.h>

namespace {

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

} // namespace
