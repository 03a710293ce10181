// The placement list: how its lines are taken apart, and what a list does
// when carried out in a scratch work and application directory (release
// conditions against a stand-in uname, attributes, refused words, overlong
// lines, the edit file in /tmp); the package map's fields.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "Installer.h"
#include "MemMgr.h"
#include "Setup.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const fs::path& path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

struct Step {
    int command;
    std::string word, file, extra, rest;
};

Step ParseStep(const char* line)
{
    PkgListStep step;
    const int found = ParsePkgListStep(line, &step);
    return {found ? step.command : -1, std::string(step.word), std::string(step.file),
            std::string(step.extra), step.rest ? step.rest : ""};
}

// The attribute pairs of text as "key=value;" (key by its number).
std::string Attributes(const char* text)
{
    std::string pairs;
    PkgListAttribute attribute;
    for (const char* pos = text; ParsePkgListAttribute(pos, &attribute); pos = attribute.rest)
        pairs += std::to_string(attribute.key) + ":" + std::string(attribute.name) + "=" +
                 std::string(attribute.value) + ";";
    return pairs;
}

TEST(PkgListParse, CommandsAndTheirOwnWords)
{
    EXPECT_EQ(ParseStep("").command, -1);
    EXPECT_EQ(ParseStep("  \r\n").command, -1);
    // A comment, also when its mark is not a word of its own.
    EXPECT_EQ(ParseStep("# c lumo.cfg").command, PKG_COMMENT);
    EXPECT_EQ(ParseStep("#c lumo.cfg").command, PKG_COMMENT);

    Step copy = ParseStep("c lumo.cfg mode 644\n");
    EXPECT_EQ(copy.command, PKG_COPY);
    EXPECT_EQ(copy.file, "lumo.cfg");
    EXPECT_EQ(Attributes(copy.rest.c_str()), "1:mode=644;");

    Step dirto = ParseStep("dirto ppd /var/spool/Tarvo mode 755");
    EXPECT_EQ(dirto.command, PKG_DIRTO);
    EXPECT_EQ(dirto.file, "ppd");
    EXPECT_EQ(dirto.extra, "/var/spool/Tarvo");

    Step other = ParseStep("file lumo.ini");
    EXPECT_EQ(other.command, PKG_OTHER);
    EXPECT_EQ(other.file, "lumo.ini");

    // A condition: the operator, the release, then the guarded command.
    Step release = ParseStep("v >= 5.8 v < 5.11 t x");
    EXPECT_EQ(release.command, PKG_RELEASE);
    EXPECT_EQ(release.file, ">=");
    EXPECT_EQ(release.extra, "5.8");
    Step chained = ParseStep(release.rest.c_str());
    EXPECT_EQ(chained.command, PKG_RELEASE);
    EXPECT_EQ(chained.extra, "5.11");
    EXPECT_EQ(ParseStep(chained.rest.c_str()).command, PKG_TOUCH);

    for (const char* word : {"dir", "t", "m", "s", "newdir", "checkps"})
        EXPECT_NE(ParseStep(word).command, PKG_OTHER) << word;
    // Only a whole word names a command: not a part of one, nor two of them
    // joined by the list's own separator.
    for (const char* word : {"di", "dirt", "c,m", "dir,", ",c", "C"})
        EXPECT_EQ(ParseStep(word).command, PKG_OTHER) << word;
}

TEST(PkgListParse, AttributePairs)
{
    EXPECT_EQ(Attributes(" mode 755 bat nvadmin owner root group bin link /usr/bin/x name y"),
              "1:mode=755;2:bat=nvadmin;3:owner=root;4:group=bin;5:link=/usr/bin/x;6:name=y;");
    // Unknown keys are read as pairs too; a key without value ends them.
    EXPECT_EQ(Attributes("colour red mode 600 owner"), "0:colour=red;1:mode=600;");
    // sed takes the rest of the line, blanks and all, without its line end.
    EXPECT_EQ(Attributes("mode 644 sed  s,@T@,a b c, mode 600 \r\n"),
              "1:mode=644;7:sed=s,@T@,a b c, mode 600;");
    EXPECT_EQ(Attributes("sed \r\n"), "");
    // A line continued with a backslash goes on with its pairs.
    EXPECT_EQ(Attributes(" mode 644 \\\n owner root\n"), "1:mode=644;3:owner=root;");
}

TEST(PkgMap, SevenLeadingFields)
{
    PkgMapEntry e;
    ASSERT_TRUE(ParsePkgMapLine("1 f none lumo/qdf 0755 root bin 453 34799 1767225600\n", &e));
    EXPECT_EQ(e.part, "1");
    EXPECT_EQ(e.type, "f");
    EXPECT_EQ(e.pkgClass, "none");
    EXPECT_EQ(e.path, "lumo/qdf");
    EXPECT_EQ(e.mode, "0755");
    EXPECT_EQ(e.owner, "root");
    EXPECT_EQ(e.group, "bin");
    ASSERT_TRUE(ParsePkgMapLine("1\td\tnone\t/etc/Tarvo\t0755\troot\tsys", &e));
    EXPECT_EQ(e.group, "sys");
    EXPECT_FALSE(ParsePkgMapLine(": 1 14\n", &e));
    EXPECT_FALSE(ParsePkgMapLine("1 i pkginfo 247 20700 1767225600", &e));
    EXPECT_FALSE(ParsePkgMapLine("", &e));
}

// A work directory with the list's files in "sub", an application
// directory, and a uname that reports $PKGLIST_RELEASE.
class PkgListRun : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        my_name = SaveStr("setup_pkglist_test_%d", static_cast<int>(getpid()));
        flUseLog = false;
        InitSysCmdList();
    }

    void SetUp() override
    {
        work_ = root_ / "work";
        src_ = work_ / "sub";
        app_ = root_ / "app";
        fs::create_directories(src_);
        fs::create_directories(app_);
        fs::create_directories(root_ / "bin");
        WriteFile(root_ / "bin/uname", "#!/bin/sh\nprintf '%s\\n' \"$PKGLIST_RELEASE\"\n");
        fs::permissions(root_ / "bin/uname", fs::perms(0755));
        savedUname_ = ComList[CMD_UNAME].Path;
        ComList[CMD_UNAME].Path = SaveStr_((root_ / "bin").c_str());
        pTarvoInstallDir = SaveStr_(work_.c_str());
        pAppDir = SaveStr_(app_.c_str());
        SetRelease("5.10");
    }

    void TearDown() override
    {
        PutMem(ComList[CMD_UNAME].Path);
        ComList[CMD_UNAME].Path = savedUname_;
        PutMem(pTarvoInstallDir);
        PutMem(pAppDir);
        pTarvoInstallDir = pAppDir = nullptr;
    }

    static void SetRelease(const char* release) { setenv("PKGLIST_RELEASE", release, 1); }

    // Carries out list from "sub"; the result, standard error in *err.
    int Run(const std::string& list, std::string* err = nullptr)
    {
        WriteFile(src_ / "pkg.list", list);
        testing::internal::CaptureStderr();
        const int result = ProcessPkgList("sub");
        const std::string text = testing::internal::GetCapturedStderr();
        if (err)
            *err = text;
        return result;
    }

    fs::path Src(const char* name) const { return src_ / name; }
    fs::path App(const char* name) const { return app_ / name; }

    ScratchDir scratch_{"pkglist-test"};
    fs::path root_ = scratch_.Path();
    fs::path work_, src_, app_;
    char* savedUname_ = nullptr;
};

TEST_F(PkgListRun, CommandsPlaceFilesAndAttributesActOnThem)
{
    WriteFile(Src("a.cfg"), "a\n");
    WriteFile(Src("b.ini"), "b\n");
    WriteFile(Src("old.txt"), "old\n");
    fs::create_directories(Src("doc"));
    WriteFile(Src("doc/index.txt"), "index\n");
    fs::create_directories(root_ / "elsewhere");
    fs::create_directories(App("kept"));
    chmod(App("kept").c_str(), 0700);
    const std::string link = (root_ / "link-to-a").string();

    std::string err;
    EXPECT_EQ(Run("# placement\n"
                  "\n"
                  "c a.cfg mode 600 link " + link + "\n"
                  "other-word b.ini mode 640\n"
                  "dir doc mode 750\n"
                  "dirto doc " + (root_ / "elsewhere").string() + "\n"
                  "t log/jobs.log\n"
                  "newdir log mode 711\n"
                  "t log/jobs.log mode 666\n"
                  "newdir kept mode 755 name renamed\n"
                  "c old.txt name new.txt\n"
                  "m missing.txt mode 600 link " + link + "-missing\n"
                  "s a.cfg mode 604\n"
                  "checkps ,pkglist-test-none,\n"
                  "t after-checkps\n",
                  &err),
              0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(ReadFile(App("a.cfg")), "a\n");
    EXPECT_EQ(ModeOf(App("a.cfg")), 0604u);
    EXPECT_EQ(fs::read_symlink(link), App("a.cfg"));
    EXPECT_EQ(ModeOf(App("b.ini")), 0640u);
    EXPECT_EQ(ModeOf(App("doc")), 0750u);
    EXPECT_EQ(ReadFile(App("doc/index.txt")), "index\n");
    EXPECT_EQ(ReadFile(root_ / "elsewhere/doc/index.txt"), "index\n");
    // The touch before the newdir found no directory; the newdir made it.
    EXPECT_EQ(ModeOf(App("log")), 0711u);
    EXPECT_EQ(ModeOf(App("log/jobs.log")), 0666u);
    // An existing directory is left alone with all its attributes.
    EXPECT_EQ(ModeOf(App("kept")), 0700u);
    EXPECT_FALSE(fs::exists(App("renamed")));
    EXPECT_TRUE(fs::exists(App("new.txt")));
    EXPECT_FALSE(fs::exists(App("old.txt")));
    // A missing file skips its line, attributes and all.
    EXPECT_FALSE(fs::exists(link + "-missing"));
    EXPECT_FALSE(fs::exists(App("missing.txt")));
    // No program of the list runs: checkps asks nothing and the list goes on.
    EXPECT_TRUE(fs::exists(App("after-checkps")));
}

TEST_F(PkgListRun, ReleaseConditionsCompareNumbers)
{
    const std::string list = "v >= 5.8 t ge-5.8\n"
                             "v < 5.8 t lt-5.8\n"
                             "v > 5.8 t gt-5.8\n"
                             "v <= 5.8 t le-5.8\n"
                             "v = 5.10 t eq-5.10\n"
                             "v >= 5.6 v < 5.11 t before-5.11 mode 600\n"
                             "v >= 5.8\n"
                             "v >= 5.8 c\n";
    auto placed = [&](const char* release) {
        fs::remove_all(app_);
        fs::create_directories(app_);
        SetRelease(release);
        std::string err;
        EXPECT_EQ(Run(list, &err), 0);
        std::string names;
        for (const char* name : {"ge-5.8", "lt-5.8", "gt-5.8", "le-5.8", "eq-5.10", "before-5.11"})
            names += fs::exists(App(name)) ? std::string(name) + " " : "";
        return names + "| " + err;
    };
    EXPECT_EQ(placed("5.10"),
              "ge-5.8 gt-5.8 eq-5.10 before-5.11 | WARNING: pkg.list: a line is passed over: no "
              "file named after \"c\"\n");
    EXPECT_EQ(ModeOf(App("before-5.11")), 0600u);
    EXPECT_EQ(placed("5.11").substr(0, 15), "ge-5.8 gt-5.8 |");
    EXPECT_EQ(placed("5.6").substr(0, 21), "lt-5.8 le-5.8 before-");
    EXPECT_EQ(placed("5.8").substr(0, 27), "ge-5.8 le-5.8 before-5.11 |");
}

TEST_F(PkgListRun, UnreadableReleaseSkipsEveryConditionWithMessage60)
{
    SetRelease("");
    std::string err;
    EXPECT_EQ(Run("v >= 5.8 t a\nv < 5.8 t b\nt c\n", &err), 0);
    EXPECT_FALSE(fs::exists(App("a")));
    EXPECT_FALSE(fs::exists(App("b")));
    EXPECT_TRUE(fs::exists(App("c")));
    EXPECT_EQ(err, "failed ts get version: No data available\nfailed ts get version: No data "
                   "available\n");

    SetRelease("5.10");
    EXPECT_EQ(Run("v ~ 5.8 t d\n", &err), 0);
    EXPECT_FALSE(fs::exists(App("d")));
    EXPECT_NE(err.find("unknown release operator \"~\""), std::string::npos) << err;
}

TEST_F(PkgListRun, SedEditsWithTheWholeScriptKeepingTheMode)
{
    WriteFile(Src("conf"), "title=@T@\nhome=@H@\n");
    std::string err;
    EXPECT_EQ(Run("c conf mode 751 sed s,@T@,a b  c, ; s,@H@,it's $HOME `x`,\n", &err), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(ReadFile(App("conf")), "title=a b  c\nhome=it's $HOME `x`\n");
    EXPECT_EQ(ModeOf(App("conf")), 0751u);
    const fs::path temp = fs::path("/tmp") / (std::string(my_name) + ".tmp");
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));

    // A link planted at the edit file is removed, never written through.
    const fs::path victim = root_ / "victim";
    WriteFile(victim, "keep\n");
    fs::create_symlink(victim, temp);
    EXPECT_EQ(Run("m conf sed s,title,name,\n"), 0);
    EXPECT_EQ(ReadFile(victim), "keep\n");
    EXPECT_EQ(ReadFile(App("conf")), "name=a b  c\nhome=it's $HOME `x`\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp)));
}

TEST_F(PkgListRun, WordsUnsafeInCommandsAreRefusedWithTheirLine)
{
    WriteFile(Src("a"), "a\n");
    const fs::path marker = root_ / "marker";
    std::string err;
    EXPECT_EQ(Run("c a;touch${IFS}" + marker.string() + "\n"
                  "c a mode 600;touch${IFS}" + marker.string() + "\n"
                  "c a name ../outside\n"
                  "c a bat ../sbin/x\n"
                  "t ../escaped\n"
                  "dirto a /tmp/x|y\n",
                  &err),
              0);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_FALSE(fs::exists(App("a")));
    EXPECT_FALSE(fs::exists(root_ / "outside"));
    EXPECT_FALSE(fs::exists(root_ / "escaped"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 6) << err;
    EXPECT_NE(err.find("\"../sbin/x\" may hold only letters"), std::string::npos) << err;
}

TEST_F(PkgListRun, OverlongLineIsPassedOverWhole)
{
    // Over 510 characters: its tail must not be read as a line of its own.
    const std::string tail = " t tail-made mode 600";
    std::string list = "t first\nt long" + std::string(520, 'x') + tail + "\nt after\n";
    std::string err;
    EXPECT_EQ(Run(list, &err), 0);
    EXPECT_TRUE(fs::exists(App("first")));
    EXPECT_TRUE(fs::exists(App("after")));
    EXPECT_FALSE(fs::exists(App("tail-made")));
    EXPECT_NE(err.find("longer than 510 characters is passed over"), std::string::npos) << err;

    // A line of exactly 510 characters is whole.
    std::string exact = "t exact" + std::string(503, ' ');
    ASSERT_EQ(exact.size(), 510u);
    EXPECT_EQ(Run("t short\n" + exact + "\nt next\n", &err), 0);
    EXPECT_TRUE(fs::exists(App("exact")));
    EXPECT_TRUE(fs::exists(App("next")));
    EXPECT_EQ(err.find("passed over"), std::string::npos) << err;
}

TEST_F(PkgListRun, MissingListEndsTheInstaller)
{
    EXPECT_EXIT(ProcessPkgList("nowhere"), testing::ExitedWithCode(0),
                "ERROR: can't open file, .*/work/nowhere/pkg.list");
}

}  // namespace
