#include "child.h"

#include "proc.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In the forked child, before exec: only async-signal-safe calls, and a
// failure ends the child with 127 and a line on its standard error.
[[noreturn]] void fail(const char *what) {
    dprintf(2, "station-sim: %s: %s\n", what, std::strerror(errno));
    _exit(127);
}

void become_program(char **argv, int null, int out, int err, pid_t parent,
                    const std::vector<int> &inherit) {
    if (setpgid(0, 0) != 0) // a Ctrl-C at the terminal is the station's to handle
        fail("process group");
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        fail("parent death signal");
    if (getppid() != parent)
        _exit(127);
    if (dup2(null, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
        fail("standard descriptors");
    // Nothing of the station's leaks into the program: whatever was opened
    // without O_CLOEXEC (by a library, say) closes at exec too.
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0)
        fail("closing descriptors");
    for (int fd : inherit)
        if (fcntl(fd, F_SETFD, 0) != 0)
            fail("inherited descriptor");
    // Ignored signals survive exec: a station started with SIGTERM ignored
    // (nohup, some CI) must not hand that on.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; sig++)
        if (sig != SIGKILL && sig != SIGSTOP)
            sigaction(sig, &dfl, nullptr); // EINVAL for the numbers libc reserves
    sigset_t none;
    sigemptyset(&none);
    if (sigprocmask(SIG_SETMASK, &none, nullptr) != 0)
        fail("signal mask");
    execvp(argv[0], argv);
    dprintf(2, "station-sim: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
}

void signal_group(const child_process &c, int sig) {
    if (kill(-c.pid, sig) != 0 && errno != ESRCH)
        std::perror("station-sim: stopping the program");
}

// Any process may end between the listing of /proc and these reads, and
// its files then read as nothing.
std::string proc_file(const std::string &path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "";
    std::string text = proc_text(fd);
    close(fd);
    return text;
}

} // namespace

bool spawn(child_process &c, const std::vector<std::string> &command,
           const std::vector<int> &inherit, std::string &why) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        why = std::string("pipes: ") + std::strerror(errno);
        return false;
    }
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::vector<char *> argv;
    for (const std::string &a : command)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t parent = getpid();
    c.pid = null < 0 ? -1 : fork();
    if (c.pid < 0) {
        why = std::string("starting the program: ") + std::strerror(errno);
        return false;
    }
    if (c.pid == 0)
        become_program(argv.data(), null, out[1], err[1], parent, inherit);
    // The parent's ends: its copies of the child's ends must go, or the
    // pipes never report the program's end.
    bool ok = close(null) == 0 && close(out[1]) == 0 && close(err[1]) == 0 &&
              fcntl(out[0], F_SETFL, O_NONBLOCK) == 0 && fcntl(err[0], F_SETFL, O_NONBLOCK) == 0;
    c.out = out[0];
    c.err = err[0];
    if (!ok) {
        why = std::string("the program's output: ") + std::strerror(errno);
        return false;
    }
    c.ended = static_cast<int>(syscall(SYS_pidfd_open, c.pid, 0));
    if (c.ended < 0 || fcntl(c.ended, F_SETFD, FD_CLOEXEC) != 0) {
        why = std::string("watching the program: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void stop(child_process &c, int64_t now) {
    if (c.stop_sent) {
        kill_group(c);
        return;
    }
    c.stop_sent = true;
    c.kill_at_us = now + stop_grace_us;
    signal_group(c, SIGTERM);
}

void kill_group(child_process &c) {
    c.stop_sent = true;
    c.kill_at_us = 0;
    signal_group(c, SIGKILL);
}

void kill_rest(const child_process &c) {
    signal_group(c, SIGKILL);
}

void enforce_grace(child_process &c, int64_t now) {
    if (c.kill_at_us != 0 && now >= c.kill_at_us)
        kill_group(c);
}

bool reap(child_process &c, int &status) {
    for (;;) {
        if (waitpid(c.pid, &status, 0) == c.pid)
            return true;
        if (errno != EINTR)
            return false;
    }
}

cpu_seconds group_cpu_seconds(pid_t group) {
    cpu_seconds sum{0, 0};
    DIR *proc = opendir("/proc");
    if (proc == nullptr)
        return sum;
    for (dirent *e; (e = readdir(proc)) != nullptr;) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        std::string dir = std::string("/proc/") + e->d_name;
        std::string stat = proc_file(dir + "/stat");
        size_t paren = stat.rfind(')'); // the name may hold spaces and parentheses
        std::istringstream fields(paren == std::string::npos ? "" : stat.substr(paren + 2));
        std::string state, ppid, pgrp;
        fields >> state >> ppid >> pgrp;
        if (!fields || std::atol(pgrp.c_str()) != group)
            continue;
        // Nanoseconds on a processor, then waiting on a run queue.
        std::istringstream sched(proc_file(dir + "/schedstat"));
        double run = 0, wait = 0;
        if (sched >> run >> wait) {
            sum.run += run / 1e9;
            sum.waited += wait / 1e9;
        }
    }
    closedir(proc);
    return sum;
}

double run_queue_seconds(pid_t pid) {
    std::istringstream sched(proc_file("/proc/" + std::to_string(pid) + "/schedstat"));
    double run = 0, wait = 0;
    return sched >> run >> wait ? wait / 1e9 : 0;
}
