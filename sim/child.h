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
    int out = -1, err = -1; // its standard output and error, non-blocking
    bool stop_sent = false;
    int64_t kill_at_us = 0; // when an unheeded stop turns into SIGKILL; 0: none
};

// Starts `command` with standard input from /dev/null and its output into
// pipes. Every signal has its default action and none is blocked; of the
// station's descriptors only `inherit` stay open in it.
bool spawn(child_process &c, const std::vector<std::string> &command,
           const std::vector<int> &inherit, std::string &why);

// Stops the program (SIGTERM now, SIGKILL after the grace period); a second
// stop kills it at once.
void stop(child_process &c, int64_t now);

// Kills the program at once.
void kill_group(child_process &c);

// Kills the program if its grace period has run out.
void enforce_grace(child_process &c, int64_t now);

// Waits for the program's end. False on a fault of the system.
bool reap(child_process &c, int &status);

// "exit N", "signal N", or "stopped" when the station ended it.
std::string status_text(int status, bool stop_sent);

// Seconds the processes of the program's group (a wrapper and what it runs
// count together) have so far run or waited to run, from /proc: the time they
// wanted a processor, whatever else the machine is doing.
double group_busy_seconds(pid_t group);
