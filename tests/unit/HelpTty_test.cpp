// Help navigation and the help menu: targets and anchors, Back and
// Contents, the history's limit under link loops within and between files,
// following the link at a character position, the menu built for a page,
// files that fail to open, and the answer h of a menu that offers help.
#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "../../common/help/HelpImpl.h"
#include "HelpTty.h"
#include "scratch_dir.h"
#include "textmenu_fixture.h"

namespace {

// Two pages: the first links to an anchor of the second and to the second
// itself, the second links back.
constexpr char TwoPages[] =
    "<html page=\"one\"><head><title>One</title></head><body>\n"
    "<p>First page.</p><a href=\"#sec\">To the section</a><br><a href=\"#two\">Page two</a><br>\n"
    "<a name=\"spot\">Named spot</a><br>\n"
    "</body></html>\n"
    "<html page=\"two\"><head><title>Two</title></head><body>\n"
    "<p>Second page.</p><p><a name=\"sec\"></a>The section.</p><a href=\"#one\">Back to one</a><br>\n"
    "</body></html>\n";

class Help : public testing::Test {
protected:
    void SetUp() override
    {
        ResolveCommandsOnce();
        UseShippedCatalogue();
        my_name = const_cast<char*>("helptest");
        flBuildingFile = 0;
        ForgetHtmlFiles();
    }

    std::string Write(const std::string& name, const std::string& html)
    {
        const std::string path = dir.Path() + "/" + name;
        std::ofstream(path, std::ios::binary) << html;
        return path;
    }
    // Opens the file as the help menu does; the reader may cut the name it
    // is given, so it gets a copy.
    void Open(const std::string& path)
    {
        std::string name = path;
        ASSERT_EQ(HtmlHelp(name.data(), nullptr), 1);
    }
    static HtmlLink* Link(const HtmlPage* page, const char* target)
    {
        for (const ListLink* entry = page->Links.pFirst; entry; entry = entry->pNext) {
            HtmlLink* link = *static_cast<HtmlLink* const*>(entry->pItem);
            if (link->pTarget && !strcmp(link->pTarget, target))
                return link;
        }
        ADD_FAILURE() << "no link to " << target;
        static HtmlLink none{};
        return &none;
    }
    static HtmlLink* Link(const char* target) { return Link(pCurrentPage, target); }
    static const char* Shown() { return pCurrentPage ? pCurrentPage->pPageName : "(none)"; }
    static HtmlPage* Page(int file, int n)
    {
        return static_cast<HtmlPage*>(ListFindItemN(&aFile[file]->Pages, n));
    }

    ScratchDir dir{"helptty"};
};

TEST_F(Help, LinksReachAnchorsAndPagesAndBackRetracesThem)
{
    Open(Write("two.html", TwoPages));
    const int file = CurrentFile;
    HtmlPage* one = pCurrentPage;
    ASSERT_STREQ(Shown(), "one");

    EXPECT_EQ(HtmlSetHistory(-1), 0) << "Back right after opening does nothing";
    EXPECT_EQ(HtmlSetHistory(0), 0) << "and so does Contents";
    EXPECT_EQ(pCurrentPage, one);

    ProcessLink(Link("#sec"));
    ASSERT_STREQ(Shown(), "two");
    EXPECT_EQ(TargetPos, Link("sec")->Start) << "the anchor's offset is brought into view";
    EXPECT_EQ(HistoryI, 1);
    EXPECT_EQ(History[0].Page, one);
    EXPECT_EQ(History[0].File, file);

    // A target found nowhere changes nothing.
    HtmlLink nowhere{const_cast<char*>("#nowhere"), 0, 0, 0, 2};
    ProcessLink(&nowhere);
    EXPECT_STREQ(Shown(), "two");
    EXPECT_EQ(HistoryI, 1);

    // The file's own name before the "#" is a jump within the file.
    char own[] = "two.html#one";
    HtmlLink self{own, 0, 0, 0, 2};
    ProcessLink(&self);
    EXPECT_STREQ(Shown(), "one");
    EXPECT_EQ(HistoryI, 2);
    EXPECT_STREQ(self.pTarget, "two.html#one");

    ProcessLink(Link("#two"));
    EXPECT_STREQ(Shown(), "two");
    EXPECT_EQ(HistoryI, 3);

    EXPECT_EQ(HtmlSetHistory(-1), 1);
    EXPECT_STREQ(Shown(), "one");
    EXPECT_EQ(HtmlSetHistory(-1), 1);
    EXPECT_STREQ(Shown(), "two");
    EXPECT_EQ(HtmlSetHistory(-1), 1);
    EXPECT_EQ(pCurrentPage, one);
    EXPECT_EQ(HistoryI, 0);

    ProcessLink(Link("#two"));
    EXPECT_EQ(HtmlSetHistory(0), 1) << "Contents with a history";
    EXPECT_EQ(HistoryI, 0);
    EXPECT_EQ(CurrentFile, 0);
    EXPECT_EQ(pCurrentPage, Page(0, 1)) << "the first page of the first registered file";
}

TEST_F(Help, ALinkLoopKeepsTheHistoryToItsHundredEntries)
{
    Open(Write("loop.html", TwoPages));
    HtmlPage* one = pCurrentPage;
    for (int jump = 0; jump < 150; ++jump)
        ProcessLink(Link(jump % 2 ? "#one" : "#two"));
    EXPECT_EQ(HistoryI, 100);
    EXPECT_EQ(pCurrentPage, one) << "jumps with a full history still move";
    int backs = 0;
    while (HtmlSetHistory(-1))
        ++backs;
    EXPECT_EQ(backs, 100);
    EXPECT_EQ(pCurrentPage, one) << "Back reaches the first recorded position";
}

TEST_F(Help, LinksBetweenFilesOpenTheFileBesideTheLinkingOne)
{
    Write("b.html",
          "<html page=\"b\"><body><a href=\"a.html#aa\">To a</a><br>"
          "<a name=\"bb\"></a>Anchor bb.<br></body></html>");
    const std::string a = Write("a.html",
                                "<html page=\"a\"><body><a href=\"b.html\">To b</a><br>"
                                "<a href=\"#aa\">Here</a><br><a href=\"b.html#bb\">To bb</a><br>"
                                "<a name=\"aa\"></a>Anchor aa.<br></body></html>");
    Open(a);
    const int fileA = CurrentFile;
    HtmlPage* pageA = pCurrentPage;
    ProcessLink(Link("#aa"));
    ASSERT_EQ(HistoryI, 1);

    // Another file without a target: its first page, no history entry; the
    // relative name is found beside a.html, wherever the program runs.
    ProcessLink(Link("b.html"));
    ASSERT_NE(CurrentFile, fileA);
    EXPECT_STREQ(Shown(), "b");
    EXPECT_STREQ(aFile[CurrentFile]->pFileName, (dir.Path() + "/b.html").c_str());
    EXPECT_EQ(HistoryI, 1);
    EXPECT_EQ(HtmlSetHistory(-1), 1);
    EXPECT_EQ(CurrentFile, fileA);
    EXPECT_EQ(pCurrentPage, pageA);

    // Links back and forth between the files never grow the history past
    // its limit, and the link keeps its whole target for the next time.
    HtmlLink* toBB = Link("b.html#bb");
    for (int jump = 0; jump < 150; ++jump) {
        ProcessLink(Link(CurrentFile == fileA ? "b.html#bb" : "a.html#aa"));
        ASSERT_LE(HistoryI, 100);
    }
    EXPECT_STREQ(toBB->pTarget, "b.html#bb");
    EXPECT_EQ(CurrentFile, fileA);
}

TEST_F(Help, PointingFollowsTheLinkFromItsFirstCharacterUpToItsEnd)
{
    Open(Write("point.html", TwoPages));
    HtmlPage* one = pCurrentPage;
    HtmlLink* link = Link("#two");
    ASSERT_EQ(pCurrentPage->pImage[link->Start], '<');
    ASSERT_EQ(pCurrentPage->pImage[link->End - 1], '>');

    HtmlProcessLink(link->End);
    EXPECT_EQ(pCurrentPage, one) << "the end is outside the link";
    HtmlLink* spot = Link("spot");
    HtmlProcessLink(spot->Start);
    EXPECT_EQ(pCurrentPage, one) << "a named anchor is no link";
    flBuildingFile = 1;
    HtmlProcessLink(link->Start);
    EXPECT_EQ(pCurrentPage, one) << "nothing while a file is being built";
    flBuildingFile = 0;

    HtmlProcessLink(link->End - 1);
    EXPECT_STREQ(Shown(), "two");
    EXPECT_EQ(History[HistoryI - 1].Page, one);
    HtmlSetHistory(-1);
    HtmlProcessLink(link->Start);
    EXPECT_STREQ(Shown(), "two");
    EXPECT_EQ(flBuildingFile, 0);
}

TEST_F(Help, APageWithLinksAAndBGivesTwoNumberedItemsAndTheButtons)
{
    Open(Write("ab.html",
               "<html><head><title>Links</title></head><body>"
               "<a name=\"contents\">Top</a> See <a href=\"#x\">A</a> and <a href=\"other.html\">B</a>.<br>"
               "<a name=\"spot\">A named spot</a> is no item.<br>"
               "</body></html>"));
    HtmlPage* page = pCurrentPage;
    TtyHelpBuildMenuItems();
    EXPECT_STREQ(page->pPageName, "contents") << "an unnamed page is the contents";
    EXPECT_EQ(HelpMenu.items, HelpMenuItems);
    EXPECT_STREQ(HelpMenu.title, "Tarvo Online Help");
    EXPECT_EQ(HelpMenu.titleStyle, 1);
    EXPECT_EQ(HelpMenu.flags, 0x01C1);
    ASSERT_GE(HelpMenuItemCnt, page->Links.Count + 7);

    // Each item as label, kind, key, callback, value and link.
    struct Expected {
        const char* label;
        int kind, key;
        MenuItemFn action;
        intptr_t value;
        void* link;
    };
    const Expected expected[] = {
        {page->pImage, ITEM_TEXT, 0, nullptr, 0, nullptr},
        {"A", ITEM_ACTION, 1, TtyHelpGotoLink, 0, Link(page, "#x")},
        {"B", ITEM_ACTION, 2, TtyHelpGotoLink, 0, Link(page, "other.html")},
        {"", ITEM_BUTTONBAR, 0, nullptr, 1, nullptr},
        {"", ITEM_BUTTONBAR, 0, nullptr, 3, nullptr},
        {"~e Exit Help", ITEM_EXIT, 'e', nullptr, 0, nullptr},
        {"~c Contents", ITEM_ACTION, 'c', TtyHelpContents, 0, nullptr},
        {"~b Back", ITEM_ACTION, 'b', TtyHelpBack, 0, nullptr},
    };
    for (int i = 0; i < 8; ++i) {
        const TextMenuItem& item = HelpMenuItems[i];
        SCOPED_TRACE(i);
        EXPECT_STREQ(item.label, expected[i].label);
        EXPECT_EQ(item.kind, expected[i].kind);
        EXPECT_EQ(item.state, ITEM_STATE_NORMAL);
        EXPECT_EQ(item.key, expected[i].key);
        EXPECT_EQ(item.actionFn, expected[i].action);
        EXPECT_EQ(item.value, expected[i].value);
        EXPECT_EQ(item.userData, expected[i].link);
    }
    EXPECT_EQ(HelpMenuItems[0].label, page->pImage);
    EXPECT_EQ(HelpMenuItems[8].label, nullptr);

    // A page with more links than the table holds grows it.
    std::string many = "<html page=\"many\"><body>";
    for (int i = 1; i <= 40; ++i)
        many += "<a href=\"#l" + std::to_string(i) + "\">Link " + std::to_string(i) + "</a><br>";
    Open(Write("many.html", many + "</body></html>"));
    TtyHelpBuildMenuItems();
    EXPECT_GE(HelpMenuItemCnt, 47);
    EXPECT_STREQ(HelpMenuItems[40].label, "Link 40");
    EXPECT_EQ(HelpMenuItems[40].key, 40);
    EXPECT_STREQ(HelpMenuItems[43].label, "~e Exit Help");
    EXPECT_EQ(HelpMenuItems[46].label, nullptr);
}

TEST_F(Help, FilesThatCannotBeReadAreToldAndChangeNothing)
{
    std::string missing = dir.Path() + "/missing.html";
    std::string out = Dialogue("", [&] { EXPECT_EQ(HtmlHelp(missing.data(), nullptr), 0); });
    EXPECT_EQ(out, "Error in reading HTML file " + missing + "\n");
    char text[] = "no markup at all";
    std::string name = dir.Path() + "/buffer.html";
    out = Dialogue("", [&] { EXPECT_EQ(HtmlHelp(name.data(), text), 0); });
    EXPECT_EQ(out, "Error reading HTML buffer\n");
    EXPECT_EQ(HtmlHelp(nullptr, nullptr), 0);
    out = Dialogue("\n", [&] { TtyHtmlHelp(missing.data(), nullptr, "Form"); });
    EXPECT_EQ(out, "Error in reading HTML file " + missing + "\n\nPress <Return> to continue ")
        << "no menu, and the message waits for the user";

    Open(Write("links.html",
               "<html page=\"links\"><body><a href=\"gone.html#part\">Gone</a><br>"
               "<a href=\"http://example.com/x.html\">Web</a><br></body></html>"));
    HtmlPage* page = pCurrentPage;
    const int file = CurrentFile;
    out = Dialogue("", [&] { ProcessLink(Link("gone.html#part")); });
    EXPECT_EQ(out, "Error in reading file gone.html\n");
    out = Dialogue("", [&] { ProcessLink(Link("http://example.com/x.html")); });
    EXPECT_EQ(out, "Error in reading file http://example.com/x.html\n");
    EXPECT_EQ(pCurrentPage, page);
    EXPECT_EQ(CurrentFile, file);
    EXPECT_EQ(HistoryI, 0);
}

// The answer h of a menu that offers help runs the help menu over the
// menu's page; Exit Help returns to the menu.
TEST_F(Help, TheAnswerHOpensTheHelpMenuAndExitHelpReturns)
{
    std::string path = Write("menu.html", TwoPages);
    TextMenuItem items[] = {MenuItem("~q Quit", ITEM_EXIT), TextMenuItem{}};
    TextMenu menu{"Form", 1, nullptr, nullptr, 0, nullptr, nullptr, items, 0x0002};
    pTtyHtmlName = path.data();
    pTtyHtmlTitle = const_cast<char*>("Form");
    const std::string out = Dialogue("h\n2\n\nb\nc\ne\nq\n", [&] { RunMenu(&menu, nullptr, 1); });
    pTtyHtmlName = pTtyHtmlTitle = nullptr;

    const size_t help = out.find("Tarvo Online Help");
    ASSERT_NE(help, std::string::npos) << out;
    EXPECT_LT(out.find(" or h for help"), help) << "the menu offers help";
    const size_t first = out.find("First page.", help);
    const size_t links = out.find(" 1) To the section \n 2) Page two \n\n", first);
    const size_t second = out.find("Second page.", links);
    const size_t again = out.find("Second page.", second + 1);
    const size_t back = out.find("First page.", again);
    const size_t form = out.find("Form", back);
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(links, std::string::npos) << out;
    EXPECT_NE(second, std::string::npos) << "item 2 follows its link";
    EXPECT_NE(again, std::string::npos) << "Return alone shows the page again";
    EXPECT_NE(back, std::string::npos) << "Back returns to the first page";
    EXPECT_NE(form, std::string::npos) << "Exit Help returns to the menu";
    EXPECT_NE(out.find(" e) Exit Help"), std::string::npos);
    EXPECT_NE(out.find(" c) Contents"), std::string::npos);
    EXPECT_NE(out.find(" b) Back"), std::string::npos);
    EXPECT_EQ(out.find("There is no help"), std::string::npos);
}

}  // namespace
