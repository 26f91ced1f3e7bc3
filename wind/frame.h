// Wind frame as the wind board clocks it out, each byte least significant bit
// first, one bit per clock pulse:
//
//   byte 0  sync, 0xAA
//   byte 1  speed, 0..255 in the board's units
//   byte 2  direction code, 0..15 (any byte value can arrive)
//   byte 3  check, speed + direction code + 2, compared as a whole integer
#pragma once

constexpr int wind_sync = 0xAA;

// Clocks one frame into `frame` through get() and set(), hunting for the sync
// byte first: a first byte other than 0xAA costs one more pulse without a
// read, so that successive tries start 9 pulses apart. Never gives up on the
// board, but returns false at the end of the first clock pulse during which a
// value file could not be opened (`line_fault`, cleared on entry, says which):
// the frame is lost and the caller decides what that costs.
bool read_frame(int frame[4]);

// Whether the check byte matches; the sum is not reduced to 8 bits, so a
// speed and code adding up to 254 or more never pass.
bool frame_ok(const int frame[4]);

// Degrees of a direction code, or -1 for a code above 15.
int direction_degrees(int code);
