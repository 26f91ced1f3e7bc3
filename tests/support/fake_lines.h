// A fake line pair for unit tests: get() and set() drive an in-process board
// model instead of sysfs files. Tests link this in place of the gpio library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// The board shifts out one bit per clock pulse, least significant bit first.
// A bit is valid while the clock is low; the rising edge moves to the next.
struct fake_board {
    std::vector<uint8_t> bits;    // the stream, first bit first
    size_t next = 0;              // index of the bit on the data line
    uint8_t idle = 0;             // level once the stream has run out
    int8_t clock = 1;             // the clock rests high
    long pulses = 0;              // rising clock edges
    long samples = 0;             // calls of get()
    long limit = 1000000;         // pulses before the test is abandoned as hung
    std::vector<long> sampled_at; // pulse count at each sample
    // Value files missing for the next so many calls of set() or get(): such a
    // call records ENOENT in `line_fault` and changes nothing else.
    long clock_missing = 0;
    long data_missing = 0;
};

extern fake_board board;

// Starts a fresh board with an empty stream, the clock high, `value` 0 and
// no line fault.
void board_reset();
// Appends bytes to the stream, each least significant bit first.
void board_send(std::initializer_list<uint8_t> bytes);
void board_send(const std::vector<uint8_t> &bytes);
// Appends single bits, in order of arrival.
void board_send_bits(std::initializer_list<uint8_t> bits);
// Bits of the stream not clocked out yet.
size_t board_left();
