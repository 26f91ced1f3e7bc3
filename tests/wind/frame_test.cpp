#include "fake_lines.h"
#include "frame.h"
#include "gpio.h"
#include "pacing.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

struct frame_read {
    int bytes[4];
};

// Tries until a frame is read, as gustlink's cycle does.
frame_read read_one() {
    frame_read f{};
    frame_result r;
    while ((r = read_frame(f.bytes)) == frame_result::no_sync)
        ;
    EXPECT_EQ(r, frame_result::read);
    return f;
}

TEST(WindFrame, AlignedFrameTakes32PulsesAllSampled) {
    board_reset();
    board_send_bits({0, 1, 0, 1, 0, 1, 0, 1}); // 0xAA, first bit first
    board_send({12, 2, 16});
    frame_read f = read_one();
    EXPECT_EQ(f.bytes[0], 0xAA);
    EXPECT_EQ(f.bytes[1], 12);
    EXPECT_EQ(f.bytes[2], 2);
    EXPECT_EQ(f.bytes[3], 16);
    EXPECT_EQ(board.pulses, 32);
    EXPECT_EQ(board.samples, 32);
    EXPECT_EQ(board.clock, 1); // the clock rests high
}

TEST(WindFrame, FailedSyncTryCostsNinePulsesEightSampled) {
    board_reset();
    // Eight stray bits and a ninth that the hunt clocks past without reading:
    // a 1 there would spoil the sync byte if it were sampled.
    board_send_bits({1, 1, 0, 0, 1, 0, 1, 1, 1});
    board_send({0xAA, 40, 3, 45});
    int frame[4] = {};
    EXPECT_EQ(read_frame(frame), frame_result::no_sync); // back to the cycle after one try
    EXPECT_EQ(board.pulses, 9);
    EXPECT_EQ(board.clock, 1);
    frame_read f = read_one();
    EXPECT_EQ(f.bytes[1], 40);
    EXPECT_EQ(f.bytes[3], 45);
    EXPECT_EQ(board.pulses, 9 + 32);
    EXPECT_EQ(board.samples, 8 + 32);
    // Pulse 8 (counting from 0) is the unread one.
    for (int k = 0; k < 8; k++)
        EXPECT_EQ(board.sampled_at[static_cast<size_t>(k)], k);
    EXPECT_EQ(board.sampled_at[8], 9);
}

TEST(WindFrame, HuntsAcrossAContinuousStreamStartedMidFrame) {
    board_reset();
    // The board repeats its frame; the program joins 5 bits in. Tries start
    // 9 pulses apart, so every offset into the 32-bit frame is reached.
    std::vector<uint8_t> frames;
    for (int k = 0; k < 40; k++)
        frames.insert(frames.end(), {0xAA, 7, 9, 18});
    board_send_bits({0, 0, 1, 0, 1});
    board_send(frames);
    frame_read f = read_one();
    EXPECT_EQ(f.bytes[0], 0xAA);
    EXPECT_EQ(f.bytes[1], 7);
    EXPECT_EQ(f.bytes[2], 9);
    EXPECT_EQ(f.bytes[3], 18);
    EXPECT_EQ((board.pulses - 32) % 9, 0);
    EXPECT_EQ(board.samples, board.pulses - (board.pulses - 32) / 9);
}

TEST(WindFrame, SyncValueAfterTheSyncByteIsData) {
    board_reset();
    board_send({0xAA, 0xAA, 0, 172});
    frame_read f = read_one();
    EXPECT_EQ(f.bytes[1], 170);
    EXPECT_TRUE(frame_ok(f.bytes));
    EXPECT_EQ(direction_degrees(f.bytes[2]), 22);
    EXPECT_EQ(board.pulses, 32);
}

TEST(WindFrame, CheckComparesTheWholeSum) {
    int sound[4] = {0xAA, 12, 2, 16};
    int off_by_one[4] = {0xAA, 12, 2, 15};
    int wide_code[4] = {0xAA, 5, 16, 23};
    int overflowing[4] = {0xAA, 250, 4, 0}; // 256 would only match modulo 256
    int just_over[4] = {0xAA, 253, 1, 0};
    int largest[4] = {0xAA, 250, 3, 255};
    EXPECT_TRUE(frame_ok(sound));
    EXPECT_FALSE(frame_ok(off_by_one));
    EXPECT_TRUE(frame_ok(wide_code));
    EXPECT_FALSE(frame_ok(overflowing));
    EXPECT_FALSE(frame_ok(just_over));
    EXPECT_TRUE(frame_ok(largest));
}

TEST(WindFrame, DirectionCodesAreAGrayCodedCompass) {
    // Codes 1 and 0 are north and the next sector east; from there the codes
    // of the 16 sectors, in order around the compass, step by one bit each.
    const int around[16] = {1, 0, 4, 6, 2, 10, 14, 12, 8, 9, 13, 15, 11, 3, 7, 5};
    int codes_seen = 0;
    for (int k = 0; k < 16; k++) {
        int code = around[k];
        int next = around[(k + 1) % 16];
        EXPECT_EQ(__builtin_popcount(static_cast<unsigned>(code ^ next)), 1) << "code " << code;
        codes_seen |= 1 << code;
        // Sector k lies at k x 22.5 degrees, given in whole degrees.
        int degrees = direction_degrees(code);
        EXPECT_LE(std::abs(2 * degrees - 45 * k), 1) << "code " << code << ": " << degrees;
    }
    EXPECT_EQ(codes_seen, 0xFFFF);
    EXPECT_EQ(direction_degrees(1), 0);
    EXPECT_EQ(direction_degrees(0), 22);
    EXPECT_EQ(direction_degrees(16), -1);
    EXPECT_EQ(direction_degrees(255), -1);
    EXPECT_EQ(direction_degrees(-1), -1);
}

TEST(WindFrame, MissingDataLineEndsTheReadAfterTheFullPulse) {
    board_reset();
    board_send({0xAA, 12, 2, 16});
    board.data_missing = 1;
    int frame[4] = {};
    EXPECT_EQ(read_frame(frame), frame_result::line_failed);
    EXPECT_EQ(line_fault.data.error, ENOENT);
    EXPECT_EQ(line_fault.clock.error, 0);
    EXPECT_EQ(board.pulses, 1);
    EXPECT_EQ(board.clock, 1); // the clock rests high
    // The next read starts clean and hunts its way back into the stream.
    board_reset();
    board_send({0xAA, 12, 2, 16});
    frame_read f = read_one();
    EXPECT_EQ(f.bytes[1], 12);
    EXPECT_EQ(line_fault.data.error, 0);
}

TEST(WindFrame, MissingClockLineEndsTheReadWithoutAPulse) {
    board_reset();
    board_send({0xAA, 12, 2, 16});
    board.clock_missing = 2;
    int frame[4] = {};
    EXPECT_EQ(read_frame(frame), frame_result::line_failed);
    EXPECT_EQ(line_fault.clock.error, ENOENT);
    EXPECT_STREQ(line_fault.clock.action, "open");
    EXPECT_EQ(board.pulses, 0);
    EXPECT_EQ(board.samples, 1);
}

TEST(WindPacing, PausesOnlyOnceAWholeCycleWentByWithoutAFrame) {
    // Times in microseconds of the wall clock, seconds included.
    EXPECT_FALSE(starving(5000000, 5000000));
    EXPECT_FALSE(starving(5000000, 5099999)); // a failed try within the cycle: at once
    EXPECT_TRUE(starving(5000000, 5100000));
    EXPECT_TRUE(starving(5000000, 65000000));
    EXPECT_TRUE(starving(5000000, 4999999)); // the clock was set back
}

TEST(WindPacing, SleepsOutTheRestOf100ms) {
    EXPECT_EQ(pace_sleep(0, 30000), 70000);
    EXPECT_EQ(pace_sleep(0, 150000), 0);
    EXPECT_EQ(pace_sleep(0, 50000), 50000); // 1.05 s: the seconds are ignored
    EXPECT_EQ(pace_sleep(400000, 400000), 0);
    EXPECT_EQ(pace_sleep(950000, 20000), 30000); // microseconds wrapped
    EXPECT_EQ(pace_sleep(999999, 0), 99999);
    EXPECT_EQ(pace_sleep(0, 999999), 0);
}

} // namespace
