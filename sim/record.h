// What a run leaves behind, as text that a test compares byte for byte.
#pragma once

#include "board.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

// `bytes` in double quotes, with \n, \r, \t, \\, \" and \xHH escapes.
std::string quoted(const std::string &bytes);

// One captured wind report: the addresses on the first line, then the decoded
// station identifier, gust and direction, then every byte in hex.
//
//   0..12   identifier text and its terminating zero
//   13      gust
//   14..15  direction, big-endian
std::string describe_report(const uint8_t *data, size_t len, const std::string &from,
                            const std::string &to);

// The board's counters, one per line.
std::string pulse_summary(const board &b);

// One line of the "tmp-entries" result, for an entry of /tmp that the copy of
// its regular files cannot show: its path, its kind (link, fifo, directory,
// socket, device, and file for a regular file below a directory), then, quoted,
// a link's target or a file's content.
std::string tmp_entry(const std::string &path, mode_t mode, const std::string &detail);

// The verdict on a program that ran or waited to run for `busy` seconds out
// of `wall`, and made `line_ops` clock writes and served reads meanwhile:
// "the program pinned a core" from half of the seconds up, or from 2000
// operations a second (a program that retries at once while the station
// answers each read spends its time waiting on the station, not running;
// one that pauses makes a few hundred), else "the program did not pin a
// core"; "too short to judge" under half a second.
const char *cpu_verdict(double busy, double wall, uint64_t line_ops);
