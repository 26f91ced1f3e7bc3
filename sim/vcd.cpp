#include "vcd.h"

std::string vcd_header(int clock_line, int data_line) {
    std::string clock = "gpio" + std::to_string(clock_line) + "_clock";
    std::string data = "gpio" + std::to_string(data_line) + "_data";
    return "$version station-sim $end\n"
           "$timescale 1us $end\n"
           "$scope module board $end\n"
           "$var wire 1 c " +
           clock +
           " $end\n"
           "$var wire 1 d " +
           data +
           " $end\n"
           "$upscope $end\n"
           "$enddefinitions $end\n"
           "#0\n"
           "$dumpvars\n1c\n0d\n$end\n";
}

std::string vcd_step(int64_t &last_us, int64_t t_us, int clock, int data) {
    if (clock == vcd_unchanged && data == vcd_unchanged)
        return "";
    if (t_us <= last_us)
        t_us = last_us + 1;
    last_us = t_us;
    std::string out = "#" + std::to_string(t_us) + "\n";
    if (clock != vcd_unchanged)
        out += clock != 0 ? "1c\n" : "0c\n";
    if (data != vcd_unchanged)
        out += data != 0 ? "1d\n" : "0d\n";
    return out;
}
