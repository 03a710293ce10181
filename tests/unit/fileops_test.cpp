// Creating, removing and renaming files: text files written directly, the
// rest through the command table (with what reaches the log), in a scratch
// directory.
#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include <string>

#include "syscmd_fixture.h"

namespace {

using namespace syscmd_test;
using testing::ExitedWithCode;

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new Environment("fileops_test"));

class FileOps : public SysCmdTest {
protected:
    void LogOn()
    {
        flUseLog = true;
        flSysCmdLog = true;
    }

    fs::perms Mode(const std::string& path) const { return fs::status(path).permissions(); }
};

using FileOpsDeathTest = FileOps;

TEST_F(FileOps, TextFilesAreWrittenWithTheirPermissions)
{
    std::string nvcfg = dir + "/.nv_cfg";
    mode_t old = umask(077);
    EXPECT_EQ(CreateTextFile(nvcfg.c_str(), "wt", 0644, "%s", " V5 "), 1);
    EXPECT_EQ(ReadFile(nvcfg), " V5 ");
    EXPECT_EQ(Mode(nvcfg), fs::perms(0644));
    EXPECT_EQ(CreateTextFile(nvcfg.c_str(), "at", 0, "%d%%\n", 50), 1);
    EXPECT_EQ(ReadFile(nvcfg), " V5 50%\n");
    EXPECT_EQ(Mode(nvcfg), fs::perms(0644));
    umask(old);

    std::string missing = dir + "/no/such/file";
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTextFile(missing.c_str(), "wt", 0644, "x"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't open " + missing + "\n");

    // A text that does not reach the disk is not written.
    testing::internal::CaptureStderr();
    EXPECT_EQ(CreateTextFile("/dev/full", "wt", 0, "%s", "lost"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: couldn't write /dev/full\n");
}

// A fresh file takes the place of whatever was at its name, a link above
// all, without writing through it, and has exactly the mode asked for.
TEST_F(FileOps, AFreshFileReplacesWhatStoodThereAndKeepsItsMode)
{
    const std::string target = dir + "/target";
    std::ofstream(target) << "keep";
    const std::string path = dir + "/fresh";
    fs::create_symlink(target, path);
    mode_t old = umask(0777);
    int fd = CreateFreshFile(path.c_str(), 0640);
    umask(old);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(write(fd, "new", 3), 3);
    close(fd);
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ReadFile(target), "keep");
    EXPECT_EQ(Mode(path), fs::perms(0640));

    // A file of its own is made anew too, here as a stream.
    FILE* stream = CreateFreshStream(path.c_str(), 0600);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadFile(path), "");
    fputs("text", stream);
    fclose(stream);
    EXPECT_EQ(ReadFile(path), "text");
    EXPECT_EQ(Mode(path), fs::perms(0600));

    // A directory is never removed to make room.
    fs::create_directory(dir + "/sub");
    errno = 0;
    EXPECT_EQ(CreateFreshFile((dir + "/sub").c_str(), 0644), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_TRUE(fs::is_directory(dir + "/sub"));
    EXPECT_EQ(CreateFreshStream((dir + "/none/x").c_str(), 0644), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileOps, CreatingMakesMissingDirectoriesAndAppliesModeAndOwner)
{
    LogOn();
    testing::internal::CaptureStdout();
    std::string deep = dir + "/var/spool/Tarvo";
    CreateFile(deep.c_str(), "queue", "600", nullptr, nullptr);
    EXPECT_TRUE(fs::is_regular_file(deep + "/queue"));
    EXPECT_EQ(Mode(deep + "/queue"), fs::perms(0600));

    // Without a name only the directory is made, and it takes the mode,
    // owner and group (this user's own, which any user may give).
    const group* own = getgrgid(getgid());
    ASSERT_NE(own, nullptr);
    const std::string owner = std::to_string(getuid());
    std::string download = deep + "/lumo/__nva_download__";
    CreateFile(download.c_str(), nullptr, "777", owner.c_str(), own->gr_name);
    EXPECT_TRUE(fs::is_directory(download));
    EXPECT_EQ(Mode(download), fs::perms(0777));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".......");
    EXPECT_EQ(Log(), "/usr/bin/sh -c \"/usr/bin/mkdir -p " + deep + "\n"
                     "/usr/bin/sh -c \"/usr/bin/touch  " + deep + "/queue\n"
                     "/usr/bin/sh -c \"/usr/bin/chmod  600 " + deep + "/queue\n"
                     "/usr/bin/sh -c \"/usr/bin/mkdir -p " + download + "\n"
                     "/usr/bin/sh -c \"/usr/bin/chmod  777 " + download + "\n"
                     "/usr/bin/sh -c \"/usr/bin/chown  " + owner + " " + download + "\n"
                     "/usr/bin/sh -c \"/usr/bin/chgrp  " + own->gr_name + " " + download + "\n");
}

TEST_F(FileOpsDeathTest, AFailedCreationEndsTheProgram)
{
    std::string target = dir + "/x";
    EXPECT_EXIT(
        {
            dup2(2, 1);
            CreateFile(target.c_str(), nullptr, "not-a-mode", nullptr, nullptr);
        },
        ExitedWithCode(1), "ERROR: exit status 1\n$");
}

TEST_F(FileOps, RemovingTakesWholeTreesAndOnlyWhatExists)
{
    fs::create_directories(dir + "/work/TarvoInstall/sub");
    std::ofstream(dir + "/work/TarvoInstall/sub/f") << "x";
    std::ofstream(dir + "/work/keep") << "x";
    LogOn();
    testing::internal::CaptureStdout();
    DeleteFile((dir + "/work").c_str(), "TarvoInstall");
    EXPECT_FALSE(fs::exists(dir + "/work/TarvoInstall"));
    EXPECT_TRUE(fs::exists(dir + "/work/keep"));
    // Nothing there: no command runs.
    DeleteFile((dir + "/work").c_str(), "TarvoInstall");
    DeleteFile((dir + "/gone").c_str(), nullptr);
    DeleteFile_((dir + "/gone/").c_str(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    EXPECT_EQ(Log(), "/usr/bin/sh -c \"/usr/bin/rm -rf " + dir + "/work/TarvoInstall\n");

    // A null directory takes the name as the path; a trailing slash names
    // the directory itself.
    fs::create_directories(dir + "/a/b");
    fs::create_directories(dir + "/c/d");
    testing::internal::CaptureStdout();
    DeleteFile(nullptr, (dir + "/a").c_str());
    DeleteFile_((dir + "/c/").c_str(), nullptr);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(fs::exists(dir + "/a"));
    EXPECT_FALSE(fs::exists(dir + "/c"));
}

TEST_F(FileOps, RenamingMovesQuietlyWhenTheOldNameExists)
{
    std::ofstream(dir + "/db.qdb_new") << "new";
    LogOn();
    testing::internal::CaptureStdout();
    RenameFile(dir.c_str(), "db.qdb_new", "db.qdb");
    RenameFile(dir.c_str(), "db.qdb_new", "db.other");
    std::string whole = dir + "/db.qdb";
    RenameFile(nullptr, whole.c_str(), (dir + "/moved").c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReadFile(dir + "/moved"), "new");
    EXPECT_FALSE(fs::exists(dir + "/db.qdb_new"));
    EXPECT_FALSE(fs::exists(dir + "/db.other"));
    EXPECT_FALSE(fs::exists(Environment::LogPath()));
}

}  // namespace
