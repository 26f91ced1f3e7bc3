// The board's chip as the init and the probe find it, by its label, on any of
// the kernels: its character device, and its sysfs interface, chip-local
// (/sys/class/gpio/chipN, as the programs prefer it) where the kernel has it,
// else the legacy one at the chip's base (/sys/class/gpio/gpiochipBASE).
#pragma once

#include <cstddef>

// /dev/gpiochipN of the chip labelled `label`, opened; -1 and errno ENODEV
// when there is none.
int open_chip(const char *label);

// Where a line of the chip is exported and found: DIR/export takes BASE +
// OFFSET, and the line is DIR/gpio(BASE + OFFSET). Legacy: /sys/class/gpio and
// the chip's base; chip-local: /sys/class/gpio/chipN and 0.
struct sysfs_chip {
    char dir[64];
    int base;
};

// The chip labelled `label`; false and errno ENODEV when sysfs has none.
bool find_sysfs_chip(const char *label, sysfs_chip &chip);
// Writes the line's number to DIR/export or DIR/unexport (`command`).
bool sysfs_line_command(const sysfs_chip &chip, const char *command, int offset);
// The path of the exported line's `file` (value, direction) into `out`.
void sysfs_line_file(const sysfs_chip &chip, int offset, const char *file, char *out, size_t size);
