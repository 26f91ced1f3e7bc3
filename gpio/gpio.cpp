#include "gpio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int value;
line_faults line_fault;

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

// One sysfs write as mode "w" makes it: open (create or truncate), one write,
// close. Returns 0, or the errno value of a failed open. As the set-up and the
// clock writes have always done, what the write and the close say is not
// looked at: an exported line refuses the export write, and that is fine.
int write_sysfs(const char *path, const char *text, size_t len) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    ssize_t written = write(fd, text, len);
    (void)written;
    close(fd);
    return 0;
}

int write_text(const char *path, const char *text) {
    return write_sysfs(path, text, strlen(text));
}

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

const char *gpio_export_path() {
    return paths.export_file;
}

const char *clock_value_path() {
    return paths.clock_value;
}

const char *data_value_path() {
    return paths.data_value;
}

void get() {
    int fd = open(paths.data_value, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        line_fault.data = errno;
        return;
    }
    char text[32];
    ssize_t got = read(fd, text, sizeof text);
    close(fd);
    if (got > 0)
        parse_int(text, static_cast<size_t>(got), &value);
}

void set(int8_t level) {
    char text[8];
    int len = snprintf(text, sizeof text, "%d\n", level);
    int error = write_sysfs(paths.clock_value, text, static_cast<size_t>(len));
    if (error != 0)
        line_fault.clock = error;
}

bool gpio_setup(bool need_export) {
    bool exported = write_text(paths.export_file, paths.clock_number) == 0;
    if (!exported && need_export)
        return false;
    write_text(paths.export_file, paths.data_number);
    write_text(paths.clock_direction, "out\n");
    write_text(paths.data_direction, "in\n");
    return exported;
}
