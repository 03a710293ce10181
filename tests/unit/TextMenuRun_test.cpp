// The run loop driven from scripted standard input: selection by number and
// letter, entries refused and accepted, sub-menus chosen by conditions, the
// apply and leave questions, settings stored and loaded, and the choice page.
#include <cstdio>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "SysCmd.h"
#include "TextMenu.h"
#include "textmenu_fixture.h"

namespace {

int applied = 0;
int refreshed = 0;
int acted = 0;
int ActionResult = 0;

void Apply(TextMenu*) { ++applied; }
void Refreshed(TextMenu*) { ++refreshed; }
int Act(TextMenu*, TextMenuItem*)
{
    ++acted;
    return ActionResult;
}

// A form: name, copies, a connection whose value picks one of two
// sub-menus, and buttons.
struct Form {
    char kinds[32] = "_local,_network, hidden,_remote";
    TextMenuItem localItems[2] = {MenuItem("Port", ITEM_INT, 1, "d(1,9)"), TextMenuItem{}};
    TextMenuItem netItems[2] = {MenuItem("Host", ITEM_STRING), TextMenuItem{}};
    TextMenu local{"Local", 0, nullptr, nullptr, 0, nullptr, nullptr, localItems, 0x0004};
    TextMenu net{"Network", 0, nullptr, nullptr, 0, nullptr, nullptr, netItems, 0x0004};
    TextMenu* subs[2] = {&local, &net};
    TextMenuItem items[8] = {MenuItem("Name", ITEM_NAME, 0, "A(1,8)"),
                             MenuItem("Copies", ITEM_INT, 1, "d(1,99)"),
                             MenuItem("Kind", ITEM_PICKONE, 0),
                             MenuItem("Details", ITEM_SUBMENU, 0, "2.0 2.1"),
                             MenuItem("", ITEM_BUTTONBAR, 2),
                             MenuItem("~g Go", ITEM_APPLY),
                             MenuItem("~k Keep", ITEM_ACTION),
                             TextMenuItem{}};
    TextMenu top{"Form", 0, "Apply the form", Apply, 0, nullptr, Refreshed, items, 0x0004};
    Form()
    {
        items[1].prompt = "Copies";
        items[2].choices = kinds;
        items[3].value = reinterpret_cast<intptr_t>(subs);
        items[5].actionFn = Act;
        items[6].actionFn = Act;
        local.parent = net.parent = &top;
        applied = refreshed = acted = 0;
        ActionResult = 0;
    }
    const char* Name() const { return reinterpret_cast<const char*>(items[0].value); }
};

class Run : public testing::Test {
protected:
    void SetUp() override
    {
        ResolveCommandsOnce();
        my_name = const_cast<char*>("formtest");
    }
    std::string Go(Form& form, const std::string& input, const char* settings = nullptr, int interactive = 1)
    {
        return Dialogue(input, [&] { RunMenu(&form.top, settings, interactive); });
    }
};

TEST_F(Run, NumbersAndOptionTextsFillEntries)
{
    Form form;
    const std::string out = Go(form, "1 lp1\n2\n7\n4\n\ny\ng\n");
    EXPECT_STREQ(form.Name(), "lp1");
    EXPECT_EQ(form.items[1].value, 7);
    EXPECT_NE(out.find("Copies: "), std::string::npos) << "an entry without option text is asked for";
    EXPECT_EQ(form.items[2].value, 0);
    EXPECT_EQ(acted, 1);
    EXPECT_EQ(applied, 0) << "the Go button ends the menu without the apply question";
}

TEST_F(Run, RefusedEntriesKeepTheValue)
{
    Form form;
    const std::string out = Go(form, "2 100\n\n1 " + std::string(300, 'x') + "\n\ng\n\n1 ok\ng\n");
    EXPECT_EQ(form.items[1].value, 1);
    EXPECT_NE(out.find("This number must be between 1 to 99."), std::string::npos);
    EXPECT_STREQ(form.Name(), "ok");
    EXPECT_NE(out.find("A required name has not been entered."), std::string::npos);
}

TEST_F(Run, LongTextIsCutToTheValueBuffer)
{
    Form form;
    form.netItems[0].rules = nullptr;
    form.items[2].defValue = 1;
    Go(form, "4 \n1 " + std::string(400, 'h') + "\n\ny\n1 n\ng\n");
    const char* host = reinterpret_cast<const char*>(form.netItems[0].value);
    EXPECT_EQ(std::string(host), std::string(255, 'h'));
}

TEST_F(Run, PickOneTakesShownChoicesAndConditionsChooseTheSubMenu)
{
    Form form;
    const std::string out = Go(form, "3 3\n3\n4\n1 5\n\ny\n1 q\ng\n");
    EXPECT_EQ(form.items[2].value, 0) << "3 names a hidden choice, so remote after it is taken; then local";
    EXPECT_EQ(form.localItems[0].value, 5) << "value 0 leads to the local sub-menu";
    EXPECT_NE(out.find("Do you want to return to Form menu? [y/n] "), std::string::npos);
}

TEST_F(Run, HiddenAndDisabledItemsCannotBeSelected)
{
    Form form;
    form.items[1].state = ITEM_STATE_DISABLED;
    form.items[6].state = ITEM_STATE_HIDDEN;
    ActionResult = 1;
    Go(form, "2 5\nk\n1 a\ng\n\nn\ny\n");
    EXPECT_EQ(form.items[1].value, 1);
    EXPECT_EQ(acted, 1) << "only Go ran, and its non-zero result kept the menu open";
}

TEST_F(Run, LeavingAsksToApplyChangedValuesThenToExit)
{
    Form form;
    const std::string out = Go(form, "1 lp\n\ny\n");
    EXPECT_EQ(applied, 1);
    EXPECT_NE(out.find("Apply the form? [y/n] "), std::string::npos);

    Form unchanged;
    const std::string quiet = Go(unchanged, "\nn\n\ny\n");
    EXPECT_EQ(applied, 0);
    EXPECT_EQ(quiet.find("Apply the form"), std::string::npos);
    EXPECT_NE(quiet.find("Do you want to exit formtest? [y/n] "), std::string::npos);
    EXPECT_EQ(refreshed, 2) << "on start and after the declined leave question";
}

TEST_F(Run, EmptyAnswerNeverLeavesWithFlagOne)
{
    Form form;
    form.top.flags |= 0x0001;
    const std::string out = Go(form, "\n\n1 a\ng\n");
    EXPECT_EQ(out.find("Do you want"), std::string::npos);
    EXPECT_EQ(acted, 1);
}

TEST_F(Run, SettingsAreStoredAndLoadedAgain)
{
    const std::string path = testing::TempDir() + "form_settings";
    std::filesystem::remove(path);
    {
        Form form;
        form.top.flags |= 0x0008;
        const std::string out = Go(form, "1 saved\n2 12\ns\n/bad name\n\ns\n" + path + "\ng\n");
        EXPECT_NE(out.find("Invalid character"), std::string::npos) << "a blank is refused";
    }
    ASSERT_TRUE(std::filesystem::exists(path));
    Form loaded;
    Go(loaded, "", path.c_str(), 0);
    EXPECT_STREQ(loaded.Name(), "saved");
    EXPECT_EQ(loaded.items[1].value, 12);
    EXPECT_EQ(applied, 1) << "a run without interaction only applies";

    Form missing;
    missing.items[6].kind = ITEM_LOADFAIL;
    Go(missing, "", (path + ".none").c_str(), 1);
    EXPECT_EQ(acted, 1) << "an unreadable settings file runs the kind-5 callback";
    std::filesystem::remove(path);
}

TEST_F(Run, EndOfInputAtTheAnswerEndsTheProgram)
{
    EXPECT_EXIT(
        {
            Form form;
            Go(form, "1 a\n");
        },
        testing::ExitedWithCode(1), "formtest: unexpected end of input");
}

// The choice page of a pick-many item.
class Choices : public Run {
protected:
    char names[16] = "_a,_b, c,_d";
    TextMenuItem items[2] = {MenuItem("Letters", ITEM_PICKMANY), TextMenuItem{}};
    TextMenu menu{"Letters", 0, nullptr, nullptr, 0, nullptr, nullptr, items, 0};
    void SetUp() override
    {
        Run::SetUp();
        items[0].choices = names;
        setenv("COLUMNS", "80", 1);
        setenv("LINES", "24", 1);
        Dialogue("", [&] { InitMenu(&menu, 0); });
    }
    void TearDown() override
    {
        unsetenv("COLUMNS");
        unsetenv("LINES");
    }
    std::string Page(const std::string& input, char* preset = nullptr)
    {
        return Dialogue(input, [&] { ProcessStateValue(&menu, 0, preset); });
    }
};

TEST_F(Choices, NumbersToggleAndHiddenOnesAreIgnored)
{
    Page("2,3 4\ns\n");
    EXPECT_EQ(items[0].value, 0b1011);
    EXPECT_EQ(items[0].prevValue, 1);
}

TEST_F(Choices, CancelRestoresTheValueOnEntry)
{
    Page("2\n4\nc\n");
    EXPECT_EQ(items[0].value, 1);
}

TEST_F(Choices, EndOfInputLeavesThePage)
{
    const std::string out = Page("\n\n");
    EXPECT_EQ(items[0].value, 1);
    EXPECT_NE(out.find("Current selection: a "), std::string::npos);
}

TEST_F(Choices, PresetTextIsTheFirstAnswer)
{
    char preset[] = "4";
    Page("s\n", preset);
    EXPECT_EQ(items[0].value, 0b1001);
    EXPECT_EQ(preset[0], '\0');
}

}  // namespace
