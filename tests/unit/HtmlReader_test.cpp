// The help text reader: elements of a section, entities and white space,
// links, pages, and the registry of parsed files.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HelpTty.h"
#include "html.h"
#include "html_fixture.h"
#include "scratch_dir.h"

namespace {

class Reader : public HtmlTest {
protected:
    // The body's elements: a tag as "<name|attributes>", a run as its text.
    std::vector<std::string> Elements(const std::string& body)
    {
        HtmlFile* file = Parse("elements" + std::to_string(count_++), "<html><body>" + body);
        std::vector<std::string> out;
        if (!file)
            return out;
        for (ListLink* l = Pages(file)[0]->Body.pFirst; l; l = l->pNext) {
            auto* e = static_cast<HtmlElement*>(l->pItem);
            if (!e->pTag) {
                out.emplace_back(static_cast<const char*>(e->pText));
                EXPECT_EQ(e->Len, static_cast<int>(out.back().size()));
            } else if (strcasecmp(e->pTag, "a") == 0) {
                out.push_back(std::string("<") + e->pTag + ">");
            } else {
                out.push_back(std::string("<") + e->pTag + "|" + static_cast<const char*>(e->pText) + ">");
            }
        }
        return out;
    }
    int count_ = 0;
};

using Strings = std::vector<std::string>;

TEST_F(Reader, EntityTablesHoldTheLatin1NamesInOrder)
{
    std::string keys = HTMLKeys;
    int index = 0;
    for (size_t at = 1; at < keys.size(); ++index) {
        const size_t comma = keys.find(',', at);
        const std::string name = keys.substr(at, comma - at);
        EXPECT_EQ(HTMLKeySizes[index + 1], static_cast<int>(name.size())) << name;
        EXPECT_EQ(HTMLChars[index + 1], 160 + index) << name;
        EXPECT_EQ(name.back(), ';');
        at = comma + 1;
    }
    EXPECT_EQ(index, 96);
}

TEST_F(Reader, NamedEntities)
{
    EXPECT_EQ(Elements("a &amp; b&nbsp;&Eacute;&eacute;&sup1;&yuml;<p>"),
              (Strings{"a &amp; b\xA0\xC9\xE9\xB9\xFF", "<p|>"}));
    // Names keep their case; quot does not.
    EXPECT_EQ(Elements("x&EACUTE;&QUOT;&Quot;&quot;<p>"), (Strings{"x&EACUTE;\"\"\"", "<p|>"}));
    // An "&" that would begin a run is dropped; no ";" within reach is no entity.
    EXPECT_EQ(Elements("&amp;x<p>x&nbsp<p>x&abcdefghijklmnop;<p>"),
              (Strings{"amp;x", "<p|>", "x&nbsp", "<p|>", "x&abcdefghijklmnop;", "<p|>"}));
    EXPECT_EQ(Elements("&nbsp;&copy;<br>"), (Strings{"\xA0\xA9", "<br|>"}));
}

TEST_F(Reader, NumericEntitiesOutsideOneTo255ArePassedOver)
{
    EXPECT_EQ(Elements("&#65;&#x41;&#X62;&#0;&#256;&#999999999999;&#;B&#233;<p>"),
              (Strings{"AAb" "B\xE9", "<p|>"}));
    // The code runs to its ";"; without one before the next tag only the
    // digits are taken.
    EXPECT_EQ(Elements("&#67junk;D&#68 E<b>F"), (Strings{"CDD E", "<b|>"}));
}

TEST_F(Reader, WhiteSpaceCollapsesToItsFirstCharacter)
{
    EXPECT_EQ(Elements("<p>  Hello \n\n  world</p>"), (Strings{"<p|>", "Hello world", "</p|>"}));
    EXPECT_EQ(Elements("<p>Hello\n \tworld <b>x"), (Strings{"<p|>", "Hello\nworld ", "<b|>"}));
}

TEST_F(Reader, WhiteSpaceAfterInlineTagsPartsWords)
{
    EXPECT_EQ(Elements("<p>Choose <b>Save</b>\n to <a href=x>keep</a> it.<br> Next</p>"),
              (Strings{"<p|>", "Choose ", "<b|>", "Save", "</b|>", " to ", "<a>", "keep", "</a|>", " it.",
                       "<br|>", "Next", "</p|>"}));
    EXPECT_EQ(Elements("<p><b> Bold</b></p>"), (Strings{"<p|>", "<b|>", "Bold", "</b|>", "</p|>"}));
}

TEST_F(Reader, TagsKeepTheirAttributeText)
{
    EXPECT_EQ(Elements("< td  width=\"50%\" align=left>x<TR>"),
              (Strings{"<td| width=\"50%\" align=left>", "x", "<TR|>"}));
}

TEST_F(Reader, UnbalancedMarkupEndsTheSection)
{
    // A "<" without ">" ends the text; the run before it is kept.
    EXPECT_EQ(Elements("<p>abc<b class=x"), (Strings{"<p|>", "abc"}));
    // A body without its end runs to the end of the text; a run still open
    // there is not kept.
    EXPECT_EQ(Elements("<p>abc</p>tail"), (Strings{"<p|>", "abc", "</p|>"}));
    // An end tag of the section in another case ends it too.
    HtmlFile* file = Parse("ends", "<html><body>a</BODY>b<body>c</body></html>");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(Pages(file)[0]->Body.Count, 2) << "a second body joins the first";
}

TEST_F(Reader, LinksAndAnchors)
{
    HtmlFile* file = Parse("links", "<html><body><a href=#top>1</a><a href=\"#top\" >2</a>"
                                    "<a name=top>3</a><a NAME=\"x\" href=y>4</a><a title=t>5</a></body>");
    ASSERT_NE(file, nullptr);
    std::vector<HtmlLink*> links = Links(Pages(file)[0]);
    ASSERT_EQ(links.size(), 5u);
    EXPECT_STREQ(links[0]->pTarget, "#top");
    EXPECT_EQ(links[0]->Kind, 2);
    EXPECT_STREQ(links[1]->pTarget, "#top");
    EXPECT_EQ(links[1]->Kind, 2);
    EXPECT_STREQ(links[2]->pTarget, "top");
    EXPECT_EQ(links[2]->Kind, 1);
    EXPECT_STREQ(links[3]->pTarget, "y") << "the later attribute wins";
    EXPECT_EQ(links[3]->Kind, 2);
    EXPECT_EQ(links[4]->pTarget, nullptr);
    EXPECT_EQ(links[4]->Kind, 0);
    // The element keeps the length of the attribute text it had.
    auto* element = static_cast<HtmlElement*>(Pages(file)[0]->Body.pFirst->pItem);
    EXPECT_EQ(element->pText, links[0]);
    EXPECT_EQ(element->Len, static_cast<int>(strlen("href=#top")));
}

TEST_F(Reader, PagesByTheirHtmlTags)
{
    HtmlFile* file = Parse("pages", "<html page=\"one\"><head><title>T1</title></head><body>a</p></body></html>"
                                    "<HTML>  <body>b</p></body></html>"
                                    "<html page=\"hidden\" SkipPage><body>secret</body></HTML >"
                                    "<html PAGE=\"two\"><body>c</p></body></html>");
    ASSERT_NE(file, nullptr);
    std::vector<HtmlPage*> pages = Pages(file);
    ASSERT_EQ(pages.size(), 2u) << "a SkipPage page is skipped up to its closing tag";
    EXPECT_STREQ(pages[0]->pPageName, "one");
    EXPECT_EQ(pages[0]->Body.Count, 4) << "an html tag without a page name continues the page";
    EXPECT_EQ(pages[0]->Head.Count, 3);
    EXPECT_STREQ(pages[1]->pPageName, "two");
    EXPECT_EQ(std::string(pages[1]->pImage), "c\n");
    EXPECT_EQ(pCurrentPage, pages[0]);

    // A lone html tag without a name gives one unnamed page; SkipPage with
    // no closing tag behind it reads the page after all.
    ASSERT_NE(file = Parse("unnamed", "<html><body>x</body></html>"), nullptr);
    EXPECT_EQ(Pages(file)[0]->pPageName, nullptr);
    ASSERT_NE(file = Parse("skip", "<html page=\"a\" SkipPage><body>kept</p>"), nullptr);
    EXPECT_STREQ(Pages(file)[0]->pPageName, "a");
}

TEST_F(Reader, TextsWithoutPagesAreRefusedAndTheirSlotReused)
{
    EXPECT_EQ(Parse("none", "just text <b>bold</b>"), nullptr);
    EXPECT_EQ(Parse("empty", ""), nullptr);
    EXPECT_EQ(FileIndex, 0);
    EXPECT_EQ(Parse("http://host/x.html", "<html><body>x"), nullptr);
    EXPECT_EQ(Parse("HTTP://host/x.html", "<html><body>x"), nullptr);
    EXPECT_EQ(FileIndex, 0);
    ASSERT_NE(Parse("real", "<html><body>x</body>"), nullptr);
    EXPECT_EQ(FileIndex, 1);
    EXPECT_EQ(CurrentFile, 0);
}

TEST_F(Reader, FilesAreReadOnceAndFoundByName)
{
    ScratchDir dir("html_reader");
    const std::string path = dir.Path() + "/help.html";
    std::ofstream(path) << "<html><body>on disk</p><a name=end>e</a></body></html>";
    char* name = Keep("file://" + path + "#end");
    HtmlFile* file = ParseHtmlFile(name, nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file->pFileName, path.c_str()) << "without file:// and the target";
    EXPECT_EQ(std::string(Pages(file)[0]->pImage), "on disk\ne\n");
    EXPECT_EQ(HistoryI, 1) << "the target was gone to";
    EXPECT_EQ(TargetPos, 8);

    // Parsed again by name: the registered file, not read again, and the
    // target is not applied on this path.
    std::remove(path.c_str());
    TargetPos = 0;
    EXPECT_EQ(ParseHtmlFile(Keep(path + "#end"), nullptr), file);
    EXPECT_EQ(HistoryI, 1);
    EXPECT_EQ(FileIndex, 1);
    EXPECT_EQ(ParseHtmlFile(Keep(dir.Path() + "/missing.html"), nullptr), nullptr);

    ASSERT_NE(Parse("second", "<html><body>2"), nullptr);
    EXPECT_EQ(CurrentFile, 1);
    EXPECT_EQ(FindHtmlFile(path.c_str()), file);
    EXPECT_EQ(CurrentFile, 0);
    EXPECT_EQ(FindHtmlFile("SECOND"), nullptr) << "names compare with regard to case";
}

TEST_F(Reader, TheHundredAndFirstFileIsRefused)
{
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(Parse("f" + std::to_string(i), "<html><body>x"), nullptr) << i;
    EXPECT_EQ(Parse("f100", "<html><body>x"), nullptr);
    EXPECT_EQ(FileIndex, 100);
    EXPECT_EQ(FindHtmlFile("f100"), nullptr);
    ASSERT_NE(Parse("f7", "<html><body>x"), nullptr) << "registered files are still found";
    EXPECT_EQ(CurrentFile, 7);
}

TEST_F(Reader, TargetsNamePagesOrAnchors)
{
    HtmlFile* file = Parse("targets#sec", "<html page=\"one\"><body>x</p></body></html>"
                                          "<html page=\"two\"><body>y<br><a name=sec>S</a></p></body></html>");
    ASSERT_NE(file, nullptr);
    std::vector<HtmlPage*> pages = Pages(file);
    EXPECT_EQ(pCurrentPage, pages[1]);
    EXPECT_EQ(TargetPos, 2);
    ASSERT_EQ(HistoryI, 1);
    EXPECT_EQ(History[0].Page, pages[0]);
    GoToTarget("#one");
    EXPECT_EQ(pCurrentPage, pages[0]);
    EXPECT_EQ(TargetPos, 0);
    GoToTarget("nowhere");
    EXPECT_EQ(pCurrentPage, pages[0]);
    EXPECT_EQ(HistoryI, 2);
    for (int i = 0; i < 120; ++i)
        GoToTarget(i % 2 ? "one" : "two");
    EXPECT_EQ(HistoryI, 100) << "a full history takes no more entries";
    EXPECT_EQ(pCurrentPage, pages[0]) << "but the jumps are made";
}

}  // namespace
