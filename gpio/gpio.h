// Sysfs GPIO lines: the clock line a program drives and the data line it
// samples, and the small file primitives both programs build on.
#pragma once

#include <cstddef>
#include <cstdint>

// The two GPIO lines of one program.
struct line_pair {
    int clock; // output, driven by the program
    int data;  // input, driven by the board
};

// Level last read from the data line by get(): 0 is low, anything else high.
extern int value;

// Points get(), set() and gpio_setup() at a line pair. `root` is prepended to
// every sysfs path: "" on the router, a scratch directory in tests.
void gpio_bind(line_pair lines, const char *root = "");

// Samples the data line into `value`: open, one read, close. A value file that
// cannot be opened, or that holds no number, leaves `value` as it was.
void get();

// Drives the clock line to `level` ("%d\n"): open, one write, close. The close
// commits the level. A value file that cannot be opened is skipped.
void set(int8_t level);

// The line set-up, four writes in this order: clock line number and data line
// number to the export file, "out\n" and "in\n" to the direction files. A
// write whose file cannot be opened is skipped. When `need_export` is set and
// the first open of the export file fails, nothing further is touched.
// Returns whether that first open succeeded.
bool gpio_setup(bool need_export);

// Path of the export file after gpio_bind(), for messages.
const char *gpio_export_path();

// Replaces the content of `path` with `len` bytes of `text`: one open (create
// or truncate, as mode "w"), one write, one close. False when the open fails.
bool write_file(const char *path, const char *text, size_t len);

// Parses the leading decimal integer of `text` the way the "%d" conversion
// does: leading white space, an optional sign, then digits; the rest is
// ignored. False, leaving `*out` alone, when there is no number.
bool parse_int(const char *text, size_t len, int *out);
