// The installer's entry steps on their own: trimming and checking path
// arguments, the command line, recognising one installation place under two
// spellings, the free-space check against stand-in disk reports, and the
// clean-up.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "FreeSpace.h"
#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

namespace fs = std::filesystem;
using testing::ExitedWithCode;
using testing::HasSubstr;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

// How a step that may end the process ended: its exit status (Passed when
// it returned) and what it wrote to standard output.
struct Ending {
    int status = -1;
    std::string shown;
};
constexpr int Passed = 100;

Ending RunInChild(const std::string& outPath, const std::function<void()>& step)
{
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || dup2(out, 1) < 0)
            _exit(2);
        unsetenv("LANG");
        step();
        std::fflush(nullptr);
        _exit(Passed);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Ending ending;
    ending.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ending.shown = ReadFile(outPath);
    return ending;
}

std::string Stripped(const char* path)
{
    std::string text(path);
    StripToBaseName(text.data());
    return text.c_str();
}

std::string Cleaned(const char* path)
{
    char* cleaned = CleanPathArgument(path);
    std::string text(cleaned);
    PutMem(cleaned);
    return text;
}

TEST(StripToBaseName, CutsTheProductPathAndOneTrailingSlash)
{
    EXPECT_EQ(Stripped("/export/apps/Tarvo/lumo"), "/export/apps");
    EXPECT_EQ(Stripped("/export/apps/"), "/export/apps");
    EXPECT_EQ(Stripped("/export/apps"), "/export/apps");
    EXPECT_EQ(Stripped("/"), "/");
    EXPECT_EQ(Stripped("/a//"), "/a/");
    // "lumo" is cut first, then "Tarvo", wherever they stand.
    EXPECT_EQ(Stripped("/data/lumo-old/apps"), "/data");
    EXPECT_EQ(Stripped("/x/Tarvo/other/lumo"), "/x");
    EXPECT_EQ(Stripped("Tarvo"), "");
    EXPECT_EQ(StripToBaseName(nullptr), nullptr);
}

TEST(PathArguments, OnlyCharactersTheShellTakesLiterally)
{
    EXPECT_TRUE(IsSafePathText("/var/a_b-c.d+e,f:g=h@i%j/0Z"));
    for (const char* bad : {"", "/a b", "/a;b", "/$HOME", "/a`b`", "/a'b", "/a\"b", "/a\\b",
                            "/a*", "/a?", "/a|b", "/a&b", "/a>b", "/a(b)", "/~x", "/a\nb",
                            "/a\tb", "/caf\xc3\xa9"})
        EXPECT_FALSE(IsSafePathText(bad)) << bad;
    EXPECT_FALSE(IsSafePathText(nullptr));
    // Pieces of a longer text are judged by their own characters only.
    const std::string_view line = "/opt/a b";
    EXPECT_TRUE(IsSafePathText(line.substr(0, 6)));
    EXPECT_FALSE(IsSafePathText(line));
    EXPECT_FALSE(IsSafePathText(std::string_view("/a\0b", 4)));
    EXPECT_FALSE(IsSafePathText(std::string_view()));
}

TEST(PathArguments, CleanedToOneSpelling)
{
    EXPECT_EQ(Cleaned("/var//./work/"), "/var/work");
    EXPECT_EQ(Cleaned("/"), "/");
    EXPECT_EQ(Cleaned("//./"), "/");
    // ".." may pass through a link: it stays.
    EXPECT_EQ(Cleaned("/a/../b/."), "/a/../b");

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(Cleaned("rel/./x/"), std::string(cwd) + "/rel/x");
    EXPECT_EQ(Cleaned("."), cwd);
}

TEST(PathArgumentsDeathTest, RefusedWithStatusTwo)
{
    EXPECT_EXIT(RefuseUnsafePath("the work area", "/var/w;rk"), ExitedWithCode(2),
                "ERROR: the work area \"/var/w;rk\" is refused: a path here may hold only "
                "letters, digits");
    EXPECT_EXIT(RefuseUnsafePath("the installation base", ""), ExitedWithCode(2),
                "ERROR: the installation base is empty");
    RefuseUnsafePath("the work area", "/var/work");
}

// The command line with a fresh installation state and a scratch directory.
class CommandLine : public testing::Test {
protected:
    void SetUp() override
    {
        my_name = SaveStr_("setup");
        pTarvoInstallDir = SaveStr_("/tmp/TarvoInstall");
        pCmdLineInstallDir = nullptr;
        flCreatedTmpDir = false;
    }

    void Parse(std::vector<std::string> args)
    {
        args.insert(args.begin(), "setup");
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        parseCommandLineOptions(static_cast<int>(args.size()), argv.data());
    }

    std::string Base() const { return pCmdLineInstallDir ? pCmdLineInstallDir : "(none)"; }

    ScratchDir scratch{"setup_entry"};
    std::string dir = scratch.Path();
};

TEST_F(CommandLine, ArgumentForms)
{
    Parse({"install", "/export/apps/Tarvo/lumo"});
    EXPECT_EQ(Base(), "/export/apps");
    EXPECT_STREQ(pTarvoInstallDir, "/tmp/TarvoInstall");

    // A second-position argument is a base, others are work areas; the
    // last of each kind counts.
    Parse({dir + "/", "/export/apps/", "install", "/other", dir});
    EXPECT_EQ(Base(), "/other");
    EXPECT_EQ(std::string(pTarvoInstallDir), dir + "/TarvoInstall");
    EXPECT_FALSE(flCreatedTmpDir);

    pCmdLineInstallDir = nullptr;
    Parse({dir, "install"});
    EXPECT_EQ(Base(), "(none)");
}

TEST_F(CommandLine, MissingWorkAreaIsMade)
{
    const std::string area = dir + "/made/area";
    Parse({area + "/"});
    EXPECT_EQ(std::string(pTarvoInstallDir), area + "/TarvoInstall");
    EXPECT_TRUE(flCreatedTmpDir);
    EXPECT_TRUE(fs::is_directory(area));
}

TEST_F(CommandLine, EndsTheProcess)
{
    EXPECT_EXIT(Parse({"-v", "/bad;path"}), ExitedWithCode(0), "setup 4\\.30\\.26");

    // A file where the work area should be: no directory after the attempt.
    std::ofstream(dir + "/plain") << "x";
    EXPECT_EXIT(Parse({dir + "/plain"}), ExitedWithCode(2), "");

    // A refused base leaves the work area named before it unmade.
    EXPECT_EXIT(Parse({dir + "/early", "/a b"}), ExitedWithCode(2),
                "the installation base \"/a b\" is refused");
    EXPECT_EXIT(Parse({"install", "lumo"}), ExitedWithCode(2), "the installation base is empty");
    EXPECT_FALSE(fs::exists(dir + "/early"));
}

TEST(SameApplicationPlace, OneDirectoryUnderTwoSpellings)
{
    ScratchDir scratch("setup_place");
    const std::string& dir = scratch.Path();
    fs::create_directories(dir + "/apps/Tarvo");
    fs::create_directories(dir + "/other/Tarvo");
    fs::create_directories(dir + "/bare");
    fs::create_directory_symlink(dir + "/apps", dir + "/alias");

    EXPECT_TRUE(SameApplicationPlace((dir + "/apps").c_str(), (dir + "/apps").c_str()));
    EXPECT_TRUE(SameApplicationPlace((dir + "/alias").c_str(), (dir + "/apps").c_str()));
    EXPECT_FALSE(SameApplicationPlace((dir + "/other").c_str(), (dir + "/apps").c_str()));
    EXPECT_FALSE(SameApplicationPlace((dir + "/bare").c_str(), (dir + "/apps").c_str()));
    EXPECT_FALSE(SameApplicationPlace((dir + "/none").c_str(), (dir + "/apps").c_str()));
}

// The free-space check with the disk-free and disk-usage rows pointed at
// stand-ins that answer from tables: a path missing from the disk-free
// table gives no report for it. The sizes of the distribution are 1000
// each, so each side needs 1040.
class FreeSpace : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir + "/bin");
        fs::create_directories(dir + "/dist");
        fs::create_directories(Work());
        fs::create_directories(Base());
        Script("df", "print \"Filesystem avail\"; print $2 \" \" $3", "/df.table");
        Script("du", "print $2 \"\\t\" p", "/du.table");
        std::ofstream(dir + "/df.table");
        std::ofstream(dir + "/du.table");
        savedDf = ComList[CMD_DF].Path;
        savedDu = ComList[CMD_DU].Path;
        ComList[CMD_DF].Path = SaveStr_((dir + "/bin").c_str());
        ComList[CMD_DU].Path = ComList[CMD_DF].Path;
        std::ofstream(dir + "/dist/isize") << "1000\n";
        std::ofstream(dir + "/dist/tsize") << "1000\n";
        pPathToSetup = SaveStr_((dir + "/dist").c_str());
    }

    void TearDown() override
    {
        PutMem(ComList[CMD_DF].Path);
        ComList[CMD_DF].Path = savedDf;
        ComList[CMD_DU].Path = savedDu;
        PutMem(pPathToSetup);
        pPathToSetup = nullptr;
    }

    // A command that looks its last argument up in a table.
    void Script(const std::string& name, const std::string& action, const std::string& table)
    {
        const std::string path = dir + "/bin/" + name;
        std::ofstream(path) << "#!/bin/sh\nfor p; do :; done\n"
                            << "awk -v p=\"$p\" '$1 == p { " << action << "; exit }' " << dir
                            << table << "\n";
        fs::permissions(path, fs::perms::owner_all);
    }

    void Df(const std::string& path, const std::string& fileSystem, int avail)
    {
        std::ofstream(dir + "/df.table", std::ios::app) << path << ' ' << fileSystem << ' '
                                                        << avail << '\n';
    }
    void Du(const std::string& path, int used)
    {
        std::ofstream(dir + "/du.table", std::ios::app) << path << ' ' << used << '\n';
    }
    void ForgetReports()
    {
        std::ofstream(dir + "/df.table", std::ios::trunc);
        std::ofstream(dir + "/du.table", std::ios::trunc);
    }

    std::string Work() const { return dir + "/work"; }
    std::string WorkDir() const { return Work() + "/TarvoInstall"; }
    std::string Base() const { return dir + "/base"; }

    Ending Check(const std::string& base)
    {
        const std::string work = WorkDir();
        return RunInChild(dir + "/out",
                          [&] { FreeSpaceForInstall(work.c_str(), base.c_str(), "Tarvo"); });
    }
    Ending Check() { return Check(Base()); }

    ScratchDir scratch{"setup_space"};
    std::string dir = scratch.Path();
    char* savedDf = nullptr;
    char* savedDu = nullptr;
};

TEST_F(FreeSpace, DifferentFileSystemsEachSideAgainstItsOwnNeedWorkFirst)
{
    Df(Work(), "/dev/w", 1040);
    Df(Base(), "/dev/b", 1040);
    EXPECT_EQ(Check().status, Passed);

    ForgetReports();
    Df(Work(), "/dev/w", 1039);
    Df(Base(), "/dev/b", 18);
    Ending ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.shown.rfind("There isn't enough space in " + WorkDir() +
                                     " to perform the installation activities. The temporary "
                                     "work area should be at least 1.040000e+03 bytes.",
                                 0),
              0u)
        << ending.shown;
    EXPECT_THAT(ending.shown, testing::Not(HasSubstr("install area")));

    ForgetReports();
    Df(Work(), "/dev/w", 1040);
    Df(Base(), "/dev/b", 1039);
    ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_THAT(ending.shown, HasSubstr("There isn't enough space in " + Base() +
                                        " to perform the installation activities. The install "
                                        "area should be at least 1.040000e+03 bytes."));
}

TEST_F(FreeSpace, SameFileSystemPoolsBothNeeds)
{
    Df(Work(), "/dev/s", 2079);
    Df(Base(), "/dev/s", 2079);
    const Ending ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.shown,
              "There isn't enough space to perform the installation activities. As you are "
              "using a working directory, " + WorkDir() + " on the same partition as the "
              "install directory you have selected, " + Base() + " this install requires "
              "2.080000e+03 bytes free. Please re-run the install specifing a different "
              "location for a working directory or install directory. Please see the readme "
              "if you need help with the syntax.");

    ForgetReports();
    Df(Work(), "/dev/s", 2080);
    Df(Base(), "/dev/s", 2080);
    EXPECT_EQ(Check().status, Passed);
}

TEST_F(FreeSpace, WhereTheApplicationDirectoryIsMadeMoreThan17MustBeFree)
{
    Df(Work(), "/dev/w", 5000);
    Df(Base(), "/dev/b", 17);
    Ending ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_THAT(ending.shown, HasSubstr("There isn't enough space in " + Base() +
                                        " to create the application directory. The free space "
                                        "there should be more than 1.700000e+01 bytes."));

    // A base still to be made is measured at the root.
    ForgetReports();
    Df(Work(), "/dev/w", 5000);
    Df("/", "/dev/r", 10);
    ending = Check(dir + "/new/base");
    EXPECT_EQ(ending.status, 0);
    EXPECT_THAT(ending.shown, HasSubstr("There isn't enough space in / to create"));

    // An existing application directory is not made: its usage counts as
    // free instead.
    fs::create_directories(Base() + "/Tarvo/lumo");
    ForgetReports();
    Df(Work(), "/dev/w", 5000);
    Df(Base() + "/Tarvo/lumo", "/dev/b", 10);
    Du(Base() + "/Tarvo/lumo", 1030);
    EXPECT_EQ(Check().status, Passed);
}

TEST_F(FreeSpace, UnreadableReports)
{
    // No report for the work area: nothing is checked.
    Df(Base(), "/dev/b", 0);
    EXPECT_EQ(Check().status, Passed);

    // No report for the installation side: no room there.
    ForgetReports();
    Df(Work(), "/dev/w", 5000);
    Ending ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_THAT(ending.shown, HasSubstr("to create the application directory"));

    fs::create_directories(Base() + "/Tarvo/lumo");
    ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_THAT(ending.shown, HasSubstr("The install area should be at least 1.040000e+03"));

    // A missing size file ends the check before any report is read.
    fs::remove(dir + "/dist/tsize");
    ending = Check();
    EXPECT_EQ(ending.status, 0);
    EXPECT_EQ(ending.shown, "Could not determine how much space needed for install, missing "
                            "isize.\n");
}

TEST(PooledFreeSpace, EachEarlierCopyCountsOnce)
{
    // Nothing to reclaim: the file system's free space once.
    EXPECT_EQ(PooledFreeSpace(1000, 1000, 1000), 1000);
    // An application directory using 300 on a file system with 1000 free.
    EXPECT_EQ(PooledFreeSpace(1000, 1300, 1000), 1300);
    // And a work directory using 200 beside it.
    EXPECT_EQ(PooledFreeSpace(1200, 1300, 1000), 1500);
}

// The clean-up in a child process (it changes the working directory), with
// a stand-in queue administration that notes its options.
class Clean : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir + "/app");
        const std::string admin = dir + "/app/nvqadmin";
        std::ofstream(admin) << "#!/bin/sh\necho \"$1\" >>" << dir << "/admin.log\n";
        fs::permissions(admin, fs::perms::owner_all);
    }

    // A work directory with a piece in it, in the work area area.
    void MakeWorkDir(const std::string& area)
    {
        fs::create_directories(area + "/TarvoInstall");
        std::ofstream(area + "/TarvoInstall/pkg_tar.1") << "piece";
    }

    // The clean-up of a run whose work directory is in area; made holds
    // the work areas the run made, one a line.
    Ending Run(const std::string& area, const std::string& made = "")
    {
        const std::string work = area + "/TarvoInstall";
        const std::string app = dir + "/app";
        return RunInChild(dir + "/out", [&] {
            pTarvoInstallDir = SaveStr_(work.c_str());
            pAppDir = SaveStr_(app.c_str());
            flCreatedTmpDir = !made.empty();
            pCreatedWorkAreas = made.empty() ? nullptr : SaveStr_(made.c_str());
            TarvoClean(pTarvoInstallDir);
        });
    }

    ScratchDir scratch{"setup_clean"};
    std::string dir = scratch.Path();
};

TEST_F(Clean, RemovesTheWorkDirectoryAndRunsTheQueueAdministrationTwice)
{
    MakeWorkDir(dir + "/given");
    const Ending ending = Run(dir + "/given");
    EXPECT_EQ(ending.status, Passed);
    EXPECT_EQ(ending.shown, "..\n");
    EXPECT_FALSE(fs::exists(dir + "/given/TarvoInstall"));
    // A work area the user named stays, even when empty.
    EXPECT_TRUE(fs::is_directory(dir + "/given"));
    EXPECT_EQ(ReadFile(dir + "/admin.log"), "-upgrade\n-clean\n");
}

TEST_F(Clean, AWorkAreaItMadeGoesOnlyWhenEmpty)
{
    MakeWorkDir(dir + "/made");
    EXPECT_EQ(Run(dir + "/made", dir + "/made").status, Passed);
    EXPECT_FALSE(fs::exists(dir + "/made"));

    MakeWorkDir(dir + "/shared");
    std::ofstream(dir + "/shared/other") << "someone else's";
    EXPECT_EQ(Run(dir + "/shared", dir + "/shared").status, Passed);
    EXPECT_FALSE(fs::exists(dir + "/shared/TarvoInstall"));
    EXPECT_EQ(ReadFile(dir + "/shared/other"), "someone else's");

    // Areas named earlier on the command line and replaced go too; one made
    // inside another goes first.
    fs::create_directories(dir + "/outer/inner");
    MakeWorkDir(dir + "/last");
    const std::string made = dir + "/outer\n" + dir + "/outer/inner\n" + dir + "/last";
    EXPECT_EQ(Run(dir + "/last", made).status, Passed);
    EXPECT_FALSE(fs::exists(dir + "/outer"));
    EXPECT_FALSE(fs::exists(dir + "/last"));

    // The last area named was there before: it stays, though empty.
    fs::create_directories(dir + "/early");
    MakeWorkDir(dir + "/named");
    EXPECT_EQ(Run(dir + "/named", dir + "/early").status, Passed);
    EXPECT_FALSE(fs::exists(dir + "/early"));
    EXPECT_TRUE(fs::is_directory(dir + "/named"));
    EXPECT_FALSE(fs::exists(dir + "/named/TarvoInstall"));
}

}  // namespace
