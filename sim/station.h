// One run of a program against the emulated board, in lockstep (lockstep.h).
//
// The run ends when the program exits, or when it asks for a bit after the
// board's stream has run out: the station then stops it (its read stays
// unanswered), unless the scenario keeps the line low for ever. A scenario's
// "stop after" and an interrupt (SIGINT, SIGTERM, SIGHUP) stop it too; a
// program still there after the grace period is killed, and a second
// interrupt kills it at once. What it leaves in the results directory:
//
//   stdout, stderr   the program's output, byte for byte
//   status           "exit N", "signal N", or "stopped" when ended by the station
//   timeline         output and /tmp file updates, each tagged with the clock
//                    pulses counted at the last read before it ("@N")
//   pulses           the board's counters at the end
//   sys              what the program wrote to the export and direction files
//   datagrams        the wind reports that reached the server
//   faults           the scenario's faults as they were applied (faults.h)
//   tmp/             the regular files the program left at the top of /tmp
//   tmp-entries      everything else in /tmp, by path, one a line: links with
//                    their targets, FIFOs, directories and what is in them
//                    (record.h, tmp_entry); empty when there is nothing else
#pragma once

#include "sandbox.h"
#include "script.h"

#include <cstdio>
#include <string>
#include <vector>

struct run_options {
    std::vector<std::string> command; // the program and its arguments
    std::vector<int> inherit;         // descriptors the command names, kept open for it
    std::string name;                 // how live output names the program
    bool live = false;                // show output, files and reports as they come
    uint64_t rounds = 1;              // times the stream is played; 0 for ever
    int results_dir = -1;             // directory descriptor, or -1 for none
    std::string results_path;         // the same, as given
    FILE *trace = nullptr;            // value change dump, or nullptr
};

// Runs the program inside the sandbox the process has entered. Returns 0 when
// the run went as planned (whatever the program did), 1 on a fault of the
// station itself, with a message on standard error.
int run_station(const scenario &sc, const sandbox &sb, int clock_line, int data_line,
                const run_options &opt);
