#include "gpio.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

bool parse_int(const char *text, size_t len, int *out) {
    size_t k = 0;
    while (k < len && is_space(text[k]))
        k++;
    bool negative = false;
    if (k < len && (text[k] == '+' || text[k] == '-')) {
        negative = text[k] == '-';
        k++;
    }
    if (k >= len || text[k] < '0' || text[k] > '9')
        return false;
    // Accumulate the magnitude in unsigned arithmetic so that an over-long
    // number wraps instead of overflowing a signed type.
    uint32_t magnitude = 0;
    while (k < len && text[k] >= '0' && text[k] <= '9') {
        magnitude = magnitude * 10u + static_cast<uint32_t>(text[k] - '0');
        k++;
    }
    *out = static_cast<int>(negative ? 0u - magnitude : magnitude);
    return true;
}

bool write_file(const char *path, const char *text, size_t len) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    ssize_t written = write(fd, text, len);
    (void)written; // as with the board's sysfs files, a short write is not retried
    close(fd);
    return true;
}
