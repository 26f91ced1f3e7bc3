#include "proc.h"

#include <unistd.h>

std::string proc_text(int fd) {
    std::string text;
    char buf[512];
    ssize_t got;
    while ((got = read(fd, buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(got));
    if (got < 0)
        text.clear();
    return text;
}
