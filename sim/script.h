// Scenarios of the emulated station: which board sits on the lines, how the
// router around the program looks, and the bit stream the board shifts out.
//
// A scenario is a text, one directive a line, '#' starts a comment:
//
//   board wind|hub           the board and so the line pair (2/1 or 3/7)
//   interface MAC|none       the station's network interface (default
//                            00:1a:2b:3c:4d:5e); none leaves only the loopback
//   export present|busy|missing
//                            the export file: writable, already exported (every
//                            write fails), or absent
//   args WORD...             arguments appended to the program's command line
//   bits 0 1 ...             single bits, in order of arrival
//   silence N                N low bits
//   bytes HEX...             bytes, each least significant bit first
//   frame ...                one frame of the board (below)
//   header N                 hub only: sync, length N and its header CRC
//   garbage N                N bytes of a fixed pseudo-random sequence
//   repeat N DIRECTIVE       the stream directive N times
//
// Wind frame: "frame SPEED CODE [check C]", decimal; the check byte defaults
// to SPEED + CODE + 2 (low 8 bits).
// Hub frame: "frame [bad-header] [bad-crc] HEX...", the record bytes; sync,
// length and both CRCs are added, the flags spoil the header or frame CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class board_kind { wind, hub };
enum class export_mode { present, busy, missing };

struct scenario {
    board_kind board = board_kind::wind;
    bool interface = true;
    uint8_t mac[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
    export_mode export_file = export_mode::present;
    std::vector<std::string> args;
    std::vector<uint8_t> bits; // one entry, 0 or 1, per clock pulse
};

// Parses a scenario. On a fault returns false with `error` naming the line.
bool parse_scenario(const std::string &text, scenario &out, std::string &error);

// Appends a byte to a bit stream, least significant bit first.
void push_byte(std::vector<uint8_t> &bits, uint8_t byte);

// CRC-8 of the hub link: polynomial x^8 + x^5 + x^4 + 1, reflected (0x8C),
// initial value 0, no final inversion. Written apart from hubpoll's own on
// purpose: frames built with the code under test would hide its faults.
uint8_t crc8(const uint8_t *bytes, size_t length);

// The bytes of a hub frame around `records`: sync, length, header CRC, the
// records, frame CRC. A frame without records is the 3 header bytes alone.
std::vector<uint8_t> hub_frame(const std::vector<uint8_t> &records);
