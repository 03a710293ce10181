// Reading a help text in place: tags, and runs of text with their entities
// decoded and white space collapsed, as elements of a page's lists.
#include <cstring>
#include <strings.h>

#include "HelpImpl.h"
#include "List.h"
#include "MemMgr.h"
#include "utils.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits a tag's text in place into its name and the attribute text behind
// the first white space after it.
void SplitTag(char* tag, char** name, char** attributes)
{
    while (IsSpace(*tag))
        ++tag;
    *name = tag;
    while (*tag && !IsSpace(*tag))
        ++tag;
    if (*tag)
        *tag++ = '\0';
    *attributes = tag;
}

// The run of text being gathered: decoded characters are written at
// `write`, which never passes the read position, because every decoded
// character or collapsed blank replaces at least one character read.
struct TextRun {
    char* start = nullptr;
    char* write = nullptr;

    void Put(char* at, char c)
    {
        if (!start)
            start = write = at;
        *write++ = c;
    }
    void Close(ListRec* list)
    {
        if (!start)
            return;
        *write = '\0';
        AddAtribute(list, nullptr, start);
        start = write = nullptr;
    }
};

// Fills in the link of an "a" tag from its attributes, which are split in
// place.
void ReadLink(HtmlLink* link, char* attributes)
{
    for (char* token = GetTokenParse(attributes, " \t\r\n"); token;
         token = GetTokenParse(nullptr, " \t\r\n")) {
        char* value = strchr(token, '=');
        if (!value)
            continue;
        *value++ = '\0';
        const int kind = FindTokenC(token, ",name,href,");
        if (kind == 0 || *token == '\0')
            continue;
        if (*value == '"')
            ++value;
        if (char* quote = strchr(value, '"'))
            *quote = '\0';
        link->pTarget = value;
        link->Kind = kind;
    }
}

// Tags inside a line of text: white space behind them still parts words.
bool IsInlineTag(const char* name)
{
    return FindTokenC(name, ",a,/a,b,/b,font,/font,") > 0;
}

}  // namespace

char* GetKeyWord(HtmlFile* file)
{
    char* open = strchr(file->pPos, '<');
    if (!open)
        return nullptr;
    *open = '\0';
    char* close = strchr(open + 1, '>');
    if (!close) {
        // A tag without its ">": nothing behind it can be read as markup.
        file->pPos = open + 1 + strlen(open + 1);
        return nullptr;
    }
    *close = '\0';
    file->pPos = close + 1;
    return open + 1;
}

void AddAtribute(ListRec* list, char* tag, char* text)
{
    HtmlElement element{tag, text, StrLen(text)};
    if (tag && strcasecmp(tag, "a") == 0) {
        auto* link = static_cast<HtmlLink*>(GetMem(sizeof(HtmlLink)));
        if (link)
            ReadLink(link, text);
        element.pText = link;
    }
    ListPushItem(list, &element, sizeof element);
}

void ParseHtml(HtmlFile* file, ListRec* list, const char* endTag)
{
    TextRun run;
    // Text came before the inline tags read since, so white space after
    // them separates two words and begins the next run as a blank.
    bool afterText = false;
    char* p = file->pPos;
    while (*p) {
        if (*p == '<') {
            *p = '\0';
            if (run.start)
                afterText = true;
            run.Close(list);
            char* close = strchr(p + 1, '>');
            if (!close) {
                // Unbalanced markup ends the section, and the text with it.
                file->pPos = p + 1 + strlen(p + 1);
                return;
            }
            *close = '\0';
            char *name, *attributes;
            SplitTag(p + 1, &name, &attributes);
            p = close + 1;
            if (name[0] == '/' && strcasecmp(name + 1, endTag) == 0) {
                file->pPos = p;
                return;
            }
            afterText = afterText && *name && IsInlineTag(name);
            AddAtribute(list, name, attributes);
            continue;
        }
        if (*p == '&') {
            unsigned char ch;
            const int used = DecodeEntity(p, &ch);
            if (used > 0) {
                char* next = p + used;
                if (ch)
                    run.Put(p, static_cast<char>(ch));
                p = next;
                continue;
            }
            // An "&" that begins no entity is text, but never begins a run.
            if (run.start)
                run.Put(p, '&');
            ++p;
            continue;
        }
        if (IsSpace(*p)) {
            if (!run.start && !afterText) {
                *p++ = '\0';   // white space before a run is dropped
                continue;
            }
            run.Put(p, run.start ? *p : ' ');
            for (++p; IsSpace(*p); ++p) {
            }
            continue;
        }
        run.Put(p, *p);
        ++p;
    }
    // A run still open at the end of the text is not kept.
    file->pPos = p;
}
