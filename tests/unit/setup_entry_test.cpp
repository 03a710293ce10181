// The installer's entry steps on their own: trimming and checking path
// arguments, the command line, recognising one installation place under two
// spellings and the pooled free space.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "FreeSpace.h"
#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "utils.h"

namespace {

namespace fs = std::filesystem;
using testing::ExitedWithCode;

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
        std::string pattern = (fs::temp_directory_path() / "setup_entry.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        my_name = SaveStr_("setup");
        pTarvoInstallDir = SaveStr_("/tmp/TarvoInstall");
        pCmdLineInstallDir = nullptr;
        flCreatedTmpDir = false;
    }

    void TearDown() override { fs::remove_all(dir); }

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

    std::string dir;
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
    std::string pattern = (fs::temp_directory_path() / "setup_place.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::string dir = pattern;
    fs::create_directories(dir + "/apps/Tarvo");
    fs::create_directories(dir + "/other/Tarvo");
    fs::create_directories(dir + "/bare");
    fs::create_directory_symlink(dir + "/apps", dir + "/alias");

    EXPECT_TRUE(SameApplicationPlace((dir + "/apps").c_str(), (dir + "/apps").c_str()));
    EXPECT_TRUE(SameApplicationPlace((dir + "/alias").c_str(), (dir + "/apps").c_str()));
    EXPECT_FALSE(SameApplicationPlace((dir + "/other").c_str(), (dir + "/apps").c_str()));
    EXPECT_FALSE(SameApplicationPlace((dir + "/bare").c_str(), (dir + "/apps").c_str()));
    EXPECT_FALSE(SameApplicationPlace((dir + "/none").c_str(), (dir + "/apps").c_str()));
    fs::remove_all(dir);
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

}  // namespace
