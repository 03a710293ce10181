// The page layout: whole pages against golden texts, titles, lists, link
// ranges, table frames and widths, and pages whose markup would write
// outside the canvas.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "html.h"
#include "html_fixture.h"

namespace {

using Layout = HtmlTest;

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

TEST_F(Layout, TitleAndParagraph)
{
    EXPECT_EQ(Body("<p>Hello</p>", "<title>Help</title>"),
              std::string(38, ' ') + "Help\n\n\n\nHello\n");
    const std::string wide(80, 'w');
    EXPECT_EQ(Body("", "<title>" + wide + "</title>"), wide + "\n\n") << "a wide title is not indented";
}

TEST_F(Layout, BreaksHeadingsAndLists)
{
    EXPECT_EQ(Body("<h1>Top</h1>a<br>b<div>c</div>"
                   "<ol><li>one<li>two</li></ol><ul><li>x<li>y</ul>."),
              Lines({"", "Top", "", "a", "b", "c", "", "", "   1. one", "   2. two", "xy."}));
}

TEST_F(Layout, TheLastLineWithoutABreakIsKept)
{
    EXPECT_EQ(Body("<p>one</p>two"), Lines({"", "", "one", "two"}));
    EXPECT_EQ(Body("<p>one</p>"), Lines({"", "", "one"}));
}

TEST_F(Layout, LinksShowInAngleBracketsWithTheirRange)
{
    HtmlFile* file = Parse("links", "<html><body><p>See <a href=\"next\">More</a> and <a name=here>here</a>"
                                    "<br><a href=\"#x\"><b>two</b>&nbsp;words</a></p></body></html>");
    ASSERT_NE(file, nullptr);
    HtmlPage* page = Pages(file)[0];
    EXPECT_EQ(std::string(page->pImage), Lines({"", "", "See <More>and here", "<two\xA0words>"}));
    std::vector<HtmlLink*> links = Links(page);
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(LinkText(page, links[0]), "<More>");
    EXPECT_EQ(links[0]->Length, 6);
    EXPECT_EQ(LinkText(page, links[1]), "here") << "named anchors are kept, without brackets";
    EXPECT_EQ(LinkText(page, links[2]), "<two\xA0words>");
}

TEST_F(Layout, BorderedTableFromItsContents)
{
    EXPECT_EQ(Body("<table border><tr><td>a</td><td>bc</td></tr></table>"),
              Lines({",-+--,", "|a|bc|", "'-+--'"}));
    // Without border the contents stay where they are, surrounded by blanks.
    EXPECT_EQ(Body("<table><tr><td>a</td><td>bc</td></tr></table>"), Lines({"      ", " a bc ", "      "}));
}

TEST_F(Layout, PercentWidthOfACell)
{
    HtmlFile* file = Parse("percent", "<html><body><table border=0 width=280><tr><td width=\"50%\">a</td>"
                                      "<td>b</td></tr></table></body></html>");
    ASSERT_NE(file, nullptr);
    auto* element = static_cast<HtmlElement*>(Pages(file)[0]->Body.pFirst->pItem);
    ASSERT_STREQ(element->pTag, "fitab");
    auto* table = static_cast<HtmlTable*>(element->pText);
    EXPECT_EQ(table->Width, 40 - 0);
    ASSERT_EQ(table->Cols, 2);
    EXPECT_EQ(table->pColWidths[0], 40 * 50 / 100 - 0 - 1);
    EXPECT_EQ(table->pColWidths[1], 1);
    EXPECT_EQ(table->flBorder, 1) << "a border attribute of 0 counts";
}

}  // namespace
