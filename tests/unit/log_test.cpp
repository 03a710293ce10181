// The log in /tmp: nothing while logging is off, the first message of a run
// replaces an earlier log, messages in order, a new log open to everyone,
// and nothing but a plain file of its own is ever written or chmodded.
// Every case runs in a child process, which starts with the log's
// first-message state untouched (this process never logs).
#include <fcntl.h>

#include <string>

#include "syscmd_fixture.h"

namespace {

using namespace syscmd_test;
using testing::ExitedWithCode;

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new Environment("log_test"));

class Log : public SysCmdTest {
protected:
    void SetUp() override
    {
        SysCmdTest::SetUp();
        log = Environment::LogPath();
    }

    // Runs fn with logging on in a child; gives its exit code.
    int Logging(const std::function<void()>& fn)
    {
        int status = InChild([&fn] {
            flUseLog = true;
            fn();
        });
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Victim(const std::string& text, fs::perms mode)
    {
        std::string victim = dir + "/victim";
        std::ofstream(victim) << text;
        fs::permissions(victim, mode);
        return victim;
    }

    std::string log;
};

using LogDeathTest = Log;

TEST_F(Log, NothingIsWrittenWhileLoggingIsOff)
{
    int status = InChild([] { PutLogMsg("lost %d\n", 1); });
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(Log, TheFirstMessageOfARunReplacesTheOldLog)
{
    std::ofstream(log) << "an earlier run\n";
    EXPECT_EQ(Logging([] {
                  PutLogMsg("one %d\n", 1);
                  PutLogMsg("%s", "two, no line end");
                  PutLogMsg("\nthree\n");
              }),
              0);
    EXPECT_EQ(ReadFile(log), "one 1\ntwo, no line end\nthree\n");
    EXPECT_EQ(Logging([] { PutLogMsg("next run\n"); }), 0);
    EXPECT_EQ(ReadFile(log), "next run\n");
}

TEST_F(Log, ANewLogIsOpenToEveryoneWhateverTheCreationMask)
{
    EXPECT_EQ(Logging([] {
                  umask(077);
                  PutLogMsg("x\n");
              }),
              0);
    EXPECT_EQ(fs::status(log).permissions(), fs::perms(0666));
    // An existing log keeps the mode it has.
    fs::permissions(log, fs::perms(0640));
    EXPECT_EQ(Logging([] { PutLogMsg("y\n"); }), 0);
    EXPECT_EQ(fs::status(log).permissions(), fs::perms(0640));
    EXPECT_EQ(ReadFile(log), "y\n");
}

TEST_F(LogDeathTest, ALinkAtTheLogPathIsRefusedAndLeftAlone)
{
    std::string victim = Victim("keep\n", fs::perms(0600));
    fs::create_symlink(victim, log);
    EXPECT_EXIT(
        {
            flUseLog = true;
            PutLogMsg("overwrite\n");
            PutLogMsg("append\n");
            exit(PrepareLogFile() == nullptr ? 0 : 3);
        },
        ExitedWithCode(0), "^(ERROR: couldn't open " + log + "\n){3}$");
    EXPECT_EQ(ReadFile(victim), "keep\n");
    EXPECT_EQ(fs::status(victim).permissions(), fs::perms(0600));
    EXPECT_TRUE(fs::is_symlink(log));

    // A dangling link would create its target.
    fs::remove(log);
    fs::create_symlink(dir + "/made", log);
    EXPECT_EXIT(
        {
            flUseLog = true;
            PutLogMsg("x\n");
            exit(0);
        },
        ExitedWithCode(0), "^ERROR: couldn't open " + log + "\n$");
    EXPECT_FALSE(fs::exists(dir + "/made"));
}

TEST_F(Log, AFileOfAnotherOwnerOrWithASecondNameIsReplaced)
{
    // A second name of another file would let the log empty that file: the
    // name is taken for a new log of its own.
    std::string victim = Victim("keep\n", fs::perms(0644));
    fs::create_hard_link(victim, log);
    EXPECT_EQ(Logging([] { PutLogMsg("x\n"); }), 0);
    EXPECT_EQ(ReadFile(victim), "keep\n");
    EXPECT_EQ(ReadFile(log), "x\n");
    EXPECT_EQ(fs::hard_link_count(log), 1u);
    EXPECT_EQ(fs::status(log).permissions(), fs::perms(0666));

    // Its owner could swap a log of another user for a link between two
    // commands that append to it.
    if (geteuid() != 0)
        GTEST_SKIP() << "giving the log another owner needs root";
    ASSERT_EQ(chown(log.c_str(), 65534, 65534), 0);
    EXPECT_EQ(Logging([] {
                  exit(PrepareLogFile() == nullptr ? 3 : 0);
              }),
              0);
    struct stat st;
    ASSERT_EQ(lstat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(ReadFile(log), "");
}

TEST_F(LogDeathTest, OnlyAPlainFileIsWritten)
{

    // A pipe without a reader must not hold the program up.
    ASSERT_EQ(mkfifo(log.c_str(), 0666), 0);
    EXPECT_EXIT(
        {
            flUseLog = true;
            PutLogMsg("x\n");
            exit(0);
        },
        ExitedWithCode(0), "^ERROR: couldn't open " + log + "\n$");

    fs::remove(log);
    fs::create_directory(log);
    EXPECT_EXIT(
        {
            flUseLog = true;
            PutLogMsg("x\n");
            exit(0);
        },
        ExitedWithCode(0), "^ERROR: couldn't open " + log + "\n$");
    EXPECT_TRUE(fs::is_empty(log));
}

// A program name too long for a path names no log: the failure is told,
// nothing is written, and no log is prepared for commands.
TEST_F(LogDeathTest, ANameTooLongForAPathOpensNoLog)
{
    EXPECT_EXIT(
        {
            static std::string name(5000, 'n');
            my_name = name.data();
            flUseLog = true;
            PutLogMsg("lost\n");
            exit(PrepareLogFile() == nullptr ? 0 : 1);
        },
        ExitedWithCode(0), "^ERROR: couldn't open /tmp/nnnn[n]*\nERROR: couldn't open /tmp/nnnn[n]*\n$");
}

TEST_F(Log, CommandsMayAppendOnceTheLogIsPrepared)
{
    EXPECT_EQ(Logging([] {
                  const char* path = PrepareLogFile();
                  exit(path && std::string(path) == Environment::LogPath() ? 0 : 3);
              }),
              0);
    EXPECT_EQ(fs::status(log).permissions(), fs::perms(0666));
    EXPECT_EQ(ReadFile(log), "");
}

}  // namespace
