// The results directory of a run (see station.h for what it holds). The
// program's output, the timeline and the datagrams are written as they come,
// so that a run of any length holds none of them in memory.
#pragma once

#include <string>

enum class result_stream { out, err, timeline, datagrams };

struct results {
    int dir = -1; // -1: no results kept
    int stream_fd[4] = {-1, -1, -1, -1};
    bool ok = true; // every write so far succeeded
};

// Creates the streamed files in `dir`, a directory descriptor (or -1).
bool open_results(results &res, int dir, std::string &why);

// Appends to one of the streamed files.
void append(results &res, result_stream s, const std::string &text);

// Writes a whole file `name` in the directory `dir`.
bool put_file(int dir, const std::string &name, const std::string &text);

// Closes the streamed files. False when any write of them failed.
bool close_results(results &res);
