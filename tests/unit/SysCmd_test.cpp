// Running table commands: resolution along the search path, the exact
// command line handed to the shell, logging and redirection, the results
// and reports of failed commands in each mode, and the settle times.
#include <dlfcn.h>
#include <sys/prctl.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "syscmd_fixture.h"

namespace {

// The shell runner of this program: records every command line and, unless
// told to pretend, runs it with the system's own.
struct ShellHook {
    bool pretend = false;
    int status = 0;  // pretended result of system()
    int error = 0;   // errno that goes with a pretended -1
    std::vector<std::string> lines;
} hook;

}  // namespace

extern "C" int system(const char* command)
{
    if (command)
        hook.lines.emplace_back(command);
    if (hook.pretend) {
        errno = hook.error;
        return hook.status;
    }
    static auto real = reinterpret_cast<int (*)(const char*)>(dlsym(RTLD_NEXT, "system"));
    return real(command);
}

namespace {

using namespace syscmd_test;
using testing::ExitedWithCode;

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new Environment("SysCmd_test"));

class SysCmdRun : public SysCmdTest {
protected:
    void SetUp() override
    {
        SysCmdTest::SetUp();
        hook = ShellHook();
        ComList[CMD_SH].Path = usrBin;
        ComList[CMD_MV].Path = usrBin;
        log = Environment::LogPath();
    }

    void LogOn()
    {
        flUseLog = true;
        flSysCmdLog = true;
    }

    std::string LastLine() const { return hook.lines.empty() ? "" : hook.lines.back(); }

    char usrBin[9] = "/usr/bin";
    std::string log;
};

using SysCmdRunDeathTest = SysCmdRun;

TEST_F(SysCmdRun, MovingAnInstallationGivesTheShellExactlyThisLine)
{
    hook.pretend = true;
    LogOn();
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(CMD_MV, 2, "-f %s/%s/%s %s/%s", "/opt", "Tarvo", "lumo", "/export/apps", "Tarvo"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    EXPECT_EQ(LastLine(), "/usr/bin/sh -c \"/usr/bin/mv -f -f /opt/Tarvo/lumo /export/apps/Tarvo 1>>"
                              + log + " 2>>" + log + "\"");
    // The log shows the line as it was before the redirection: opening
    // quote, no closing one.
    EXPECT_EQ(Log(), "/usr/bin/sh -c \"/usr/bin/mv -f -f /opt/Tarvo/lumo /export/apps/Tarvo\n");
}

TEST_F(SysCmdRun, RedirectionFollowsModeQuietnessAndTheLogSwitch)
{
    hook.pretend = true;
    const std::string mv = "/usr/bin/sh -c \"/usr/bin/mv -f a b";
    const std::string toLog = " 1>>" + log + " 2>>" + log;
    struct Case {
        int row, mode;
        bool logOn;    // log on at start-up: dots and command lines
        bool logLate;  // switched on after start-up: command output only
        std::string line, dots, logged;
    } cases[] = {
        {-CMD_MV, 1, true, false, mv + "\"", "", "(none)"},
        {-CMD_MV, 2, true, false, mv + "\"", "", "(none)"},
        {0, 1, true, false, "a b", "", "(none)"},
        {0, 0, true, false, "a b 1>/dev/null 2>/dev/null", "", "(none)"},
        {CMD_MV, 0, true, false, mv + " 1>/dev/null 2>/dev/null\"", "", "(none)"},
        {-CMD_MV, 0, true, false, mv + " 1>/dev/null 2>/dev/null\"", "", "(none)"},
        {1, 1, true, false, "a b" + toLog, ".", "a b\n"},
        {CMD_MV, 1, false, false, mv + " 1>>/dev/null 2>>/dev/null\"", "", "(none)"},
        {CMD_MV, 2, false, true, mv + toLog + "\"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fs::remove(log);
        flUseLog = c.logOn || c.logLate;
        flSysCmdLog = c.logOn;
        testing::internal::CaptureStdout();
        EXPECT_EQ(SysCmd(c.row, c.mode, "%s", "a b"), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.dots);
        EXPECT_EQ(LastLine(), c.line);
        EXPECT_EQ(fs::exists(log) ? Log() : "(none)", c.logged);
    }
}

TEST_F(SysCmdRun, ALineThatDoesNotFitIsRefusedNotCut)
{
    hook.pretend = true;
    LogOn();
    // Row 0 in mode 1 adds nothing: the text is the whole line.
    const std::string fits(SYSCMD_LINE_SIZE - 1, 'x');
    EXPECT_EQ(SysCmd(0, 1, "%s", fits.c_str()), 0);
    EXPECT_EQ(LastLine(), fits);
    hook.lines.clear();
    EXPECT_EQ(SysCmd(0, 1, "%sy", fits.c_str()), E2BIG);
    // Room for the arguments, but not for the redirection behind them.
    EXPECT_EQ(SysCmd(1, 1, "%s", fits.substr(40).c_str()), E2BIG);
    EXPECT_TRUE(hook.lines.empty());
    EXPECT_EQ(Log(), "WARNING_MSG: Argument list too long\nWARNING_MSG: Argument list too long\n");
}

// The one builder of every command line: pieces are added while they fit
// the limit with their terminator; the first that does not marks the line
// overflowed for good, and the text kept is cut, never run.
TEST(CmdLineBuilder, PiecesFitTheLimitOrMarkTheLineOverflowed)
{
    CmdLine line(8);
    line.Add("%s", "abc");
    line.Add("%d", 1234);
    EXPECT_FALSE(line.overflow);
    EXPECT_STREQ(line.text, "abc1234");
    EXPECT_EQ(line.length, 7);
    line.Add("%s", "x");
    EXPECT_TRUE(line.overflow);
    EXPECT_STREQ(line.text, "abc1234");
    line.Add("%s", "");
    EXPECT_TRUE(line.overflow) << "an overflowed line stays overflowed";

    CmdLine cut(6);
    cut.Add("%s", "abcdefgh");
    EXPECT_TRUE(cut.overflow);
    EXPECT_STREQ(cut.text, "abcde");

    // The limit never exceeds the buffer.
    CmdLine wide(1 << 20);
    const std::string full(SYSCMD_LINE_SIZE - 1, 'x');
    wide.Add("%s", full.c_str());
    EXPECT_FALSE(wide.overflow);
    wide.Add("y");
    EXPECT_TRUE(wide.overflow);
    EXPECT_EQ(std::strlen(wide.text), full.size());
}

TEST_F(SysCmdRun, ATableCommandStartsWithItsPathNameAndFlags)
{
    CmdLine line;
    line.AddCmd(CMD_MV);
    line.Add("a b");
    EXPECT_EQ(std::string(line.text), std::string(usrBin) + "/mv -f a b");
    EXPECT_EQ(&RequireCmd(CMD_MV), &ComList[CMD_MV]);
    // Numbers that name no table command give row 0, which runs nothing.
    for (int row : {-3, 0, 1, COM_END_ROW, COM_ROWS + 7})
        EXPECT_EQ(&RequireCmd(row), &ComList[CMD_NONE_QUIET]) << row;
}

TEST_F(SysCmdRun, OutputOfLoggedCommandsLandsBetweenTheMessages)
{
    Fake(CMD_CHECKPC, "echo first; echo second >&2");
    LogOn();
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(CMD_CHECKPC, 1, "%s", ""), 0);
    PutLogMsg("done %d\n", 1);
    EXPECT_EQ(SysCmd(1, 2, "echo third"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "..");
    // Empty flags still leave their blank.
    EXPECT_EQ(Log(), "/usr/bin/sh -c \"" + dir + "/bin/checkpc  \nfirst\nsecond\ndone 1\necho third\nthird\n");
    EXPECT_EQ(fs::status(log).permissions(), fs::perms(0666));
}

TEST_F(SysCmdRun, CommandsNeverWriteThroughALinkAtTheLogPath)
{
    std::string victim = dir + "/victim";
    std::ofstream(victim) << "keep\n";
    fs::create_symlink(victim, log);
    LogOn();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SysCmd(1, 1, "echo hi"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: couldn't open " + log + "\nERROR: couldn't open " + log + "\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    EXPECT_EQ(LastLine(), "echo hi 1>>/dev/null 2>>/dev/null");
    EXPECT_EQ(ReadFile(victim), "keep\n");
}

TEST_F(SysCmdRun, FailuresAreNeverSuccessAndSayWhatHappened)
{
    LogOn();
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(1, 1, "exit 3"), 3);
    // Status 4 and statuses above 151 were once passed over in silence.
    EXPECT_EQ(SysCmd(1, 1, "exit 4"), 4);
    EXPECT_EQ(SysCmd(1, 1, "exit 200"), 200);
    EXPECT_EQ(SysCmd(1, 1, "kill -TERM $$"), 128 + SIGTERM);
    // A table command that is not where its row says.
    char nowhere[] = "/nonexistent";
    ComList[CMD_CAT].Path = nowhere;
    EXPECT_EQ(SysCmd(CMD_CAT, 1, "x"), 127);
    testing::internal::GetCapturedStdout();
    const std::string expected =
        "exit 3\nWARNING_MSG: exit status 3\n"
        "exit 4\nWARNING_MSG: exit status 4\n"
        "exit 200\nWARNING_MSG: exit status 200\n"
        "kill -TERM $$\nWARNING_MSG: killed by signal 15\n"
        "/usr/bin/sh -c \"/nonexistent/cat  x\n";
    const std::string text = Log();
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    // Between them, the shell's own complaint about the missing command.
    EXPECT_NE(text.find("/nonexistent/cat", expected.size()), std::string::npos);
    EXPECT_TRUE(text.ends_with("\nWARNING_MSG: exit status 127\n")) << text;
}

TEST_F(SysCmdRun, AShellThatCannotStartGivesTheSystemError)
{
    hook.pretend = true;
    hook.status = -1;
    hook.error = EAGAIN;
    LogOn();
    testing::internal::CaptureStdout();
    EXPECT_EQ(SysCmd(CMD_MV, 1, "a b"), EAGAIN);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Log(), "/usr/bin/sh -c \"/usr/bin/mv -f a b\nWARNING_MSG: Resource temporarily unavailable\n");
}

TEST_F(SysCmdRun, ModeZeroReportsNothingButStillGivesTheStatus)
{
    Fake(CMD_CHECKPC, "echo out; echo err >&2; exit 5");
    LogOn();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(SysCmd(CMD_CHECKPC, 0, "%s", ""), 5);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(fs::exists(log));
}

TEST_F(SysCmdRunDeathTest, ModeTwoFailureLogsPrintsAndEndsWithStatusOne)
{
    LogOn();
    EXPECT_EXIT(
        {
            dup2(2, 1);
            SysCmd(1, 2, "exit 3");
        },
        ExitedWithCode(1), "\\.ERROR: exit status 3\n$");
    EXPECT_EQ(Log(), "exit 3\nERROR: exit status 3\n");
    EXPECT_EXIT(
        {
            dup2(2, 1);
            SysCmd(-CMD_MV, 2, "%s", std::string(SYSCMD_LINE_SIZE, 'x').c_str());
        },
        ExitedWithCode(1), "ERROR: Argument list too long\n$");
    EXPECT_EXIT(
        {
            hook.pretend = true;
            hook.status = 9;  // killed by signal 9, as a wait status
            dup2(2, 1);
            SysCmd(-CMD_MV, 2, "a b");
        },
        ExitedWithCode(1), "ERROR: killed by signal 9\n$");
}

TEST_F(SysCmdRunDeathTest, AnUnresolvedCommandEndsTheProgram)
{
    ComList[CMD_CHECKPC].Path = nullptr;
    EXPECT_EXIT(SysCmd(CMD_CHECKPC, 1, "x"), ExitedWithCode(0),
                "^ERROR: unable to locate system command 'checkpc'\n$");
    ComList[CMD_SH].Path = nullptr;
    EXPECT_EXIT(SysCmd(CMD_MV, 1, "a b"), ExitedWithCode(0),
                "^ERROR: unable to locate system command 'sh'\n$");
    // Output is read through the same lookup, and so is every other user.
    EXPECT_EXIT(GetCmdResponse(CMD_CHECKPC, nullptr, "x"), ExitedWithCode(0),
                "^ERROR: unable to locate system command 'checkpc'\n$");
    EXPECT_EXIT(RequireCmd(CMD_CHECKPC), ExitedWithCode(0),
                "^ERROR: unable to locate system command 'checkpc'\n$");
}

TEST_F(SysCmdRun, BeforeTheTableIsResolvedARowIsFoundOnFirstUse)
{
    std::string fake = FakeCommand("checkpc", "echo \"$@\" > \"$(dirname \"$0\")/args\"");
    char* saved = FullSearchPath;
    FullSearchPath = SaveStr("/nonexistent::%s", fake.c_str());
    flInitSysCmd = true;
    ComList[CMD_CHECKPC].Path = nullptr;
    EXPECT_EQ(SysCmd(CMD_CHECKPC, 1, "-f"), 0);
    ASSERT_NE(ComList[CMD_CHECKPC].Path, nullptr);
    EXPECT_EQ(std::string(ComList[CMD_CHECKPC].Path), fake);
    EXPECT_EQ(ReadFile(fake + "/args"), "-f\n");
    PutMem(FullSearchPath);
    FullSearchPath = saved;
}

TEST_F(SysCmdRun, SettleTimesFollowTheRowEvenAfterAFailure)
{
    Fake(CMD_CANCEL, "exit 1");
    Fake(CMD_PKGADD, "exit 0");
    double cancel = SecondsOf([] { EXPECT_EQ(SysCmd(-CMD_CANCEL, 1, "lp-1"), 1); });
    EXPECT_GE(cancel, 2.0);
    EXPECT_LT(cancel, 3.5);
    double pkgadd = SecondsOf([] { EXPECT_EQ(SysCmd(-CMD_PKGADD, 0, "-d x y"), 0); });
    EXPECT_GE(pkgadd, 1.0);
    EXPECT_LT(pkgadd, 2.5);
    double cat = SecondsOf([] { EXPECT_EQ(SysCmd(CMD_CAT, 0, "/dev/null"), 0); });
    EXPECT_LT(cat, 1.0);
}

TEST_F(SysCmdRun, AWaitingRowReturnsOnceItsProcessRuns)
{
    // A name of this test's own, so that no other process ends the wait,
    // and the process it waits for is handed to this one to be reaped.
    const char* name = "zqsettle";
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    ComList[CMD_BAR].Name = name;
    ComList[CMD_BAR].Delay = -1;
    // The fake starts a process of the row's name a second later and
    // leaves; the helper shell is named otherwise.
    std::string named = dir + "/named";
    fs::create_directories(named);
    fs::create_symlink("/bin/sleep", named + "/" + name);
    Fake(CMD_BAR, "/bin/sh -c 'sleep 1; echo $$ > " + dir + "/pid; exec " + named + "/" + name
                      + " 30' >/dev/null 2>&1 &");
    LogOn();
    double seconds = SecondsOf([] { EXPECT_EQ(SysCmd(-CMD_BAR, 1, "%s", ""), 0); });
    ComList[CMD_BAR].Name = "bar";
    ComList[CMD_BAR].Delay = 0;
    pid_t waited = std::atoi(ReadFile(dir + "/pid").c_str());
    ASSERT_GT(waited, 0);
    kill(waited, SIGKILL);
    waitpid(waited, nullptr, 0);
    EXPECT_GE(seconds, 1.0);
    EXPECT_LT(seconds, 4.0);
    EXPECT_EQ(Log(), "");
}

class Resolution : public SysCmdTest {
protected:
    void SetUp() override
    {
        SysCmdTest::SetUp();
        savedSearch = FullSearchPath;
        FullSearchPath = nullptr;
        for (ComRow& row : ComList)
            row.Path = nullptr;
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
    }

    void TearDown() override
    {
        setenv("PATH", savedPath.c_str(), 1);
        FullSearchPath = savedSearch;
        SysCmdTest::TearDown();
    }

    std::string Row(int row) const { return ComList[row].Path ? ComList[row].Path : "(none)"; }

    char* savedSearch = nullptr;
    std::string savedPath;
};

TEST_F(Resolution, TheFirstDirectoryHoldingACommandWins)
{
    std::string a = FakeCommand("cancel", "", dir + "/a");
    FakeCommand("lpd", "", a);
    std::string b = FakeCommand("cancel", "", dir + "/b");
    FakeCommand("pkginfo", "", b);
    EXPECT_EQ(FillCmdPaths((dir + "/none").c_str()), 1);
    EXPECT_EQ(FillCmdPaths(a.c_str()), 1);
    EXPECT_EQ(FillCmdPaths(b.c_str()), 1);
    EXPECT_EQ(Row(CMD_CANCEL), a);
    EXPECT_EQ(Row(CMD_LPD), a);
    EXPECT_EQ(Row(CMD_PKGINFO), b);
    EXPECT_EQ(Row(CMD_CAT), "(none)");

    for (ComRow& row : ComList)
        row.Path = nullptr;
    FullSearchPath = SaveStr("%s:%s", b.c_str(), a.c_str());
    EXPECT_EQ(FillCmdPath(CMD_CANCEL), 1);
    EXPECT_EQ(FillCmdPath(CMD_LPD), 1);
    EXPECT_EQ(FillCmdPath(CMD_CAT), 0);
    EXPECT_EQ(Row(CMD_CANCEL), b);
    EXPECT_EQ(Row(CMD_LPD), a);
    EXPECT_EQ(Row(CMD_CAT), "(none)");
}

TEST_F(Resolution, BuiltInDirectoriesComeBeforePath)
{
    for (const char* name : {"cancel", "checkpc"}) {
        for (const char* builtIn : {"/usr/bin", "/usr/ucb", "/usr/sbin", "/bin", "/sbin", "/usr/lib", "/usr/lib/lp"}) {
            if (fs::exists(std::string(builtIn) + "/" + name))
                GTEST_SKIP() << name << " is installed in " << builtIn;
        }
    }
    std::string mine = FakeCommand("cancel", "");
    FakeCommand("cp", "", mine);
    setenv("PATH", (dir + "/none:" + mine).c_str(), 1);
    InitSysCmdList();
    EXPECT_FALSE(flInitSysCmd);
    EXPECT_EQ(std::string(FullSearchPath), std::string(SearchPaths) + ":" + dir + "/none:" + mine);
    EXPECT_EQ(Row(CMD_CANCEL), mine);
    EXPECT_EQ(Row(CMD_CP), "/usr/bin");
    EXPECT_EQ(Row(CMD_CHECKPC), "(none)");
    // Rows of the same command resolve alike.
    EXPECT_EQ(Row(CMD_CP_R), Row(CMD_CP));
    EXPECT_EQ(Row(CMD_RM), Row(CMD_RM_R));
    EXPECT_EQ(Row(CMD_TAR_C), Row(CMD_TAR_X));
    EXPECT_STREQ(getenv("SHELL"), "/usr/bin/sh ");
}

TEST_F(Resolution, WithoutPathOnlyTheBuiltInDirectoriesAreSearched)
{
    unsetenv("PATH");
    InitSysCmdList();
    EXPECT_EQ(std::string(FullSearchPath), std::string(SearchPaths) + ":");
    EXPECT_EQ(Row(CMD_SH), "/usr/bin");
    EXPECT_EQ(Row(CMD_LSSRC), "(none)");
}

TEST_F(Resolution, CommandTextsOfRows)
{
    char usrBin[] = "/usr/bin";
    ComList[CMD_SH].Path = usrBin;
    auto text = [](char* saved) {
        std::string s = saved ? saved : "(none)";
        PutMem(saved);
        return s;
    };
    // Empty flags leave their blank.
    EXPECT_EQ(text(GetCmd(CMD_SH)), "/usr/bin/sh ");
    EXPECT_EQ(text(GetCmdNoFlags(CMD_SH)), "/usr/bin/sh");
    EXPECT_EQ(text(GetCmd(CMD_CAT)), "(none)");
    EXPECT_EQ(TestCmd(1), 0);
    EXPECT_EQ(TestCmd(CMD_CAT), 0);
    // While the table is unresolved, asking resolves.
    FullSearchPath = SaveStr("/usr/bin");
    flInitSysCmd = true;
    EXPECT_EQ(TestCmd(CMD_CAT), 1);
    EXPECT_EQ(text(GetCmd(CMD_CAT)), "/usr/bin/cat ");
    EXPECT_EQ(TestCmd(CMD_LSSRC), 0);
}

}  // namespace

