// The bit stream of a scenario: the directives that add to it and the frames
// of both boards.
#include "script.h"

#include <cstdlib>

namespace {

constexpr uint8_t sync_byte = 0xAA;

bool hex_bytes(const std::vector<std::string> &words, size_t from, std::vector<uint8_t> &out) {
    for (size_t k = from; k < words.size(); k++) {
        long v;
        if (words[k].size() > 2 || !parse_number(words[k], 16, 255, v))
            return false;
        out.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

bool wind_frame(const std::vector<std::string> &w, std::vector<uint8_t> &bits) {
    long speed, code, check;
    if (w.size() != 3 && !(w.size() == 5 && w[3] == "check"))
        return false;
    if (!parse_number(w[1], 10, 255, speed) || !parse_number(w[2], 10, 255, code))
        return false;
    check = (speed + code + 2) & 0xFF;
    if (w.size() == 5 && !parse_number(w[4], 10, 255, check))
        return false;
    for (long b : {static_cast<long>(sync_byte), speed, code, check})
        push_byte(bits, static_cast<uint8_t>(b));
    return true;
}

bool hub_frame_directive(const std::vector<std::string> &w, std::vector<uint8_t> &bits) {
    size_t k = 1;
    bool bad_header = false, bad_crc = false;
    for (; k < w.size() && (w[k] == "bad-header" || w[k] == "bad-crc"); k++)
        (w[k] == "bad-header" ? bad_header : bad_crc) = true;
    std::vector<uint8_t> records;
    if (!hex_bytes(w, k, records) || records.size() > hub_records_max)
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

} // namespace

bool parse_number(const std::string &word, int base, long max, long &out) {
    if (word.empty() || word[0] == '-' || word[0] == '+')
        return false;
    char *end = nullptr;
    long v = std::strtol(word.c_str(), &end, base);
    if (*end != '\0' || v < 0 || v > max)
        return false;
    out = v;
    return true;
}

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
    if (cmd == "silence" && w.size() == 2 && parse_number(w[1], 10, 1000000, n)) {
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
    if (cmd == "garbage" && w.size() == 2 && parse_number(w[1], 10, 100000, n)) {
        // A fixed sequence, so that a scenario plays the same every time.
        uint32_t state = 0x2545F491u;
        for (long k = 0; k < n; k++) {
            state = state * 1664525u + 1013904223u;
            push_byte(bits, static_cast<uint8_t>(state >> 24));
        }
        return true;
    }
    if (cmd == "header" && board == board_kind::hub && w.size() == 2 &&
        parse_number(w[1], 10, 255, n)) {
        uint8_t head[2] = {sync_byte, static_cast<uint8_t>(n)};
        push_byte(bits, head[0]);
        push_byte(bits, head[1]);
        push_byte(bits, crc8(head, 2));
        return true;
    }
    if (cmd == "frame")
        return board == board_kind::wind ? wind_frame(w, bits) : hub_frame_directive(w, bits);
    return false;
}

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
