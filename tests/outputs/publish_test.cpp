#include "publish.h"

#include "scratch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// An output and its temporary prefix in a scratch directory, with a file
// outside both that a planted link could point at.
struct output_dir {
    scratch_dir dir;
    std::string tmp = dir.file("windgauge_.dat");
    std::string path = dir.file("windgauge.dat");
    std::string victim = dir.file("victim");
    int before = open_descriptors();

    int put(const std::string &text) {
        return publish(tmp.c_str(), path.c_str(), text.data(), text.size());
    }
    ~output_dir() { EXPECT_EQ(open_descriptors(), before); }
};

bool is_regular(const std::string &path) {
    struct stat st = {};
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Runs `body` in a child process and returns its pid; the child exits 0.
template <typename F> pid_t child(F body) {
    pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    return pid;
}

int exit_status(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
}

TEST(Publish, ReplacesTheFileWholeAndLeavesNothingElse) {
    output_dir o;
    write_text(o.victim, "keep me");
    write_text(o.path, "123 456 and a longer old content");
    mode_t mask = umask(022);
    EXPECT_EQ(o.put("7 45"), 0);
    umask(mask);
    EXPECT_EQ(read_text(o.path), "7 45");
    EXPECT_EQ(listing(o.dir.path), "victim windgauge.dat");
    struct stat st = {};
    ASSERT_EQ(stat(o.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    // An empty report is a file, empty.
    EXPECT_EQ(o.put(""), 0);
    EXPECT_TRUE(is_regular(o.path));
    EXPECT_EQ(read_text(o.path), "");
}

TEST(Publish, WhateverIsPlantedAtTheOutputIsReplacedNeverFollowed) {
    output_dir o;
    write_text(o.victim, "keep me");
    ASSERT_EQ(symlink(o.victim.c_str(), o.path.c_str()), 0);
    EXPECT_EQ(o.put("7 45"), 0);
    EXPECT_EQ(read_text(o.victim), "keep me");
    EXPECT_TRUE(is_regular(o.path));
    EXPECT_EQ(read_text(o.path), "7 45");

    // A dangling link creates nothing where it points.
    std::string nowhere = o.dir.path + "/created-by-root";
    ASSERT_EQ(unlink(o.path.c_str()), 0);
    ASSERT_EQ(symlink(nowhere.c_str(), o.path.c_str()), 0);
    EXPECT_EQ(o.put("8 90"), 0);
    EXPECT_FALSE(file_exists(nowhere));
    EXPECT_EQ(read_text(o.path), "8 90");

    // A FIFO nobody reads would hold an open for ever.
    ASSERT_EQ(unlink(o.path.c_str()), 0);
    ASSERT_EQ(mkfifo(o.path.c_str(), 0666), 0);
    alarm(10);
    EXPECT_EQ(o.put("9 135"), 0);
    alarm(0);
    EXPECT_EQ(read_text(o.path), "9 135");

    // An empty directory holds nothing of anyone's: it goes.
    ASSERT_EQ(unlink(o.path.c_str()), 0);
    ASSERT_EQ(mkdir(o.path.c_str(), 0755), 0);
    EXPECT_EQ(o.put("10 180"), 0);
    EXPECT_EQ(read_text(o.path), "10 180");
    EXPECT_EQ(listing(o.dir.path), "victim windgauge.dat");
}

TEST(Publish, ADirectoryWithContentAtTheOutputIsLeftAsItIs) {
    output_dir o;
    ASSERT_EQ(mkdir(o.path.c_str(), 0755), 0);
    write_text(o.path + "/theirs", "theirs");
    EXPECT_EQ(o.put("7 45"), EISDIR);
    EXPECT_EQ(read_text(o.path + "/theirs"), "theirs");
    EXPECT_EQ(listing(o.dir.path), "windgauge.dat");
}

TEST(Publish, MissingDirectoryFails) {
    scratch_dir dir;
    std::string tmp = dir.path + "/missing/sensors_.dat";
    std::string path = dir.path + "/missing/sensors.dat";
    EXPECT_EQ(publish(tmp.c_str(), path.c_str(), "x", 1), ENOENT);
}

TEST(Publish, FailedOrShortWriteKeepsThePreviousFile) {
    // A file size limit stands in for a full /tmp: the limit cuts the write
    // short, or refuses it outright.
    output_dir o;
    write_text(o.path, "12 90");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    sighandler_t handler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 3;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int short_write = o.put("100 180");
    int short_named = publish_named(o.tmp.c_str(), o.path.c_str(), "100 180", 7);
    small.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &small);
    int refused = o.put("100 180");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);

    EXPECT_EQ(short_write, ENOSPC);
    EXPECT_EQ(short_named, ENOSPC);
    EXPECT_EQ(refused, EFBIG);
    EXPECT_EQ(read_text(o.path), "12 90");
    EXPECT_EQ(listing(o.dir.path), "windgauge.dat");
}

TEST(Publish, WritersAtOnceNeverTearTheOutput) {
    // Three writers of the same output, a second hubpoll beside cron's, each
    // with contents of its own length; a reader that ever sees an empty or
    // partial file has caught a torn output.
    output_dir o;
    const std::string contents[] = {"1", std::string(700, 'b'), std::string(3000, 'c')};
    ASSERT_EQ(o.put(contents[0]), 0);
    pid_t writers[3];
    for (int k = 0; k < 3; k++)
        writers[k] = child([&o, &contents, k] {
            for (int n = 0; n < 2000; n++)
                if (o.put(contents[k]) != 0)
                    _exit(1);
        });
    int reads = 0;
    int ended = 0;
    while (ended < 3) {
        std::string got = read_text(o.path);
        bool whole = false;
        for (const std::string &c : contents)
            whole = whole || got == c;
        ASSERT_TRUE(whole) << "read " << reads << ": " << got.size() << " bytes";
        reads++;
        for (pid_t &w : writers) {
            int status = 0;
            if (w > 0 && waitpid(w, &status, WNOHANG) == w) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0); // every write went in
                w = 0;
                ended++;
            }
        }
    }
    EXPECT_GT(reads, 10);
    EXPECT_EQ(listing(o.dir.path), "windgauge.dat");
}

// Starts a writer that writes 100 bytes over and over, sends it `sig` after
// `after` microseconds, wherever it is then, and returns its wait status.
int stop_a_writer(output_dir &o, int sig, int after) {
    pid_t w = child([&o] {
        for (;;)
            o.put(std::string(100, 'x'));
    });
    usleep(static_cast<useconds_t>(after));
    kill(w, sig);
    return exit_status(w);
}

TEST(Publish, AWriterStoppedAtAnyPointLeavesNothingBehind) {
    // A writer stopped by a signal, at whatever point of a write, leaves the
    // output whole and no other file.
    output_dir o;
    ASSERT_EQ(o.put("first"), 0);
    for (int round = 0; round < 60; round++) {
        int status = stop_a_writer(o, SIGTERM, 200 + round * 37 % 900);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        EXPECT_EQ(listing(o.dir.path), "windgauge.dat") << "round " << round;
        std::string got = read_text(o.path);
        EXPECT_TRUE(got == "first" || got == std::string(100, 'x'));
    }
}

TEST(Publish, AWriterKilledOutrightLeavesAtMostANameTheNextOneRemoves) {
    // SIGKILL cannot be held off: killed between naming and renaming, a
    // writer leaves its name, and the next writer of that output removes it.
    output_dir o;
    for (int round = 0; round < 40; round++) {
        stop_a_writer(o, SIGKILL, 200 + round * 53 % 900);
        pid_t next = child([&o] { o.put("next"); });
        EXPECT_EQ(exit_status(next), 0);
        EXPECT_EQ(listing(o.dir.path), "windgauge.dat") << "round " << round;
        EXPECT_EQ(read_text(o.path), "next");
    }
}

TEST(Publish, OnlyNamesOfWritersThatAreGoneAreRemoved) {
    output_dir o;
    pid_t gone = child([] {});
    exit_status(gone);
    std::string prefix = o.tmp + ".";
    std::string stale = prefix + std::to_string(gone) + ".0123abcd";
    std::string live = prefix + "1.0123abcd"; // init is there for ever
    std::string link = prefix + std::to_string(gone) + ".4567cdef";
    std::string theirs = prefix + std::to_string(gone) + ".89abcdef";
    std::string other = prefix + std::to_string(gone) + ".0123abcd.x";
    for (const std::string &f : {stale, live, theirs, other})
        write_text(f, "old");
    ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    ASSERT_EQ(symlink(o.victim.c_str(), link.c_str()), 0);
    EXPECT_EQ(o.put("7 45"), 0);
    EXPECT_FALSE(file_exists(stale));
    for (const std::string &kept : {live, theirs, other})
        EXPECT_TRUE(is_regular(kept)) << kept;
    struct stat st;
    EXPECT_TRUE(lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
}

} // namespace
