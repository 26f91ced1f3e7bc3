// The sandbox's /tmp: what a scenario plants in it, the filler that leaves it
// without room, and the copy of what the program left in it.
#pragma once

#include "script.h"

#include <string>
#include <vector>

// Creates the planted entries, in order.
bool plant_all(const std::vector<plant> &plants, std::string &why);

// Removes whatever is at `path`, a directory with all it holds (no link is
// followed), then, unless `only_remove`, plants `p` there.
bool replant(const plant &p, bool only_remove, std::string &why);

// Takes every free block of /tmp with a file that has no name, so it shows
// nowhere; `fd` keeps it. Freeing closes it.
bool fill_tmp(int &fd, std::string &why);
bool free_tmp(int &fd, std::string &why);

// Copies the regular files at the top of /tmp into `dir`/tmp, never following
// a link, and describes everything else (record.h, tmp_entry) in `entries`,
// by path.
bool copy_tmp(int dir, std::string &entries, std::string &why);

// Reads a regular file without following a link and without waiting on a
// FIFO. False when `path` is not a regular file or cannot be read.
bool read_regular(int dir, const std::string &name, std::string &out);
