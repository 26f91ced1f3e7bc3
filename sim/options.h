// The command line of station-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct options {
    std::string scenario, out, trace, name;
    std::string server_name = "weather-server";
    bool live = false;
    bool print_stream = false; // print the kernel run's settings and exit
    uint64_t rounds = 1;       // 0 for ever
    std::vector<std::string> command;
};

enum class options_result { run, help, wrong };

// Reads the command line. `wrong` comes with `error` saying what is wrong.
options_result parse_options(int argc, const char *const *argv, options &out, std::string &error);

// What a run on a real kernel needs of a scenario, for --print-stream: its
// settings as directives ("board", "lines CLOCK DATA" (offsets), "chip BASE
// LINES LABEL" (BASE a number or "dynamic"), "other-chip LINES LABEL" when
// there is one, "sysfs", "interface", "export", "layout", "end"; "args" and
// "wrap" when given), how many plants and faults
// it has, then "bits N" and the stream on one line of '0' and '1'.
struct scenario;
std::string stream_listing(const scenario &sc);

// The synopsis, one line.
std::string usage_text();

// The synopsis and every option, one line each.
std::string help_text();
