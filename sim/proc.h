// Files of /proc that describe other processes, read so that a process that
// ends meanwhile is no fault of the station.
#pragma once

#include <string>

// The whole text behind `fd`, an open file of /proc; empty when a read
// fails, as it does (ESRCH) once the file's process has ended.
std::string proc_text(int fd);
