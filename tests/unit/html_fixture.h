// Help texts for the reader and layout tests: each test parses writable
// copies that live as long as the test, and the registry is emptied after
// it, so that every test starts with no file registered.
#pragma once

#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../common/help/HelpImpl.h"
#include "html.h"

class HtmlTest : public testing::Test {
protected:
    void SetUp() override { ForgetHtmlFiles(); }
    void TearDown() override { ForgetHtmlFiles(); }

    // A writable copy of text that lives until the test ends.
    char* Keep(const std::string& text)
    {
        kept_.emplace_back(text.begin(), text.end());
        kept_.back().push_back('\0');
        return kept_.back().data();
    }
    HtmlFile* Parse(const std::string& name, const std::string& html)
    {
        return ParseHtmlFile(Keep(name), Keep(html));
    }
    // Parses "<html><body>" + body and gives the page's laid-out text.
    std::string Body(const std::string& body, const std::string& head = "")
    {
        HtmlFile* file = Parse("page" + std::to_string(kept_.size()),
                               "<html><head>" + head + "</head><body>" + body + "</body></html>");
        return file && pCurrentPage && pCurrentPage->pImage ? pCurrentPage->pImage : "(none)";
    }

    static std::vector<HtmlPage*> Pages(HtmlFile* file)
    {
        std::vector<HtmlPage*> pages;
        for (ListLink* l = file->Pages.pFirst; l; l = l->pNext)
            pages.push_back(static_cast<HtmlPage*>(l->pItem));
        return pages;
    }
    static std::vector<HtmlLink*> Links(const HtmlPage* page)
    {
        std::vector<HtmlLink*> links;
        for (ListLink* l = page->Links.pFirst; l; l = l->pNext)
            links.push_back(*static_cast<HtmlLink**>(l->pItem));
        return links;
    }
    // The link's characters in its page's text.
    static std::string LinkText(const HtmlPage* page, const HtmlLink* link)
    {
        return std::string(page->pImage + link->Start, static_cast<size_t>(link->End - link->Start));
    }
    // Every page of the file: a heading line, its text, then its links.
    static std::string Dump(HtmlFile* file)
    {
        std::string out;
        for (HtmlPage* page : Pages(file)) {
            out += "== " + std::string(page->pPageName ? page->pPageName : "(unnamed)") + ", " +
                   std::to_string(page->LineCount) + " lines\n" + page->pImage;
            for (HtmlLink* link : Links(page))
                out += "-- " + std::string(link->Kind == 1 ? "anchor " : "link ") +
                       (link->pTarget ? link->pTarget : "") + " [" + std::to_string(link->Start) + ", " +
                       std::to_string(link->End) + ") \"" + LinkText(page, link) + "\"\n";
        }
        return out;
    }
    // The help file tests/data/name parsed from a copy.
    HtmlFile* ParseData(const std::string& name) { return Parse(name, Golden(name)); }
    static std::string Golden(const std::string& name)
    {
        std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    std::deque<std::vector<char>> kept_;
};
