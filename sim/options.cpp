#include "options.h"

#include "script.h"

#include <cstdio>
#include <cstring>

namespace {

struct option_help {
    const char *name, *value, *text;
};

constexpr option_help option_list[] = {
    {"--scenario", "FILE", "the board, the router around the program and its faults"},
    {"--out", "DIR", "leave the results in DIR (created when missing)"},
    {"--trace", "FILE.vcd", "record the clock and data lines as a value change dump"},
    {"--live", "", "show output, /tmp files and wind reports as they come"},
    {"--rounds", "N", "play the scenario's bit stream N times (default 1)"},
    {"--loop", "", "play it until interrupted"},
    {"--name", "NAME", "the program's name in the live display (default: its file name)"},
    {"--server-name", "NAME", "the server's name in the sandbox (default weather-server)"},
    {"--print-stream", "", "print the settings and bit stream a kernel run needs, and exit"},
    {"--help", "", "show this help and exit"},
};

} // namespace

std::string usage_text() {
    return "usage: station-sim --scenario FILE [--out DIR] [--trace FILE.vcd] [--live]\n"
           "                   [--rounds N | --loop] [--name NAME] [--server-name NAME]\n"
           "                   -- PROGRAM [ARG...]\n"
           "       station-sim --scenario FILE --print-stream\n";
}

namespace {

std::string words(const char *directive, const std::vector<std::string> &list) {
    std::string out = directive;
    for (const std::string &w : list)
        out += " " + w;
    return out + "\n";
}

} // namespace

std::string stream_listing(const scenario &sc) {
    static constexpr const char *exports[] = {"present", "busy", "missing"};
    std::string out = sc.board == board_kind::wind ? "board wind\n" : "board hub\n";
    out += "lines " + std::to_string(clock_line_of(sc)) + " " + std::to_string(data_line_of(sc)) +
           "\n";
    out += "chip " + (sc.chip.base < 0 ? std::string("dynamic") : std::to_string(sc.chip.base)) +
           " " + std::to_string(chip_lines_of(sc)) + " " + sc.chip.label + "\n";
    if (sc.other.lines > 0)
        out += "other-chip " + std::to_string(sc.other.lines) + " " + sc.other.label + "\n";
    static constexpr const char *interfaces[] = {"legacy", "both", "chip-local"};
    out += std::string("sysfs ") + interfaces[static_cast<int>(sc.sysfs)] + "\n";
    if (sc.interface) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", sc.mac[0], sc.mac[1],
                      sc.mac[2], sc.mac[3], sc.mac[4], sc.mac[5]);
        out += std::string("interface ") + mac + "\n";
    } else {
        out += "interface none\n";
    }
    out += std::string("export ") + exports[static_cast<int>(sc.export_file)] + "\n";
    out += sc.layout == gpio_layout::virtual_devices ? "layout virtual\n" : "layout chip\n";
    out += sc.end == stream_end::low ? "end low\n" : "end stop\n";
    if (!sc.args.empty())
        out += words("args", sc.args);
    if (!sc.wrap.empty())
        out += words("wrap", sc.wrap);
    out += "plants " + std::to_string(sc.plants.size()) + "\n";
    out += "faults " + std::to_string(sc.faults.size()) + "\n";
    out += "bits " + std::to_string(sc.bits.size()) + "\n";
    for (uint8_t bit : sc.bits)
        out += bit != 0 ? '1' : '0';
    return out + "\n";
}

std::string help_text() {
    std::string out = usage_text();
    out += "Runs PROGRAM in an emulated weather station against the board of a scenario.\n";
    for (const option_help &o : option_list) {
        std::string left = std::string("  ") + o.name + (*o.value ? " " : "") + o.value;
        left.resize(24, ' ');
        out += left + o.text + "\n";
    }
    out += "Exit status: 0 when the run went as planned (whatever the program did), 1 on a\n"
           "fault of the station, 2 on a wrong command line, 77 where the system allows no\n"
           "namespaces.\n";
    return out;
}

options_result parse_options(int argc, const char *const *argv, options &out, std::string &error) {
    int k = 1;
    for (; k < argc && std::strcmp(argv[k], "--") != 0; k++) {
        std::string a = argv[k];
        const char *value = k + 1 < argc ? argv[k + 1] : nullptr;
        long n = 0;
        bool takes_value = a == "--scenario" || a == "--out" || a == "--trace" || a == "--rounds" ||
                           a == "--name" || a == "--server-name";
        if (a == "--help")
            return options_result::help;
        if (a == "--live") {
            out.live = true;
        } else if (a == "--print-stream") {
            out.print_stream = true;
        } else if (a == "--loop") {
            out.rounds = 0;
        } else if (!takes_value) {
            error = "unknown option " + a;
            return options_result::wrong;
        } else if (value == nullptr || std::strcmp(value, "--") == 0) {
            error = a + " needs a value";
            return options_result::wrong;
        } else if (a == "--rounds") {
            if (!parse_number(value, 10, 1000000000, n) || n == 0) {
                error = "--rounds needs a whole number from 1";
                return options_result::wrong;
            }
            out.rounds = static_cast<uint64_t>(n);
        } else {
            std::string &to = a == "--scenario" ? out.scenario
                              : a == "--out"    ? out.out
                              : a == "--trace"  ? out.trace
                              : a == "--name"   ? out.name
                                                : out.server_name;
            to = value;
        }
        if (takes_value)
            k++;
    }
    if (out.scenario.empty() || (k + 1 >= argc && !out.print_stream)) {
        error = out.scenario.empty() ? "no --scenario" : "no program after --";
        return options_result::wrong;
    }
    if (k + 1 < argc)
        out.command.assign(argv + k + 1, argv + argc);
    return options_result::run;
}
