// GPIO lines: the clock line a program drives and the data line it samples,
// and the line set-up, shared by both programs. The backend is a build
// setting: sysfs.cpp (the /sys/class/gpio files, every operation an open, a
// transfer and a close) or chardev.cpp (the GPIO character device, both lines
// requested once, every operation one ioctl).
//
// Tests replace get(), set(), `value` and `line_fault` at link time with a
// fake line pair that plays a board in-process (tests/support/fake_lines.h).
#pragma once

#include <cstddef>
#include <cstdint>

// The two GPIO lines of one program: offsets on a chip, as the kernel
// numbers a chip's lines from 0 whatever number it gives the chip.
struct line_pair {
    int clock; // output, driven by the program
    int data;  // input, driven by the board
    // The chip, by name ("gpiochip0": its device number, as /dev/gpiochip0
    // and /sys/bus/gpio/devices/gpiochip0 have it, never its base), path
    // ("/dev/gpiochip0") or label. Empty (sysfs only): `clock` and `data` are
    // global GPIO numbers, as given. The consumer is the name the kernel shows
    // for the lines' user (character device).
    const char *chip = "gpiochip0";
    const char *consumer = "";
};

// Level last read from the data line by get(): 0 is low, anything else high.
extern int value;

// The latest failure on one line: 0 in `error` while the line works.
struct line_error {
    int error;          // errno value
    const char *action; // what failed: "open", "read", "write", "close", "export" or "request"
    const char *file;   // the file or line it failed on, as the message names it
};

// Failures since the caller last cleared them, one entry per line: the
// operations and the set-up only record them; the program decides what a
// failure costs and says so.
struct line_faults {
    line_error clock;
    line_error data;
};
extern line_faults line_fault;

// Points get(), set() and gpio_setup() at a line pair. `root` is prepended to
// every path: "" on the router, a scratch directory in tests.
void gpio_bind(line_pair lines, const char *root = "");

// Samples the data line into `value`. A line that cannot be read (recorded in
// `line_fault.data`), or a value file that holds no number, leaves `value` as
// it was.
//   sysfs: open the value file, one read, close.
//   chardev: one GPIO_V2_LINE_GET_VALUES_IOCTL.
void get();

// Drives the clock line to `level`, which it holds when set() returns; a
// failure is recorded in `line_fault.clock`.
//   sysfs: open the value file, one write ("%d\n"), close; the close commits.
//   chardev: one GPIO_V2_LINE_SET_VALUES_IOCTL.
void set(int8_t level);

// The line set-up, once before the first pulse. Returns whether the setup
// file (gpio_setup_file()) could be opened; when `need_export` is set and it
// cannot, nothing further is touched. A line that cannot be set up is
// recorded in `line_fault`, or, where it can never work (a missing chip, an
// offset beyond the chip, a line another consumer holds), by every pulse
// that asks for it, so that the failure is told once.
//   sysfs: finds the chip: the chip-local interface where the kernel has it
//     (/sys/class/gpio/chipN: the offsets are exported there and the lines
//     are chipN/gpioOFFSET), else the chip's base in the legacy interface
//     (base + offset to /sys/class/gpio/export, the lines /sys/class/gpio/
//     gpioNUMBER), else, on a kernel that shows no chips, the offsets as the
//     numbers. Then four writes in this order: the clock line and the data
//     line to the export file, "out\n" and "in\n" to the direction files. The
//     export writes may fail for a good reason (a line exported already) and
//     count only where the line is not there after.
//   chardev: opens the chip and requests both lines under the consumer name,
//     the clock an output driven low, the data line an input, and holds the
//     request for the program's life. get() and set() request them again
//     while the request is missing, and record why they cannot have them (a
//     line busy with another consumer, named; an offset beyond the chip's
//     lines, with their count; a missing chip); the set-up records nothing,
//     so that the failure is told once.
bool gpio_setup(bool need_export);

// The file the set-up opens first (the export file, or the chip), or the
// chip it could not find, for the message when it cannot be opened.
const char *gpio_setup_file();
