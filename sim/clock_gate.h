// The clock gate: while the data line is missing, each clock write of the
// program waits until the station lets it through, so that the line can come
// back at an exact point of the program's cycle.
//
// Each write goes to a FIFO of its own, full of the station's padding when the
// program opens it, so its write waits for room. The station sees the open
// (inotify), puts the next full FIFO at the path, then takes the padding out:
// the program's write follows it, and its next write finds the next FIFO.
#pragma once

#include <string>

struct clock_gate {
    int dir = -1;           // the clock line's directory
    int watch = -1;         // inotify on it, for the program's opens of "value"
    int waiting = -1;       // the full FIFO at the path; -1 once the gate has ended
    size_t waiting_pad = 0; // its padding
    int passing = -1;       // the FIFO whose write is let through, or -1
    size_t passing_pad = 0; // padding still in it, ahead of the program's write
    int opens = 0;          // opens seen and not let through yet
    std::string text;       // the write let through, as far as it came
};

// Puts the first full FIFO at the clock value path.
bool gate_start(clock_gate &g, int dir);

// Counts the opens the watch has seen.
bool gate_opens(clock_gate &g);

// Lets the write of one open through. The next write finds a full FIFO
// again, or, with `last`, the FIFO `held` (held_value_fifo()) that ends the
// gating.
bool gate_pass(clock_gate &g, bool last, int &held);

// Takes what came of the write let through; once it is whole (up to its line
// end), moves it to `text` and returns true.
bool gate_take(clock_gate &g, std::string &text);
