// Reporting and process exits: what reaches standard error, and with which
// exit status the process ends.
#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "utils.h"

namespace {

using testing::ExitedWithCode;

class Reporting : public testing::Test {
protected:
    void SetUp() override { my_name = const_cast<char*>("setup"); }
    void TearDown() override { my_name = nullptr; }
};

using ReportingDeathTest = Reporting;

TEST_F(ReportingDeathTest, SysErrorNamesProgramMessageAndSystemError)
{
    EXPECT_EXIT((errno = ENOENT, SysError("can't open file, %s", "/tmp/x")), ExitedWithCode(1),
                "^\nsetup: can't open file, /tmp/x : No such file or directory\n$");
    my_name = nullptr;  // not set yet: the invocation name stands in
    EXPECT_EXIT((errno = EIO, SysError("lost")), ExitedWithCode(1),
                "^\nerrors_test: lost : Input/output error\n$");
}

TEST_F(ReportingDeathTest, FatalExitsEndWithTheChosenStatus)
{
    EXPECT_EXIT(ErrorMsg(2, 3, "can't open file, %s", "a b"), ExitedWithCode(3),
                "^ERROR: can't open file, a b\n$");
    EXPECT_EXIT(exit_app(7), ExitedWithCode(7), "^$");
}

TEST_F(Reporting, ErrorMsgWarnsOrOnlyFormatsIntoLine)
{
    testing::internal::CaptureStderr();
    ErrorMsg(1, 3, "disk %s nearly full", "/opt");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "WARNING: disk /opt nearly full\n");
    EXPECT_STREQ(Line, "disk /opt nearly full");
    for (int level : {0, 3, -1}) {
        testing::internal::CaptureStderr();
        ErrorMsg(level, 2, "quiet %d", level);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(std::string(Line), "quiet " + std::to_string(level));
    }
    const std::string huge(sizeof Line + 100, 'w');
    ErrorMsg(0, 0, "%s", huge.c_str());
    EXPECT_EQ(std::strlen(Line), sizeof Line - 1);
}

TEST_F(Reporting, ErrormsgPrefixesTheProgramName)
{
    testing::internal::CaptureStderr();
    errormsg("%s is not a directory", "/opt/x");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "setup: /opt/x is not a directory\n");
}

}  // namespace
