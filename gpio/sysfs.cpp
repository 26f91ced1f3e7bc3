// The lines through the kernel's sysfs GPIO interface, named by chip and
// offset and found once, at the set-up.
#include "chip.h"
#include "gpio.h"

#include "parse_int.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/gpio.h>
#include <sys/syscall.h>
#include <unistd.h>

int value;
line_faults line_fault;

namespace {

// Room for a scratch root in tests; the router's paths are far shorter.
constexpr size_t path_max = 256;
// Chips that share one parent device (a SoC's banks), at most.
constexpr int siblings_max = 32;

// No O_CLOEXEC on the value files: each is closed before the operation
// returns, and the programs start no other program. The router's C library
// would pay for it with an fcntl after every open: three more system calls
// a pulse.
constexpr int write_flags = O_WRONLY | O_TRUNC;
constexpr int read_flags = O_RDONLY;

// One line of the pair, where the set-up found it.
struct sysfs_line {
    int offset;
    char number[16]; // what the export file is given
    char dir[path_max];
    char direction[path_max];
    char value[path_max];
    line_error unusable; // why the line cannot be had; error 0 while it can
    char name[path_max]; // how a message names it when it cannot
};

struct sysfs_state {
    line_pair lines;
    char root[path_max];
    char class_dir[path_max]; // /sys/class/gpio, below the root
    char chip_name[path_max]; // how messages name the chip
    char export_file[path_max];
    line_error chip_missing; // error 0 while the chip is there
    sysfs_line clock, data;
};

sysfs_state st;

__attribute__((format(printf, 3, 4))) bool put(char *out, size_t size, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int len = vsnprintf(out, size, format, args);
    va_end(args);
    return len >= 0 && static_cast<size_t>(len) < size;
}

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

// The first line of a small sysfs file, without its line end.
bool read_text(const char *path, char *out, size_t size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got = read(fd, out, size - 1);
    close(fd); // nothing was written: a failed close loses nothing
    if (got <= 0)
        return false;
    out[got] = '\0';
    out[strcspn(out, "\n")] = '\0';
    return true;
}

// N of "PREFIXN"; -1 when `name` is not of that form.
int numbered(const char *name, const char *prefix) {
    size_t n = strlen(prefix);
    if (strncmp(name, prefix, n) != 0 || name[n] == '\0')
        return -1;
    int number = 0;
    for (const char *p = name + n; *p != '\0'; p++) {
        if (*p < '0' || *p > '9' || number > 99999)
            return -1;
        number = number * 10 + (*p - '0');
    }
    return number;
}

// Where a sysfs link leads below /sys ("devices/..."), less `drop` trailing
// components.
bool device_of(const char *link, int drop, char *out, size_t size) {
    ssize_t n = readlink(link, out, size - 1);
    if (n <= 0)
        return false;
    out[n] = '\0';
    char *p = out;
    while (strncmp(p, "../", 3) == 0)
        p += 3;
    memmove(out, p, strlen(p) + 1);
    for (; drop > 0; drop--) {
        char *slash = strrchr(out, '/');
        if (slash == nullptr)
            return false;
        *slash = '\0';
    }
    return true;
}

// The entries PREFIXN of a sysfs folder (/sys/class/gpio, the GPIO bus's
// devices) with the given label, or whose device, less `drop` components, is
// `owner`, or both; nullptr asks nothing. Read straight from the kernel: the
// C library's directory streams allocate.
struct folder_scan {
    const char *dir, *prefix;
    const char *label = nullptr;
    const char *owner = nullptr;
    int drop = 0;
    int found[siblings_max] = {};
    int count = 0;
};

void scan(folder_scan &s) {
    int fd = open(s.dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    char buf[2048];
    long len;
    while (fd >= 0 && (len = syscall(SYS_getdents64, fd, buf, sizeof buf)) > 0) {
        // The kernel's linux_dirent64: inode, offset, record length, type, name.
        unsigned short reclen;
        for (long at = 0; at < len; at += reclen) {
            memcpy(&reclen, buf + at + 16, sizeof reclen);
            const char *name = buf + at + 19;
            int n = numbered(name, s.prefix);
            char path[path_max], text[path_max];
            put(path, sizeof path, "%s/%s%s", s.dir, name, s.label != nullptr ? "/label" : "");
            if (n < 0 || s.count == siblings_max ||
                (s.label != nullptr &&
                 (!read_text(path, text, sizeof text) || strcmp(text, s.label) != 0)))
                continue;
            path[strlen(path) - (s.label != nullptr ? 6 : 0)] = '\0';
            if (s.owner == nullptr ||
                (device_of(path, s.drop, text, sizeof text) && strcmp(text, s.owner) == 0))
                s.found[s.count++] = n;
        }
    }
    if (fd >= 0)
        close(fd);
}

enum class chip_iface { global, legacy, chip_local, missing };

struct chip_place {
    chip_iface iface = chip_iface::global;
    int device = -1; // the chip's device number, where known
    int base = 0;    // legacy: the number of its line 0
    int lines = -1;  // its line count, where known
    char missing[path_max] = "";
};

// The label the character device gives chip `device`, where it can be asked.
bool device_label(int device, char *out, size_t size) {
    char path[path_max];
    put(path, sizeof path, "%s/dev/gpiochip%d", st.root, device);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && chip_label(fd, out, size);
    if (fd >= 0)
        close(fd);
    return ok;
}

// The base of chip `device` in the legacy interface, which names chips by
// base (/sys/class/gpio/gpiochipBASE) where the GPIO bus names them by device
// number (/sys/bus/gpio/devices/gpiochipN). A chip's entry sits under its
// parent device, or under the chip's own device when it has none; where
// several chips share a parent (a SoC's banks), the character device's label
// tells them apart, or else their order: a kernel gives dynamic bases in the
// order it numbers the chips.
int find_base(int device) {
    char bus[path_max], self[path_max], parent[path_max], label[path_max];
    put(bus, sizeof bus, "%s/sys/bus/gpio/devices", st.root);
    put(label, sizeof label, "%s/gpiochip%d", bus, device);
    if (!device_of(label, 0, self, sizeof self) || !device_of(label, 1, parent, sizeof parent))
        return -1;
    folder_scan own{st.class_dir, "gpiochip"}, banks{st.class_dir, "gpiochip"};
    own.owner = self;
    own.drop = banks.drop = 2;
    banks.owner = parent;
    scan(own);
    scan(banks);
    if (own.count == 1 || banks.count <= 1)
        return own.count == 1 ? own.found[0] : banks.count == 1 ? banks.found[0] : -1;
    folder_scan named = banks;
    named.label = label;
    named.count = 0;
    if (device_label(device, label, sizeof label)) {
        scan(named);
        if (named.count == 1)
            return named.found[0];
    }
    folder_scan siblings{bus, "gpiochip"};
    siblings.owner = parent;
    siblings.drop = 1;
    scan(siblings);
    int rank = 0, below;
    for (int k = 0; k < siblings.count; k++)
        rank += siblings.found[k] < device;
    for (int k = 0; siblings.count == banks.count && k < banks.count; k++) {
        below = 0;
        for (int j = 0; j < banks.count; j++)
            below += banks.found[j] < banks.found[k];
        if (below == rank)
            return banks.found[k];
    }
    return -1;
}

// The line count in a chip's entry of the class folder.
int lines_of(const char *entry, int n) {
    char path[path_max], text[16];
    put(path, sizeof path, "%s/%s%d/ngpio", st.class_dir, entry, n);
    int lines = -1;
    if (!read_text(path, text, sizeof text) ||
        parse_int(text, strlen(text), &lines) != parsed_int::in_range)
        return -1;
    return lines;
}

// Where the chip of the setting is: in the chip-local interface where the
// kernel has it (/sys/class/gpio/chipN), else in the legacy one at its base,
// else (a kernel that shows no chips: no GPIO bus, or no sysfs GPIO at all)
// nowhere: the offsets are taken as the numbers, base 0.
chip_place find_chip() {
    chip_place p;
    const char *chip = st.lines.chip;
    if (chip[0] == '\0')
        return p; // GPIO numbers, as the settings give them
    bool by_label = chip_kind(chip) == chip_by::label;
    int device = by_label ? -1 : chip_number(chip);
    if (device < 0 && !by_label) {
        p.iface = chip_iface::missing;
        put(p.missing, sizeof p.missing, "%s", chip);
        return p;
    }
    char path[path_max];
    folder_scan local{st.class_dir, "chip"};
    local.label = by_label ? chip : nullptr;
    scan(local);
    put(path, sizeof path, "%s/chip%d", st.class_dir, device);
    if (by_label ? local.count > 0 : access(path, F_OK) == 0) {
        p.iface = chip_iface::chip_local;
        p.device = by_label ? local.found[0] : device;
        p.lines = lines_of("chip", p.device);
        return p;
    }
    put(path, sizeof path, "%s/export", st.class_dir);
    bool legacy = access(path, F_OK) == 0;
    if (by_label) {
        local.label = nullptr;
        scan(local);
    }
    if (!legacy && local.count == 0)
        return p; // no sysfs GPIO: the export file, as ever, tells
    p.iface = chip_iface::missing;
    if (by_label)
        put(p.missing, sizeof p.missing, "the GPIO chip labelled \"%s\"", chip);
    else if (!legacy)
        put(p.missing, sizeof p.missing, "%s/chip%d/export", st.class_dir, device);
    else
        put(p.missing, sizeof p.missing, "%s/sys/bus/gpio/devices/gpiochip%d", st.root, device);
    int base = -1;
    if (legacy && by_label) {
        folder_scan named{st.class_dir, "gpiochip"};
        named.label = chip;
        scan(named);
        base = named.count > 0 ? named.found[0] : -1;
    } else if (legacy && device >= 0) {
        put(path, sizeof path, "%s/sys/bus/gpio", st.root);
        if (access(path, F_OK) != 0) {
            p.iface = chip_iface::global;
            return p;
        }
        base = find_base(device);
    }
    if (base >= 0) {
        p.iface = chip_iface::legacy;
        p.device = device;
        p.base = base;
        p.lines = lines_of("gpiochip", base);
    }
    return p;
}

void place_line(sysfs_line &line, const chip_place &p) {
    const char *root = st.root;
    int number = p.base + line.offset;
    if (p.iface == chip_iface::chip_local) {
        put(line.dir, sizeof line.dir, "%s/sys/class/gpio/chip%d/gpio%d", root, p.device,
            line.offset);
        number = line.offset;
    } else {
        // The documented ABI path: today's kernels keep an exported line under
        // its chip's device, and only /sys/class/gpio/gpioN finds it on every
        // kernel.
        put(line.dir, sizeof line.dir, "%s/sys/class/gpio/gpio%d", root, number);
    }
    snprintf(line.number, sizeof line.number, "%d\n", number);
    put(line.direction, sizeof line.direction, "%s/direction", line.dir);
    put(line.value, sizeof line.value, "%s/value", line.dir);
}

// How a message names a line: "line 2 of gpiochip0", or "GPIO 514" where the
// settings give numbers, with why it cannot be had: the count of the chip's
// `lines` (-1: not that), or the consumer that holds it, where the character
// device of chip `device` can tell.
void name_line(sysfs_line &line, int device, int lines) {
    char path[path_max], holder[GPIO_MAX_NAME_SIZE + 1] = "";
    put(path, sizeof path, "%s/dev/gpiochip%d", st.root, device);
    int fd = device < 0 || lines >= 0 ? -1 : open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        line_consumer(fd, line.offset, holder, sizeof holder);
        close(fd);
    }
    if (st.lines.chip[0] == '\0')
        put(line.name, sizeof line.name, "GPIO %d", line.offset);
    else
        describe_line(line.name, sizeof line.name, line.offset, st.chip_name, holder, lines);
}

// Exports one line. A line exported already (a second run) refuses the
// write and is there; a line a driver holds refuses it and is not.
// Returns whether the export file could be opened.
bool export_line(sysfs_line &line, int device) {
    if (line.unusable.error != 0)
        return true;
    line_error e = write_sysfs(st.export_file, line.number);
    if (e.error != 0 && strcmp(e.action, "open") == 0)
        return false;
    if (e.error == 0 || access(line.dir, F_OK) == 0)
        return true;
    name_line(line, device, -1);
    line.unusable = {e.error, "export", line.name};
    return true;
}

void set_direction(sysfs_line &line, const char *direction, line_error &fault) {
    if (line.unusable.error != 0)
        return; // told by the pulses
    line_error e = write_sysfs(line.direction, direction);
    if (e.error != 0)
        fault = e;
}

} // namespace

void gpio_bind(line_pair lines, const char *root) {
    st = sysfs_state{};
    st.lines = lines;
    put(st.root, sizeof st.root, "%s", root);
    put(st.class_dir, sizeof st.class_dir, "%s/sys/class/gpio", root);
    if (chip_kind(lines.chip) == chip_by::label)
        put(st.chip_name, sizeof st.chip_name, "the GPIO chip labelled \"%s\"", lines.chip);
    else
        put(st.chip_name, sizeof st.chip_name, "gpiochip%d", chip_number(lines.chip));
    st.clock.offset = lines.clock;
    st.data.offset = lines.data;
    // Until the set-up finds the chip, the offsets are the numbers.
    put(st.export_file, sizeof st.export_file, "%s/sys/class/gpio/export", root);
    place_line(st.clock, chip_place{});
    place_line(st.data, chip_place{});
}

const char *gpio_setup_file() {
    return st.export_file;
}

void get() {
    if (st.chip_missing.error != 0 || st.data.unusable.error != 0) {
        if (st.chip_missing.error != 0)
            line_fault.clock = st.chip_missing;
        else
            line_fault.data = st.data.unusable;
        return;
    }
    int fd = open(st.data.value, read_flags);
    if (fd < 0) {
        line_fault.data = {errno, "open", st.data.value};
        return;
    }
    char text[32];
    ssize_t got = read(fd, text, sizeof text);
    int error = errno;
    close(fd); // nothing was written: a failed close loses nothing
    if (got < 0)
        line_fault.data = {error, "read", st.data.value};
    else if (got > 0)
        parse_int(text, static_cast<size_t>(got), &value);
}

void set(int8_t level) {
    if (st.chip_missing.error != 0 || st.clock.unusable.error != 0) {
        line_fault.clock = st.chip_missing.error != 0 ? st.chip_missing : st.clock.unusable;
        return;
    }
    char text[8];
    snprintf(text, sizeof text, "%d\n", level);
    line_error e = write_sysfs(st.clock.value, text);
    if (e.error != 0)
        line_fault.clock = e;
}

bool gpio_setup(bool need_export) {
    chip_place p = find_chip();
    sysfs_line *const lines_of_pair[] = {&st.clock, &st.data};
    st.chip_missing = {};
    st.clock.unusable = st.data.unusable = {};
    if (p.iface == chip_iface::missing) {
        // Told by the caller now and by the pulses, as a missing export file.
        put(st.export_file, sizeof st.export_file, "%s", p.missing);
        st.chip_missing = {ENOENT, "open", st.export_file};
        return false;
    }
    if (p.iface == chip_iface::chip_local)
        put(st.export_file, sizeof st.export_file, "%s/chip%d/export", st.class_dir, p.device);
    else
        put(st.export_file, sizeof st.export_file, "%s/export", st.class_dir);
    for (sysfs_line *line : lines_of_pair) {
        place_line(*line, p);
        if (p.lines >= 0 && (line->offset < 0 || line->offset >= p.lines)) {
            name_line(*line, p.device, p.lines);
            line->unusable = {EINVAL, "export", line->name};
        }
    }
    // The export writes may fail for a good reason (a line exported already);
    // only the open of the export file, and a line that is not there after,
    // tell.
    bool opened = export_line(st.clock, p.device);
    if (!opened && need_export)
        return false;
    opened = export_line(st.data, p.device) && opened;
    set_direction(st.clock, "out\n", line_fault.clock);
    set_direction(st.data, "in\n", line_fault.data);
    return opened;
}
