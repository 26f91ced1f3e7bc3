// The program under test as a child process: started clean, in a process
// group of its own, and stopped with the whole group.
//
// A stop sends SIGTERM to the group; a program that does not end within the
// grace period is killed (SIGKILL), and so is one stopped a second time.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

// How long a stopped program may take to end before it is killed.
constexpr int64_t stop_grace_us = 2000000;

struct child_process {
    pid_t pid = -1;         // also its process group
    int ended = -1;         // readable once the program has ended (a pidfd)
    int out = -1, err = -1; // its standard output and error, non-blocking
    bool stop_sent = false;
    int64_t kill_at_us = 0; // when an unheeded stop turns into SIGKILL; 0: none
};

// Starts `command` with standard input from /dev/null and its output into
// pipes. Every signal has its default action and none is blocked; of the
// station's descriptors only `inherit` stay open in it. The program's end
// is told by `ended`, whatever it did with its output.
bool spawn(child_process &c, const std::vector<std::string> &command,
           const std::vector<int> &inherit, std::string &why);

// Stops the program (SIGTERM now, SIGKILL after the grace period); a second
// stop kills it at once.
void stop(child_process &c, int64_t now);

// Kills the program at once.
void kill_group(child_process &c);

// Once the program has ended: kills whatever of its process group is left,
// so that nothing it started outlives the run.
void kill_rest(const child_process &c);

// Kills the program if its grace period has run out.
void enforce_grace(child_process &c, int64_t now);

// Waits for the program's end. False on a fault of the system.
bool reap(child_process &c, int &status);

// Seconds the processes of the program's group (a wrapper and what it runs
// count together) have so far spent on a processor, and waiting on a run
// queue for one, from /proc.
struct cpu_seconds {
    double run;
    double waited;
};
cpu_seconds group_cpu_seconds(pid_t group);

// Seconds the process `pid` alone has so far waited on a run queue; 0 once
// it is gone.
double run_queue_seconds(pid_t pid);
