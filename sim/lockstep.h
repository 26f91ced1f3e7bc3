// Lockstep serving of the value files.
//
// The program's clock writes land in the clock FIFO, which the station drains
// as they come. Each read of the data line is met by a blocking open of the
// data FIFO for writing (a helper thread, the opener, waits in it, and puts a
// fresh FIFO at the data path for the next read); once it is met, every clock
// write that came before the read is in the FIFO, so the board is brought up
// to date and the level is written. The program can never run ahead of the
// board. While the data line is missing, the clock writes pass a gate
// (clock_gate.h) instead of the held FIFO.
#pragma once

#include "board.h"
#include "clock_gate.h"
#include "sandbox.h"

#include <cstdio>
#include <string>

struct lockstep {
    board b;
    const sandbox *sb = nullptr;
    int notify = -1;     // the opener hands over each met data FIFO here
    int held = -1;       // the read left unanswered when the stream ran out
    int64_t met_at = 0;  // when the read being served was met (now_us() time)
    int64_t held_us = 0; // time the program waited in reads for the station
    uint64_t tag = 0;    // clock pulses at the last answered read
    int clock_fd = -1;   // the held clock FIFO; -1 while the clock is gated
    clock_gate gate;
    std::string clock_text;     // clock writes not complete yet
    bool board_waits = false;   // the data line is missing: the board holds its stream
    uint64_t waited_pulses = 0; // clock pulses meanwhile, not given to the board
    int waited_clock = 0;       // the clock as last written meanwhile
    FILE *trace = nullptr;      // value change dump, or nullptr
    int64_t t0 = 0;             // the trace's time 0, in now_us() time
    int64_t trace_last = 0;
    int trace_data = 0;
};

// Starts the opener. It lives as long as the station.
bool start_opener(lockstep &ls, std::string &why);

// Feeds the clock writes that have arrived to the board (or, while the board
// waits, counts and drops them).
void drain_clock(lockstep &ls);

// The data FIFO end the opener has met, or -1 on a fault; `met_at` is when.
int met_read(lockstep &ls);

// Answers the met read with the board's next sample; the time the program
// waited for it counts in `held_us`. False on a fault of the station.
bool answer(lockstep &ls, int fd);

// Leaves the met read unanswered: the program stays in it until stopped.
void hold(lockstep &ls, int fd);
