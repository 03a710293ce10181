// The process's environment: the program's own directory from its
// invocation name, environment variables, host and user names, which
// printing system runs, and the plain shell runner's results.
#include <pwd.h>
#include <sys/utsname.h>

#include <string>

#include "syscmd_fixture.h"

namespace {

using namespace syscmd_test;
using testing::ExitedWithCode;

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new Environment("environment_test"));

std::string Taken(char* saved)
{
    std::string text = saved ? saved : "(null)";
    PutMem(saved);
    return text;
}

class ToolPath : public SysCmdTest {
protected:
    void SetUp() override
    {
        SysCmdTest::SetUp();
        root = fs::canonical(dir).string();
        old = fs::current_path();
    }

    void TearDown() override
    {
        fs::current_path(old);
        SysCmdTest::TearDown();
    }

    // Runs from root/sub (made when missing) and gives GetToolPath's answer.
    std::string From(const std::string& sub, const char* argv0)
    {
        fs::create_directories(root + sub);
        fs::current_path(root + sub);
        return Taken(GetToolPath(argv0));
    }

    std::string root;
    fs::path old;
};

TEST_F(ToolPath, TheProgramsDirectoryFromItsInvocationName)
{
    EXPECT_EQ(From("/cdrom", "/opt/x/setup"), "/opt/x");
    EXPECT_EQ(From("/cdrom", "/setup"), "/");
    EXPECT_EQ(From("/cdrom", "setup"), root + "/cdrom");
    EXPECT_EQ(From("/cdrom", "./sub/setup"), root + "/cdrom/sub");
    EXPECT_EQ(From("/cdrom", "sub/setup"), root + "/cdrom/sub");
    EXPECT_EQ(From("/a/b/c", "../../bin/setup"), root + "/a/bin");
    // Forms taken literally rather than tidied.
    EXPECT_EQ(From("/a/b/c", "../../setup"), root + "/a/b/..");
    EXPECT_EQ(From("/cdrom", "./setup"), root + "/cdrom/.");
    EXPECT_EQ(From("/cdrom", "../setup"), root + "/cdrom/..");
    // A doubled slash after the last parent step still goes up.
    EXPECT_EQ(From("/a/b/c", "..//setup"), root + "/a/b");
    EXPECT_EQ(From("/a/b/c", "../..//setup"), root + "/a");
    EXPECT_EQ(From("/cdrom", ".//setup"), root + "/cdrom");
}

// Started from a directory that has since been removed, the program knows
// no working directory: a relative invocation name is all it has.
TEST_F(ToolPath, WithoutAWorkingDirectoryTheRelativeDirectoryStands)
{
    fs::create_directories(root + "/gone");
    fs::current_path(root + "/gone");
    fs::remove(root + "/gone");
    EXPECT_EQ(Taken(GetToolPath("sub/setup")), "sub");
    EXPECT_EQ(Taken(GetToolPath("/opt/x/setup")), "/opt/x");
}

// The host name is the system's node name; a variable's value is a copy
// that later changes to the environment leave alone.
TEST(HostAndVariables, TheirValuesAreSavedCopies)
{
    utsname host{};
    ASSERT_EQ(uname(&host), 0);
    EXPECT_EQ(Taken(GetHostname()), host.nodename);

    ASSERT_EQ(setenv("LUMO_ENVIRONMENT_TEST", "first value", 1), 0);
    char* value = GetEnv("LUMO_ENVIRONMENT_TEST");
    ASSERT_EQ(setenv("LUMO_ENVIRONMENT_TEST", "changed", 1), 0);
    EXPECT_EQ(Taken(value), "first value");
    unsetenv("LUMO_ENVIRONMENT_TEST");
    EXPECT_EQ(GetEnv("LUMO_ENVIRONMENT_TEST"), nullptr);
    EXPECT_EQ(GetEnv(nullptr), nullptr);
}

TEST_F(ToolPath, LongWorkingDirectoriesAreNotCut)
{
    std::string deep;
    for (int i = 0; i < 30; ++i)
        deep += "/directory_" + std::to_string(i);
    EXPECT_EQ(From(deep, "setup"), root + deep);
    EXPECT_EQ(From(deep, "../../x/setup"), root + deep.substr(0, deep.rfind("/directory_28")) + "/x");
}

class Sniff : public SysCmdTest {};
using SniffDeathTest = Sniff;

TEST_F(Sniff, UserNameFromTheCommandOrTheUserId)
{
    const passwd* user = getpwuid(getuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(Taken(GetUserName()), user->pw_name);
    Fake(CMD_WHOAMI, "printf 'alice\\r\\nbob\\n'");
    EXPECT_EQ(Taken(GetUserName()), "alice");
    Fake(CMD_WHOAMI, "true");
    EXPECT_EQ(Taken(GetUserName()), "");
    ComList[CMD_WHOAMI].Path = nullptr;
    if (getuid() == 0) {
        EXPECT_EQ(Taken(GetUserName()), "root");
    }
}

TEST_F(SniffDeathTest, WithoutTheCommandAnOrdinaryUserIsNamedByNumber)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs to become another user";
    ComList[CMD_WHOAMI].Path = nullptr;
    EXPECT_EXIT(
        {
            if (setuid(65534) != 0)
                exit(3);
            fputs(Taken(GetUserName()).c_str(), stderr);
            exit(0);
        },
        ExitedWithCode(0), "^User ID:  65534$");
}

TEST_F(Sniff, LprngIsToldByItsVersionText)
{
    ComList[CMD_LPD].Path = nullptr;
    EXPECT_EQ(SniffLprng(), 0);
    // The version goes to standard error, which the query takes in too.
    Fake(CMD_LPD, "[ \"$1\" = -V ] && echo 'lpd (LPRng-3.8.35) 2010' >&2");
    EXPECT_EQ(SniffLprng(), 1);
    Fake(CMD_LPD, "echo 'lpd 1.0, BSD line printer daemon'");
    EXPECT_EQ(SniffLprng(), 0);
}

TEST_F(Sniff, CupsIsToldByItsRunningScheduler)
{
    if (char* running = GetSysPsIdList("cupsd")) {
        PutMem(running);
        GTEST_SKIP() << "a scheduler runs on this machine";
    }
    EXPECT_EQ(SniffCUPS(), 0);
    StartNamed("cupsdx");
    EXPECT_EQ(SniffCUPS(), 0);
    StartNamed("cupsd");
    EXPECT_EQ(SniffCUPS(), 1);
}

class PlainShell : public SysCmdTest {};
using PlainShellDeathTest = PlainShell;

TEST_F(PlainShell, ResultsAreEchoedAndFailuresDescribed)
{
    flUseLog = true;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    SysCmdP(1, "echo %s", "run");
    SysCmdP(1, "exit 4");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING_MSG: exit status 4\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "echo run\nrun\nexit 4\n");
    EXPECT_EQ(Log(), "WARNING_MSG: exit status 4\n");
}

TEST_F(PlainShellDeathTest, AFatalFailureEndsWithStatusOne)
{
    EXPECT_EXIT(SysCmdP(2, "kill -KILL $$"), ExitedWithCode(1), "ERROR: killed by signal 9\n$");
    EXPECT_EXIT(SysCmdP(2, "%s", std::string(512, 'x').c_str()), ExitedWithCode(1),
                "^ERROR: Argument list too long\n$");
}

}  // namespace
