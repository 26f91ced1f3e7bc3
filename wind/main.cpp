// gustlink: reads the wind board every 100 ms, keeps the realtime and wind
// gauge files current and reports every steady batch of 10 samples.
#include "datagram.h"
#include "fault.h"
#include "frame.h"
#include "gpio.h"
#include "pacing.h"
#include "sample.h"
#include "station_id.h"
#include "window.h"

#include <cstdio>
#include <cstring>
#include <sys/time.h>
#include <unistd.h>

// Build settings (CMake cache variables of the same names).
#ifndef GUSTLINK_SERVER_HOST
#define GUSTLINK_SERVER_HOST "weather-server"
#endif
#ifndef GUSTLINK_CLOCK_LINE
#define GUSTLINK_CLOCK_LINE 2
#endif
#ifndef GUSTLINK_DATA_LINE
#define GUSTLINK_DATA_LINE 1
#endif

namespace {

constexpr line_pair wind_lines{GUSTLINK_CLOCK_LINE, GUSTLINK_DATA_LINE};

// What a value file that cannot be opened costs before the cycle goes on, so
// that a missing line never keeps a core busy.
constexpr useconds_t line_pause_us = 5000;

timeval tv;
wind_state wind;
wind_outputs outputs = station_outputs;
fault_run clock_run;
fault_run data_run;

int32_t now_usec() {
    gettimeofday(&tv, nullptr);
    return static_cast<int32_t>(tv.tv_usec);
}

void note_line(fault_run &run, const char *path, int error) {
    if (starts_run(run, error))
        fprintf(stderr, "gustlink: cannot open %s: %s\n", path, strerror(error));
}

} // namespace

int main() {
    // Killed rather than ended, so a supervisor's log must get every line as
    // it is written. The buffer is static: the program allocates nothing.
    static char out_buffer[BUFSIZ];
    setvbuf(stdout, out_buffer, _IOLBF, sizeof out_buffer);

    uint8_t addr[6];
    if (mac_addr_sys(addr) == 0) {
        format_station_id(addr, maddr, sizeof maddr);
        puts(maddr);
    } else {
        fputs("can't get MAC address\n", stderr);
    }

    open_endpoint(GUSTLINK_SERVER_HOST);

    gpio_bind(wind_lines);
    if (!gpio_setup(true)) {
        printf("Error whilst opening %s\n", gpio_export_path());
        return -1;
    }
    puts("4");

    wind.w_p = 0;
    wind.ref_speed = 0;
    int frame[4];
    for (;;) {
        int32_t start = now_usec();
        bool read = read_frame(frame);
        note_line(clock_run, clock_value_path(), line_fault.clock);
        note_line(data_run, data_value_path(), line_fault.data);
        if (!read) {
            usleep(line_pause_us);
            continue;
        }
        if (!frame_ok(frame)) {
            printf("CRC"); // no sleep: the next frame is hunted at once
            continue;
        }
        int degrees = direction_degrees(frame[2]);
        printf("%d %d\n\r", frame[1], degrees);
        take_sample(wind, frame[1], degrees, outputs);
        usleep(static_cast<useconds_t>(pace_sleep(start, now_usec())));
    }
}
