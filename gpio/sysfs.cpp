// The lines through the kernel's sysfs GPIO interface.
#include "gpio.h"

#include "parse_int.h"

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

// No O_CLOEXEC on the value files: each is closed before the operation
// returns, and the programs start no other program. The router's C library
// would pay for it with an fcntl after every open: three more system calls
// a pulse.
constexpr int write_flags = O_WRONLY | O_TRUNC;
constexpr int read_flags = O_RDONLY;

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

// One sysfs write as mode "w" makes it, but never creating a file the kernel
// did not make: open, one write of the whole text, close. Returns 0, or the
// failure with the step it happened at.
line_error write_sysfs(const char *path, const char *text) {
    size_t len = strlen(text);
    int fd = open(path, write_flags);
    if (fd < 0)
        return {errno, "open", path};
    ssize_t written = write(fd, text, len);
    int error = written < 0 ? errno : 0;
    if (close(fd) != 0 && error == 0 && written >= 0)
        return {errno, "close", path};
    if (written < 0 || static_cast<size_t>(written) != len)
        return {error != 0 ? error : EIO, "write", path};
    return {0, "", path};
}

} // namespace

void gpio_bind(line_pair lines, const char *root) {
    // The documented ABI path: today's kernels keep an exported line under its
    // chip's device, and only /sys/class/gpio/gpioN finds it on every kernel.
    const char *dev = "/sys/class/gpio/gpio";
    snprintf(paths.export_file, path_max, "%s/sys/class/gpio/export", root);
    snprintf(paths.clock_direction, path_max, "%s%s%d/direction", root, dev, lines.clock);
    snprintf(paths.data_direction, path_max, "%s%s%d/direction", root, dev, lines.data);
    snprintf(paths.clock_value, path_max, "%s%s%d/value", root, dev, lines.clock);
    snprintf(paths.data_value, path_max, "%s%s%d/value", root, dev, lines.data);
    snprintf(paths.clock_number, sizeof paths.clock_number, "%d\n", lines.clock);
    snprintf(paths.data_number, sizeof paths.data_number, "%d\n", lines.data);
}

const char *gpio_setup_file() {
    return paths.export_file;
}

void get() {
    int fd = open(paths.data_value, read_flags);
    if (fd < 0) {
        line_fault.data = {errno, "open", paths.data_value};
        return;
    }
    char text[32];
    ssize_t got = read(fd, text, sizeof text);
    int error = errno;
    close(fd); // nothing was written: a failed close loses nothing
    if (got < 0)
        line_fault.data = {error, "read", paths.data_value};
    else if (got > 0)
        parse_int(text, static_cast<size_t>(got), &value);
}

void set(int8_t level) {
    char text[8];
    snprintf(text, sizeof text, "%d\n", level);
    line_error e = write_sysfs(paths.clock_value, text);
    if (e.error != 0)
        line_fault.clock = e;
}

bool gpio_setup(bool need_export) {
    // An exported line refuses the export write: only the open tells.
    line_error exported = write_sysfs(paths.export_file, paths.clock_number);
    if (exported.error != 0 && strcmp(exported.action, "open") == 0 && need_export)
        return false;
    write_sysfs(paths.export_file, paths.data_number);
    line_error e = write_sysfs(paths.clock_direction, "out\n");
    if (e.error != 0)
        line_fault.clock = e;
    e = write_sysfs(paths.data_direction, "in\n");
    if (e.error != 0)
        line_fault.data = e;
    return exported.error == 0 || strcmp(exported.action, "open") != 0;
}
