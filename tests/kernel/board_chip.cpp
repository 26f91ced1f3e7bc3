#include "board_chip.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char *class_dir = "/sys/class/gpio";

// A sysfs attribute's first line, without its line end.
bool read_line(const char *path, char *out, size_t size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got = read(fd, out, size - 1);
    bool ok = close(fd) == 0 && got >= 0;
    out[ok ? got : 0] = '\0';
    out[strcspn(out, "\n")] = '\0';
    return ok;
}

// The entry of class_dir named PREFIX + number whose label is `label`: its
// number, or -1.
int entry_labelled(const char *prefix, const char *label) {
    DIR *d = opendir(class_dir);
    if (d == nullptr)
        return -1;
    int found = -1;
    size_t skip = strlen(prefix);
    for (dirent *e; found < 0 && (e = readdir(d)) != nullptr;) {
        char path[320], text[64];
        if (strncmp(e->d_name, prefix, skip) != 0 || e->d_name[skip] < '0' || e->d_name[skip] > '9')
            continue;
        snprintf(path, sizeof path, "%s/%s/label", class_dir, e->d_name);
        if (read_line(path, text, sizeof text) && strcmp(text, label) == 0)
            found = atoi(e->d_name + skip);
    }
    closedir(d);
    return found;
}

} // namespace

int open_chip(const char *label) {
    for (int n = 0; n < 64; n++) {
        char path[32];
        snprintf(path, sizeof path, "/dev/gpiochip%d", n);
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        gpiochip_info info{};
        if (ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) == 0 && strcmp(info.label, label) == 0)
            return fd;
        close(fd);
    }
    errno = ENODEV;
    return -1;
}

bool find_sysfs_chip(const char *label, sysfs_chip &chip) {
    int n = entry_labelled("chip", label);
    if (n >= 0) {
        snprintf(chip.dir, sizeof chip.dir, "%s/chip%d", class_dir, n);
        chip.base = 0;
        return true;
    }
    int base = entry_labelled("gpiochip", label);
    if (base >= 0) {
        snprintf(chip.dir, sizeof chip.dir, "%s", class_dir);
        chip.base = base;
        return true;
    }
    errno = ENODEV;
    return false;
}

bool sysfs_line_command(const sysfs_chip &chip, const char *command, int offset) {
    char path[96], text[16];
    snprintf(path, sizeof path, "%s/%s", chip.dir, command);
    int len = snprintf(text, sizeof text, "%d\n", chip.base + offset);
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, text, static_cast<size_t>(len)) == len;
    return close(fd) == 0 && ok;
}

void sysfs_line_file(const sysfs_chip &chip, int offset, const char *file, char *out, size_t size) {
    snprintf(out, size, "%s/gpio%d/%s", chip.dir, chip.base + offset, file);
}
