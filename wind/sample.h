// What gustlink does with each sound wind sample: the realtime wind file, the
// batch with the wind gauge file and the report, then admission.
#pragma once

#include "window.h"

struct wind_paths {
    const char *realtime_tmp; // written whole, then renamed over realtime
    const char *realtime;
    const char *gauge;
};

constexpr wind_paths station_paths = {"/tmp/wind_lcd_realtime_.dat", "/tmp/wind_lcd_realtime.dat",
                                      "/tmp/windgauge.dat"};

void take_sample(wind_state &w, int speed, int degrees, const wind_paths &paths);
