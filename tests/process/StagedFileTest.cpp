#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>

#include "Damage.h"
#include "process/StagedFile.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

// As on a file system without locks (some network and shared folders): every lock fails.
bool locksFail = false;

class Staging : public testing::Test {
  protected:
    fs::path path(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    int stagedFor(const fs::path& destination) const {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
            n += StagedFile::isStaged(entry.path()) && entry.path().filename().string().starts_with(
                                                           "." + destination.filename().string());
        return n;
    }
    QTemporaryDir dir;
};

TEST_F(Staging, WhatAKilledRunLeftGoesNextTimeWhatARunningOneWritesStays) {
    const fs::path talk = path("talk.mp4"), other = path("other.mp4");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    // A process that stages a file and ends without removing it, as if killed: at once, or
    // once released.
    const auto stageIn = [&](const fs::path& destination, bool held) {
        const pid_t child = fork();
        if (child == 0) {
            const auto staged = StagedFile::create(destination);  // _exit runs no destructor
            char c = 1;
            _exit(staged && write(ready[1], &c, 1) == 1 && (!held || read(release[0], &c, 1) == 1)
                      ? 0
                      : 1);
        }
        char c;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        if (!held) waitpid(child, nullptr, 0);
        return child;
    };
    stageIn(talk, false);
    stageIn(other, false);
    const pid_t running = stageIn(talk, true);  // removes what the killed one left
    auto staged = StagedFile::create(talk);
    ASSERT_TRUE(staged);
    EXPECT_EQ(stagedFor(talk), 2);  // the running one's and ours
    EXPECT_EQ(stagedFor(other), 0);
    char c = 1;
    EXPECT_EQ(write(release[1], &c, 1), 1);
    waitpid(running, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(Staging, EachKindOfDestinationIsTreatedAsItNeedsAndLongNamesFit) {
    fs::create_directory(path("folder.mp4"));
    const auto folder = StagedFile::create(path("folder.mp4"));
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().code, EISDIR);
    {  // A pipe, as a device such as /dev/null, is written in place and never replaced.
        ASSERT_EQ(mkfifo(path("pipe.mp4").c_str(), 0600), 0);
        auto pipe = StagedFile::create(path("pipe.mp4"));
        ASSERT_TRUE(pipe);
        EXPECT_EQ(pipe.value().path(), path("pipe.mp4"));
        EXPECT_FALSE(pipe.value().commit());
    }
    EXPECT_TRUE(fs::is_fifo(path("pipe.mp4")));
    // The file it replaces keeps who may read it, and may be written meanwhile.
    std::ofstream(path("private.mp4")) << "old";
    const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(path("private.mp4"), ownerOnly);
    // So do the tags a file manager keeps on it, where the file system keeps them.
    const bool tagged = setxattr(path("private.mp4").c_str(), "user.xdg.tags", "talk", 4, 0) == 0;
    auto replaced = StagedFile::create(path("private.mp4"));
    ASSERT_TRUE(replaced);
    EXPECT_TRUE(std::ofstream(replaced.value().path()) << "new");
    EXPECT_FALSE(replaced.value().commit());
    EXPECT_EQ(fs::status(path("private.mp4")).permissions(), ownerOnly);
    char tags[8] = {};
    EXPECT_TRUE(!tagged || getxattr(path("private.mp4").c_str(), "user.xdg.tags", tags, 8) == 4);
    // A link is written through, also to a file not there yet; the link stays.
    fs::create_directory(path("elsewhere"));
    fs::create_symlink("elsewhere/take.mp4", path("link.mp4"));
    auto linked = StagedFile::create(path("link.mp4"));
    ASSERT_TRUE(linked);
    std::ofstream(linked.value().path()) << "new";
    EXPECT_FALSE(linked.value().commit());
    EXPECT_TRUE(fs::is_symlink(path("link.mp4")));
    EXPECT_EQ(test::bytesOf(path("elsewhere/take.mp4")), "new");
    const auto missing = StagedFile::create(path("no such folder/talk.mp4"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    // A name as long as a file system allows, in letters of two bytes.
    std::string longest;
    for (int i = 0; i < 125; ++i) longest += "é";
    const fs::path talk = path(longest + ".mp4");
    auto staged = StagedFile::create(talk);
    ASSERT_TRUE(staged) << staged.error().description;
    const std::string name = staged.value().path().filename().string();
    EXPECT_TRUE(StagedFile::isStaged(name));
    EXPECT_EQ(QString::fromStdString(name).toStdString(), name);  // cut at a whole letter
    EXPECT_FALSE(staged.value().commit());
    EXPECT_TRUE(fs::exists(talk));
}

// A file its owner write-protected is not replaced, though its folder may be written. Tried as
// its owner: where the tests run as the super-user, who may write anything, as nobody.
TEST_F(Staging, AWriteProtectedFileIsKept) {
    constexpr uid_t nobody = 65534;
    const fs::path kept = path("kept.mp4"), open = path("open.mp4");
    std::ofstream(kept) << "old";
    std::ofstream(open) << "old";
    fs::permissions(kept, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const bool root = geteuid() == 0;
    if (root) {
        fs::permissions(dir.path().toStdString(), fs::perms::all);
        for (const fs::path& file : {kept, open}) ASSERT_EQ(chown(file.c_str(), nobody, nobody), 0);
    }
    const pid_t child = fork();
    if (child == 0) {
        if (root && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(2);
        const auto refused = StagedFile::create(kept);
        _exit(!refused && refused.error().code == EACCES && StagedFile::create(open) ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::bytesOf(kept), "old");
    EXPECT_EQ(stagedFor(kept), 0);
}

TEST_F(Staging, WithoutLocksAFileIsStagedUnlockedAndLeavesNothingBehind) {
    const fs::path talk = path("talk.mp4");
    locksFail = true;
    auto staged = StagedFile::create(talk);
    locksFail = false;
    ASSERT_TRUE(staged) << staged.error().description;
    EXPECT_EQ(stagedFor(talk), 1);
    EXPECT_FALSE(staged.value().commit());
    EXPECT_EQ(stagedFor(talk), 0);
    EXPECT_TRUE(fs::exists(talk));
}

}  // namespace
}  // namespace pelliqo

// Every lock in this program goes through here.
extern "C" int flock(int fd, int operation) {
    if (pelliqo::locksFail) {
        errno = ENOLCK;
        return -1;
    }
    return static_cast<int>(syscall(SYS_flock, fd, operation));
}
