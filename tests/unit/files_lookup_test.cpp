// Status queries, existence, searching a file for a line, the existing part
// of a path and directory listings.
#include <set>
#include <sstream>
#include <string>
#include <sys/time.h>
#include <unistd.h>

#include "MemMgr.h"
#include "files_fixture.h"

namespace {

// A listing taken over from GetMem.
struct Listing {
    explicit Listing(char* t) : text(t) {}
    ~Listing() { PutMem(text); }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    // The names, when the text has the form " a b c ": one blank before each
    // name and one after the last.
    std::set<std::string> Names() const
    {
        std::string s(text);
        EXPECT_GE(s.size(), 1u);
        EXPECT_EQ(s.front(), ' ');
        EXPECT_EQ(s.back(), ' ');
        EXPECT_EQ(s.find("  "), std::string::npos) << '"' << s << '"';
        std::set<std::string> names;
        std::istringstream in(s);
        for (std::string name; in >> name;)
            names.insert(name);
        return names;
    }

    char* text;
};

using Status = FilesTest;

TEST_F(Status, KindsSizesAndTimes)
{
    std::string file = Write("f", "12345");
    ASSERT_EQ(symlink("f", Path("link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);

    EXPECT_EQ(GetFileType(dir.c_str()), 1);
    EXPECT_EQ(GetFileType(Path("link").c_str()), 2);
    EXPECT_EQ(GetFileType(Path("dangling").c_str()), 2);
    EXPECT_EQ(GetFileType(file.c_str()), 3);
    EXPECT_EQ(GetFileType(Path("missing").c_str()), 0);

    EXPECT_EQ(GetFileSize(Path("link").c_str()), 5);
    EXPECT_EQ(GetFileSize(Path("missing").c_str()), 0);

    const timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);
    EXPECT_EQ(GetFileTime(Path("link").c_str()), 1000000000);  // the target's time
    EXPECT_EQ(GetFileTime(Path("dangling").c_str()), 0);
}

using Existence = FilesTest;

TEST_F(Existence, ListingFindsWhatStatusMisses)
{
    ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
    EXPECT_EQ(FindFile(dir.c_str(), "dangling"), 1);
    EXPECT_EQ(FindFile_(dir.c_str(), "dangling"), 0);
    EXPECT_EQ(FindFile(nullptr, Path("dangling").c_str()), 1);
}

TEST_F(Existence, FormsOfDirectoryAndName)
{
    std::filesystem::create_directories(Path("sub/deeper"));
    Write("sub/f", "");
    EXPECT_EQ(FindFile("/etc", "passwd"), 1);
    EXPECT_EQ(FindFile(nullptr, "/etc/passwd"), 1);
    EXPECT_EQ(FindFile(dir.c_str(), "sub/f"), 1);
    EXPECT_EQ(FindFile(dir.c_str(), "sub/nosuch"), 0);
    EXPECT_EQ(FindFile(Path("sub").c_str(), nullptr), 1);
    EXPECT_EQ(FindFile(dir.c_str(), "nosuch"), 0);
    EXPECT_EQ(FindFile(Path("nosuch").c_str(), "f"), 0);
    EXPECT_EQ(FindFile(nullptr, ""), 0);

    EXPECT_EQ(FindFile_(dir.c_str(), "sub/f"), 1);
    EXPECT_EQ(FindFile_(nullptr, Path("sub").c_str()), 1);
    EXPECT_EQ(FindFile_(dir.c_str(), "nosuch"), 0);
    EXPECT_EQ(FindFile_(nullptr, ""), 0);
}

TEST_F(Existence, TrailingSlashesRootAndRelativeNames)
{
    std::filesystem::create_directories(Path("sub"));
    EXPECT_EQ(FindFile(nullptr, (Path("sub") + "/").c_str()), 1);
    EXPECT_EQ(FindFile(nullptr, (Path("sub") + "//").c_str()), 1);
    EXPECT_EQ(FindFile(nullptr, "/"), 1);
    EXPECT_EQ(FindFile(nullptr, "."), 1);

    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(FindFile(nullptr, "sub"), 1);
    EXPECT_EQ(FindFile(nullptr, "sub/nosuch"), 0);
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(Existence, NamesWithBlanksAreNotConfused)
{
    Write("x a y", "");
    EXPECT_EQ(FindFile(dir.c_str(), "a"), 0);
    EXPECT_EQ(FindFile(dir.c_str(), "x a y"), 1);
}

using ExistingPath = FilesTest;

TEST_F(ExistingPath, LongestExistingLeadingPart)
{
    std::filesystem::create_directories(Path("a/b"));
    int exists = 7;
    char* found = FindExistingPath(Path("a/nosuch/x").c_str(), &exists);
    EXPECT_EQ(std::string(found), Path("a"));
    EXPECT_EQ(exists, 7);
    PutMem(found);

    found = FindExistingPath(Path("a/b").c_str(), &exists);
    EXPECT_EQ(std::string(found), Path("a/b"));
    EXPECT_EQ(exists, 1);
    PutMem(found);

    exists = 0;
    found = FindExistingPath((Path("a/b") + "/").c_str(), &exists);
    EXPECT_EQ(std::string(found), Path("a/b") + "/");
    EXPECT_EQ(exists, 1);
    PutMem(found);

    exists = 0;
    found = FindExistingPath("/nosuch-root-entry/x", &exists);
    EXPECT_STREQ(found, "/");
    EXPECT_EQ(exists, 0);
    PutMem(found);

    found = FindExistingPath("/", &exists);
    EXPECT_STREQ(found, "/");
    EXPECT_EQ(exists, 1);
    PutMem(found);

    found = FindExistingPath(Path("a").c_str(), nullptr);
    EXPECT_EQ(std::string(found), Path("a"));
    PutMem(found);
}

TEST_F(ExistingPath, RelativePathsEndAtTheCurrentDirectory)
{
    ASSERT_EQ(chdir(dir.c_str()), 0);
    int exists = 0;
    char* found = FindExistingPath("nosuch/x", &exists);
    EXPECT_STREQ(found, ".");
    EXPECT_EQ(exists, 0);
    PutMem(found);
    found = FindExistingPath("", &exists);
    EXPECT_STREQ(found, ".");
    PutMem(found);
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(ExistingPath, OverlongPathsStopAtAWholeName)
{
    // The path is cut to 4095 characters inside the name "pp...": a file
    // named by the cut must not be taken for a part of the path.
    std::string longName(255, 'p');
    std::string path = dir;
    while (path.size() < 4095 + 10)
        path += "/" + longName;
    std::string cut = path.substr(0, 4095);
    std::string cutDir = cut.substr(0, cut.rfind('/'));
    ASSERT_GT(cut.size() - cutDir.size(), 1u);
    std::filesystem::create_directories(cutDir);
    Write(cut.substr(dir.size() + 1), "");
    int exists = 0;
    char* found = FindExistingPath(path.c_str(), &exists);
    EXPECT_EQ(std::string(found), cutDir);
    EXPECT_EQ(exists, 0);
    PutMem(found);
}

using Search = FilesTest;

TEST_F(Search, FirstLineHoldingTheText)
{
    std::string file = Write("conf", "alpha=1\nbeta=2\nbeta=3\n");
    EXPECT_STREQ(FileSearch(file.c_str(), "beta", 0), "beta=2\n");
    EXPECT_STREQ(FileSearch(file.c_str(), nullptr, 0), "alpha=1\n");
    EXPECT_EQ(FileSearch(file.c_str(), "gamma", 0), nullptr);
    EXPECT_EQ(FileSearch(Path("missing").c_str(), nullptr, 0), nullptr);

    // Lines are read in pieces of 510 characters.
    file = Write("long", std::string(600, 'z') + "\n");
    char* piece = FileSearch(file.c_str(), nullptr, 0);
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(strlen(piece), 510u);
}

using Listings = FilesTest;

TEST_F(Listings, EveryEntry)
{
    Listing empty(GetDirFileList(dir.c_str()));
    ASSERT_NE(empty.text, nullptr);
    EXPECT_EQ(empty.Names(), (std::set<std::string>{".", ".."}));
    EXPECT_EQ(strlen(empty.text), strlen(" . .. "));

    Write("a", "");
    Write("b c", "");
    Listing some(GetDirFileList(dir.c_str()));
    ASSERT_NE(some.text, nullptr);
    EXPECT_EQ(some.Names(), (std::set<std::string>{".", "..", "a", "b", "c"}));
    EXPECT_GT(FindToken("a", some.text), 0);

    EXPECT_EQ(GetDirFileList(Path("missing").c_str()), nullptr);
    EXPECT_EQ(GetDirFileList(nullptr), nullptr);
}

TEST_F(Listings, ReadDirGivesEachEntryOnce)
{
    Write("a", "");
    DIR* entries = opendir(dir.c_str());
    ASSERT_NE(entries, nullptr);
    std::multiset<std::string> names;
    while (const char* name = ReadDir(entries, nullptr))
        names.insert(name);
    closedir(entries);
    EXPECT_EQ(names, (std::multiset<std::string>{".", "..", "a"}));
    EXPECT_EQ(ReadDir(nullptr, nullptr), nullptr);
}

TEST_F(Listings, ByExtension)
{
    Write("a.txt", "");
    Write("b.TXT", "");
    Write("c", "");
    Write("d.tar.txt", "");
    Write("e.txt.gz", "");

    Listing txt(SearchDirFileList(dir.c_str(), "txt"));
    ASSERT_NE(txt.text, nullptr);
    EXPECT_EQ(txt.Names(), (std::set<std::string>{"a.txt", "d.tar.txt"}));

    Listing all(SearchDirFileList(dir.c_str(), nullptr));
    ASSERT_NE(all.text, nullptr);
    EXPECT_EQ(all.Names(),
              (std::set<std::string>{"a.txt", "b.TXT", "c", "d.tar.txt", "e.txt.gz"}));

    EXPECT_EQ(SearchDirFileList(dir.c_str(), "pdf"), nullptr);
    EXPECT_EQ(SearchDirFileList(Path("missing").c_str(), "txt"), nullptr);
    std::filesystem::create_directories(Path("empty"));
    EXPECT_EQ(SearchDirFileList(Path("empty").c_str(), nullptr), nullptr);
}

}  // namespace
