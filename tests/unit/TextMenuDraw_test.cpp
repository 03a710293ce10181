// Drawing: whole menu pages and choice pages compared with golden texts in
// tests/data, and the value columns and hints that depend on the menu.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "SysCmd.h"
#include "TextMenu.h"
#include "textmenu_fixture.h"

namespace {

std::string Golden(const std::string& name)
{
    std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Draw : public testing::Test {
protected:
    void SetUp() override
    {
        ResolveCommandsOnce();
        UseShippedCatalogue();
    }
    std::string Page(TextMenu* menu)
    {
        return Dialogue("", [&] {
            const int longest = InitMenu(menu, 0);
            PrintMenu(menu, longest, static_cast<int>(strlen(menu->title)));
        });
    }
};

TEST_F(Draw, MenuPageWithEveryKindOfLine)
{
    char colours[] = "_red,_green, blue";
    char options[] = "_a,_b,_c";
    TextMenu sub{"Details", 0, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0};
    TextMenuItem items[] = {MenuItem("Queue", ITEM_NAME, reinterpret_cast<intptr_t>("q1")),
                            MenuItem("Colour", ITEM_PICKONE, 1),
                            MenuItem("Options", ITEM_PICKMANY, 0),
                            MenuItem("Copies", ITEM_INT, 2),
                            MenuItem("Scale", ITEM_FLOAT, MenuFloatBits(1.5f)),
                            MenuItem("Off", ITEM_INT, 4),
                            MenuItem("Gone", ITEM_INT),
                            MenuItem("sub", ITEM_SUBMENU),
                            MenuItem("", ITEM_BUTTONBAR, 3),
                            MenuItem("~a Apply", ITEM_APPLY),
                            MenuItem("~q Quit", ITEM_EXIT),
                            TextMenuItem{}};
    items[1].choices = colours;
    items[2].choices = options;
    items[5].state = ITEM_STATE_DISABLED;
    items[6].state = ITEM_STATE_HIDDEN;
    TextMenuItem subItems[] = {TextMenuItem{}};
    sub.items = subItems;
    items[7].value = reinterpret_cast<intptr_t>(&sub);
    TextMenu menu{"Queue set-up", 1, nullptr, nullptr, 0, nullptr, nullptr, items, 0x0008 | 0x0002};
    const std::string page = Page(&menu);
    EXPECT_EQ(page, Golden("menu_page.txt"));
    FreeMenu(&menu);
}

TEST_F(Draw, ValuesOfPickItems)
{
    char colours[] = "_red, green";
    char options[] = "_a,_b,_c";
    TextMenuItem items[] = {MenuItem("Colour", ITEM_PICKONE, 1), MenuItem("Options", ITEM_PICKMANY), TextMenuItem{}};
    items[0].choices = colours;
    items[1].choices = options;
    TextMenu menu{"T", 0, nullptr, nullptr, 0, nullptr, nullptr, items, 0x0001 | 0x0100};
    std::string page = Page(&menu);
    EXPECT_NE(page.find(" 1) Colour . [1. red]\n"), std::string::npos) << "preparing moves off a hidden choice";
    EXPECT_NE(page.find(" 2) Options  [1 (default)]\n"), std::string::npos);
    EXPECT_NE(page.find("Enter a selection: "), std::string::npos) << "flag 0x0001 alone gives no hints";
    items[0].value = 1;
    items[1].value = 5;
    page = Dialogue("", [&] { PrintMenu(&menu, 7, 1); });
    EXPECT_NE(page.find(" 1) Colour . [ ]\n"), std::string::npos) << "a hidden current choice shows no name";
    EXPECT_NE(page.find(" 2) Options  [1,3]\n"), std::string::npos);
    items[1].value = 0;
    page = Dialogue("", [&] { PrintMenu(&menu, 7, 1); });
    EXPECT_NE(page.find(" 2) Options  []\n"), std::string::npos);
}

TEST_F(Draw, ButtonRowsBreakWhenALabelDoesNotFitItsCell)
{
    TextMenuItem items[] = {MenuItem("", ITEM_BUTTONBAR, 4), MenuItem("~a Apply", ITEM_APPLY),
                            MenuItem("A label far too long for a cell", ITEM_ACTION), MenuItem("Next", ITEM_ACTION),
                            MenuItem("", ITEM_BUTTONBAR, 0), MenuItem("Last", ITEM_ACTION), TextMenuItem{}};
    TextMenu menu{"Bars", 0, nullptr, nullptr, 0, nullptr, nullptr, items, 0x0001};
    items[0].value = 4;
    const std::string page = Page(&menu);
    EXPECT_NE(page.find("\f\nBars:\n\n a) Apply          \n 1) A label far to \n 2) Next           \n"
                        " 3) Last                 \n"),
              std::string::npos)
        << page;
}

class ChoicePage : public Draw {
protected:
    std::string Show(TextMenuItem* item, int columns, int rows, unsigned* hidden, int first = 0,
                     int* shown = nullptr)
    {
        setenv("COLUMNS", std::to_string(columns).c_str(), 1);
        setenv("LINES", std::to_string(rows).c_str(), 1);
        std::string out = Dialogue("\n", [&] {
            const int count = PrintPickOneManyScreen(item, hidden, first);
            if (shown)
                *shown = count;
        });
        unsetenv("COLUMNS");
        unsetenv("LINES");
        return out;
    }
    // The printed page cut into its rows.
    static std::string Rows(const std::string& page, int columns)
    {
        std::string rows;
        for (size_t i = 0; i < page.size(); i += static_cast<size_t>(columns))
            rows += page.substr(i, static_cast<size_t>(columns)) + "|\n";
        return rows;
    }
};

// A pick-one item of thirty queues, queue1 to queue30; the choice numbered
// hiddenAt (none when 0) is hidden.
class QueueList : public ChoicePage {
protected:
    TextMenuItem Queues(intptr_t value, int hiddenAt = 0)
    {
        std::string names;
        for (int i = 1; i <= 30; ++i)
            names += std::string(names.empty() ? "" : ",") + (i == hiddenAt ? " " : "_") + "queue" +
                     std::to_string(i);
        choices.assign(names.begin(), names.end());
        choices.push_back('\0');
        TextMenuItem item = MenuItem("Printer queue", ITEM_PICKONE, 2);
        item.choices = choices.data();
        item.choiceCount = 30;
        item.labelLen = 13;
        item.value = value;
        return item;
    }
    std::vector<char> choices;
};

TEST_F(QueueList, ThirtyNamesOnEightyByTwentyFour)
{
    TextMenuItem item = Queues(2, 4);
    unsigned hidden = 0;
    int shown = -2;
    const std::string page = Show(&item, 80, 24, &hidden, 0, &shown);
    EXPECT_EQ(shown, 30);
    EXPECT_EQ(hidden, 1u << 3);
    EXPECT_EQ(Rows(page, 80), Golden("choice_page_80x24.txt"));
}

// A list longer than a page goes on, page after page, where the last page
// stopped, its choices numbered on: every choice is on exactly one page,
// the chosen one marked where it is, and each page keeps its frame.
TEST_F(QueueList, PagesFollowOneAnotherThroughTheWholeList)
{
    TextMenuItem item = Queues(24);
    std::vector<int> pageOf(31, -1);
    int first = 0;
    for (int page = 0; page < 30 && first < 30; ++page) {
        unsigned hidden = 0;
        int shown = -1;
        const std::string out = Show(&item, 40, 12, &hidden, first, &shown);
        ASSERT_GE(shown, 0) << out;
        EXPECT_NE(out.find("Current selection: queue25"), std::string::npos) << out;
        for (int i = 1; i <= 30; ++i)
            if (out.find(std::to_string(i) + ") queue" + std::to_string(i) + " ") != std::string::npos) {
                EXPECT_EQ(pageOf[i], -1) << "queue" << i << " on two pages";
                pageOf[i] = page;
            }
        if (pageOf[25] == page) {
            EXPECT_NE(out.find(" -> 25) queue25"), std::string::npos) << out;
        }
        if (shown == 0)  // the last page: the next one is the first again
            break;
        first += shown;
    }
    for (int i = 1; i <= 30; ++i) {
        ASSERT_NE(pageOf[i], -1) << "queue" << i << " on no page";
        if (i > 1) {
            EXPECT_GE(pageOf[i], pageOf[i - 1]) << "queue" << i;
        }
    }
    EXPECT_GT(pageOf[30], 0) << "the list must need more than one page";
}

TEST_F(ChoicePage, FirstColumnWiderThanTheScreenIsCut)
{
    char choices[] = "_a very long printer name that is wider than the screen allows,_b";
    TextMenuItem item = MenuItem("Wide", ITEM_PICKMANY, 1);
    item.choices = choices;
    item.choiceCount = 2;
    item.labelLen = 4;
    item.value = 2;
    unsigned hidden = 0;
    const std::string page = Show(&item, 60, 10, &hidden);
    EXPECT_EQ(Rows(page, 60), Golden("choice_page_cut.txt"));
}

TEST_F(ChoicePage, TooSmallTerminalIsTold)
{
    char choices[] = "_a,_b";
    TextMenuItem item = MenuItem("Tiny", ITEM_PICKONE);
    item.choices = choices;
    item.choiceCount = 2;
    unsigned hidden = 0;
    int shown = 0;
    const std::string out = Show(&item, 15, 6, &hidden, 0, &shown);
    EXPECT_EQ(shown, -1);
    EXPECT_EQ(out,
              "\nThe terminal is too small to show this list.\nIt has 15 columns and 6 lines;\n"
              "at least 20 columns and 7 lines are needed. Press <Return> to continue.\n");
}

TEST_F(ChoicePage, ChoicesPastTheThirtySecondHaveNoNumberForPickMany)
{
    std::string names;
    for (int i = 1; i <= 40; ++i)
        names += std::string(names.empty() ? "" : ",") + (i == 36 ? " n" : "_n") + std::to_string(i);
    std::vector<char> choices(names.begin(), names.end());
    choices.push_back('\0');
    TextMenuItem item = MenuItem("Many", ITEM_PICKMANY, 1);
    item.choices = choices.data();
    item.choiceCount = 40;
    item.labelLen = 4;
    item.value = static_cast<intptr_t>(0x80000001u);
    unsigned hidden = 0;
    const std::string page = Show(&item, 120, 30, &hidden);
    EXPECT_NE(page.find("32) n32"), std::string::npos);
    EXPECT_EQ(page.find("33) "), std::string::npos);
    EXPECT_NE(page.find("n33"), std::string::npos);
    EXPECT_EQ(hidden, 0u) << "choice 36 is hidden but has no bit";
    EXPECT_NE(page.find("Current selection: n1 n32 "), std::string::npos);
}

}  // namespace
