#include "gpio.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int value;

namespace {

// Room for a scratch root in tests; the router's paths are far shorter.
constexpr size_t path_max = 256;

struct gpio_paths {
    char export_file[path_max];
    char clock_direction[path_max];
    char data_direction[path_max];
    char clock_value[path_max];
    char data_value[path_max];
    char clock_number[16];
    char data_number[16];
};

gpio_paths paths;

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

void gpio_bind(line_pair lines, const char *root) {
    const char *dev = "/sys/devices/virtual/gpio/gpio";
    snprintf(paths.export_file, path_max, "%s/sys/class/gpio/export", root);
    snprintf(paths.clock_direction, path_max, "%s%s%d/direction", root, dev, lines.clock);
    snprintf(paths.data_direction, path_max, "%s%s%d/direction", root, dev, lines.data);
    snprintf(paths.clock_value, path_max, "%s%s%d/value", root, dev, lines.clock);
    snprintf(paths.data_value, path_max, "%s%s%d/value", root, dev, lines.data);
    snprintf(paths.clock_number, sizeof paths.clock_number, "%d\n", lines.clock);
    snprintf(paths.data_number, sizeof paths.data_number, "%d\n", lines.data);
}

const char *gpio_export_path() { return paths.export_file; }

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

void get() {
    int fd = open(paths.data_value, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char text[32];
    ssize_t got = read(fd, text, sizeof text);
    close(fd);
    if (got > 0)
        parse_int(text, static_cast<size_t>(got), &value);
}

void set(int8_t level) {
    char text[8];
    int len = snprintf(text, sizeof text, "%d\n", level);
    write_file(paths.clock_value, text, static_cast<size_t>(len));
}

namespace {

bool write_text(const char *path, const char *text) {
    size_t len = 0;
    while (text[len] != '\0')
        len++;
    return write_file(path, text, len);
}

} // namespace

bool gpio_setup(bool need_export) {
    bool exported = write_text(paths.export_file, paths.clock_number);
    if (!exported && need_export)
        return false;
    write_text(paths.export_file, paths.data_number);
    write_text(paths.clock_direction, "out\n");
    write_text(paths.data_direction, "in\n");
    return exported;
}
