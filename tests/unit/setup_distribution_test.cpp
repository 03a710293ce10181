// The distribution's piece list: its names, its end, capitals for media
// that show them, the names refused before anything is copied, and how the
// list is found in a directory.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const char* list)
{
    std::vector<std::string> names;
    const char* pos = list;
    std::string_view name;
    while (NextPieceName(&pos, &name))
        names.emplace_back(name);
    return names;
}

using Strings = std::vector<std::string>;

TEST(PieceList, NamesUpToTheEndOfTheList)
{
    EXPECT_EQ(Names("disks\npkg_tar.1 pkg_tar.2\r\n\tpkg_tar.3\rsetup\nend_of_list\nlate\n"),
              (Strings{"disks", "pkg_tar.1", "pkg_tar.2", "pkg_tar.3", "setup"}));
    EXPECT_EQ(Names("a b end_of_list c"), (Strings{"a", "b"}));
    EXPECT_EQ(Names("a xend_of_list end_of_listx"), (Strings{"a", "xend_of_list", "end_of_listx"}));
    EXPECT_EQ(Names(""), Strings{});
    EXPECT_EQ(Names(" \n\t"), Strings{});

    EXPECT_TRUE(PieceListEnds("a\nend_of_list\n"));
    EXPECT_TRUE(PieceListEnds("end_of_list"));
    EXPECT_FALSE(PieceListEnds("a\nb\n"));
    EXPECT_FALSE(PieceListEnds("a end_of_lis"));
}

TEST(PieceList, CapitalsBeforeTheEndOnly)
{
    char list[] = "disks pkg_tar.1\nSetup-x\nend_of_list\nafter\n";
    UpperCasePieceList(list);
    EXPECT_STREQ(list, "DISKS PKG_TAR.1\nSETUP-X\nend_of_list\nafter\n");
    char open[] = "disks pkg_tar.1";
    UpperCasePieceList(open);
    EXPECT_STREQ(open, "DISKS PKG_TAR.1");
}

TEST(PieceList, NamesSafeInCommandsAndArchivePieces)
{
    for (const char* name : {"pkg_tar.1", "PKG_TAR.10", "a-b+c,d:e=f@g%h", "isize"})
        EXPECT_TRUE(IsSafePieceName(name)) << name;
    for (const char* name : {"", ".", "..", "a/b", "/etc/passwd", "a;b", "$(x)", "a`b`", "a'b",
                             "a\"b", "a\\b", "a*", "a|b", "a>b", "a&b", "caf\xc3\xa9"})
        EXPECT_FALSE(IsSafePieceName(name)) << name;
    EXPECT_FALSE(IsSafePieceName(std::string_view("a\0b", 3)));

    EXPECT_TRUE(IsArchivePiece("pkg_tar.1"));
    EXPECT_TRUE(IsArchivePiece("PKG_TAR.x"));
    EXPECT_FALSE(IsArchivePiece("pkg_tar"));
    EXPECT_FALSE(IsArchivePiece("Pkg_tar.1"));
    EXPECT_FALSE(IsArchivePiece("disks"));
}

class DisksData : public testing::Test {
protected:
    void SetUp() override
    {
        my_name = SaveStr_("setup_distribution_test");
    }

    void Write(const char* name, const std::string& text)
    {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    ScratchDir scratch_{"disks-test"};
    fs::path dir_ = scratch_.Path();
};

TEST_F(DisksData, LowerCaseListFirstThenCapitals)
{
    Write("DISKS", "disks pkg_tar.1\nend_of_list\nrest\n");
    GetDisksData(dir_.c_str());
    EXPECT_STREQ(LineBuf, "DISKS PKG_TAR.1\nend_of_list\nrest\n");
    Write("disks", "disks pkg_tar.1\nend_of_list\n");
    GetDisksData(dir_.c_str());
    EXPECT_STREQ(LineBuf, "disks pkg_tar.1\nend_of_list\n");
}

TEST_F(DisksData, NoListEndsWithMessage21)
{
    EXPECT_EXIT(GetDisksData(dir_.c_str()), testing::ExitedWithCode(1),
                "^ERROR: can't open file, TarvoInstall/disks\n$");
}

TEST_F(DisksData, UnsafeNameRefusedBeforeAnyUse)
{
    Write("disks", "disks pkg_tar.1 pkg_tar.2;rm${IFS}-rf${IFS}/\nend_of_list\n");
    EXPECT_EXIT(GetDisksData(dir_.c_str()), testing::ExitedWithCode(1),
                "names \"pkg_tar.2;rm\\$\\{IFS\\}-rf\\$\\{IFS\\}/\", which is refused");
    // After the end of the list nothing is read, so nothing is refused.
    Write("disks", "disks pkg_tar.1\nend_of_list\n;;;\n");
    GetDisksData(dir_.c_str());
}

TEST_F(DisksData, ListCutByTheBufferIsRefused)
{
    // Every name fits, but the list is longer than LineBuf before its end.
    std::string list;
    while (list.size() < sizeof LineBuf + 100)
        list += "pkg_tar.123456789\n";
    Write("disks", list + "end_of_list\n");
    EXPECT_EXIT(GetDisksData(dir_.c_str()), testing::ExitedWithCode(1),
                "is longer than 4095 bytes before its end_of_list");
    // The same length is fine when the list ends within the buffer.
    Write("disks", "disks\nend_of_list\n" + list);
    GetDisksData(dir_.c_str());
    EXPECT_EQ(std::string(LineBuf, 18), "disks\nend_of_list\n");

    // Without an end_of_list, a list that fills the buffer exactly is whole;
    // one byte more is cut.
    std::string full = "disks\n";
    while (full.size() < sizeof LineBuf - 1)
        full += "x";
    Write("disks", full);
    GetDisksData(dir_.c_str());
    EXPECT_EQ(std::string(LineBuf), full);
    Write("disks", full + "y");
    EXPECT_EXIT(GetDisksData(dir_.c_str()), testing::ExitedWithCode(1),
                "is longer than 4095 bytes before its end_of_list");
}

// The printing system's flag file, with stand-ins for lpd and ps that
// report LPRng and a running cupsd when told to.
class FlagFile : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        my_name = SaveStr_("setup_distribution_test");
        flUseLog = false;
        InitSysCmdList();
    }

    void SetUp() override
    {
        fs::create_directories(dir_ / "bin");
        fs::create_directories(dir_ / "app");
        Stub("lpd", "[ -f \"$0.lprng\" ] && echo 'lpd (LPRng-3.8.28)' || echo 'lpd: other'");
        Stub("ps", "echo '  PID TTY      TIME CMD'\n"
                   "[ -f \"$0.cups\" ] && echo ' 4242 ?        0:01 cupsd'\n"
                   "echo ' 4243 ?        0:01 cupsdx'");
        for (int row : {CMD_LPD, CMD_PS}) {
            saved_[row == CMD_PS] = ComList[row].Path;
            ComList[row].Path = SaveStr_((dir_ / "bin").c_str());
        }
    }

    void TearDown() override
    {
        for (int row : {CMD_LPD, CMD_PS}) {
            PutMem(ComList[row].Path);
            ComList[row].Path = saved_[row == CMD_PS];
        }
    }

    void Stub(const char* name, const std::string& body)
    {
        const fs::path path = dir_ / "bin" / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms(0755));
    }

    // Writes .nv_cfg with LPRng and CUPS present or not; gives its content.
    std::string Written(bool lprng, bool cups)
    {
        fs::remove(dir_ / "bin/lpd.lprng");
        fs::remove(dir_ / "bin/ps.cups");
        if (lprng)
            std::ofstream(dir_ / "bin/lpd.lprng") << "";
        if (cups)
            std::ofstream(dir_ / "bin/ps.cups") << "";
        createPrintingSubsystemFile((dir_ / "app").c_str());
        std::ifstream in(dir_ / "app/.nv_cfg", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    ScratchDir scratch_{"nvcfg-test"};
    fs::path dir_ = scratch_.Path();
    char* saved_[2] = {};
};

TEST_F(FlagFile, OneWordForThePrintingSystemCupsWinning)
{
    const mode_t old = umask(077);
    EXPECT_EQ(Written(false, false), " V5 ");
    umask(old);
    struct stat st {};
    ASSERT_EQ(lstat((dir_ / "app/.nv_cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(Written(true, false), " LPRng ");
    EXPECT_EQ(Written(false, true), " CUPS ");
    EXPECT_EQ(Written(true, true), " CUPS ");
}

TEST_F(FlagFile, LinkAtItsNameIsReplacedNotWrittenThrough)
{
    const fs::path victim = dir_ / "victim";
    std::ofstream(victim) << "precious\n";
    fs::create_symlink(victim, dir_ / "app/.nv_cfg");
    EXPECT_EQ(Written(false, false), " V5 ");
    EXPECT_FALSE(fs::is_symlink(dir_ / "app/.nv_cfg"));
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious\n");
}

}  // namespace
