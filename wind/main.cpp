// gustlink: reads the wind board every 100 ms, keeps the realtime and wind
// gauge files current and reports every steady batch of 10 samples.
#include "datagram.h"
#include "fault.h"
#include "frame.h"
#include "gpio.h"
#include "pacing.h"
#include "sample.h"
#include "station_id.h"
#include "watch.h"
#include "window.h"

#include <cstdio>
#include <cstring>
#include <sys/time.h>
#include <time.h>
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
#ifndef GUSTLINK_GPIO_CHIP
#define GUSTLINK_GPIO_CHIP "gpiochip0"
#endif
#ifndef GUSTLINK_LOOKUP_RETRY_MS
#define GUSTLINK_LOOKUP_RETRY_MS lookup_retry_ms
#endif
#ifndef GUSTLINK_SILENCE_S
#define GUSTLINK_SILENCE_S 60
#endif
#ifndef GUSTLINK_REMIND_S
#define GUSTLINK_REMIND_S 3600
#endif

namespace {

constexpr line_pair wind_lines{GUSTLINK_CLOCK_LINE, GUSTLINK_DATA_LINE, GUSTLINK_GPIO_CHIP,
                               "gustlink"};

// What a line that fails costs before the cycle goes on, and what each try
// costs once no frame has passed for a whole cycle: a missing, stuck or
// babbling board never keeps a core busy.
constexpr useconds_t line_pause_us = 5000;
constexpr useconds_t starving_pause_us = 5000;

timeval tv;
wind_state wind;
wind_outputs outputs = station_outputs;
fault_run clock_run;
fault_run data_run;

int32_t now_usec() {
    gettimeofday(&tv, nullptr);
    return static_cast<int32_t>(tv.tv_usec);
}

// The last clock reading in microseconds, seconds included.
int64_t tv_total() {
    return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

void note_line(fault_run &run, const line_error &e) {
    if (starts_run(run, e.error))
        fprintf(stderr, "gustlink: cannot %s %s: %s\n", e.action, e.file, strerror(e.error));
}

void note_lines() {
    note_line(clock_run, line_fault.clock);
    note_line(data_run, line_fault.data);
}

void rest_if_starving(int64_t trying_since) {
    now_usec();
    if (starving(trying_since, tv_total()))
        usleep(starving_pause_us);
}

// Ticks (watch.h) of the clock no one sets, for what the log is told of the
// board; a reading that fails (it cannot) keeps the last.
int64_t watch_clock() {
    static int64_t last;
    timespec t;
    if (clock_gettime(CLOCK_MONOTONIC, &t) == 0)
        last = static_cast<int64_t>(t.tv_sec) << tick_shift |
               static_cast<uint32_t>(t.tv_nsec) / (1000000000u >> tick_shift);
    return last;
}

board_watch watch;
char lines_told[128]; // the chip and lines, as the silence is told

void tell_news(int64_t now) {
    char length[32];
    for (watch_news news; (news = watch_next(watch, now)) != watch_news::none;) {
        switch (news) {
        case watch_news::silent:
            format_duration(length, sizeof length, now - watch.since);
            fprintf(stderr,
                    "gustlink: no wind frame for %s (%u hunts, %u failed checks) on %s: is the "
                    "wind board powered and wired?\n",
                    length, watch.hunts, watch.failed, lines_told);
            break;
        case watch_news::back:
            format_duration(length, sizeof length, watch.told_back);
            fprintf(stderr, "gustlink: wind frames again after %s\n", length);
            break;
        case watch_news::failed_checks:
            format_duration(length, sizeof length, watch.remind);
            fprintf(stderr, "gustlink: %u of %u wind frames failed their check in the last %s\n",
                    watch.told_failed, watch.told_read, length);
            break;
        case watch_news::none:
            break;
        }
    }
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

    open_endpoint(GUSTLINK_SERVER_HOST, GUSTLINK_LOOKUP_RETRY_MS);

    gpio_bind(wind_lines);
    line_fault = {};
    if (!gpio_setup(true)) {
        // On standard output as it has always been, and on standard error for
        // the service's log, which is all a router's owner sees.
        printf("Error whilst opening %s\n", gpio_setup_file());
        fprintf(stderr, "gustlink: Error whilst opening %s\n", gpio_setup_file());
        return -1;
    }
    // A direction that cannot be set is told now; the cycle tells its own.
    note_lines();
    clock_run = data_run = {};
    puts("4");

    if (wind_lines.chip[0] == '\0')
        snprintf(lines_told, sizeof lines_told, "GPIO %d (clock) and %d (data)", wind_lines.clock,
                 wind_lines.data);
    else
        snprintf(lines_told, sizeof lines_told, "%s lines %d (clock) and %d (data)",
                 wind_lines.chip, wind_lines.clock, wind_lines.data);
    watch = watch_start(GUSTLINK_SILENCE_S, GUSTLINK_REMIND_S, watch_clock());

    wind.w_p = 0;
    wind.ref_speed = 0;
    int frame[4];
    bool passed = true; // the reads begin now
    int64_t trying_since = 0;
    for (;;) {
        int32_t start = now_usec();
        follow_lookup(); // nothing, once the server's name is known
        if (passed)
            trying_since = tv_total();
        passed = false;
        frame_result read;
        while ((read = read_frame(frame)) == frame_result::no_sync) {
            note_lines(); // a sound pulse ends a run of failures
            watch_hunt(watch);
            tell_news(watch_clock());
            rest_if_starving(trying_since);
        }
        note_lines();
        if (read == frame_result::line_failed) {
            tell_news(watch_clock());
            usleep(line_pause_us);
            continue;
        }
        if (!frame_ok(frame)) {
            printf("CRC"); // hunted again at once, unless no frame has passed for a cycle
            watch_failed(watch);
            tell_news(watch_clock());
            rest_if_starving(trying_since);
            continue;
        }
        passed = true;
        int64_t passed_at = watch_clock();
        watch_passed(watch, passed_at);
        tell_news(passed_at);
        int degrees = direction_degrees(frame[2]);
        printf("%d %d\n\r", frame[1], degrees);
        take_sample(wind, frame[1], degrees, outputs);
        usleep(static_cast<useconds_t>(pace_sleep(start, now_usec())));
    }
}
