#include "TextMenu.h"
#include "utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace {

TextMenuItem Item(int kind, intptr_t value = 0, const char* rules = nullptr)
{
    TextMenuItem item = MenuItem("item", kind, 0, rules);
    item.value = value;
    return item;
}

// Six integer items after the pick item 0 that owns the rules.
struct Rules : testing::Test {
    std::array<TextMenuItem, 8> items{Item(ITEM_PICKONE), Item(ITEM_INT), Item(ITEM_INT), Item(ITEM_INT),
                                      Item(ITEM_INT),     Item(ITEM_INT), Item(ITEM_INT), TextMenuItem{}};
    TextMenu menu{"Rules", 0, nullptr, nullptr, 0, nullptr, nullptr, items.data(), 0};

    void Run(const char* rules, int value)
    {
        items[0].rules = rules;
        items[0].value = value;
        ProcessStateFormat(&menu, 0);
    }
    std::array<int, 7> States() const
    {
        std::array<int, 7> states{};
        for (int i = 0; i < 7; ++i)
            states[i] = items[i].state;
        return states;
    }
};

std::string calls;
int Called(TextMenu*, TextMenuItem* item)
{
    calls += std::to_string(item->value) + ";";
    return 1;
}

TEST_F(Rules, DisableAndHide)
{
    Run("N1{3,4} H0{5}", 1);
    EXPECT_EQ(States(), (std::array<int, 7>{0, 0, 0, 1, 1, 0, 0}));
    Run("N1{3,4} H0{5}", 0);
    EXPECT_EQ(States(), (std::array<int, 7>{0, 0, 0, 0, 0, 2, 0}));
    Run("H*{6}", 12);
    EXPECT_EQ(items[6].state, ITEM_STATE_HIDDEN);
    Run("N2/4{1}", 4);
    EXPECT_EQ(items[1].state, ITEM_STATE_DISABLED);
    // An item that is not normal runs no rules.
    items[0].state = ITEM_STATE_DISABLED;
    Run("N*{2}", 0);
    EXPECT_EQ(items[2].state, ITEM_STATE_NORMAL);
}

TEST_F(Rules, SavedValues)
{
    items[2].value = 3;
    Run("S1{2.7}", 1);
    EXPECT_EQ(items[2].value, 7);
    EXPECT_EQ(items[2].savedValue, 3);
    Run("S1{2.7}", 0);
    EXPECT_EQ(items[2].value, 3);
    EXPECT_EQ(items[2].savedValue, -1);
    items[2].value = 5;
    Run("S1{2.7}", 2);
    EXPECT_EQ(items[2].value, 5);
    // A table that starts savedValue at 0 gets the value 0.
    items[3].value = 4;
    items[3].savedValue = 0;
    Run("S1{3.9}", 0);
    EXPECT_EQ(items[3].value, 0);
    // A text entry's value is its buffer, which no rule overwrites.
    char buffer[8] = "keep";
    items[4].kind = ITEM_NAME;
    items[4].value = reinterpret_cast<intptr_t>(buffer);
    Run("S1{4.9}", 1);
    EXPECT_EQ(items[4].value, reinterpret_cast<intptr_t>(buffer));
}

TEST_F(Rules, NestedRunsKeepTheOuterPosition)
{
    calls.clear();
    items[2].rules = "N*{5}";
    items[2].value = 8;
    items[2].actionFn = Called;
    Run("P1{2} H1{6}", 1);
    EXPECT_EQ(items[5].state, ITEM_STATE_DISABLED);
    EXPECT_EQ(items[6].state, ITEM_STATE_HIDDEN);
    EXPECT_EQ(calls, "8;");
    // A chain back to its own item ends after a few rounds.
    calls.clear();
    items[0].actionFn = Called;
    items[2].rules = "P*{0}";
    Run("P1{2}", 1);
    const auto rounds = std::count(calls.begin(), calls.end(), ';');
    EXPECT_GT(rounds, 2);
    EXPECT_LT(rounds, 100);
    // So does one that fans out to many targets at every step.
    calls.clear();
    items[2].rules = "P*{2,2,2,2,2,2}";
    Run("P1{2}", 1);
    EXPECT_LT(std::count(calls.begin(), calls.end(), ';'), 1000);
}

TEST_F(Rules, IllFormedRulesStayInTheTable)
{
    Run("N1{-1,7,99999999999} H1{3", 1);
    EXPECT_EQ(States(), (std::array<int, 7>{0, 0, 0, 2, 0, 0, 0}));
    Run("S1{2} X1{1} {,.}", 1);
    EXPECT_EQ(items[2].value, 0);
    EXPECT_EQ(items[1].state, ITEM_STATE_NORMAL);
}

TEST(Selectors, Matching)
{
    EXPECT_EQ(TestFormatState("1", 1), 1);
    EXPECT_EQ(TestFormatState("1/3", 3), 1);
    EXPECT_EQ(TestFormatState("1/3", 2), 0);
    EXPECT_EQ(TestFormatState("*", -7), 1);
    EXPECT_EQ(TestFormatState("2/*", 9), 1);
    EXPECT_EQ(TestFormatState("", 0), 0);
    EXPECT_EQ(TestFormatState("12", 1), 0);
}

TEST_F(Rules, Conditions)
{
    items[3].value = 1;
    items[4].value = 2;
    items[5].value = 0;
    EXPECT_EQ(TestState(&menu, "3.1", 0), 1);
    EXPECT_EQ(TestState(&menu, "+1.2", 3), 1);
    EXPECT_EQ(TestState(&menu, "-2.1", 5), 1);
    EXPECT_EQ(TestStateCondition(&menu, "3.1", 0), 1);
    EXPECT_EQ(TestStateCondition(&menu, "!3.1", 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, "3.1A", 0), 0);
    items[3].state = ITEM_STATE_HIDDEN;
    EXPECT_EQ(TestState(&menu, "3.1", 0), 2);
    EXPECT_EQ(TestStateCondition(&menu, "3.1A", 0), 1);
    EXPECT_EQ(TestStateCondition(&menu, "3.0&4.2", 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, "3.0|4.2", 0), 1);
    EXPECT_EQ(TestStateCondition(&menu, "(3.0|4.2)&!5.0", 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, "(3.0|4.2)&!5.1", 0), 1);
    // Left to right, with no precedence: (1 | 0) & 0.
    EXPECT_EQ(TestStateCondition(&menu, "3.1|4.0&5.1", 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, "", 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, "))3.1)", 0), 1);
    EXPECT_EQ(TestStateCondition(&menu, "((3.1", 0), 1);
    EXPECT_EQ(TestStateCondition(&menu, "3.1&", 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, "!()|!", 0), 1);
    EXPECT_EQ(TestStateCondition(&menu, "9.0|-1.0|+99.0", 0), 0);
    const std::string longTerm = "3.1" + std::string(200, '0');
    EXPECT_EQ(TestStateCondition(&menu, longTerm.c_str(), 0), 0);
    const std::string deep = std::string(5000, '(') + "3.1" + std::string(5000, ')');
    EXPECT_EQ(TestStateCondition(&menu, deep.c_str(), 0), 0);
    EXPECT_EQ(TestStateCondition(&menu, ("!" + std::string(5001, '!') + "3.1").c_str(), 0), 1);
}

TEST(ChoiceMarks, HidingMovesThePickOneValue)
{
    char choices[] = "_a,_b,_c";
    TextMenuItem item = Item(ITEM_PICKONE, 1);
    item.choices = choices;
    item.choiceCount = 3;
    HideStateSelection(&item, 1);
    EXPECT_STREQ(choices, "_a, b,_c");
    EXPECT_EQ(item.value, 2);
    EXPECT_EQ(item.prevValue, 1);
    EXPECT_STREQ(item.choiceName, "_c");
    HideStateSelection(&item, 2);
    EXPECT_EQ(item.value, 0);
    HideStateSelection(&item, 0);
    EXPECT_STREQ(choices, " a, b, c");
    EXPECT_EQ(item.value, 0);  // every choice hidden: once round the list
    HideStateSelection(&item, 3);
    HideStateSelection(&item, -1);
    ShowStateSelection(&item, 5);
    EXPECT_STREQ(choices, " a, b, c");
    ShowStateSelection(&item, 1);
    EXPECT_STREQ(choices, " a,_b, c");

    char many[] = "_x,_y";
    TextMenuItem pickMany = Item(ITEM_PICKMANY, 0);
    pickMany.choices = many;
    pickMany.choiceCount = 2;
    HideStateSelection(&pickMany, 0);
    EXPECT_EQ(pickMany.value, 0);
    EXPECT_STREQ(pickMany.choiceName, " x");
}

}  // namespace
