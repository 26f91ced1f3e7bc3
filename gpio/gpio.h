// GPIO lines: the clock line a program drives and the data line it samples,
// and the line set-up, shared by both programs.
//
// Tests replace get(), set(), `value`, `line_fault` and line_name() at link
// time with a fake line pair that plays a board in-process
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

// The latest failure on one line: 0 in `error` while the line works.
struct line_error {
    int error;          // errno value
    const char *action; // what failed: "open", "read", "write" or "close"
    const char *file;   // the file it failed on (a sysfs path)
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
// every sysfs path: "" on the router, a scratch directory in tests.
void gpio_bind(line_pair lines, const char *root = "");

// Samples the data line into `value`: open, one read, close. A value file that
// cannot be opened or read (recorded in `line_fault.data`), or that holds no
// number, leaves `value` as it was.
void get();

// Drives the clock line to `level` ("%d\n"): open, one write, close. The close
// commits the level. A failed open, write or close is recorded in
// `line_fault.clock`.
void set(int8_t level);

// The line set-up, four writes in this order: clock line number and data line
// number to the export file, "out\n" and "in\n" to the direction files. The
// export writes may fail for a good reason (a line exported already) and are
// not looked at; a failed direction write is recorded in `line_fault`. When
// `need_export` is set and the first open of the export file fails, nothing
// further is touched. Returns whether that first open succeeded.
bool gpio_setup(bool need_export);

// The export file, for the message when it cannot be opened.
const char *gpio_export_path();
