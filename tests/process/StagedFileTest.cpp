#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <set>

#include "process/StagedFile.h"

namespace pelliqo {
namespace {

namespace fs = std::filesystem;

class Staging : public testing::Test {
  protected:
    fs::path path(const std::string& name) const {
        return dir.filePath(name.c_str()).toStdString();
    }
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path().toStdString()))
            found.insert(entry.path().filename().string());
        return found;
    }
    QTemporaryDir dir;
};

// A hidden file left by a run that was killed is removed by the next export to the same
// destination; one still being written (held by a live process) is not, and neither are
// files for other destinations.
TEST_F(Staging, WhatAKilledRunLeftGoesNextTimeWhatARunningOneWritesStays) {
    const fs::path talk = path("talk.mp4");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const auto stageIn = [&](const fs::path& destination, bool waitForRelease) {
        const pid_t child = fork();
        if (child == 0) {
            auto staged = StagedFile::create(destination);
            if (!staged) _exit(1);
            char c = 1;
            if (write(ready[1], &c, 1) != 1) _exit(1);
            if (waitForRelease && read(release[0], &c, 1) != 1) _exit(1);
            _exit(0);  // killed, as it were: no destructor removes the file
        }
        char c;
        EXPECT_EQ(read(ready[0], &c, 1), 1);
        return child;
    };
    const pid_t killed = stageIn(talk, false);
    waitpid(killed, nullptr, 0);
    const pid_t other = stageIn(path("other.mp4"), false);
    waitpid(other, nullptr, 0);
    const std::set<std::string> leftByKilled = names();
    EXPECT_EQ(leftByKilled.size(), 2u);
    // The running one already removed what the killed one left.
    const pid_t running = stageIn(talk, true);
    EXPECT_EQ(names().size(), 2u);
    for (const std::string& name : leftByKilled)
        EXPECT_EQ(names().count(name), StagedFile::isStagedFor(name, talk) ? 0u : 1u) << name;

    auto staged = StagedFile::create(talk);
    ASSERT_TRUE(staged);
    std::set<std::string> left = names();
    left.erase(staged.value().path().filename().string());
    int forTalk = 0, forOther = 0;
    for (const std::string& name : left) {
        forTalk += StagedFile::isStagedFor(name, talk);
        forOther += StagedFile::isStagedFor(name, path("other.mp4"));
    }
    EXPECT_EQ(forTalk, 1);  // the running one
    EXPECT_EQ(forOther, 1);
    char c = 1;
    EXPECT_EQ(write(release[1], &c, 1), 1);
    waitpid(running, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(Staging, FoldersAndUnwritablePlacesAreRefusedAndLongNamesFit) {
    fs::create_directory(path("folder.mp4"));
    const auto folder = StagedFile::create(path("folder.mp4"));
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.error().code, EISDIR);
    const auto missing = StagedFile::create(path("no such folder/talk.mp4"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, ENOENT);
    // A name as long as a file system allows, in letters of two bytes.
    std::string longest;
    for (int i = 0; i < 125; ++i) longest += "é";
    const fs::path talk = path(longest + ".mp4");
    auto staged = StagedFile::create(talk);
    ASSERT_TRUE(staged) << staged.error().description;
    EXPECT_TRUE(StagedFile::isStagedFor(staged.value().path(), talk));
    EXPECT_FALSE(staged.value().commit());
    EXPECT_TRUE(fs::exists(talk));
}

}  // namespace
}  // namespace pelliqo
