// The screen buffer: where WriteString puts text, what Refresh prints, and
// that no call writes outside the cells or the row buffer.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TextMenu.h"
#include "textmenu_fixture.h"

namespace {

struct Screen {
    std::vector<char> cells;
    TermInfo info{};
    Screen(int columns, int rows, char fill = ' ') : cells(static_cast<size_t>(columns) * rows, fill)
    {
        info.columns = columns;
        info.rows = rows;
        info.cells = cells.data();
    }
    std::string Text() const { return std::string(cells.begin(), cells.end()); }
};

std::string Printed(TermInfo* t)
{
    return Dialogue("", [&] { Refresh(t); });
}

TEST(ScreenWrite, PositionsOutsideTheScreenAreCorrected)
{
    Screen s(4, 3, '.');
    SetPosition(&s.info, 2, 0);
    WriteString(&s.info, "ab");
    EXPECT_EQ(s.info.curY, 1);
    SetPosition(&s.info, 5, 3);
    WriteString(&s.info, "%d", 7);
    EXPECT_EQ(s.info.curX, 0);
    EXPECT_EQ(s.Text(), "..ab....7...");
}

TEST(ScreenWrite, LongTextRunsOnAndStopsAtTheLastCell)
{
    Screen s(3, 2, '.');
    SetPosition(&s.info, 2, 1);
    WriteString(&s.info, "wxyz0123456789");
    EXPECT_EQ(s.Text(), "..wxyz");
    EXPECT_EQ(s.info.curX, 2) << "the write position does not advance";
}

TEST(ScreenFill, RectangleIsClippedToTheScreen)
{
    Screen s(3, 3, '.');
    FillArea(&s.info, 1, 1, 10, 10, '#');
    FillArea(&s.info, -2, -2, 3, 3, '*');
    EXPECT_EQ(s.Text(), "*...##.##");
}

TEST(ScreenRefresh, LastCellIsNeverPrinted)
{
    Screen s(3, 2);
    memcpy(s.cells.data(), "abcdef", 6);
    EXPECT_EQ(Printed(&s.info), "abcde");
}

TEST(ScreenRefresh, NewlineEndsItsRowAndTheStreamGoesOn)
{
    Screen s(3, 3);
    memcpy(s.cells.data(), "a\nbcdefgh", 9);
    EXPECT_EQ(Printed(&s.info), "abcdefg");
}

TEST(ScreenRefresh, RowsWiderThanTheOutputAreaAreClipped)
{
    Screen s(5000, 2, 'x');
    const std::string out = Printed(&s.info);
    EXPECT_EQ(out, std::string(4095, 'x') + std::string(4095, 'x'));
}

TEST(ScreenProvider, OwnScreenFollowsColumnsAndLines)
{
    setenv("COLUMNS", "100", 1);
    setenv("LINES", "30", 1);
    TermInfo* t = GetTermInfo(nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->columns, 100);
    EXPECT_EQ(t->rows, 30);
    EXPECT_EQ(std::string(t->cells, 3000), std::string(3000, ' '));
    setenv("COLUMNS", "nonsense", 1);
    t = GetTermInfo(nullptr);
    EXPECT_EQ(t->columns, 80);
    EXPECT_EQ(GetTermInfo(t), t);
    unsetenv("COLUMNS");
    unsetenv("LINES");
}

TEST(ScreenOverlay, EmptyTextGivesOneBlankLineInItsBox)
{
    Screen s(80, 24);
    SetOvlInfo(&s.info, 0, 0, 4, 2);
    EXPECT_EQ(Dialogue("", [&] { Overlay(&s.info, "", 0); }), "********\n*      *\n********\n");
}

TEST(ScreenOverlay, LinesBreakAtNewlinesAndWaitForEnter)
{
    Screen s(80, 24);
    SetOvlInfo(&s.info, 0, 0, 16, 3);
    const std::string out = Dialogue("\n", [&] { Overlay(&s.info, "Disk full\nRetry", 1); });
    EXPECT_EQ(out,
              "********************\n"
              "* Disk full        *\n"
              "* Retry            *\n"
              "* Press enter      *\n"
              "********************\n");
}

TEST(ScreenNumbers, PatternStaysInsideASmallScreen)
{
    Screen s(12, 2);
    NumberScreen(&s.info);
    EXPECT_EQ(s.Text(), "012345678901234567890123");
}

}  // namespace
