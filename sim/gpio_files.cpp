// The GPIO files in the sandbox's /sys.
#include "sandbox.h"

#include "record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *class_dir = "/sys/class/gpio";
constexpr const char *export_path = "/sys/class/gpio/export";
// The parent device of the chips, as a SoC's GPIO controller: the GPIO bus's
// devices (gpiochipN, by device number) and the class's entries (gpiochipBASE
// and chipN, in its "gpio" folder) sit under it. An exported line's
// directory lives under its chip's device on every kernel since the 4.x
// series; in the virtual devices of old kernels, which have no GPIO bus
// either. /sys/class/gpio/gpioN links to it on both.
constexpr const char *parent_dir = "/sys/devices/platform/station-board";
constexpr const char *virtual_dir = "/sys/devices/virtual/gpio";
// Where a missing line's directory waits: in the same file system, so that it
// moves by rename, and outside every path the programs use.
constexpr const char *away_dir = "/sys/.station-sim";

bool make_dirs(const std::string &path) {
    for (size_t at = 1; at != std::string::npos; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool held_fifo(const std::string &path, int &fd) {
    if (mkfifo(path.c_str(), 0666) != 0)
        return false;
    fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0;
}

// A line that is already exported refuses the export write; a device that
// fails every write stands in for it.
bool busy_export(const std::string &path, std::string &why) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || close(fd) != 0 ||
        mount("/dev/full", path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        why = std::string("binding /dev/full over the export file: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string away_path(const std::string &dir) {
    return std::string(away_dir) + dir.substr(dir.rfind('/'));
}

// A link in the class or bus folder to a device, relative as sysfs makes it.
bool class_link(const std::string &at, const std::string &device) {
    int depth = static_cast<int>(std::count(at.begin(), at.end(), '/')) - 2;
    std::string up;
    for (int k = 0; k < depth; k++)
        up += "../";
    return symlink((up + device.substr(5)).c_str(), at.c_str()) == 0;
}

bool write_file(const std::string &path, const std::string &text) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}

// One chip: its device on the GPIO bus, and its entries in the interfaces the
// kernel offers, each with the chip's label and line count (and its base in
// the legacy one).
bool make_chip(const sandbox_config &cfg, int device, int base, int lines,
               const std::string &label) {
    std::string n = std::to_string(device);
    std::string info = label + "\n", count = std::to_string(lines) + "\n";
    bool bus = cfg.layout == gpio_layout::chip;
    if (bus && (!make_dirs(std::string(parent_dir) + "/gpiochip" + n) ||
                !class_link("/sys/bus/gpio/devices/gpiochip" + n,
                            std::string(parent_dir) + "/gpiochip" + n)))
        return false;
    if (cfg.sysfs != gpio_sysfs::chip_local) {
        std::string entry = (bus ? std::string(parent_dir) + "/gpio" : std::string(virtual_dir)) +
                            "/gpiochip" + std::to_string(base);
        if (!make_dirs(entry) || !write_file(entry + "/base", std::to_string(base) + "\n") ||
            !write_file(entry + "/label", info) || !write_file(entry + "/ngpio", count) ||
            !class_link(std::string(class_dir) + "/gpiochip" + std::to_string(base), entry))
            return false;
    }
    if (cfg.sysfs != gpio_sysfs::legacy) {
        std::string entry = std::string(parent_dir) + "/gpio/chip" + n;
        if (!make_dirs(entry) || !write_file(entry + "/label", info) ||
            !write_file(entry + "/ngpio", count) ||
            !class_link(std::string(class_dir) + "/chip" + n, entry))
            return false;
    }
    return true;
}

// An export file as the scenario has it: a FIFO that keeps what was written,
// one that refuses every write, or none.
bool make_export(const sandbox_config &cfg, const std::string &path, sandbox &sb,
                 std::string &why) {
    setup_file exp{path, -1, ""};
    if (cfg.export_file == export_mode::missing) {
        exp.presence = "missing";
    } else if (cfg.export_file == export_mode::busy) {
        exp.presence = "busy";
        if (!busy_export(exp.path, why))
            return false;
    } else if (!held_fifo(exp.path, exp.fd)) {
        return false;
    }
    sb.setup_files.push_back(exp);
    return true;
}

} // namespace

bool make_gpio_files(const sandbox_config &cfg, sandbox &sb, std::string &why) {
    if (!make_dirs(class_dir) ||
        (cfg.layout == gpio_layout::chip && !make_dirs("/sys/bus/gpio/devices")))
        return false;
    if (cfg.other.lines > 0 && !make_chip(cfg, 0, cfg.other.base, cfg.other.lines, cfg.other.label))
        return false;
    if (!make_chip(cfg, cfg.chip_device, cfg.chip_base, cfg.chip_lines, cfg.chip_label))
        return false;
    std::string chip_local = std::string(class_dir) + "/chip" + std::to_string(cfg.chip_device);
    if ((cfg.sysfs != gpio_sysfs::chip_local && !make_export(cfg, export_path, sb, why)) ||
        (cfg.sysfs != gpio_sysfs::legacy && !make_export(cfg, chip_local + "/export", sb, why)))
        return false;
    for (int offset : {cfg.clock_line, cfg.data_line}) {
        std::string number = std::to_string(cfg.chip_base + offset);
        std::string dir, name;
        if (cfg.sysfs == gpio_sysfs::legacy) {
            dir = cfg.layout == gpio_layout::chip
                      ? std::string(parent_dir) + "/gpiochip" + std::to_string(cfg.chip_device) +
                            "/gpio/gpio" + number
                      : std::string(virtual_dir) + "/gpio" + number;
            name = std::string(class_dir) + "/gpio" + number;
        } else {
            dir = std::string(parent_dir) + "/gpio/chip" + std::to_string(cfg.chip_device) +
                  "/gpio" + std::to_string(offset);
            name = chip_local + "/gpio" + std::to_string(offset);
        }
        // With both interfaces, one line as both name it.
        if (!make_dirs(dir) || (cfg.sysfs != gpio_sysfs::chip_local &&
                                !class_link(std::string(class_dir) + "/gpio" + number, dir)))
            return false;
        // Recorded under the name the programs use.
        setup_file direction{name + "/direction", -1, ""};
        if (!held_fifo(dir + "/direction", direction.fd))
            return false;
        sb.setup_files.push_back(direction);
        (offset == cfg.clock_line ? sb.clock_dir_path : sb.data_dir_path) = dir;
    }
    sb.clock_dir = open(sb.clock_dir_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    sb.data_dir = open(sb.data_dir_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (mkdir(away_dir, 0700) != 0 || sb.clock_dir < 0 || sb.data_dir < 0)
        return false;
    sb.clock_fd = held_value_fifo(sb.clock_dir);
    return sb.clock_fd >= 0 && fresh_fifo(sb.data_dir);
}

bool fresh_fifo(int dir) {
    unlinkat(dir, "value.next", 0); // left by nothing but an earlier failure
    return mkfifoat(dir, "value.next", 0666) == 0 && renameat(dir, "value.next", dir, "value") == 0;
}

int held_value_fifo(int dir) {
    unlinkat(dir, "value.next", 0);
    if (mkfifoat(dir, "value.next", 0666) != 0)
        return -1;
    int fd = openat(dir, "value.next", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && renameat(dir, "value.next", dir, "value") != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool set_line_present(const sandbox &sb, bool data_line, bool present) {
    const std::string &dir = data_line ? sb.data_dir_path : sb.clock_dir_path;
    std::string away = away_path(dir);
    return present ? rename(away.c_str(), dir.c_str()) == 0
                   : rename(dir.c_str(), away.c_str()) == 0;
}

bool set_clock_refusing(const sandbox &sb, bool refusing) {
    std::string value = sb.clock_dir_path + "/value";
    return refusing ? mount("/dev/full", value.c_str(), nullptr, MS_BIND, nullptr) == 0
                    : umount2(value.c_str(), MNT_DETACH) == 0;
}

std::string setup_record(const sandbox &sb) {
    std::string out;
    for (const setup_file &f : sb.setup_files) {
        if (f.fd < 0) {
            out += f.path + " " + f.presence + "\n";
            continue;
        }
        std::string text;
        char buf[4096];
        for (ssize_t got; (got = read(f.fd, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<size_t>(got));
        out += f.path + " " + quoted(text) + "\n";
    }
    return out;
}
