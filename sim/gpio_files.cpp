// The GPIO files in the sandbox's /sys.
#include "sandbox.h"

#include "record.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *class_dir = "/sys/class/gpio";
constexpr const char *export_path = "/sys/class/gpio/export";
// Where an exported line's directory lives: under its chip's device on every
// kernel since the 4.x series; in the virtual devices of old kernels for a
// chip without a parent device. /sys/class/gpio/gpioN links to it on both.
constexpr const char *chip_line_dir = "/sys/devices/platform/station-board/gpiochip0/gpio/gpio";
constexpr const char *virtual_line_dir = "/sys/devices/virtual/gpio/gpio";
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

// The line's directory where the layout puts it, and its link in the class
// directory, relative as sysfs makes them.
bool line_dir(const std::string &dir, const std::string &name) {
    std::string link = std::string(class_dir) + "/" + name;
    return make_dirs(dir) && symlink(("../../" + dir.substr(5)).c_str(), link.c_str()) == 0;
}

} // namespace

bool make_gpio_files(const sandbox_config &cfg, sandbox &sb, std::string &why) {
    setup_file exp{export_path, -1, ""};
    if (!make_dirs(class_dir))
        return false;
    if (cfg.export_file == export_mode::missing) {
        exp.presence = "missing";
    } else {
        if (cfg.export_file == export_mode::present && !held_fifo(exp.path, exp.fd))
            return false;
        if (cfg.export_file == export_mode::busy) {
            exp.presence = "busy";
            if (!busy_export(exp.path, why))
                return false;
        }
    }
    sb.setup_files.push_back(exp);
    const char *lines_at = cfg.layout == gpio_layout::chip ? chip_line_dir : virtual_line_dir;
    sb.clock_dir_path = lines_at + std::to_string(cfg.clock_line);
    sb.data_dir_path = lines_at + std::to_string(cfg.data_line);
    for (int line : {cfg.clock_line, cfg.data_line}) {
        std::string name = "gpio" + std::to_string(line);
        const std::string &dir = line == cfg.clock_line ? sb.clock_dir_path : sb.data_dir_path;
        // Recorded under the name the programs use.
        setup_file direction{std::string(class_dir) + "/" + name + "/direction", -1, ""};
        if (!line_dir(dir, name) || !held_fifo(dir + "/direction", direction.fd))
            return false;
        sb.setup_files.push_back(direction);
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
