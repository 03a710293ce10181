// Releases compared as numbers, component by component, and the conditions
// of the placement list built on that.
#include <gtest/gtest.h>

#include "Installer.h"

namespace {

TEST(CompareRelease, NumbersComponentByComponent)
{
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    for (const Case& c : {
             Case{"5.10", "5.6", 1},    // as text 5.10 sorts first
             Case{"5.11", "5.6", 1},
             Case{"5.5.1", "5.6", -1},
             Case{"5.6", "5.6", 0},
             Case{"5.6", "5.6.0", 0},   // a missing component is 0
             Case{"5.6", "5.6.1", -1},
             Case{"5.06", "5.6", 0},    // leading zeros do not count
             Case{"5.100", "5.99", 1},
             Case{"6", "5.11", 1},
             Case{"", "5.6", -1},
             Case{"", "", 0},
             // Numbers longer than any integer still compare.
             Case{"5.123456789012345678901234567890", "5.123456789012345678901234567889", 1},
             // Text after the number decides between equal numbers.
             Case{"5.10b", "5.10a", 1},
             Case{"5.10", "5.10a", -1},
             Case{"Generic", "5.6", -1},
         }) {
        EXPECT_EQ(CompareRelease(c.a, c.b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(CompareRelease(c.b, c.a), -c.order) << c.b << " vs " << c.a;
    }
}

TEST(ReleaseCondition, OperatorsOnTenAgainstEight)
{
    EXPECT_EQ(ReleaseConditionHolds(">=", "5.10", "5.8"), 1);
    EXPECT_EQ(ReleaseConditionHolds(">", "5.10", "5.8"), 1);
    EXPECT_EQ(ReleaseConditionHolds("<", "5.10", "5.8"), 0);
    EXPECT_EQ(ReleaseConditionHolds("<=", "5.10", "5.8"), 0);
    EXPECT_EQ(ReleaseConditionHolds("=", "5.10", "5.8"), 0);
    EXPECT_EQ(ReleaseConditionHolds("=", "5.10", "5.10.0"), 1);
    EXPECT_EQ(ReleaseConditionHolds("<=", "5.8", "5.8"), 1);
    EXPECT_EQ(ReleaseConditionHolds(">=", "5.8", "5.8"), 1);
    for (const char* op : {"", "==", "!=", "=>", "ge", "< "})
        EXPECT_EQ(ReleaseConditionHolds(op, "5.10", "5.8"), -1) << op;
}

}  // namespace
