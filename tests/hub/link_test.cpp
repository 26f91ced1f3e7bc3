#include "link.h"

#include "crc8.h"
#include "fake_lines.h"
#include "hub_fakes.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

const std::vector<uint8_t> no_records{0xAA, 0x03, 0xEB};

struct HubLink : ::testing::Test {
    uint8_t frame[hub_frame_max] = {};
    capture out;

    void SetUp() override {
        board_reset();
        waits.clear();
        sltime = 100;
    }

    std::vector<uint8_t> received(size_t n) { return {frame, frame + n}; }
    long retries() const { return std::count(waits.begin(), waits.end(), retry_wait_us); }
    long waits_of(int32_t us) const { return std::count(waits.begin(), waits.end(), us); }
};

TEST_F(HubLink, SoundFrameCostsEightPulsesPerByte) {
    board_send(example_frame);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(received(16), example_frame);
    EXPECT_EQ(board.pulses, 16 * 8);
    EXPECT_EQ(board_left(), 0u);
    EXPECT_EQ(out.text(), "");
}

TEST_F(HubLink, SamplesWhileTheClockIsLowAndWaitsAfterEachEdge) {
    sltime = 50;
    board_send(no_records);
    read_hub_frame(frame, false, out.file);
    ASSERT_EQ(board.samples, 24);
    for (long k = 0; k < board.samples; k++)
        EXPECT_EQ(board.sampled_at[static_cast<size_t>(k)], k); // before its rising edge
    EXPECT_EQ(board.clock, 1);                                  // rests high
    EXPECT_EQ(waits, std::vector<int32_t>(48, 50));
}

TEST_F(HubLink, ZeroHalfPeriodWaitsZero) {
    sltime = 0;
    board_send(no_records);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(waits, std::vector<int32_t>(48, 0));
}

TEST_F(HubLink, TraceReportsEveryPulse) {
    board_send(no_records);
    read_hub_frame(frame, true, out.file);
    std::vector<std::string> lines = out.lines();
    ASSERT_EQ(lines.size(), 24u);
    // 0xAA arrives as 0 1 0 1 0 1 0 1.
    EXPECT_EQ(lines[0], "bit 0 value 0 readByte0");
    EXPECT_EQ(lines[1], "bit 1 value 1 readByte2");
    EXPECT_EQ(lines[7], "bit 7 value 1 readByte170");
    EXPECT_EQ(lines[8], "bit 0 value 1 readByte1"); // length 3
    EXPECT_EQ(lines[9], "bit 1 value 1 readByte3");
}

void expect_sync_after(const std::vector<std::string> &lines, size_t pulses) {
    ASSERT_GT(lines.size(), pulses);
    for (size_t k = 7; k < pulses; k++)
        EXPECT_EQ(lines[k].substr(0, 6), "bit 7 ") << "pulse " << k + 1;
    EXPECT_EQ(lines[pulses - 1], "bit 7 value 1 readByte170");
    EXPECT_EQ(lines[pulses].substr(0, 6), "bit 0 ");
}

TEST_F(HubLink, HuntDropsThreeStrayOnesOnePulseEach) {
    board_send_bits({1, 1, 1});
    board_send(example_frame);
    read_hub_frame(frame, true, out.file);
    std::vector<std::string> lines = out.lines();
    expect_sync_after(lines, 11);
    // During the hunt the trace shows the window before its shift.
    EXPECT_EQ(lines[7], "bit 7 value 0 readByte87"); // 1 1 1 0 1 0 1 0
    EXPECT_EQ(received(16), example_frame);
    EXPECT_EQ(board.pulses, 3 + 16 * 8);
    EXPECT_EQ(lines.size(), 3 + 16 * 8u);
}

TEST_F(HubLink, HuntDropsThreeStrayZerosOnePulseEach) {
    board_send_bits({0, 0, 0});
    board_send(example_frame);
    read_hub_frame(frame, true, out.file);
    expect_sync_after(out.lines(), 11);
    EXPECT_EQ(received(16), example_frame);
    EXPECT_EQ(board.pulses, 3 + 16 * 8);
}

TEST_F(HubLink, HuntTakesTheFirstWindowThatFormsTheSyncByte) {
    // Stray 0 then 1 and the sync byte's own first six bits already read as
    // 0xAA: byte 0 is complete two pulses early, and the misaligned header
    // fails its check.
    board_send_bits({0, 1});
    board_send(example_frame);
    board_send(example_frame);
    read_hub_frame(frame, true, out.file);
    std::vector<std::string> lines = out.lines();
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(lines[7], "bit 7 value 1 readByte170");
    EXPECT_EQ(lines[8], "bit 0 value 0 readByte0");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "CRC"), lines.end());
    EXPECT_EQ(received(16), example_frame);
    EXPECT_EQ(board_left(), 0u);
}

TEST_F(HubLink, SyncValueAfterByteZeroIsData) {
    std::vector<uint8_t> sent = hub_frame({0x03, 0xAA});
    board_send(sent);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(received(sent.size()), sent);
    EXPECT_EQ(board.pulses, 8 * static_cast<long>(sent.size()));
}

TEST_F(HubLink, HeaderMismatchPrintsCrcWaitsAndHuntsAgain) {
    board_send({0xAA, 0x10, 0x55});
    board_send(example_frame);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(out.text(), "CRC\n");
    EXPECT_EQ(retries(), 1);
    EXPECT_EQ(waits[48], retry_wait_us); // right after the third byte
    EXPECT_EQ(received(16), example_frame);
    EXPECT_EQ(board.pulses, 3 * 8 + 16 * 8);
}

TEST_F(HubLink, MissingValueFileIsReportedOncePerRunOfFailures) {
    testing::internal::CaptureStderr();
    for (int run = 0; run < 2; run++) {
        waits.clear();
        board.data_missing = 20; // twenty samples fail, then the line comes up
        board_send(std::vector<uint8_t>(3, 0x00));
        board_send(example_frame);
        read_hub_frame(frame, false, out.file);
        EXPECT_EQ(received(16), example_frame);
        // Each failure loses what was read and pauses before the next hunt,
        // so that a line that stays away never keeps a core busy.
        EXPECT_EQ(waits_of(line_pause_us), 20);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "hubpoll: cannot open fake/data/value: No such file or directory\n"
              "hubpoll: cannot open fake/data/value: No such file or directory\n");
}

TEST_F(HubLink, AClockThatRefusesWritesLosesTheFrameEvenWithoutHalfPeriod) {
    sltime = 0;
    testing::internal::CaptureStderr();
    board.clock_missing = 10;
    board_send(std::vector<uint8_t>(2, 0x00));
    board_send(example_frame);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(received(16), example_frame);
    EXPECT_GE(waits_of(line_pause_us), 5); // a failed pulse writes the clock twice
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "hubpoll: cannot open fake/clock/value: No such file or directory\n");
}

TEST_F(HubLink, AHuntLongerThanAnyFramePausesBeforeEachFurtherPulse) {
    // 500 low bits: a board that does not answer, then one that does.
    board_send(std::vector<uint8_t>(500 / 8, 0x00));
    board_send_bits({0, 0, 0, 0});
    board_send(example_frame);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(received(16), example_frame);
    // The sync byte completes the window at pulse 508; from pulse 448 on,
    // each pulse of the hunt waited first, and none of the frame after it.
    EXPECT_EQ(waits_of(hunt_pause_us), 508 - hunt_patience);
    EXPECT_EQ(waits.size(), static_cast<size_t>(508 - hunt_patience + 2 * board.pulses));
}

TEST_F(HubLink, FrameMismatchRetriesSilently) {
    std::vector<uint8_t> bad = example_frame;
    bad.back() ^= 0x01;
    board_send(bad);
    board_send(example_frame);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(retries(), 1);
    EXPECT_EQ(waits[16 * 8 * 2], retry_wait_us);
    EXPECT_EQ(received(16), example_frame);
    EXPECT_EQ(board.pulses, 2 * 16 * 8);
}

TEST_F(HubLink, LengthThreeIsAFrameWithoutRecords) {
    board_send(no_records);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(received(3), no_records);
    EXPECT_EQ(board.pulses, 24);
    EXPECT_EQ(retries(), 0);
}

TEST_F(HubLink, LengthsOneAndTwoNeverPassTheFrameCheck) {
    board_send({0xAA, 0x02, 0xB5});
    board_send({0xAA, 0x01, 0x57});
    board_send({0xAA, 0x02, 0xB5});
    board_send({0xAA, 0x03, 0xEB});
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(retries(), 3);
    EXPECT_EQ(frame[1], 3);
    EXPECT_EQ(board.pulses, 4 * 24);
}

TEST_F(HubLink, LengthsOutsideTheBufferAreRetriedWithoutReadingOn) {
    uint8_t area[hub_frame_max + 8];
    std::fill(std::begin(area), std::end(area), 0x5A);
    for (int length : {0, 57, 255}) {
        const uint8_t header[2] = {0xAA, static_cast<uint8_t>(length)};
        board_send({header[0], header[1], crc8(header, 2)}); // a sound header
    }
    std::vector<uint8_t> longest = hub_frame(std::vector<uint8_t>(52, 0x03));
    ASSERT_EQ(longest.size(), 56u);
    board_send(longest);
    read_hub_frame(area, false, out.file);
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(retries(), 3);
    EXPECT_EQ(board.pulses, 3 * 24 + 56 * 8);
    EXPECT_EQ(std::vector<uint8_t>(area, area + 56), longest);
    for (size_t k = hub_frame_max; k < sizeof area; k++)
        EXPECT_EQ(area[k], 0x5A) << "byte " << k;
}

TEST_F(HubLink, BytesBeyondTheFrameKeepWhatTheyHeld) {
    std::vector<uint8_t> bad = hub_frame({0x03, 0x07, 0x03, 0x07});
    bad.back() ^= 0x80;
    board_send(bad);
    board_send(no_records);
    read_hub_frame(frame, false, out.file);
    EXPECT_EQ(frame[1], 3);
    EXPECT_EQ(received(8),
              (std::vector<uint8_t>{0xAA, 0x03, 0xEB, 0x03, 0x07, 0x03, 0x07, bad[7]}));
}

} // namespace
