// Reading command output and the queries on it: kept lines, the process
// table by whole command name, disk space from any layout of the report,
// disk usage, room for an installation and installed packages. Reports come
// from fake commands in a scratch directory; the process table is the
// machine's own.
#include <string>

#include "syscmd_fixture.h"

namespace {

using namespace syscmd_test;
using testing::ExitedWithCode;

testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new Environment("SysCmdQuery_test"));

std::vector<std::string> Lines(ResponseNode* response)
{
    std::vector<std::string> lines;
    for (ResponseNode* node = response; node; node = node->pNext) {
        // Each line lives in its node's own block, right behind it.
        EXPECT_EQ(node->pLine, reinterpret_cast<char*>(node + 1));
        lines.emplace_back(node->pLine);
    }
    FreeResponseList(response);
    return lines;
}

std::string Taken(char* saved)
{
    std::string text = saved ? saved : "(null)";
    PutMem(saved);
    return text;
}

using Lines_t = std::vector<std::string>;

class Output : public SysCmdTest {};
using OutputDeathTest = Output;

TEST_F(Output, LinesAreKeptWhenTheyHoldTheFilter)
{
    const char* text = "printf 'a\\nbb\\nabc'";
    EXPECT_EQ(Lines(GetCmdResponse(1, nullptr, "%s", text)), (Lines_t{"a\n", "bb\n", "abc"}));
    EXPECT_EQ(Lines(GetCmdResponse(1, "", "%s", text)), (Lines_t{"a\n", "bb\n", "abc"}));
    EXPECT_EQ(Lines(GetCmdResponse(1, "b", "%s", text)), (Lines_t{"bb\n", "abc"}));
    EXPECT_EQ(Lines(GetCmdResponse(1, "B", "%s", text)), Lines_t{});
    EXPECT_EQ(Lines(GetCmdResponse(1, nullptr, "true")), Lines_t{});
    // Every row below 2 runs the text alone, with no table command before it.
    EXPECT_EQ(Lines(GetCmdResponse(0, nullptr, "echo %s", "zero")), Lines_t{"zero\n"});
    EXPECT_EQ(Lines(GetCmdResponse(-CMD_DU, nullptr, "echo %s", "below")), Lines_t{"below\n"});
    // Joined, every line ends in a newline.
    EXPECT_EQ(Taken(GetCmdResponseStr(1, nullptr, "%s", text)), "a\nbb\nabc\n");
    EXPECT_EQ(Taken(GetCmdResponseStr(1, "b", "%s", text)), "bb\nabc\n");
    EXPECT_EQ(Taken(GetCmdResponseStr(1, "zz", "%s", text)), "(null)");
}

TEST_F(Output, TableRowsRunWithTheirFlagsAndTheCallersRedirection)
{
    Fake(CMD_DU, "echo \"[$*]\"; echo complaint >&2");
    EXPECT_EQ(Lines(GetCmdResponse(CMD_DU, nullptr, "%s 2>/dev/null", "/a b")), Lines_t{"[-s /a b]\n"});
    EXPECT_EQ(Lines(GetCmdResponse(CMD_DU, "compl", "x 2>&1")), Lines_t{"complaint\n"});
}

TEST_F(Output, LongLinesComeInPieces)
{
    std::string line(RESPONSE_LINE_SIZE + 10, '0');
    Lines_t lines = Lines(GetCmdResponse(1, nullptr, "printf '%%0%dd\\n' 0", RESPONSE_LINE_SIZE + 10));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), static_cast<size_t>(RESPONSE_LINE_SIZE - 1));
    EXPECT_EQ(lines[0] + lines[1], line + "\n");
    // A command line over the limit is not run cut short.
    testing::internal::CaptureStderr();
    std::string huge(SYSCMD_LINE_SIZE, 'x');
    EXPECT_EQ(GetCmdResponse(1, nullptr, "echo %s", huge.c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("WARNING: command line too long: echo xxx", 0), 0u);
}

TEST_F(OutputDeathTest, AnUnresolvedRowEndsTheProgram)
{
    ComList[CMD_PKGINFO].Path = nullptr;
    EXPECT_EXIT(GetCmdResponse(CMD_PKGINFO, nullptr, "%s", ""), ExitedWithCode(0),
                "^ERROR: unable to locate system command 'pkginfo'\n$");
}

class Processes : public SysCmdTest {};

TEST_F(Processes, AProgramIsFoundByItsWholeCommandName)
{
    pid_t first = StartNamed("zqwork");
    pid_t longer = StartNamed("zqworker");
    pid_t other = StartNamed("zqwork");
    std::string ids = Taken(GetSysPsIdList("zqwork"));
    std::string a = " " + std::to_string(first) + " ";
    std::string b = " " + std::to_string(other) + " ";
    EXPECT_TRUE(ids == a.substr(0, a.size() - 1) + b || ids == b.substr(0, b.size() - 1) + a) << ids;
    EXPECT_EQ(Taken(GetSysPsIdList("zqworker")), " " + std::to_string(longer) + " ");
    EXPECT_EQ(Taken(GetSysPsIdList("zqwor")), "(null)");
    EXPECT_EQ(Taken(GetSysPsIdList("")), "(null)");

    EXPECT_EQ(Taken(CheckProcTableForExecs(",,zqworker,,zqnothing,")),
              "zqworker ( " + std::to_string(longer) + " )\n");
    EXPECT_EQ(Taken(CheckProcTableForExecs("zqnothing")), "(null)");
    EXPECT_EQ(Taken(CheckProcTableForExecs(",,")), "(null)");

    EXPECT_EQ(KillProcessByName("zqworker"), 0);
    int status = 0;
    ASSERT_EQ(waitpid(longer, &status, WNOHANG), longer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(waitpid(first, &status, WNOHANG), 0);
}

TEST_F(Processes, TheListingsHeaderIsNoProcess)
{
    Fake(CMD_PS, "printf '  PID TTY          TIME CMD\\n  412 ?        00:00:01 CMD\\n"
                 "  977 pts/0    00:00:00 nvadmin\\n   x1 ?        00:00:00 nvadmin\\n'");
    EXPECT_EQ(Taken(GetSysPsIdList("CMD")), " 412 ");
    EXPECT_EQ(Taken(CheckProcTableForExecs("nvadmin")), "nvadmin ( 977 )\n");
}

class Disk : public SysCmdTest {
protected:
    // The fake disk-free report: a header, then a data line for every
    // existing directory asked about.
    void Report(const std::string& header, const std::string& data)
    {
        std::ofstream(dir + "/df.header") << header << "\n";
        std::ofstream(dir + "/df.data") << data << "\n";
        Fake(CMD_DF, "echo \"$*\" >> " + dir + "/df.args; cat " + dir + "/df.header; [ -d \"$2\" ] && cat " + dir + "/df.data");
    }

    std::string dataLine = "/dev/sda1 500";
};

TEST_F(Disk, TheAvailColumnIsFoundWhereverItIs)
{
    DiskSpaceRec rec;
    Report("Filesystem avail", "/dev/sda1 12345");
    EXPECT_EQ(GetDiskSpace(dir.c_str(), &rec), 1);
    EXPECT_EQ(rec.Avail, 12345);
    EXPECT_STREQ(rec.Text, "/dev/sda1 12345\n");

    Report("Filesystem 1K-blocks Used Available Use% Mounted on", "/dev/sda1\t100 40  60.5 40% /");
    EXPECT_EQ(GetDiskSpace(dir.c_str(), &rec), 1);
    EXPECT_EQ(rec.Avail, 60.5);

    Report("AVAIL Filesystem", "77 /dev/sda1");
    EXPECT_EQ(GetDiskSpace(dir.c_str(), &rec), 1);
    EXPECT_EQ(rec.Avail, 77);

    Report("Filesystem kbytes", "/dev/sda1 100");
    EXPECT_EQ(GetDiskSpace(dir.c_str(), &rec), 0);
    EXPECT_EQ(rec.Avail, 0);

    Report("Filesystem size avail", "/dev/sda1 100");
    EXPECT_EQ(GetDiskSpace(dir.c_str(), &rec), 0);
    EXPECT_EQ(rec.Avail, 0);

    // The directory is handed over as it is, '%' and all.
    std::string odd = dir + "/100%";
    fs::create_directory(odd);
    Report("Filesystem avail", "/dev/sda1 junk");
    EXPECT_EQ(GetDiskSpace(odd.c_str(), &rec), 1);
    EXPECT_EQ(rec.Avail, 0);
    EXPECT_EQ(GetDiskSpace((dir + "/missing").c_str(), &rec), 0);
    Lines_t args;
    std::ifstream in(dir + "/df.args");
    for (std::string line; std::getline(in, line);)
        args.push_back(line);
    ASSERT_FALSE(args.empty());
    EXPECT_EQ(args[args.size() - 2], "-b " + odd);
}

TEST_F(Disk, RoomCountsAFileThatWillBeReplaced)
{
    Report("Filesystem avail", dataLine);
    Fake(CMD_DU, "echo '200\t'\"$2\"");
    std::ofstream(dir + "/old.tar") << "x";
    EXPECT_EQ(DUPath((dir + "/old.tar").c_str()), 200);
    EXPECT_EQ(AvailSpace(dir.c_str(), nullptr, 500), 1);
    EXPECT_EQ(AvailSpace(dir.c_str(), nullptr, 501), 0);
    EXPECT_EQ(AvailSpace(dir.c_str(), "old.tar", 700), 1);
    EXPECT_EQ(AvailSpace(dir.c_str(), "old.tar", 701), 0);
    EXPECT_EQ(AvailSpace(dir.c_str(), "new.tar", 501), 0);
    // A directory yet to be made is judged by the nearest one that exists.
    EXPECT_EQ(AvailSpace((dir + "/opt/Tarvo/lumo").c_str(), nullptr, 500), 1);
    EXPECT_EQ(AvailSpace((dir + "/opt/Tarvo/lumo").c_str(), nullptr, 501), 0);
    Fake(CMD_DU, "true");
    EXPECT_EQ(DUPath(dir.c_str()), 0);
}

TEST_F(Disk, NoReportAnywhereMeansNoRoom)
{
    Fake(CMD_DF, "exit 1");
    EXPECT_EQ(AvailSpace("/opt/Tarvo/lumo", nullptr, 1), 0);
    EXPECT_EQ(AvailSpace("relative/dir", nullptr, 1), 0);
}

TEST_F(Disk, InstalledPackagesMatchingAName)
{
    Fake(CMD_PKGINFO, "printf 'system      SUNWcsr   Core Solaris\\n"
                      "application QMPTlumo  lumo printing\\napplication QMPTother lumo tools\\n'");
    EXPECT_EQ(Taken(GetSysPkgList("lumo")), " QMPTlumo QMPTother ");
    EXPECT_EQ(Taken(GetSysPkgList("none")), "(null)");
}

}  // namespace
