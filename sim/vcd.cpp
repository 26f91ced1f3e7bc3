#include "vcd.h"

std::string vcd_header(int clock_line, int data_line) {
    // Appended piece by piece here and below: GCC 12 at -O3 takes a literal
    // + string concatenation for an overlapping copy (-Wrestrict).
    std::string out = "$version station-sim $end\n$timescale 1us $end\n$scope module board $end\n";
    out.append("$var wire 1 c gpio").append(std::to_string(clock_line)).append("_clock $end\n");
    out.append("$var wire 1 d gpio").append(std::to_string(data_line)).append("_data $end\n");
    out.append("$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n1c\n0d\n$end\n");
    return out;
}

std::string vcd_step(int64_t &last_us, int64_t t_us, int clock, int data) {
    if (clock == vcd_unchanged && data == vcd_unchanged)
        return "";
    if (t_us <= last_us)
        t_us = last_us + 1;
    last_us = t_us;
    std::string out = "#";
    out.append(std::to_string(t_us)).append("\n");
    if (clock != vcd_unchanged)
        out += clock != 0 ? "1c\n" : "0c\n";
    if (data != vcd_unchanged)
        out += data != 0 ? "1d\n" : "0d\n";
    return out;
}
