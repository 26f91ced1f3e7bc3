// Sysfs GPIO lines: the clock line a program drives and the data line it
// samples, the line set-up, and the decimal parsing both programs use.
//
// Tests replace get(), set(), `value`, `line_fault` and the two value paths
// at link time with a fake line pair that plays a board in-process
// (tests/support/fake_lines.h).
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

// Value files that could not be opened: the errno value of the latest failed
// open of each, 0 when none has failed since the caller last cleared it.
// get() and set() only record a failure; the program decides what it costs.
struct line_faults {
    int clock;
    int data;
};
extern line_faults line_fault;

// Points get(), set() and gpio_setup() at a line pair. `root` is prepended to
// every sysfs path: "" on the router, a scratch directory in tests.
void gpio_bind(line_pair lines, const char *root = "");

// Samples the data line into `value`: open, one read, close. A value file that
// cannot be opened (recorded in `line_fault.data`), or that holds no number,
// leaves `value` as it was.
void get();

// Drives the clock line to `level` ("%d\n"): open, one write, close. The close
// commits the level. A value file that cannot be opened is skipped and
// recorded in `line_fault.clock`.
void set(int8_t level);

// The line set-up, four writes in this order: clock line number and data line
// number to the export file, "out\n" and "in\n" to the direction files. A
// write whose file cannot be opened is skipped. When `need_export` is set and
// the first open of the export file fails, nothing further is touched.
// Returns whether that first open succeeded.
bool gpio_setup(bool need_export);

// Paths after gpio_bind(), for messages.
const char *gpio_export_path();
const char *clock_value_path();
const char *data_value_path();

enum class parsed_int {
    none,         // no number: the target is left alone
    in_range,     // the number, stored
    out_of_range, // beyond int: INT_MAX or INT_MIN stored, by its sign
};

// Parses the leading decimal integer of `text` the way the "%d" conversion
// does: leading white space, an optional sign, then digits; the rest is
// ignored. Looks at no more than `len` bytes.
parsed_int parse_int(const char *text, size_t len, int *out);
