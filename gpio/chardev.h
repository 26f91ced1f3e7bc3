// The pieces of the character device backend that need no kernel: the line
// request (chip.h names the chip and the lines). chardev.cpp makes the system
// calls around them. A label is looked for among /dev/gpiochip0 to
// /dev/gpiochip63.
#pragma once

#include "chip.h"
#include "gpio.h"

#include <linux/gpio.h>

// The request of both lines of `lines`: offsets[0] the clock, an output
// driven low at first; offsets[1] the data line, an input.
gpio_v2_line_request line_request(const line_pair &lines);

// Bit masks of the two lines in the request's values.
constexpr unsigned long long clock_bit = 1;
constexpr unsigned long long data_bit = 2;
