// The hub frame link: bytes clocked out of the sensor hub board one bit per
// pulse, least significant bit first, sampled while the clock is low. Frame:
//
//   byte 0      sync, 0xAA (hunted bit by bit)
//   byte 1      frame length N, header and frame CRC included (3..56)
//   byte 2      header CRC, crc8 over bytes 0 and 1
//   bytes 3..   sensor records
//   byte N - 1  frame CRC, crc8 over bytes 0 to N - 2 (for N = 3 the header
//               CRC serves as both)
//
// Tests replace hub_wait() at link time with one that records the waits
// (tests/hub/hub_fakes.h).
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int hub_frame_max = 56;
constexpr uint8_t hub_sync = 0xAA;
// Pause after a frame that failed a check, before the next hunt.
constexpr int32_t retry_wait_us = 1000;
// Pause after a frame lost to a line that failed (a value file that cannot be
// opened, read or written), before the next hunt.
constexpr int32_t line_pause_us = 5000;
// A board that answers shows its sync byte within a frame's worth of pulses;
// a hunt that has gone on longer than the longest frame is waiting on a board
// that is missing or stuck, and pauses this long before each further pulse.
constexpr long hunt_patience = 8 * hub_frame_max;
constexpr int32_t hunt_pause_us = 5000;

// Half clock period in microseconds: the wait after each clock edge.
extern int32_t sltime;

// Waits `usec` microseconds (0 or more).
void hub_wait(int32_t usec);

// Whether a header that passed its check announces a frame that fits the
// frame buffer.
constexpr bool length_usable(uint8_t n) {
    return n != 0 && n <= hub_frame_max;
}

// Reads frames through get() and set() until one passes both checks, and
// leaves it in `frame` (its length at index 1). A header CRC mismatch prints
// "CRC" on `out`; a frame CRC mismatch, or a length outside 1..56, is retried
// silently. A line that fails loses the frame: the first failure of a run is
// told on standard error ("hubpoll: cannot open PATH: REASON"), and the next
// hunt waits line_pause_us. A hunt longer than hunt_patience pulses waits
// hunt_pause_us before each further pulse. With `trace` every clock pulse
// prints one line on `out`. Nothing
// outside the 56 bytes of `frame` is touched; bytes beyond the accepted frame
// keep what they held. Never gives up.
void read_hub_frame(uint8_t frame[hub_frame_max], bool trace, FILE *out);
