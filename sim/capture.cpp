#include "capture.h"

#include "record.h"
#include "tmp.h"

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/inotify.h>
#include <unistd.h>

bool watch_tmp(capture &c, std::string &why) {
    c.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (c.inotify < 0 || inotify_add_watch(c.inotify, "/tmp", IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
        why = "watching /tmp";
        return false;
    }
    return true;
}

void read_output(capture &c, int &fd, bool is_err) {
    char buf[4096];
    for (;;) {
        ssize_t got = read(fd, buf, sizeof buf);
        if (got > 0) {
            std::string chunk(buf, static_cast<size_t>(got));
            append(*c.res, is_err ? result_stream::err : result_stream::out, chunk);
            (is_err ? c.step_err : c.step_out) += chunk;
            live_output(*c.live, is_err, chunk);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 0) {
            close(fd);
            fd = -1;
        }
        return;
    }
}

void drain_files(capture &c) {
    alignas(inotify_event) char buf[4096];
    std::set<std::string> names;
    for (ssize_t got; (got = read(c.inotify, buf, sizeof buf)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const inotify_event *ev = reinterpret_cast<const inotify_event *>(buf + at);
            if (ev->len > 0)
                names.insert(ev->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        }
    }
    for (const std::string &name : names) {
        std::string content;
        // Gone (a temporary file already renamed), or not a regular file.
        if (!read_regular(AT_FDCWD, "/tmp/" + name, content))
            continue;
        c.step_files[name] = content;
        live_line(*c.live, "/tmp/" + name + " = " + quoted(content));
    }
}

void flush_step(capture &c, uint64_t tag) {
    std::string at = "@"; // appended: GCC 12 at -O3 flags literal + string (-Wrestrict)
    at.append(std::to_string(tag)).append(" ");
    std::string lines;
    if (!c.step_out.empty())
        lines += at + "stdout " + quoted(c.step_out) + "\n";
    if (!c.step_err.empty())
        lines += at + "stderr " + quoted(c.step_err) + "\n";
    for (const auto &[name, content] : c.step_files)
        lines += at + "/tmp/" + name + " " + quoted(content) + "\n";
    append(*c.res, result_stream::timeline, lines);
    c.step_out.clear();
    c.step_err.clear();
    c.step_files.clear();
}
