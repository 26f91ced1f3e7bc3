// Scenario parsing: the settings, the plants and the faults; the stream
// directives are in stream.cpp.
#include "script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

constexpr long line_max = 100000;
constexpr double seconds_max = 3600;

std::vector<std::string> split(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

bool parse_mac(const std::string &text, uint8_t mac[6]) {
    unsigned v[6];
    char tail;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4],
                    &v[5], &tail) != 6)
        return false;
    for (int k = 0; k < 6; k++)
        mac[k] = static_cast<uint8_t>(v[k]);
    return true;
}

bool parse_seconds(const std::string &word, double &out) {
    char *end = nullptr;
    double v = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0' || !(v > 0 && v <= seconds_max))
        return false;
    out = v;
    return true;
}

// A path below /tmp with no empty, "." or ".." part: whatever follows it
// stays inside the sandbox's /tmp.
bool tmp_path(const std::string &path) {
    if (path.rfind("/tmp/", 0) != 0 || path.size() == 5 || path.back() == '/')
        return false;
    std::istringstream parts(path.substr(5));
    for (std::string part; std::getline(parts, part, '/');)
        if (part.empty() || part == "." || part == "..")
            return false;
    return true;
}

// "plant KIND PATH [ARG]"; a file's quoted text is taken from the raw line,
// where it may hold '#' and spaces.
bool parse_plant(const std::vector<std::string> &w, const std::string &line, plant &out) {
    if (w.size() < 3 || !tmp_path(w[2]))
        return false;
    out.path = w[2];
    if (w[1] == "fifo" || w[1] == "directory") {
        out.kind = w[1] == "fifo" ? plant::fifo : plant::directory;
        return w.size() == 3;
    }
    if (w[1] == "link") {
        out.kind = plant::link;
        out.text = w.size() == 4 ? w[3] : "";
        return w.size() == 4 && tmp_path(out.text);
    }
    if (w[1] != "file")
        return false;
    out.kind = plant::file;
    size_t open = line.find('"', line.find(w[2]) + w[2].size());
    if (open == std::string::npos)
        return false;
    size_t close = open + 1;
    for (; close < line.size() && line[close] != '"'; close++)
        if (line[close] == '\\')
            close++;
    if (close >= line.size() || !unquote(line.substr(open, close - open + 1), out.text))
        return false;
    std::vector<std::string> rest = split(line.substr(close + 1));
    return rest.empty();
}

// "at PULSES tmp full|free", "at PULSES missing clock|data [for N]",
// "at PULSES stop after SECONDS", "at PULSES watch cpu|period for SECONDS",
// "at PULSES hosts server", "at PULSES dns answers",
// "at PULSES plant KIND PATH [ARG]", "at PULSES remove PATH".
bool parse_fault(const std::vector<std::string> &w, const std::string &line, fault &out) {
    long pulses;
    if (w.size() < 3 || !parse_number(w[1], 10, 2000000000, pulses))
        return false;
    out.pulses = static_cast<uint64_t>(pulses);
    if (w[2] == "plant") {
        out.action = fault::plant_now;
        return parse_plant(std::vector<std::string>(w.begin() + 2, w.end()), line, out.planted);
    }
    if (w[2] == "remove" && w.size() == 4) {
        out.action = fault::remove_now;
        out.planted.path = w[3];
        return tmp_path(w[3]);
    }
    if (w.size() < 4)
        return false;
    if (w[2] == "tmp" && w.size() == 4 && (w[3] == "full" || w[3] == "free")) {
        out.action = w[3] == "full" ? fault::tmp_full : fault::tmp_free;
        return true;
    }
    if ((w[2] == "missing" && (w[3] == "clock" || w[3] == "data")) ||
        (w[2] == "refuse" && w[3] == "clock")) {
        out.action = w[2] == "refuse"  ? fault::refused_clock
                     : w[3] == "clock" ? fault::missing_clock
                                       : fault::missing_data;
        long n = 0;
        bool ok = w.size() == 4 || (w.size() == 6 && w[4] == "for" &&
                                    parse_number(w[5], 10, 2000000000, n) && n > 0);
        out.count = static_cast<uint64_t>(n);
        return ok;
    }
    if (w[2] == "hosts" && w.size() == 4 && w[3] == "server") {
        out.action = fault::name_server;
        return true;
    }
    if (w[2] == "dns" && w.size() == 4 && w[3] == "answers") {
        out.action = fault::dns_answers;
        return true;
    }
    if (w[2] == "watch" && w.size() == 6 && (w[3] == "cpu" || w[3] == "period") && w[4] == "for") {
        out.action = w[3] == "cpu" ? fault::watch_cpu : fault::watch_period;
        return parse_seconds(w[5], out.seconds);
    }
    if (w[2] == "stop" && w.size() == 5 && w[3] == "after") {
        out.action = fault::stop;
        return parse_seconds(w[4], out.seconds);
    }
    return false;
}

bool setting(const std::vector<std::string> &w, const std::string &line, scenario &out) {
    long a = 0, b = 0;
    if (w[0] == "board") {
        out.board = w.size() == 2 && w[1] == "hub" ? board_kind::hub : board_kind::wind;
        return w.size() == 2 && (w[1] == "wind" || w[1] == "hub");
    }
    if (w[0] == "lines") {
        if (w.size() != 3 || !parse_number(w[1], 10, line_max, a) ||
            !parse_number(w[2], 10, line_max, b) || a == b)
            return false;
        out.clock_line = static_cast<int>(a);
        out.data_line = static_cast<int>(b);
        return true;
    }
    if (w[0] == "chip" && w.size() == 3) {
        if (w[1] == "label") {
            out.chip.label = w[2];
            return true;
        }
        if (w[1] == "base" && w[2] == "dynamic") {
            out.chip.base = -1;
            return true;
        }
        int &to = w[1] == "base" ? out.chip.base : out.chip.lines;
        bool ok = (w[1] == "base" || w[1] == "lines") && parse_number(w[2], 10, line_max, a);
        to = static_cast<int>(a);
        return ok && (w[1] == "base" || (a > 0 && a <= 512));
    }
    if (w[0] == "other" && (w.size() == 3 || w.size() == 4) && w[1] == "chip") {
        out.other.label = w.size() == 4 ? w[3] : "station-other";
        bool ok = parse_number(w[2], 10, 512, a) && a > 0;
        out.other.lines = static_cast<int>(a);
        return ok;
    }
    if (w[0] == "sysfs" && w.size() == 2) {
        static const char *const kinds[] = {"legacy", "both", "chip-local"};
        for (int k = 0; k < 3; k++) {
            if (w[1] == kinds[k]) {
                out.sysfs = static_cast<gpio_sysfs>(k);
                return true;
            }
        }
        return false;
    }
    if (w[0] == "interface" && w.size() == 2) {
        out.interface = w[1] != "none";
        return !out.interface || parse_mac(w[1], out.mac);
    }
    if (w[0] == "export" && w.size() == 2) {
        static const char *const modes[] = {"present", "busy", "missing"};
        for (int k = 0; k < 3; k++) {
            if (w[1] == modes[k]) {
                out.export_file = static_cast<export_mode>(k);
                return true;
            }
        }
        return false;
    }
    if (w[0] == "hosts" && w.size() == 2) {
        out.server_named = w[1] == "server";
        return w[1] == "server" || w[1] == "empty";
    }
    if (w[0] == "dns" && w.size() == 2 && w[1] == "silent") {
        out.dns = true;
        out.server_named = false;
        return true;
    }
    if (w[0] == "layout" && w.size() == 2) {
        out.layout = w[1] == "virtual" ? gpio_layout::virtual_devices : gpio_layout::chip;
        return w[1] == "chip" || w[1] == "virtual";
    }
    if (w[0] == "end") {
        out.end = w.size() == 2 && w[1] == "low" ? stream_end::low : stream_end::stop;
        return w.size() == 2 && (w[1] == "stop" || w[1] == "low");
    }
    if (w[0] == "args" || w[0] == "wrap") {
        std::vector<std::string> &to = w[0] == "args" ? out.args : out.wrap;
        to.insert(to.end(), w.begin() + 1, w.end());
        return w[0] == "args" || w.size() > 1;
    }
    if (w[0] == "plant") {
        out.plants.emplace_back();
        return parse_plant(w, line, out.plants.back());
    }
    if (w[0] == "at") {
        out.faults.emplace_back();
        return parse_fault(w, line, out.faults.back());
    }
    return false;
}

bool is_setting(const std::string &word) {
    for (const char *s : {"board", "lines", "chip", "other", "sysfs", "interface", "hosts", "dns",
                          "export", "layout", "end", "args", "wrap", "plant", "at"})
        if (word == s)
            return true;
    return false;
}

} // namespace

bool parse_scenario(const std::string &text, scenario &out, std::string &error) {
    std::istringstream in(text);
    int line_no = 0;
    for (std::string line; std::getline(in, line);) {
        line_no++;
        std::vector<std::string> w = split(line);
        if (w.empty())
            continue;
        bool ok;
        if (is_setting(w[0])) {
            ok = setting(w, line, out);
        } else if (w[0] == "repeat" && w.size() > 2) {
            long times;
            std::vector<std::string> rest(w.begin() + 2, w.end());
            ok = parse_number(w[1], 10, 100000, times);
            for (long k = 0; ok && k < times; k++)
                ok = stream_directive(rest, out.board, out.bits);
        } else {
            ok = stream_directive(w, out.board, out.bits);
        }
        if (!ok) {
            error = "line " + std::to_string(line_no) + ": cannot use \"" + line + "\"";
            return false;
        }
    }
    std::stable_sort(out.faults.begin(), out.faults.end(),
                     [](const fault &x, const fault &y) { return x.pulses < y.pulses; });
    return true;
}

int clock_line_of(const scenario &sc) {
    return sc.clock_line >= 0 ? sc.clock_line : sc.board == board_kind::wind ? 2 : 3;
}

int data_line_of(const scenario &sc) {
    return sc.data_line >= 0 ? sc.data_line : sc.board == board_kind::wind ? 1 : 7;
}

int chip_device_of(const scenario &sc) {
    return sc.other.lines > 0 ? 1 : 0;
}

int chip_lines_of(const scenario &sc) {
    if (sc.chip.lines > 0)
        return sc.chip.lines;
    return std::max(clock_line_of(sc), data_line_of(sc)) / 8 * 8 + 8;
}

// Dynamic bases as Linux 6.2 and later give them: the first free range from
// 512 up, in the order the chips are added.
int other_base_of(const scenario &sc) {
    int base = 512;
    if (sc.chip.base >= 0 && sc.chip.base < base + sc.other.lines &&
        sc.chip.base + chip_lines_of(sc) > base)
        base = sc.chip.base + chip_lines_of(sc);
    return base;
}

int chip_base_of(const scenario &sc) {
    if (sc.chip.base >= 0)
        return sc.chip.base;
    return sc.other.lines > 0 ? other_base_of(sc) + sc.other.lines : 512;
}

bool unquote(const std::string &text, std::string &out) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    out.clear();
    for (size_t k = 1; k + 1 < text.size(); k++) {
        char c = text[k];
        if (c == '"')
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++k + 1 >= text.size())
            return false;
        switch (text[k]) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
        case '"':
            out += text[k];
            break;
        case 'x': {
            long v;
            if (k + 3 >= text.size() || !parse_number(text.substr(k + 1, 2), 16, 255, v))
                return false;
            out += static_cast<char>(v);
            k += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}
