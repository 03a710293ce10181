// Path helpers: splitting paths into directory, name and extension.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "utils.h"

namespace {

TEST(PathHelpers, ExtensionsAndLastComponents)
{
    EXPECT_STREQ(StripExt("archive.tar.Z"), "archive");
    EXPECT_STREQ(StripExt(".profile"), ".profile");
    EXPECT_STREQ(StripExt("..x.y"), "..x");
    EXPECT_STREQ(StripExt(nullptr), "");
    EXPECT_STREQ(StripPath("/usr/bin/"), "bin");
    EXPECT_STREQ(StripPath("/a/b//"), "b");
    EXPECT_STREQ(StripPath("ls"), "ls");
    EXPECT_STREQ(StripPath("///"), "///");
    EXPECT_STREQ(StripPath(nullptr), "");
    EXPECT_STREQ(StripPathExt("/a/b/c.txt"), "c");
    EXPECT_STREQ(StripPathExt("/a/b.d/c"), "c");
    EXPECT_STREQ(StripPathExt("/home/u/.profile"), ".profile");
    EXPECT_STREQ(StripPathExt("//"), "//");
    EXPECT_STREQ(StripPathExt(nullptr), "");
}

TEST(PathHelpers, DirectoryPart)
{
    EXPECT_STREQ(StripFn("/usr/bin/ls"), "/usr/bin");
    EXPECT_STREQ(StripFn("ls"), ".");
    EXPECT_STREQ(StripFn("/ls"), "/");
    EXPECT_STREQ(StripFn("/"), "/");
    EXPECT_STREQ(StripFn("../x/setup"), "../x");
    EXPECT_STREQ(StripFn(""), ".");
    EXPECT_STREQ(StripFn(nullptr), ".");
    // Only one trailing slash goes.
    EXPECT_STREQ(StripFn("a/b/"), "a/b");
    EXPECT_STREQ(StripFn("a//b"), "a/");
    EXPECT_STREQ(StripFn("//x"), "/");
}

TEST(PathHelpers, NameSplitAtSlashThenDots)
{
    EXPECT_STREQ(StripPathName(nullptr), "");
    EXPECT_STREQ(StripPathName("."), "");
    EXPECT_STREQ(StripPathName(".."), "");
    EXPECT_STREQ(StripPathName("dir/name.ext"), "ext");
    EXPECT_STREQ(StripPathName("dir/a.b.c"), "c");
    EXPECT_STREQ(StripPathName("/opt/a/b"), "/opt");
    EXPECT_STREQ(StripPathName("/opt/ab/c"), "ab/c");
    EXPECT_STREQ(StripPathName("d/x.y.q/z"), "y");
    EXPECT_STREQ(StripPathName("name"), "name");
}

// Overlong paths are cut to the helper's buffer instead of overrunning it.
TEST(PathHelpers, CutOverlongInput)
{
    const std::string longName(300, 'n');
    EXPECT_EQ(std::string(StripPath(("/d/" + longName).c_str())), longName.substr(0, 124));
    EXPECT_EQ(std::string(StripExt((longName + ".x").c_str())), longName.substr(0, 127));
    EXPECT_EQ(std::strlen(StripPathExt(longName.c_str())), 127u);
    EXPECT_EQ(std::strlen(StripPathName(longName.c_str())), 127u);

    // 255 characters fit StripFn; the rest is cut before the split.
    const std::string dir = "/" + std::string(200, 'd');
    EXPECT_EQ(std::string(StripFn((dir + "/" + longName).c_str())), dir);
    EXPECT_STREQ(StripFn((dir + std::string(60, 'd') + "/f").c_str()), "/")
        << "a slash past the 255th character is cut away";
}

}  // namespace
