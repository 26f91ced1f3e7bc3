// The fresh names with a foreseeable nonce, so that a test can plant at them
// before the writer comes: the writer must pass over whatever is there,
// never writing through it.
#include "publish.h"

#include "scratch.h"

#include <cerrno>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint32_t next_nonce = 1;

struct planted_dir {
    scratch_dir dir;
    std::string tmp = dir.file("sensors_.dat");
    std::string path = dir.file("sensors.dat");
    std::string victim = dir.file("victim");

    planted_dir() {
        next_nonce = 1;
        write_text(victim, "keep me");
    }
    // The name the writer tries `k`-th (from 1).
    std::string name(uint32_t k) const {
        char tail[32];
        snprintf(tail, sizeof tail, ".%ld.%08x", static_cast<long>(getpid()), k);
        return tmp + tail;
    }
};

TEST(FreshNames, TakenNamesArePassedOverByTheUnnamedFile) {
    planted_dir p;
    ASSERT_EQ(symlink(p.victim.c_str(), p.name(1).c_str()), 0);
    ASSERT_EQ(link(p.victim.c_str(), p.name(2).c_str()), 0);
    ASSERT_EQ(mkdir(p.name(3).c_str(), 0755), 0);
    EXPECT_EQ(publish(p.tmp.c_str(), p.path.c_str(), "&uv=0.123", 9), 0);
    EXPECT_EQ(read_text(p.path), "&uv=0.123");
    EXPECT_EQ(read_text(p.victim), "keep me");
    EXPECT_FALSE(file_exists(p.name(4))); // renamed away
    EXPECT_EQ(next_nonce, 5u);
}

TEST(FreshNames, TheNamedFileIsCreatedAfreshNeverOpenedThroughAPlant) {
    // A hard link to a victim: a writer without O_EXCL would open it and
    // write into the victim. A symbolic link: one without O_EXCL and
    // O_NOFOLLOW would follow it.
    planted_dir p;
    ASSERT_EQ(link(p.victim.c_str(), p.name(1).c_str()), 0);
    ASSERT_EQ(symlink(p.victim.c_str(), p.name(2).c_str()), 0);
    ASSERT_EQ(mkfifo(p.name(3).c_str(), 0666), 0);
    alarm(10);
    EXPECT_EQ(publish_named(p.tmp.c_str(), p.path.c_str(), "&uv=0.123", 9), 0);
    alarm(0);
    EXPECT_EQ(read_text(p.path), "&uv=0.123");
    EXPECT_EQ(read_text(p.victim), "keep me");
    struct stat st;
    ASSERT_EQ(lstat(p.name(2).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(next_nonce, 5u);
}

TEST(FreshNames, ANameTakenEveryTimeIsAFailureNotALoop) {
    planted_dir p;
    for (uint32_t k = 1; k <= 16; k++)
        ASSERT_EQ(mkdir(p.name(k).c_str(), 0755), 0);
    EXPECT_EQ(publish(p.tmp.c_str(), p.path.c_str(), "x", 1), EEXIST);
    next_nonce = 1;
    EXPECT_EQ(publish_named(p.tmp.c_str(), p.path.c_str(), "x", 1), EEXIST);
    EXPECT_FALSE(file_exists(p.path));
}

} // namespace

uint32_t publish_nonce() {
    return next_nonce++;
}
