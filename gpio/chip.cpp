#include "chip.h"

#include <cstdio>
#include <cstring>
#include <linux/gpio.h>
#include <sys/ioctl.h>

chip_by chip_kind(const char *chip) {
    if (chip[0] == '/')
        return chip_by::path;
    return strchr(chip, '/') == nullptr && chip_number(chip) >= 0 ? chip_by::name : chip_by::label;
}

int chip_number(const char *chip) {
    const char *name = strrchr(chip, '/');
    name = name != nullptr ? name + 1 : chip;
    if (strncmp(name, "gpiochip", 8) != 0 || name[8] == '\0')
        return -1;
    int n = 0;
    for (const char *p = name + 8; *p != '\0'; p++) {
        // The kernel numbers chips far below this; a longer number names none.
        if (*p < '0' || *p > '9' || n > 99999)
            return -1;
        n = n * 10 + (*p - '0');
    }
    return n;
}

void describe_line(char *out, size_t size, int offset, const char *chip, const char *holder,
                   int chip_lines) {
    // A message cut short still names the line.
    if (holder[0] != '\0')
        snprintf(out, size, "line %d of %s, held by \"%s\"", offset, chip, holder);
    else if (chip_lines >= 0)
        snprintf(out, size, "line %d of %s, which has %d line%s", offset, chip, chip_lines,
                 chip_lines == 1 ? "" : "s");
    else
        snprintf(out, size, "line %d of %s", offset, chip);
}

bool chip_label(int fd, char *out, size_t size) {
    gpiochip_info info{};
    if (ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) != 0)
        return false;
    snprintf(out, size, "%.*s", static_cast<int>(sizeof info.label), info.label);
    return true;
}

bool line_consumer(int fd, int offset, char *out, size_t size) {
    gpio_v2_line_info line{};
    line.offset = static_cast<__u32>(offset);
    if (ioctl(fd, GPIO_V2_GET_LINEINFO_IOCTL, &line) != 0 ||
        (line.flags & GPIO_V2_LINE_FLAG_USED) == 0)
        return false;
    snprintf(out, size, "%.*s", GPIO_MAX_NAME_SIZE, line.consumer);
    return true;
}
