#include "record.h"

#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>

std::string quoted(const std::string &bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            if (c < 0x20 || c > 0x7e) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string describe_report(const uint8_t *data, size_t len, const std::string &from,
                            const std::string &to) {
    std::string out = from + " -> " + to + ", " + std::to_string(len) + " bytes\n";
    if (len >= 16) {
        std::string id(reinterpret_cast<const char *>(data), 13);
        id.resize(id.find('\0') == std::string::npos ? 13 : id.find('\0'));
        out += "  station " + quoted(id) + " gust " + std::to_string(data[13]) + " dir " +
               std::to_string(data[14] * 256 + data[15]) + "\n";
    }
    out += " ";
    for (size_t k = 0; k < len; k++) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", data[k]);
        out += hex;
    }
    return out + "\n";
}

std::string status_text(int status, bool stop_sent) {
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status)) + "\n";
    if (stop_sent)
        return "stopped\n";
    return "signal " + std::to_string(WTERMSIG(status)) + "\n";
}

std::string pulse_summary(const board &b) {
    return "clock pulses " + std::to_string(b.pulses) + "\n" + "clock writes " +
           std::to_string(b.writes) + "\n" + "data samples " + std::to_string(b.samples) + "\n" +
           "samples with the clock high " + std::to_string(b.high_samples) + "\n";
}

std::string tmp_entry(const std::string &path, mode_t mode, const std::string &detail) {
    std::string out = path;
    if (S_ISLNK(mode))
        return out.append(" link ").append(quoted(detail)).append("\n");
    if (S_ISREG(mode))
        return out.append(" file ").append(quoted(detail)).append("\n");
    const char *kind = S_ISFIFO(mode)   ? " fifo\n"
                       : S_ISDIR(mode)  ? " directory\n"
                       : S_ISSOCK(mode) ? " socket\n"
                                        : " device\n";
    return out.append(kind);
}

const char *cpu_verdict(double run, double wall, double held) {
    if (wall < 0.5) // a few scheduler ticks tell nothing
        return "too short to judge";
    double free = wall - held;
    bool pinned = free <= 0 || run >= free / 2;
    return pinned ? "the program pinned a core" : "the program did not pin a core";
}

const char *period_verdict(double longest, double mean, double wall) {
    if (wall < 0.5)
        return "too short to judge";
    if (longest > 0.150)
        return "a period over 150 ms";
    if (mean >= 0 && mean < 0.050)
        return "periods under 50 ms on average";
    return "periods within 50 to 150 ms";
}
