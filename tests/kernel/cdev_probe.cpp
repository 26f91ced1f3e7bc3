// cdev-probe: reads the board through the GPIO character device (uAPI v2)
// where the programs use sysfs, to show that both reach the chip: the clock
// requested as an output resting high, the data line as an input, then
// pulses (clock low, read, clock high) until the board holds a read, or
// BYTES bytes have been read. Prints the chip's label and line count, then
// each byte read (least significant bit first) in hex, a line each.
//
//   cdev-probe CHIP CLOCK DATA [BYTES]   (/dev/CHIP, offsets in it)
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int fail(const char *what) {
    fprintf(stderr, "cdev-probe: %s: %s\n", what, strerror(errno));
    return 1;
}

// One line, requested alone; its descriptor, or -1.
int request_line(int chip, unsigned offset, bool output) {
    gpio_v2_line_request req{};
    req.offsets[0] = offset;
    req.num_lines = 1;
    strncpy(req.consumer, "cdev-probe", sizeof req.consumer - 1);
    req.config.flags = output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT;
    if (output) { // high from the start: the request itself makes no pulse
        req.config.num_attrs = 1;
        req.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
        req.config.attrs[0].attr.values = 1;
        req.config.attrs[0].mask = 1;
    }
    return ioctl(chip, GPIO_V2_GET_LINE_IOCTL, &req) == 0 ? req.fd : -1;
}

bool set_level(int line, unsigned level) {
    gpio_v2_line_values v{};
    v.mask = 1;
    v.bits = level;
    return ioctl(line, GPIO_V2_LINE_SET_VALUES_IOCTL, &v) == 0;
}

bool get_level(int line, unsigned &level) {
    gpio_v2_line_values v{};
    v.mask = 1;
    if (ioctl(line, GPIO_V2_LINE_GET_VALUES_IOCTL, &v) != 0)
        return false;
    level = static_cast<unsigned>(v.bits & 1);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    static char out_buffer[BUFSIZ]; // stopped, not ended: every line must be out
    setvbuf(stdout, out_buffer, _IOLBF, sizeof out_buffer);
    if (argc != 4 && argc != 5) {
        fputs("usage: cdev-probe CHIP CLOCK DATA [BYTES]\n", stderr);
        return 2;
    }
    int bytes = argc == 5 ? atoi(argv[4]) : -1;
    char path[64];
    snprintf(path, sizeof path, "/dev/%s", argv[1]);
    int chip = open(path, O_RDWR | O_CLOEXEC);
    if (chip < 0)
        return fail(path);
    gpiochip_info info{};
    if (ioctl(chip, GPIO_GET_CHIPINFO_IOCTL, &info) != 0)
        return fail("chip info");
    printf("chip %s %u\n", info.label, info.lines);
    int clock = request_line(chip, static_cast<unsigned>(atoi(argv[2])), true);
    int data = request_line(chip, static_cast<unsigned>(atoi(argv[3])), false);
    if (clock < 0 || data < 0)
        return fail("line request");
    for (; bytes != 0; bytes--) {
        unsigned byte = 0;
        for (unsigned j = 0; j < 8; j++) {
            unsigned bit = 0;
            if (!set_level(clock, 0) || !get_level(data, bit) || !set_level(clock, 1))
                return fail("line values");
            byte |= bit << j;
        }
        printf("%02x\n", byte);
    }
    return 0;
}
