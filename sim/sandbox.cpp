#include "sandbox.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

bool write_map(const char *file, const std::string &text) {
    int fd = open(file, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && ok;
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

bool mount_tmp(bool small) {
    return mount("tmpfs", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV,
                 small ? "mode=1777,size=1m" : "mode=1777") == 0;
}

// A host without /etc/hosts (or resolv.conf, where the sandbox needs one) has
// nothing to bind over: the sandbox's /etc
// becomes an overlay of the host's, whose changes go to a tmpfs that /tmp's
// own tmpfs then covers, out of the program's sight.
bool writable_etc(std::string &why) {
    if (mkdir("/tmp/etc", 0755) != 0 || mkdir("/tmp/etc-work", 0755) != 0 ||
        mount("overlay", "/etc", "overlay", 0,
              "lowerdir=/etc,upperdir=/tmp/etc,workdir=/tmp/etc-work") != 0) {
        why = failed("an overlay over /etc, which lacks a file the sandbox covers");
        return false;
    }
    return true;
}

bool mount_filesystems(std::string &why) {
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !mount_tmp(false) ||
        mount("tmpfs", "/sys", "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=755") != 0) {
        why = failed("mounts are not available here");
        return false;
    }
    return true;
}

// The overlay over /etc where needed, and the /tmp the program gets.
bool prepare_etc_and_tmp(const sandbox_config &cfg, bool etc_overlay, std::string &why) {
    if (etc_overlay && !writable_etc(why))
        return false;
    if ((etc_overlay || cfg.small_tmp) && !mount_tmp(cfg.small_tmp)) {
        why = failed("a fresh /tmp");
        return false;
    }
    return true;
}

// A file that only the sandbox sees at `target`: written on the fresh /tmp,
// bound over the target, then unlinked so that /tmp is empty again.
bool overlay_file(const char *target, const std::string &text, std::string &why) {
    std::string staged = "/tmp/.station-sim-overlay";
    if (!write_whole(staged, text) ||
        mount(staged.c_str(), target, nullptr, MS_BIND, nullptr) != 0 ||
        unlink(staged.c_str()) != 0) {
        why = failed(std::string("covering ") + target);
        return false;
    }
    return true;
}

std::string hosts_text(const std::string &server_name, bool named) {
    std::string hosts = "127.0.0.1\tlocalhost\n";
    if (named)
        hosts.append(server_address).append("\t").append(server_name).append("\n");
    return hosts;
}

// With "dns silent", one name server, the station's own, and a short
// timeout: a look-up it leaves unanswered costs a second, not ten.
std::string resolver_text() {
    return std::string("nameserver ") + server_address + "\noptions timeout:1 attempts:1\n";
}

bool name_server(const sandbox_config &cfg, bool etc_overlay, std::string &why) {
    std::string hosts = hosts_text(cfg.server_name, cfg.server_named);
    // The server's name must come from the hosts file, or from the station's
    // name server, never from a name server outside.
    std::string nsswitch = cfg.dns ? "hosts: files dns\n" : "hosts: files\n";
    bool has_nsswitch = access("/etc/nsswitch.conf", F_OK) == 0;
    if (etc_overlay) {
        // A link at resolv.conf may point out of /etc: replaced, not followed.
        if (!write_whole("/etc/hosts", hosts) ||
            (has_nsswitch && !write_whole("/etc/nsswitch.conf", nsswitch)) ||
            (cfg.dns && ((unlink("/etc/resolv.conf") != 0 && errno != ENOENT) ||
                         !write_whole("/etc/resolv.conf", resolver_text())))) {
            why = failed("writing the sandbox's /etc");
            return false;
        }
        return true;
    }
    return overlay_file("/etc/hosts", hosts, why) &&
           (!has_nsswitch || overlay_file("/etc/nsswitch.conf", nsswitch, why)) &&
           (!cfg.dns || overlay_file("/etc/resolv.conf", resolver_text(), why));
}

} // namespace

bool name_server_late(const std::string &server_name, std::string &why) {
    // Rewritten in place: the file the sandbox sees is bound over the host's.
    int fd = open("/etc/hosts", O_WRONLY | O_TRUNC | O_CLOEXEC);
    std::string hosts = hosts_text(server_name, true);
    bool ok =
        fd >= 0 && write(fd, hosts.data(), hosts.size()) == static_cast<ssize_t>(hosts.size());
    if ((fd >= 0 && close(fd) != 0) || !ok) {
        why = failed("naming the server in /etc/hosts");
        return false;
    }
    return true;
}

sandbox_result enter_sandbox(const sandbox_config &cfg, sandbox &sb, std::string &why) {
    sb.server_name = cfg.server_name;
    if (!enter_namespaces(why) || !mount_filesystems(why))
        return sandbox_result::unavailable;
    // Nothing to bind over (resolv.conf may be a dangling link): an overlay.
    bool etc_overlay = (access("/etc/hosts", F_OK) != 0 && errno == ENOENT) ||
                       (cfg.dns && access("/etc/resolv.conf", F_OK) != 0 && errno == ENOENT);
    if (!prepare_etc_and_tmp(cfg, etc_overlay, why) || !name_server(cfg, etc_overlay, why))
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
