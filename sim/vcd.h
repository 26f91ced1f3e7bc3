// Value change dump of the clock and data lines, for a waveform viewer. Times
// are microseconds since the program started, as the emulated station saw the
// edges. Edges seen in the same microsecond (several clock writes read in one
// go) are spread one microsecond apart, so every pulse stays visible.
#pragma once

#include <cstdint>
#include <string>

constexpr int vcd_unchanged = -1;

// Declarations and the initial levels (clock high, data low) at time 0.
std::string vcd_header(int clock_line, int data_line);

// The changes of one moment; `clock` or `data` is vcd_unchanged when that
// line keeps its level. `last_us` is the time of the previous step.
std::string vcd_step(int64_t &last_us, int64_t t_us, int clock, int data);
