// Wind frame as the wind board clocks it out, each byte least significant bit
// first, one bit per clock pulse:
//
//   byte 0  sync, 0xAA
//   byte 1  speed, 0..255 in the board's units
//   byte 2  direction code, 0..15 (any byte value can arrive)
//   byte 3  check, speed + direction code + 2, compared as a whole integer
#pragma once

constexpr int wind_sync = 0xAA;

enum class frame_result {
    read,        // four bytes, the first of them the sync byte
    no_sync,     // a try of the sync hunt found none
    line_failed, // a line failed during a pulse (`line_fault` says which)
};

// One try at a frame through get() and set(): 8 bits, and when they are not
// the sync byte one more pulse without a read, so that successive tries start
// 9 pulses apart (no_sync); otherwise the three bytes after it go into
// `frame`. A line that fails ends the try at the end of that clock pulse, so
// that the clock rests high; `line_fault` is cleared on entry.
frame_result read_frame(int frame[4]);

// Whether the check byte matches; the sum is not reduced to 8 bits, so a
// speed and code adding up to 254 or more never pass.
bool frame_ok(const int frame[4]);

// Degrees of a direction code, or -1 for a code above 15.
int direction_degrees(int code);
