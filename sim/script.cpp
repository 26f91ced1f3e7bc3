#include "script.h"

#include <cstdlib>
#include <sstream>

namespace {

constexpr uint8_t sync_byte = 0xAA;

std::vector<std::string> split(const std::string &line) {
    std::vector<std::string> words;
    std::istringstream in(line.substr(0, line.find('#')));
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

bool number(const std::string &word, int base, long max, long &out) {
    if (word.empty())
        return false;
    char *end = nullptr;
    long v = std::strtol(word.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > max)
        return false;
    out = v;
    return true;
}

bool hex_bytes(const std::vector<std::string> &words, size_t from, std::vector<uint8_t> &out) {
    for (size_t k = from; k < words.size(); k++) {
        long v;
        if (words[k].size() > 2 || !number(words[k], 16, 255, v))
            return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
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

// One directive that adds to the bit stream; false when it is not one or is
// malformed.
bool stream_directive(const std::vector<std::string> &w, board_kind board,
                      std::vector<uint8_t> &bits) {
    const std::string &cmd = w[0];
    long n;
    if (cmd == "bits") {
        for (size_t k = 1; k < w.size(); k++) {
            if (w[k] != "0" && w[k] != "1")
                return false;
            bits.push_back(w[k] == "1" ? 1 : 0);
        }
        return w.size() > 1;
    }
    if (cmd == "silence" && w.size() == 2 && number(w[1], 10, 1000000, n)) {
        bits.insert(bits.end(), static_cast<size_t>(n), 0);
        return true;
    }
    if (cmd == "bytes") {
        std::vector<uint8_t> bytes;
        if (w.size() < 2 || !hex_bytes(w, 1, bytes))
            return false;
        for (uint8_t b : bytes)
            push_byte(bits, b);
        return true;
    }
    if (cmd == "garbage" && w.size() == 2 && number(w[1], 10, 100000, n)) {
        // A fixed sequence, so that a scenario plays the same every time.
        uint32_t state = 0x2545F491u;
        for (long k = 0; k < n; k++) {
            state = state * 1664525u + 1013904223u;
            push_byte(bits, static_cast<uint8_t>(state >> 24));
        }
        return true;
    }
    if (cmd == "header" && board == board_kind::hub && w.size() == 2 && number(w[1], 10, 255, n)) {
        uint8_t head[2] = {sync_byte, static_cast<uint8_t>(n)};
        push_byte(bits, head[0]);
        push_byte(bits, head[1]);
        push_byte(bits, crc8(head, 2));
        return true;
    }
    if (cmd == "frame" && board == board_kind::wind) {
        long speed, code, check;
        if (w.size() != 3 && !(w.size() == 5 && w[3] == "check"))
            return false;
        if (!number(w[1], 10, 255, speed) || !number(w[2], 10, 255, code))
            return false;
        check = (speed + code + 2) & 0xFF;
        if (w.size() == 5 && !number(w[4], 10, 255, check))
            return false;
        for (long b : {static_cast<long>(sync_byte), speed, code, check})
            push_byte(bits, static_cast<uint8_t>(b));
        return true;
    }
    if (cmd == "frame" && board == board_kind::hub) {
        size_t k = 1;
        bool bad_header = false, bad_crc = false;
        for (; k < w.size() && (w[k] == "bad-header" || w[k] == "bad-crc"); k++)
            (w[k] == "bad-header" ? bad_header : bad_crc) = true;
        std::vector<uint8_t> records;
        if (!hex_bytes(w, k, records) || records.size() > 252)
            return false;
        std::vector<uint8_t> frame = hub_frame(records);
        if (bad_header)
            frame[2] ^= 0xFF;
        if (bad_crc)
            frame.back() ^= 0xFF;
        for (uint8_t b : frame)
            push_byte(bits, b);
        return true;
    }
    return false;
}

} // namespace

void push_byte(std::vector<uint8_t> &bits, uint8_t byte) {
    for (int j = 0; j < 8; j++)
        bits.push_back(static_cast<uint8_t>((byte >> j) & 1));
}

uint8_t crc8(const uint8_t *bytes, size_t length) {
    uint8_t crc = 0;
    for (size_t k = 0; k < length; k++) {
        uint8_t b = bytes[k];
        for (int j = 0; j < 8; j++) {
            bool mix = ((crc ^ b) & 1) != 0;
            crc = static_cast<uint8_t>(crc >> 1);
            if (mix)
                crc ^= 0x8C;
            b = static_cast<uint8_t>(b >> 1);
        }
    }
    return crc;
}

std::vector<uint8_t> hub_frame(const std::vector<uint8_t> &records) {
    uint8_t length = static_cast<uint8_t>(records.size() + (records.empty() ? 3 : 4));
    std::vector<uint8_t> frame = {sync_byte, length};
    frame.push_back(crc8(frame.data(), 2));
    if (records.empty())
        return frame; // the header CRC doubles as the frame CRC
    frame.insert(frame.end(), records.begin(), records.end());
    frame.push_back(crc8(frame.data(), frame.size()));
    return frame;
}

bool parse_scenario(const std::string &text, scenario &out, std::string &error) {
    std::istringstream in(text);
    int line_no = 0;
    for (std::string line; std::getline(in, line);) {
        line_no++;
        std::vector<std::string> w = split(line);
        if (w.empty())
            continue;
        bool ok = true;
        if (w[0] == "board" && w.size() == 2 && (w[1] == "wind" || w[1] == "hub")) {
            out.board = w[1] == "wind" ? board_kind::wind : board_kind::hub;
        } else if (w[0] == "interface" && w.size() == 2) {
            out.interface = w[1] != "none";
            ok = !out.interface || parse_mac(w[1], out.mac);
        } else if (w[0] == "export" && w.size() == 2) {
            if (w[1] == "present")
                out.export_file = export_mode::present;
            else if (w[1] == "busy")
                out.export_file = export_mode::busy;
            else if (w[1] == "missing")
                out.export_file = export_mode::missing;
            else
                ok = false;
        } else if (w[0] == "args") {
            out.args.insert(out.args.end(), w.begin() + 1, w.end());
        } else if (w[0] == "repeat" && w.size() > 2) {
            long times;
            std::vector<std::string> rest(w.begin() + 2, w.end());
            ok = number(w[1], 10, 100000, times);
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
    return true;
}
