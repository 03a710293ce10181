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

TEST_F(Layout, WholePagesAgainstGoldenTexts)
{
    HtmlFile* file = ParseData("help_layout.html");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Dump(file), Golden("help_layout.txt"));
    file = ParseData("help_tables.html");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Dump(file), Golden("help_tables.txt"));
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
              Lines({"", "Top", "", "a", "b", "c", "", "", "   1. one", "   2. two", "", "x", "y."}))
        << "an unnumbered item takes a line of its own, without a mark";
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
    EXPECT_EQ(std::string(page->pImage), Lines({"", "", "See <More> and here", "<two\xA0words>"}));
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

namespace {

std::string Repeat(const std::string& text, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

HtmlTable* FirstTable(HtmlPage* page)
{
    for (ListLink* l = page->Body.pFirst; l; l = l->pNext) {
        auto* element = static_cast<HtmlElement*>(l->pItem);
        if (element->pTag == MeasuredTableTag)
            return static_cast<HtmlTable*>(element->pText);
    }
    return nullptr;
}

TEST_F(Layout, TablesWiderThanARowRunOnInsideTheCanvas)
{
    // 2000 pixels: 285 characters, so each frame line runs on over three
    // rows and the next line, a row lower, overwrites most of it.
    const std::string page = Body("<table border width=2000><tr><td>a</td><td>b</td></tr></table><br>end<br>");
    EXPECT_EQ(page.substr(0, 4), ",-+-");
    EXPECT_EQ(page.substr(CanvasWidth, 5), "|a|b ");
    EXPECT_NE(page.find("'-+-"), std::string::npos);
    EXPECT_NE(page.find("end"), std::string::npos);

    // Padding of 1000 characters is cut to the widest table drawn.
    HtmlFile* file = Parse("padded", "<html><body><table border cellpadding=7000><tr><td>x</td></tr></table>"
                                     "</body></html>");
    ASSERT_NE(file, nullptr);
    HtmlTable* table = FirstTable(Pages(file)[0]);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->Width, TableMaxWidth);
    EXPECT_NE(std::string(Pages(file)[0]->pImage).find('x'), std::string::npos);
}

TEST_F(Layout, CellsTallerThanTheirRowStayOnThePage)
{
    // Two runs measure two lines; the breaks make five, written over the
    // separator and the next row, and the page is still whole.
    const std::string page = Body("<table border><tr><td>abc<br><br><br><br>z</td></tr>"
                                  "<tr><td>n</td></tr></table><p>after</p>");
    EXPECT_EQ(page, Lines({",---,", "|abc|", "|   |", "|---|", "|n  |", "'z--'", "", "", "after"}));
}

TEST_F(Layout, TablesAreCutAtAThousandRowsAndColumns)
{
    HtmlFile* file = Parse("wide", "<html><body><table border><tr>" + Repeat("<td>c</td>", 1001) +
                                   "</tr></table><table>" + Repeat("<tr><td>r</td></tr>", 1001) +
                                   "</table></body></html>");
    ASSERT_NE(file, nullptr);
    std::vector<HtmlTable*> tables;
    for (ListLink* l = Pages(file)[0]->Body.pFirst; l; l = l->pNext)
        if (static_cast<HtmlElement*>(l->pItem)->pTag == MeasuredTableTag)
            tables.push_back(static_cast<HtmlTable*>(static_cast<HtmlElement*>(l->pItem)->pText));
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0]->Cols, 1000);
    EXPECT_EQ(tables[0]->Width, TableMaxWidth);
    EXPECT_EQ(tables[1]->Rows, 1000);
    EXPECT_EQ(tables[1]->Height, 2001);
}

TEST_F(Layout, TablesWithoutColumnsOrWidth)
{
    EXPECT_EQ(Body("<table border></table>x<br>"), Lines({",", "x"}));
    EXPECT_EQ(Body("<table border><tr></tr></table>"), Lines({",", "'"}));
    // A width that gives no characters leaves the width to the contents.
    EXPECT_EQ(Body("<table border width=0><tr><td>ab</td></tr></table>"), Lines({",--,", "|ab|", "'--'"}));
    EXPECT_EQ(Body("<table border width=\"50%\"><tr><td>ab</td></tr></table>"), Lines({",--,", "|ab|", "'--'"}));
    EXPECT_EQ(Body("<table border width=3 cellpadding=70><tr><td>ab</td></tr></table>"),
              Lines({",----------------------,", "|          ab          |", "'----------------------'"}));
    // Numbers out of all measure are held, never overflowing.
    const std::string page = Body("<table border=-3 width=\"99999999999999%\" cellspacing=99999999999 "
                                  "cellpadding=-7><tr><td width=\"-99999%\">a</td></tr></table>");
    EXPECT_EQ(page, Lines({",-,", "|a|", "'-'"}));
}

TEST_F(Layout, DeeplyNestedTablesArePassedOver)
{
    const std::string page = Body(Repeat("<table border><tr><td>", 200) + "core" + Repeat("</td></tr></table>", 200));
    EXPECT_NE(page.find("core"), std::string::npos);
    EXPECT_EQ(TableNesting, 0);
}

TEST_F(Layout, PagesAreCutAtTheCanvasRows)
{
    const std::string run(static_cast<size_t>(CanvasMaxRows + 10) * CanvasWidth, 'x');
    HtmlFile* file = Parse("long", "<html><body>" + run + "<br>after<br></body></html>");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Pages(file)[0]->LineCount, CanvasMaxRows);
    EXPECT_EQ(std::string(Pages(file)[0]->pImage), run.substr(0, static_cast<size_t>(CanvasMaxRows) * CanvasWidth) + "\n");
}

TEST_F(Layout, LinkRangesOverRowEndsAndCells)
{
    HtmlFile* file = Parse("ranges", "<html><body>" + std::string(128, '.') + "<a href=x>abcdefgh</a><br>"
                                     "<table><tr><td><a href=y>left</td><td>right</a></td></tr></table>"
                                     "<a href=z>never closed</body></html>");
    ASSERT_NE(file, nullptr);
    HtmlPage* page = Pages(file)[0];
    std::vector<HtmlLink*> links = Links(page);
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(LinkText(page, links[0]), "<abcdefgh>") << "a link running over the row end stays whole";
    // A link ended in another cell, left of where it began.
    EXPECT_GE(links[1]->Length, 0);
    EXPECT_EQ(links[1]->Length, links[1]->End - links[1]->Start);
    EXPECT_LE(links[1]->End, static_cast<int>(strlen(page->pImage)));
}

TEST_F(Layout, MarkupTheLayoutCannotPlace)
{
    // A fitab written in the text is no measured table, and a stray
    // "/table" does not end the page.
    EXPECT_EQ(Body("<fitab border>a</table>b<br><tr><td>c</td></tr></p>"), Lines({"ab", "c"}));
    HtmlFile* file = Parse("again", "<html><body><a href=x>x</a><br></body></html>");
    ASSERT_NE(file, nullptr);
    HtmlPage* page = Pages(file)[0];
    const std::string text = page->pImage;
    PrintTextImage(file);
    EXPECT_EQ(std::string(page->pImage), text) << "a page laid out already is left as it is";
    EXPECT_EQ(LinkText(page, Links(page)[0]), "<x>");
}

}  // namespace
