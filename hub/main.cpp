// hubpoll: reads one sound frame from the sensor hub board, prints its
// readings, writes them to /tmp/sensors.dat and exits.
//
//   hubpoll [half-clock-period-us [trace]]
#include "gpio.h"
#include "link.h"
#include "report.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr line_pair hub_lines{3, 7};
constexpr const char *report_path = "/tmp/sensors.dat";

} // namespace

int main(int argc, char **argv) {
    if (argc >= 2) {
        parse_int(argv[1], strlen(argv[1]), &sltime);
        printf("sltime: %d\n", sltime);
        if (sltime < 0) {
            fprintf(stderr, "hubpoll: the half clock period cannot be negative\n");
            return 2;
        }
    }

    gpio_bind(hub_lines);
    gpio_setup(false);
    bool trace = argc >= 3;

    uint8_t frame[hub_frame_max] = {};
    read_hub_frame(frame, trace, stdout);
    report_frame(frame, stdout, report_path);
    return 0;
}
