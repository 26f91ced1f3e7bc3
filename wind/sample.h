// What gustlink does with each sound wind sample: the realtime wind file, the
// batch with the wind gauge file and the report, then admission.
#pragma once

#include "fault.h"
#include "window.h"

// One output file: written whole to `tmp`, then renamed over `path`.
struct wind_output {
    const char *tmp;
    const char *path;
    fault_run run; // failed writes, reported once per run
};

struct wind_outputs {
    wind_output realtime; // every sound frame
    wind_output gauge;    // every steady batch
};

constexpr wind_outputs station_outputs = {
    {"/tmp/wind_lcd_realtime_.dat", "/tmp/wind_lcd_realtime.dat", {}},
    {"/tmp/windgauge_.dat", "/tmp/windgauge.dat", {}},
};

// A file that cannot be written keeps its previous content; the first failure
// of a run prints "gustlink: cannot write PATH: REASON" on standard error, and
// the cycle goes on.
void take_sample(wind_state &w, int speed, int degrees, wind_outputs &out);
