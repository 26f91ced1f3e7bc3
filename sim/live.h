// The live display: what the program prints, its /tmp files and the wind
// reports as they come, each line stamped with the seconds since the start.
#pragma once

#include <cstdint>
#include <string>

struct live_display {
    bool on = false;
    std::string name;                     // how lines name the program
    int64_t t0 = 0;                       // the program's start, in now_us() time
    std::string pending_out, pending_err; // unfinished lines
};

// Microseconds on the monotonic clock.
int64_t now_us();

// Shows one line, when the display is on.
void live_line(const live_display &d, const std::string &text);

// Shows the complete lines of a piece of the program's output.
void live_output(live_display &d, bool is_err, const std::string &chunk);

// Shows what is left of unfinished lines, at the end of the run.
void live_finish(live_display &d);
