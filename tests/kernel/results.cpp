// kernel-results: turns what a kernel run sent back (see init.cpp) into the
// results the emulated station leaves, written by the station's own
// formatting (sim/record.h), so that a case's expected files
// hold for both.
//
//   kernel-results BACK_DIR OUT_DIR
//
// Reads BACK_DIR/status, board, reports and usage; writes OUT_DIR/status,
// pulses, datagrams and cpu. The program's output and /tmp files come back as
// they are.
#include "board.h"
#include "record.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool read_text(const std::string &path, std::string &text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return static_cast<bool>(in);
}

bool write_text(const std::string &path, const std::string &text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

// "STATUS STOPPED": the wait status and whether the init stopped the program.
bool status_file(const std::string &text, std::string &out) {
    std::istringstream in(text);
    int status = 0, stopped = 0;
    if (!(in >> status >> stopped))
        return false;
    out = status_text(status, stopped != 0);
    return true;
}

// The board's counters: "pulses P writes W samples S high H held 0|1".
bool pulses_file(const std::string &text, std::string &out) {
    std::istringstream in(text);
    std::string w1, w2, w3, w4;
    board b;
    if (!(in >> w1 >> b.pulses >> w2 >> b.writes >> w3 >> b.samples >> w4 >> b.high_samples) ||
        w1 != "pulses" || w2 != "writes" || w3 != "samples" || w4 != "high")
        return false;
    out = pulse_summary(b);
    return true;
}

// One datagram a line: "FROM TO HEX".
bool datagrams_file(const std::string &text, std::string &out) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string from, to, hex;
        in >> from >> to >> hex;
        if (to.empty() || hex.size() % 2 != 0)
            return false;
        std::vector<uint8_t> bytes;
        for (size_t k = 0; k < hex.size(); k += 2) {
            if (!std::isxdigit(static_cast<unsigned char>(hex[k])) ||
                !std::isxdigit(static_cast<unsigned char>(hex[k + 1])))
                return false;
            bytes.push_back(
                static_cast<uint8_t>(std::strtoul(hex.substr(k, 2).c_str(), nullptr, 16)));
        }
        out += describe_report(bytes.data(), bytes.size(), from, to);
    }
    return true;
}

// "CPU_US WALL_US": whether the program kept a core busy, in the station's
// words. Nothing is held on the router's kernel: a read answers at once, and
// the program has the machine to itself.
bool cpu_file(const std::string &text, std::string &out) {
    std::istringstream in(text);
    double cpu = 0, wall = 0; // microseconds
    if (!(in >> cpu >> wall) || cpu < 0 || wall < 0)
        return false;
    out = std::string(cpu_verdict(cpu / 1e6, wall / 1e6, 0)) + "\n";
    return true;
}

struct conversion {
    const char *from, *to;
    bool (*convert)(const std::string &, std::string &);
};

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kernel-results BACK_DIR OUT_DIR\n");
        return 2;
    }
    const std::string back = argv[1], out = argv[2];
    for (const conversion &c :
         {conversion{"status", "status", status_file}, conversion{"board", "pulses", pulses_file},
          conversion{"reports", "datagrams", datagrams_file},
          conversion{"usage", "cpu", cpu_file}}) {
        std::string text, converted;
        if (!read_text(back + "/" + c.from, text)) {
            std::fprintf(stderr, "kernel-results: cannot read %s/%s\n", back.c_str(), c.from);
            return 1;
        }
        if (!c.convert(text, converted)) {
            std::fprintf(stderr, "kernel-results: %s/%s is malformed\n", back.c_str(), c.from);
            return 1;
        }
        if (!write_text(out + "/" + c.to, converted)) {
            std::fprintf(stderr, "kernel-results: cannot write %s/%s\n", out.c_str(), c.to);
            return 1;
        }
    }
    return 0;
}
