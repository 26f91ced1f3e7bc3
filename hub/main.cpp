// hubpoll: reads one sound frame from the sensor hub board, prints its
// readings, writes them to /tmp/sensors.dat and exits.
//
//   hubpoll [half-clock-period-us [trace]]
#include "gpio.h"
#include "link.h"
#include "parse_int.h"
#include "publish.h"
#include "walk.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>

// Build settings (CMake cache variables of the same names).
#ifndef HUBPOLL_CLOCK_LINE
#define HUBPOLL_CLOCK_LINE 3
#endif
#ifndef HUBPOLL_DATA_LINE
#define HUBPOLL_DATA_LINE 7
#endif
#ifndef HUBPOLL_GPIO_CHIP
#define HUBPOLL_GPIO_CHIP "gpiochip0"
#endif

namespace {

constexpr line_pair hub_lines{HUBPOLL_CLOCK_LINE, HUBPOLL_DATA_LINE, HUBPOLL_GPIO_CHIP, "hubpoll"};
constexpr const char *report_tmp = "/tmp/sensors_.dat";
constexpr const char *report_path = "/tmp/sensors.dat";

// The half period from the command line, refused before any GPIO file is
// touched when it is no wait at all. Returns false when refused.
bool take_half_period(const char *arg) {
    int period = sltime;
    switch (parse_int(arg, strlen(arg), &period)) {
    case parsed_int::none:
        break; // stays at the default, as "%d" leaves it
    case parsed_int::in_range:
        sltime = period;
        break;
    case parsed_int::out_of_range:
        // No "sltime" line: there is no value the program could hold.
        fputs(period < 0 ? "hubpoll: the half clock period cannot be negative\n"
                         : "hubpoll: the half clock period is too long\n",
              stderr);
        return false;
    }
    printf("sltime: %d\n", sltime);
    if (sltime < 0) {
        fputs("hubpoll: the half clock period cannot be negative\n", stderr);
        return false;
    }
    return true;
}

void note_setup(const line_error &e) {
    if (e.error != 0)
        fprintf(stderr, "hubpoll: cannot %s %s: %s\n", e.action, e.file, strerror(e.error));
}

} // namespace

int main(int argc, char **argv) {
    // Line by line, so that whatever was printed is out when a time limit
    // stops the run. The buffer is static: the program allocates nothing.
    static char out_buffer[BUFSIZ];
    setvbuf(stdout, out_buffer, _IOLBF, sizeof out_buffer);

    if (argc >= 2 && !take_half_period(argv[1]))
        return 2;

    // The finest timer slack, so that the waits of 100 us overshoot less.
    // Refused, the default slack stays and the clock is only slower.
    if (prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) != 0)
        fprintf(stderr, "hubpoll: cannot set the timer slack: %s\n", strerror(errno));

    gpio_bind(hub_lines);
    line_fault = {};
    if (!gpio_setup(false))
        fprintf(stderr, "Error whilst opening %s\n", gpio_setup_file());
    // A direction that cannot be set is told now; the link tells its own.
    note_setup(line_fault.clock);
    note_setup(line_fault.data);
    bool trace = argc >= 3;

    uint8_t frame[hub_frame_max] = {};
    read_hub_frame(frame, trace, stdout);
    sensor_report report;
    walk_records(frame, stdout, report);
    // Still status 0 when the file cannot be written: the readings are out,
    // and callers have always been given 0 after a frame.
    int error = publish(report_tmp, report_path, report.text, report.len);
    if (error != 0)
        fprintf(stderr, "hubpoll: cannot write %s: %s\n", report_path, strerror(error));
    return 0;
}
