// The line primitives as a textbook writes them: every operation through the
// standard I/O library, one FILE for all of them, opened and closed each time.
// Linked in place of the gpio library, it is what the programs are measured
// against.
#include "gpio.h"

#include <cerrno>
#include <cstdio>

int value;
line_faults line_fault;

namespace {

constexpr size_t path_max = 256;

char export_file[path_max];
char clock_direction[path_max];
char data_direction[path_max];
char clock_value[path_max];
char data_value[path_max];
int clock_number;
int data_number;

FILE *f;

bool put(const char *path, const char *format, int number) {
    f = fopen(path, "w");
    if (f == nullptr)
        return false;
    fprintf(f, format, number);
    fclose(f);
    return true;
}

bool put(const char *path, const char *text) {
    f = fopen(path, "w");
    if (f == nullptr)
        return false;
    fputs(text, f);
    fclose(f);
    return true;
}

} // namespace

void gpio_bind(line_pair lines, const char *root) {
    const char *dev = "/sys/class/gpio/gpio";
    snprintf(export_file, path_max, "%s/sys/class/gpio/export", root);
    snprintf(clock_direction, path_max, "%s%s%d/direction", root, dev, lines.clock);
    snprintf(data_direction, path_max, "%s%s%d/direction", root, dev, lines.data);
    snprintf(clock_value, path_max, "%s%s%d/value", root, dev, lines.clock);
    snprintf(data_value, path_max, "%s%s%d/value", root, dev, lines.data);
    clock_number = lines.clock;
    data_number = lines.data;
}

const char *gpio_setup_file() {
    return export_file;
}

void get() {
    f = fopen(data_value, "r");
    if (f == nullptr) {
        line_fault.data = {errno, "open", data_value};
        return;
    }
    if (fscanf(f, "%d", &value) != 1) {
        // no number: value keeps the last level
    }
    fclose(f);
}

void set(int8_t level) {
    if (!put(clock_value, "%d\n", level))
        line_fault.clock = {errno, "open", clock_value};
}

bool gpio_setup(bool need_export) {
    bool exported = put(export_file, "%d\n", clock_number);
    if (!exported && need_export)
        return false;
    put(export_file, "%d\n", data_number);
    put(clock_direction, "out\n");
    put(data_direction, "in\n");
    return exported;
}
