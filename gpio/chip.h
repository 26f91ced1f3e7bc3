// How both backends name a GPIO chip and its lines: the chip setting, the
// words for a line that cannot be had, and the two questions only the
// character device answers (a chip's label, a line's consumer).
#pragma once

#include <cstddef>

// How the chip setting names the chip: "gpiochip3" by its device number
// (/dev/gpiochip3, /sys/bus/gpio/devices/gpiochip3, /sys/class/gpio/chip3),
// a path is taken as it is, anything else is the chip's label as the kernel
// reports it.
enum class chip_by { name, path, label };
chip_by chip_kind(const char *chip);

// The device number a setting names: N of "gpiochipN" or ".../gpiochipN";
// -1 when it names none.
int chip_number(const char *chip);

// "line 2 of /dev/gpiochip0", with why it cannot be had where that is known:
// ", held by \"sysfs\"" when another consumer holds it, ", which has 2 lines"
// when the offset lies beyond the chip. Written into `out` (`size` bytes).
void describe_line(char *out, size_t size, int offset, const char *chip, const char *holder,
                   int chip_lines);

// The label of the chip open at `fd`; false when the kernel does not say.
bool chip_label(int fd, char *out, size_t size);

// The consumer that holds line `offset` of the chip open at `fd`; false when
// the line is free or the kernel does not say.
bool line_consumer(int fd, int offset, char *out, size_t size);
