// What the program leaves between two reads of the data line: its output and
// the /tmp files it wrote, gathered into one step of the timeline, tagged with
// the clock pulses counted at the last served read ("@N").
#pragma once

#include "live.h"
#include "results.h"

#include <cstdint>
#include <map>
#include <string>

struct capture {
    results *res = nullptr;
    live_display *live = nullptr;
    int inotify = -1; // /tmp
    std::string step_out, step_err;
    std::map<std::string, std::string> step_files;
};

// Watches /tmp for files written or moved into it.
bool watch_tmp(capture &c, std::string &why);

// Takes what waits in one of the program's output pipes; at its end, closes
// it and sets `fd` to -1.
void read_output(capture &c, int &fd, bool is_err);

// The /tmp files written since the last read. The program is blocked in its
// read while this runs, so each file holds what it last wrote.
void drain_files(capture &c);

// Writes the step gathered since the last read to the timeline.
void flush_step(capture &c, uint64_t tag);
