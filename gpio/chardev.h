// The pieces of the character device backend that need no kernel: how a chip
// setting names its device, the line request, and the words for a line that
// cannot be had. chardev.cpp makes the system calls around them.
#pragma once

#include "gpio.h"

#include <cstddef>
#include <linux/gpio.h>

// How the chip setting names the chip: "gpiochip3" is /dev/gpiochip3, a path
// is taken as it is, anything else is the chip's label as the kernel reports
// it (/sys/bus/gpio/devices/gpiochipN/../label, GPIO_GET_CHIPINFO_IOCTL),
// found among /dev/gpiochip0 to /dev/gpiochip63.
enum class chip_by { name, path, label };
chip_by chip_kind(const char *chip);

// The request of both lines of `lines`: offsets[0] the clock, an output
// driven low at first; offsets[1] the data line, an input.
gpio_v2_line_request line_request(const line_pair &lines);

// Bit masks of the two lines in the request's values.
constexpr unsigned long long clock_bit = 1;
constexpr unsigned long long data_bit = 2;

// "line 2 of /dev/gpiochip0", with why it cannot be had where that is known:
// ", held by \"sysfs\"" when another consumer holds it, ", which has 2 lines"
// when the offset lies beyond the chip. Written into `out` (`size` bytes).
void describe_line(char *out, size_t size, int offset, const char *chip, const char *holder,
                   int chip_lines);
