#include "sandbox.h"

#include "record.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *gpio_dir = "/sys/devices/virtual/gpio/gpio";
constexpr const char *export_path = "/sys/class/gpio/export";

std::string failed(const std::string &what) {
    return what + ": " + std::strerror(errno);
}

bool write_whole(const std::string &path, const std::string &text) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
}

bool make_dirs(const std::string &path) {
    for (size_t at = 1; at != std::string::npos; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool write_map(const char *file, const std::string &text) {
    int fd = open(file, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok;
}

// Root may unshare directly; anyone else, or root where that is refused,
// becomes root of a user namespace first.
bool enter_namespaces(std::string &why) {
    if (geteuid() == 0 && unshare(CLONE_NEWNS | CLONE_NEWNET) == 0)
        return true;
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0) {
        why = failed("namespaces are not available here (unshare)");
        return false;
    }
    if (!write_map("/proc/self/setgroups", "deny") ||
        !write_map("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !write_map("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        why = failed("namespaces are not available here (user id map)");
        return false;
    }
    return true;
}

// A file that only the sandbox sees at `target`: written on the fresh /tmp,
// bound over the target, then unlinked so that /tmp is empty again.
bool overlay_file(const char *target, const std::string &text, std::string &why) {
    std::string staged = "/tmp/.station-sim-overlay";
    if (!write_whole(staged, text) ||
        mount(staged.c_str(), target, nullptr, MS_BIND, nullptr) != 0) {
        why = failed(std::string("covering ") + target);
        return false;
    }
    unlink(staged.c_str());
    return true;
}

bool mount_filesystems(std::string &why) {
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0 ||
        mount("tmpfs", "/sys", "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=755") != 0) {
        why = failed("mounts are not available here");
        return false;
    }
    return true;
}

bool name_server(const sandbox_config &cfg, std::string &why) {
    std::string hosts =
        "127.0.0.1\tlocalhost\n" + std::string(server_address) + "\t" + cfg.server_name + "\n";
    if (!overlay_file("/etc/hosts", hosts, why))
        return false;
    // The server's name must come from the hosts file, never from a name
    // server outside.
    if (access("/etc/nsswitch.conf", F_OK) == 0 &&
        !overlay_file("/etc/nsswitch.conf", "hosts: files\n", why))
        return false;
    return true;
}

std::string line_file(int line, const char *name) {
    return gpio_dir + std::to_string(line) + "/" + name;
}

bool held_fifo(const std::string &path, int &fd) {
    if (mkfifo(path.c_str(), 0666) != 0)
        return false;
    fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0;
}

// On a failure `why` is set only where errno would not tell enough.
bool make_gpio_files(const sandbox_config &cfg, sandbox &sb, std::string &why) {
    setup_file exp{export_path, -1, ""};
    if (cfg.export_file == export_mode::missing) {
        exp.presence = "missing";
    } else {
        if (!make_dirs("/sys/class/gpio"))
            return false;
        if (cfg.export_file == export_mode::present) {
            if (!held_fifo(exp.path, exp.fd))
                return false;
        } else {
            // A line that is already exported refuses the export write; a
            // device that fails every write stands in for it.
            exp.presence = "busy";
            if (!write_whole(exp.path, "") ||
                mount("/dev/full", exp.path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
                why = failed("binding /dev/full over the export file");
                return false;
            }
        }
    }
    sb.setup_files.push_back(exp);
    for (int line : {cfg.clock_line, cfg.data_line}) {
        setup_file dir{line_file(line, "direction"), -1, ""};
        if (!make_dirs(gpio_dir + std::to_string(line)) || !held_fifo(dir.path, dir.fd))
            return false;
        sb.setup_files.push_back(dir);
    }
    sb.clock_value = line_file(cfg.clock_line, "value");
    sb.data_value = line_file(cfg.data_line, "value");
    return held_fifo(sb.clock_value, sb.clock_fd) && fresh_data_fifo(sb);
}

} // namespace

sandbox_result enter_sandbox(const sandbox_config &cfg, sandbox &sb, std::string &why) {
    if (!enter_namespaces(why))
        return sandbox_result::unavailable;
    if (!mount_filesystems(why))
        return sandbox_result::unavailable;
    if (!name_server(cfg, why))
        return sandbox_result::failed;
    if (!make_gpio_files(cfg, sb, why)) {
        if (why.empty())
            why = failed("creating the GPIO files");
        return sandbox_result::failed;
    }
    if (!loopback_up(why))
        return sandbox_result::failed;
    net_result net = cfg.interface ? build_network(cfg.mac, sb.server, why) : net_result::ok;
    if (net == net_result::unsupported)
        return sandbox_result::unavailable;
    return net == net_result::ok ? sandbox_result::ready : sandbox_result::failed;
}

bool fresh_data_fifo(const sandbox &sb) {
    std::string next = sb.data_value + ".next";
    unlink(next.c_str());
    return mkfifo(next.c_str(), 0666) == 0 && rename(next.c_str(), sb.data_value.c_str()) == 0;
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
