// The board at the far end of the clocked link. It shifts out one bit of its
// stream per clock pulse, least significant bit of each byte first: the bit of
// a pulse goes onto the data line when the clock falls and stays there until
// the next fall. The clock rests high. Every write of the clock line and every
// read of the data line is counted, so a run can be judged by its pulses.
#pragma once

#include <cstdint>
#include <vector>

struct board {
    std::vector<uint8_t> bits; // the stream, first bit first
    uint64_t rounds = 1;       // times the stream is played; 0 for ever
    bool low_at_end = false;   // once it has run out, the line stays low for ever

    int clock = 1;             // clock level as last written
    uint64_t pulses = 0;       // falling clock edges
    uint64_t writes = 0;       // writes of the clock value file
    uint64_t samples = 0;      // reads of the data line served
    uint64_t high_samples = 0; // of those, reads while the clock was high
};

// One write of the clock value file with `level` (any non-zero is high).
// Returns whether it was a falling edge.
bool clock_write(board &b, int level);

// Level the board drives onto the data line now.
int data_level(const board &b);

// Whether the current pulse lies beyond the last round of the stream: the
// board has nothing more to say and the data line is low.
bool exhausted(const board &b);

// Whether the board has nothing more to give and the run is to end: its
// stream has run out and it does not hold the line low for ever.
bool run_out(const board &b);

// Serves one read of the data line and counts it. Returns the level.
int serve_sample(board &b);
