#include "publish.h"

#include "scratch.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// An output and its temporary name in a scratch directory, with a file
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

TEST(Publish, ReplacesTheFileWhole) {
    output_dir o;
    write_text(o.path, "123 456 and a longer old content");
    mode_t mask = umask(022);
    EXPECT_EQ(o.put("7 45"), 0);
    umask(mask);
    EXPECT_EQ(read_text(o.path), "7 45");
    EXPECT_FALSE(file_exists(o.tmp));
    struct stat st = {};
    ASSERT_EQ(stat(o.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    // An empty report is a file, empty.
    EXPECT_EQ(o.put(""), 0);
    EXPECT_TRUE(is_regular(o.path));
    EXPECT_EQ(read_text(o.path), "");
}

TEST(Publish, StaleTemporaryFileIsRemovedNeverWrittenThrough) {
    // A temporary name left over, here a hard link to another file: writing
    // into it would change that file.
    output_dir o;
    write_text(o.victim, "keep me");
    ASSERT_EQ(link(o.victim.c_str(), o.tmp.c_str()), 0);
    EXPECT_EQ(o.put("7 45"), 0);
    EXPECT_EQ(read_text(o.victim), "keep me");
    EXPECT_EQ(read_text(o.path), "7 45");
    EXPECT_FALSE(file_exists(o.tmp));
}

TEST(Publish, LinksPlantedAtEitherNameAreNeverFollowed) {
    output_dir o;
    write_text(o.victim, "keep me");
    ASSERT_EQ(symlink(o.victim.c_str(), o.tmp.c_str()), 0);
    ASSERT_EQ(symlink(o.victim.c_str(), o.path.c_str()), 0);
    EXPECT_EQ(o.put("7 45"), 0);
    EXPECT_EQ(read_text(o.victim), "keep me");
    EXPECT_TRUE(is_regular(o.path));
    EXPECT_EQ(read_text(o.path), "7 45");

    // A dangling link creates nothing where it points.
    std::string nowhere = o.dir.path + "/created-by-root";
    ASSERT_EQ(unlink(o.path.c_str()), 0);
    ASSERT_EQ(symlink(nowhere.c_str(), o.path.c_str()), 0);
    ASSERT_EQ(symlink(nowhere.c_str(), o.tmp.c_str()), 0);
    EXPECT_EQ(o.put("8 90"), 0);
    EXPECT_FALSE(file_exists(nowhere));
    EXPECT_EQ(read_text(o.path), "8 90");
}

TEST(Publish, FifosPlantedAtEitherNameNeverBlock) {
    output_dir o;
    ASSERT_EQ(mkfifo(o.tmp.c_str(), 0666), 0);
    ASSERT_EQ(mkfifo(o.path.c_str(), 0666), 0);
    alarm(10); // an open of either FIFO would wait for ever for a reader
    EXPECT_EQ(o.put("7 45"), 0);
    alarm(0);
    EXPECT_TRUE(is_regular(o.path));
    EXPECT_EQ(read_text(o.path), "7 45");
}

TEST(Publish, DirectoryAtTheFinalNameFailsAndLeavesNoTemporaryFile) {
    output_dir o;
    ASSERT_EQ(mkdir(o.path.c_str(), 0755), 0);
    EXPECT_EQ(o.put("7 45"), EISDIR);
    EXPECT_FALSE(file_exists(o.tmp));
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
    small.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &small);
    int refused = o.put("100 180");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, handler);

    EXPECT_EQ(short_write, ENOSPC);
    EXPECT_EQ(refused, EFBIG);
    EXPECT_EQ(read_text(o.path), "12 90");
    EXPECT_FALSE(file_exists(o.tmp));
}

} // namespace
