// The faults of a scenario as the run reaches them (script.h, "at"). Each one
// applied is recorded in the "faults" result, tagged with the clock pulses
// the board has counted at that point ("@N"):
//
//   @N tmp full | @N tmp free
//   @N clock missing | @N data missing
//   @N clock refuses writes        (script.h, "refuse clock")
//   @N clock back                  the line came back (script.h, "for")
//   @N clock missing to the end: VERDICT
//   @N cpu watched for S s: VERDICT
//                                  the span of a "watch cpu", tagged with its
//                                  start, recorded at its end
//   @N period watched for S s: PERIOD
//                                  the same for a "watch period"
//   @N dns answers                 the name server answers from here
//   @N stop                        the station stopped the program
//
// While /tmp is full, each read takes back whatever room the program freed
// since the last one.
//
// VERDICT judges the time the program (its whole process group) ran over the
// span the line was missing (or watched), until the program ended or the
// station stopped it, against the time it could have run: the span less the
// time it waited in reads for the station to answer and on a run queue for a
// processor (record.h, cpu_verdict). A line that was to come
// back is not judged: the station's clock gate holds the program for part of
// that span. A program that waits a few milliseconds between tries stays far
// below the mark; one that retries at once stays near the whole span, on a
// loaded machine too. A span under half a second is too short to judge.
//
// PERIOD judges the program's cycle over the span by the updates of /tmp
// (gustlink rewrites its realtime file after every sound frame), each seen
// when the program reaches its next read of the data line: every time from
// one update to the next, and from the span's start and to its end, less
// what the program spent in that time waiting on a run queue and in reads
// for the station, must stay within 150 ms (a loaded machine or an emulated
// CPU delays the cycle by that much, a program that stalls by far more); and
// the updates may come no faster than one in 50 ms on average, by the clock,
// which a loaded machine can only slow (record.h, period_verdict).
#pragma once

#include "child.h"
#include "lockstep.h"
#include "script.h"

#include <string>
#include <vector>

struct fault_schedule {
    std::vector<fault> list; // in order of their points
    size_t next = 0;         // the first not applied yet
    int filler = -1;         // holds /tmp's space while it is full
    // A span over which the program is judged.
    struct span {
        int64_t since = 0;      // now_us() time
        cpu_seconds cpu{};      // the program's times then
        int64_t held_since = 0; // the time held in reads by the station then
    };
    struct missing_line {
        bool active = false;
        bool refusing = false; // there, but refusing writes
        span judged;
        uint64_t until = 0; // reads or pulses until it comes back; 0: never
        uint64_t seen = 0;  // reads so far, while the clock line is missing
    } line[2];              // the clock line, the data line
    // A point of a "watch period" span: when, and what the program had spent
    // by then in reads for the station and on a run queue.
    struct stamp {
        int64_t at = 0;
        int64_t held_us = 0;
        double waited = 0;
    };
    struct period_watch {
        bool on = false;
        int64_t until = 0; // when it ends
        std::string tag;   // its record, but for the verdict
        int64_t since = 0;
        stamp last;           // the span's start, then the last update
        int64_t first = 0;    // the first update in the span
        uint64_t updates = 0; // updates seen in the span
        double longest = 0;   // the longest time judged so far, in seconds
    } period;
    bool dns_answers = false; // the name server answers
    bool watching = false;    // a "watch cpu" span is running
    span watched;
    int64_t watch_until = 0; // when it ends
    std::string watch_tag;   // its record, but for the verdict
    int64_t stop_at = 0;     // when the station stops the program; 0: never
    std::string record;      // the "faults" result
};

// Applies the faults whose point has come. Called at a read that the board
// is about to serve, while the program is blocked in it.
bool faults_at_read(fault_schedule &fs, lockstep &ls, child_process &c, std::string &why);

// Takes the clock writes that have arrived (held or at the gate), brings the
// data line back when the program has made its pulses, and lets the next
// gated write through.
bool faults_at_clock(fault_schedule &fs, lockstep &ls, std::string &why);

// An update of /tmp seen at the read being served.
void period_mark(fault_schedule &fs, const lockstep &ls, const child_process &c);

// Stops the program when its time has come; ends a watch whose time is up.
void faults_in_time(fault_schedule &fs, const lockstep &ls, child_process &c);

// At the program's end (or the station's stop), before it is reaped: the
// verdict on every line still missing.
void faults_at_end(fault_schedule &fs, const lockstep &ls, const child_process &c);
