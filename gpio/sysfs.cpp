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
#include <sys/stat.h>
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

bool is_there(const char *path) {
    struct stat s;
    return stat(path, &s) == 0;
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

int read_number(const char *path) {
    char text[32];
    int n = -1;
    if (!read_text(path, text, sizeof text) ||
        parse_int(text, strlen(text), &n) != parsed_int::in_range)
        return -1;
    return n;
}

// The names in a directory, read straight from the kernel: the C library's
// directory streams allocate.
struct dir_names {
    int fd = -1;
    char buf[4096];
    long len = 0, at = 0;
};

bool open_names(dir_names &d, const char *path) {
    d.fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    d.len = d.at = 0;
    return d.fd >= 0;
}

const char *next_name(dir_names &d) {
    // The kernel's linux_dirent64: inode, offset, record length, type, name.
    constexpr long name_at = 8 + 8 + 2 + 1;
    for (;;) {
        if (d.at >= d.len) {
            d.len = syscall(SYS_getdents64, d.fd, d.buf, sizeof d.buf);
            d.at = 0;
            if (d.len <= 0)
                return nullptr;
        }
        const char *entry = d.buf + d.at;
        unsigned short reclen;
        memcpy(&reclen, entry + 16, sizeof reclen);
        d.at += reclen;
        if (entry[name_at] != '.')
            return entry + name_at;
    }
}

void close_names(dir_names &d) {
    if (d.fd >= 0)
        close(d.fd);
    d.fd = -1;
}

// N of a name "PREFIXN"; -1 when the name is not of that form.
int numbered(const char *name, const char *prefix) {
    size_t n = strlen(prefix);
    if (strncmp(name, prefix, n) != 0 || name[n] == '\0')
        return -1;
    int number = -1;
    if (parse_int(name + n, strlen(name + n), &number) != parsed_int::in_range || number < 0)
        return -1;
    char again[32];
    snprintf(again, sizeof again, "%s%d", prefix, number);
    return strcmp(again, name) == 0 ? number : -1;
}

// Where a sysfs link leads below /sys, "devices/...", less `drop` trailing
// components.
bool device_of(const char *link, int drop, char *out, size_t size) {
    char target[path_max];
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    const char *p = target;
    while (strncmp(p, "../", 3) == 0)
        p += 3;
    if (!put(out, size, "%s", p))
        return false;
    for (; drop > 0; drop--) {
        char *slash = strrchr(out, '/');
        if (slash == nullptr)
            return false;
        *slash = '\0';
    }
    return true;
}

enum class chip_iface { global, legacy, chip_local, missing };

struct chip_place {
    chip_iface iface = chip_iface::global;
    int device = -1; // the chip's device number, where known
    int base = 0;    // legacy: the number of its line 0
    int lines = -1;  // its line count, where known
    char missing[path_max] = "";
};

void path_in(char *out, size_t size, const char *format, int n) {
    char name[64];
    snprintf(name, sizeof name, format, n);
    put(out, size, "%s/sys/class/gpio/%s", st.root, name);
}

// A chip of the chip-local interface (6.17 and later), by device number or
// by label: /sys/class/gpio/chipN.
bool find_chip_local(int device, chip_place &p) {
    char path[path_max], text[GPIO_MAX_NAME_SIZE + 1];
    if (device >= 0) {
        path_in(path, sizeof path, "chip%d", device);
        if (!is_there(path))
            return false;
        p.device = device;
    } else {
        dir_names d;
        put(path, sizeof path, "%s/sys/class/gpio", st.root);
        if (!open_names(d, path))
            return false;
        for (const char *name; p.device < 0 && (name = next_name(d)) != nullptr;) {
            int n = numbered(name, "chip");
            char label[path_max];
            put(label, sizeof label, "%s/%s/label", path, name);
            if (n >= 0 && read_text(label, text, sizeof text) && strcmp(text, st.lines.chip) == 0)
                p.device = n;
        }
        close_names(d);
        if (p.device < 0)
            return false;
    }
    char ngpio[path_max];
    path_in(path, sizeof path, "chip%d", p.device);
    put(ngpio, sizeof ngpio, "%s/ngpio", path);
    p.iface = chip_iface::chip_local;
    p.lines = read_number(ngpio);
    return true;
}

// The label the character device gives chip `device`, where it can be asked.
bool device_label(int device, char *out, size_t size) {
    char path[path_max];
    put(path, sizeof path, "%s/dev/gpiochip%d", st.root, device);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = chip_label(fd, out, size);
    close(fd);
    return ok;
}

// The base of chip `device` in the legacy interface, which names chips by
// base (/sys/class/gpio/gpiochipBASE) while the GPIO bus names them by device
// number (/sys/bus/gpio/devices/gpiochipN). A chip's sysfs entry sits under
// its parent device, or under the chip's own device when it has none; where
// several chips share a parent (a SoC's banks), the character device's label
// tells them apart, or else their order: a kernel gives bases in the order
// it numbers the chips.
bool find_base(int device, chip_place &p) {
    char bus[path_max], self[path_max], parent[path_max], class_dir[path_max];
    put(bus, sizeof bus, "%s/sys/bus/gpio/devices/gpiochip%d", st.root, device);
    if (!device_of(bus, 0, self, sizeof self) || !device_of(bus, 1, parent, sizeof parent))
        return false;
    put(class_dir, sizeof class_dir, "%s/sys/class/gpio", st.root);
    int bases[siblings_max], count = 0, exact = -1;
    dir_names d;
    if (!open_names(d, class_dir))
        return false;
    for (const char *name; exact < 0 && (name = next_name(d)) != nullptr;) {
        int base = numbered(name, "gpiochip");
        char link[path_max], owner[path_max];
        put(link, sizeof link, "%s/%s", class_dir, name);
        if (base < 0 || !device_of(link, 2, owner, sizeof owner))
            continue;
        if (strcmp(owner, self) == 0)
            exact = base;
        else if (strcmp(owner, parent) == 0 && count < siblings_max)
            bases[count++] = base;
    }
    close_names(d);
    if (exact < 0 && count > 1) {
        char label[GPIO_MAX_NAME_SIZE + 1], theirs[GPIO_MAX_NAME_SIZE + 1];
        int matched = 0;
        for (int k = 0; device_label(device, label, sizeof label) && k < count; k++) {
            char path[path_max];
            put(path, sizeof path, "%s/gpiochip%d/label", class_dir, bases[k]);
            if (read_text(path, theirs, sizeof theirs) && strcmp(theirs, label) == 0) {
                exact = bases[k];
                matched++;
            }
        }
        if (matched != 1)
            exact = -1;
    }
    if (exact < 0 && count > 1) {
        // The chips of the parent by device number, against their bases.
        int rank = 0, siblings = 0;
        char root_bus[path_max];
        put(root_bus, sizeof root_bus, "%s/sys/bus/gpio/devices", st.root);
        if (open_names(d, root_bus)) {
            for (const char *name; (name = next_name(d)) != nullptr;) {
                int n = numbered(name, "gpiochip");
                char link[path_max], owner[path_max];
                put(link, sizeof link, "%s/%s", root_bus, name);
                if (n >= 0 && device_of(link, 1, owner, sizeof owner) &&
                    strcmp(owner, parent) == 0) {
                    siblings++;
                    rank += n < device;
                }
            }
            close_names(d);
        }
        int below = 0;
        for (int k = 0; siblings == count && k < count; k++, below = 0) {
            for (int j = 0; j < count; j++)
                below += bases[j] < bases[k];
            if (below == rank)
                exact = bases[k];
        }
    }
    if (exact < 0 && count == 1)
        exact = bases[0];
    if (exact < 0)
        return false;
    char ngpio[path_max];
    put(ngpio, sizeof ngpio, "%s/gpiochip%d/ngpio", class_dir, exact);
    p.iface = chip_iface::legacy;
    p.device = device;
    p.base = exact;
    p.lines = read_number(ngpio);
    return true;
}

// A chip of the legacy interface by its label.
bool find_labelled_base(chip_place &p) {
    char class_dir[path_max], text[GPIO_MAX_NAME_SIZE + 1];
    put(class_dir, sizeof class_dir, "%s/sys/class/gpio", st.root);
    dir_names d;
    if (!open_names(d, class_dir))
        return false;
    int found = -1;
    for (const char *name; found < 0 && (name = next_name(d)) != nullptr;) {
        int base = numbered(name, "gpiochip");
        char path[path_max];
        put(path, sizeof path, "%s/%s/label", class_dir, name);
        if (base >= 0 && read_text(path, text, sizeof text) && strcmp(text, st.lines.chip) == 0)
            found = base;
    }
    close_names(d);
    if (found < 0)
        return false;
    char ngpio[path_max];
    put(ngpio, sizeof ngpio, "%s/gpiochip%d/ngpio", class_dir, found);
    p.iface = chip_iface::legacy;
    p.base = found;
    p.lines = read_number(ngpio);
    return true;
}

// Whether the kernel offers the chip-local interface at all.
bool any_chip_local() {
    char class_dir[path_max];
    put(class_dir, sizeof class_dir, "%s/sys/class/gpio", st.root);
    dir_names d;
    if (!open_names(d, class_dir))
        return false;
    bool found = false;
    for (const char *name; !found && (name = next_name(d)) != nullptr;)
        found = numbered(name, "chip") >= 0;
    close_names(d);
    return found;
}

// Where the chip of the setting is: the chip-local interface where the kernel
// has it, else the legacy one with the chip's base, else (a kernel that
// shows no chips: no GPIO bus, or no sysfs GPIO at all) the offsets taken as
// the numbers, base 0.
chip_place find_chip() {
    chip_place p;
    const char *chip = st.lines.chip;
    if (chip[0] == '\0')
        return p; // the offsets are the numbers, as the settings say
    bool by_label = chip_kind(chip) == chip_by::label;
    int device = by_label ? -1 : chip_number(chip);
    if (!by_label && device < 0) {
        p.iface = chip_iface::missing;
        put(p.missing, sizeof p.missing, "%s", chip);
        return p;
    }
    if (find_chip_local(device, p))
        return p;
    char path[path_max];
    put(path, sizeof path, "%s/sys/class/gpio/export", st.root);
    bool legacy = is_there(path);
    if (!legacy && !any_chip_local())
        return p; // no sysfs GPIO: the export file, as ever, tells
    p.iface = chip_iface::missing;
    if (by_label)
        put(p.missing, sizeof p.missing, "the GPIO chip labelled \"%s\"", chip);
    else if (!legacy)
        path_in(p.missing, sizeof p.missing, "chip%d/export", device);
    else
        put(p.missing, sizeof p.missing, "%s/sys/bus/gpio/devices/gpiochip%d", st.root, device);
    if (!legacy)
        return p;
    if (by_label) {
        find_labelled_base(p);
        return p;
    }
    put(path, sizeof path, "%s/sys/bus/gpio", st.root);
    if (!is_there(path))
        p.iface = chip_iface::global;
    else
        find_base(device, p);
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
    if (e.error == 0 || is_there(line.dir))
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
        path_in(st.export_file, sizeof st.export_file, "chip%d/export", p.device);
    else
        put(st.export_file, sizeof st.export_file, "%s/sys/class/gpio/export", st.root);
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
