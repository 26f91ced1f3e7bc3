// The lines through the GPIO character device (uAPI v2): both lines requested
// once, each operation one ioctl on the request.
#include "chardev.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

int value;
line_faults line_fault;

namespace {

constexpr size_t path_max = 256;
// Chips a label is looked for among: /dev/gpiochip0 to /dev/gpiochip63.
constexpr int chips_max = 64;

struct chip_state {
    line_pair lines;
    char root[path_max];
    char path[path_max];  // the chip's device, once known
    bool unnamed;         // the setting does not fit the buffers: no chip
    char setup[path_max]; // how the messages name the chip
    int request = -1;     // the lines, held for the program's life
    // How the messages name each line, with why it cannot be had.
    char clock_name[path_max];
    char data_name[path_max];
};

chip_state chip;

// Formats into `out`; false when the text had to be cut, which for a path
// means it names nothing.
__attribute__((format(printf, 3, 4))) bool put(char *out, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int len = vsnprintf(out, size, format, args);
    va_end(args);
    return len >= 0 && static_cast<size_t>(len) < size;
}

// Opens the chip the setting names; -1 with errno set when there is none.
int open_chip() {
    if (chip.unnamed) {
        errno = ENAMETOOLONG;
        return -1;
    }
    if (chip.path[0] != '\0')
        return open(chip.path, O_RDONLY | O_CLOEXEC);
    for (int n = 0; n < chips_max; n++) {
        char path[path_max];
        if (!put(path, sizeof path, "%s/dev/gpiochip%d", chip.root, n))
            break;
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char label[GPIO_MAX_NAME_SIZE + 1];
        if (chip_label(fd, label, sizeof label) && strcmp(label, chip.lines.chip) == 0) {
            put(chip.path, sizeof chip.path, "%s", path); // as long as `path`
            return fd;
        }
        close(fd);
    }
    errno = ENOENT;
    return -1;
}

// Names `offset` in `name` with why it cannot be had, if that can be told:
// the consumer holding it, or the count of the chip's lines when it lies
// beyond them. Returns whether it could.
bool explain(int fd, const gpiochip_info &info, int offset, char *name) {
    char holder[GPIO_MAX_NAME_SIZE + 1] = "";
    int lines = -1;
    if (static_cast<unsigned>(offset) >= info.lines) {
        lines = static_cast<int>(info.lines);
    } else {
        line_consumer(fd, offset, holder, sizeof holder);
    }
    describe_line(name, path_max, offset, chip.path, holder, lines);
    return lines >= 0 || holder[0] != '\0';
}

enum class requested { yes, no_chip, refused };

// Requests both lines. A chip that cannot be opened is recorded on the clock
// line (one failure, not two); a refused request on the line or lines it
// can be told of, else on both.
requested request_lines() {
    int fd = open_chip();
    if (fd < 0) {
        line_fault.clock = {errno, "open", chip.setup};
        return requested::no_chip;
    }
    describe_line(chip.clock_name, path_max, chip.lines.clock, chip.path, "", -1);
    describe_line(chip.data_name, path_max, chip.lines.data, chip.path, "", -1);
    gpio_v2_line_request req = line_request(chip.lines);
    bool ok = ioctl(fd, GPIO_V2_GET_LINE_IOCTL, &req) == 0;
    int error = errno;
    if (ok) {
        chip.request = req.fd;
    } else {
        gpiochip_info info{};
        bool clock_told = false, data_told = false;
        if (ioctl(fd, GPIO_GET_CHIPINFO_IOCTL, &info) == 0) {
            clock_told = explain(fd, info, chip.lines.clock, chip.clock_name);
            data_told = explain(fd, info, chip.lines.data, chip.data_name);
        }
        if (clock_told || !data_told)
            line_fault.clock = {error, "request", chip.clock_name};
        if (data_told || !clock_told)
            line_fault.data = {error, "request", chip.data_name};
    }
    close(fd); // the request holds the lines by itself
    return ok ? requested::yes : requested::refused;
}

} // namespace

gpio_v2_line_request line_request(const line_pair &lines) {
    gpio_v2_line_request req{};
    req.offsets[0] = static_cast<__u32>(lines.clock);
    req.offsets[1] = static_cast<__u32>(lines.data);
    req.num_lines = 2;
    put(req.consumer, sizeof req.consumer, "%s", lines.consumer); // the kernel cuts it too
    req.config.flags = GPIO_V2_LINE_FLAG_INPUT; // the data line, and any line without attribute
    req.config.num_attrs = 2;
    req.config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_FLAGS;
    req.config.attrs[0].attr.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    req.config.attrs[0].mask = clock_bit;
    req.config.attrs[1].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    req.config.attrs[1].attr.values = 0; // low, as a sysfs line set to "out"
    req.config.attrs[1].mask = clock_bit;
    return req;
}

void gpio_bind(line_pair lines, const char *root) {
    if (chip.request >= 0)
        close(chip.request);
    chip = chip_state{};
    chip.lines = lines;
    // A setting too long for the buffers names no chip: opening it fails.
    bool fits = put(chip.root, sizeof chip.root, "%s", root);
    switch (chip_kind(lines.chip)) {
    case chip_by::name:
        fits = put(chip.path, sizeof chip.path, "%s/dev/%s", root, lines.chip) && fits;
        break;
    case chip_by::path:
        fits = put(chip.path, sizeof chip.path, "%s%s", root, lines.chip) && fits;
        break;
    case chip_by::label:
        fits = strlen(lines.chip) < GPIO_MAX_NAME_SIZE && fits;
        put(chip.setup, sizeof chip.setup, "the GPIO chip labelled \"%s\"", lines.chip);
        chip.unnamed = !fits;
        return;
    }
    chip.unnamed = !fits;
    put(chip.setup, sizeof chip.setup, "%s", chip.path);
}

const char *gpio_setup_file() {
    return chip.setup;
}

bool gpio_setup(bool need_export) {
    (void)need_export; // nothing follows a chip that cannot be opened
    if (chip.request >= 0)
        return true;
    // The first pulse asks again and records the failure: recorded here too,
    // it would be told twice, by the set-up and by the pulse.
    line_faults before = line_fault;
    requested result = request_lines();
    line_fault = before;
    return result != requested::no_chip;
}

void get() {
    if (chip.request < 0 && request_lines() != requested::yes)
        return;
    gpio_v2_line_values v{0, data_bit};
    if (ioctl(chip.request, GPIO_V2_LINE_GET_VALUES_IOCTL, &v) != 0) {
        line_fault.data = {errno, "read", chip.data_name};
        return;
    }
    value = (v.bits & data_bit) != 0 ? 1 : 0;
}

void set(int8_t level) {
    if (chip.request < 0 && request_lines() != requested::yes)
        return;
    gpio_v2_line_values v{level != 0 ? clock_bit : 0, clock_bit};
    if (ioctl(chip.request, GPIO_V2_LINE_SET_VALUES_IOCTL, &v) != 0)
        line_fault.clock = {errno, "write", chip.clock_name};
}
