// A program with the menu engine but without the help viewer: the answer h
// of a menu that offers help tells that there is none, and the menu goes on.
#include <string>

#include <gtest/gtest.h>

#include "TextMenu.h"
#include "textmenu_fixture.h"

TEST(NoHelpViewer, TheAnswerHTellsThatThereIsNoHelp)
{
    ResolveCommandsOnce();
    TextMenuItem items[] = {MenuItem("~q Quit", ITEM_EXIT), TextMenuItem{}};
    TextMenu menu{"Form", 1, nullptr, nullptr, 0, nullptr, nullptr, items, 0x0002};
    char name[] = "form.html";
    pTtyHtmlName = name;
    pTtyHtmlTitle = const_cast<char*>("Form");
    const std::string out = Dialogue("h\n\nq\n", [&] { RunMenu(&menu, nullptr, 1); });
    const size_t none = out.find("There is no help in this program.");
    ASSERT_NE(none, std::string::npos) << out;
    EXPECT_NE(out.find("Press <Return> to continue", none), std::string::npos);
    EXPECT_NE(out.find("Form", none), std::string::npos) << "the menu is shown again";
}
