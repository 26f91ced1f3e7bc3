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

// The "status" result of a program's wait status: "exit N", "signal N", or
// "stopped" when the station (or a kernel run's init) ended it.
std::string status_text(int status, bool stop_sent);

// The board's counters, one per line.
std::string pulse_summary(const board &b);

// One line of the "tmp-entries" result, for an entry of /tmp that the copy of
// its regular files cannot show: its path, its kind (link, fifo, directory,
// socket, device, and file for a regular file below a directory), then, quoted,
// a link's target or a file's content.
std::string tmp_entry(const std::string &path, mode_t mode, const std::string &detail);

// The verdict on a program that ran on a processor for `run` seconds out of
// `wall`, of which it spent `held` unable to run: waiting in reads for the
// station to answer (on the router a read answers at once) or on a run queue
// for a processor (the machine's other work). "the program pinned a core"
// when it ran for half of the rest or more, else "the program did not pin a
// core"; "too short to judge" under half a second. A program that pauses a
// few milliseconds between tries stays far below the mark, one that retries
// at once near the whole of it, whatever else the machine is doing.
const char *cpu_verdict(double run, double wall, double held);

// The verdict on a program's cycle over a watched span of `wall` seconds
// (faults.h, "watch period"): `longest` is the longest time judged between
// two updates of /tmp or an end of the span, `mean` the mean time between
// two updates by the clock (negative for fewer than two updates). "periods
// within 50 to 150 ms", "a period over 150 ms" or "periods under 50 ms on
// average"; "too short to judge" under half a second.
const char *period_verdict(double longest, double mean, double wall);
