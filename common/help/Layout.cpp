// Laying out a page: the centred title, then the body's paragraphs,
// headings, list items, links and tables, written on the page's canvas.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "HelpImpl.h"
#include "List.h"
#include "utils.h"

const char* HtmlKeys =
    ",p,/p,b,/b,font,/font,a,/a,tr,/tr,br,table,fitab,/table,td,/td,h1,h2,h3,h4,h5,h6,"
    "/h1,/h2,/h3,/h4,/h5,/h6,ol,/ol,li,/li,div,/div,img,";

char MeasuredTableTag[] = "fitab";

HtmlTag ElementTag(const HtmlElement* element)
{
    const char* tag = element->pTag;
    if (!tag || !*tag || strchr(tag, ','))
        return TagNone;
    const int number = FindTokenC(tag, HtmlKeys);
    if (number == TagFitab && tag != MeasuredTableTag)
        return TagNone;
    return number >= TagP && number <= TagImg ? static_cast<HtmlTag>(number) : TagNone;
}

namespace {

// The cursor and what the body's tags have opened. Inside a table the
// cursor is always in a cell: a line break returns to the cell's left.
struct Body {
    HtmlFile* file;
    HtmlTable* table;
    int row, column;
    bool ordered = false;
    int item = 0;
    bool linkOpen = false;
    HtmlLink* link = nullptr;
    int rowIndex = 0, colIndex = -1, cellLeft = 0, rowFirst = 0;

    void Print(const char* text, int length) { PrintText(file, &row, &column, text, length, 0); }
    void Break(int count = 1)
    {
        row = CanvasRow(static_cast<long long>(row) + count);
        column = table ? cellLeft : 0;
    }
    int ColumnWidth(int index) const
    {
        return table && index >= 0 && index < table->Cols ? table->pColWidths[index] : 0;
    }
    int RowHeight(int index) const
    {
        return table && index >= 0 && index < table->Rows ? table->pRowHeights[index] : 0;
    }
};

void OpenLink(Body& b, HtmlLink* link)
{
    b.link = link;
    if (!link)
        return;
    link->Start = b.row;
    link->End = b.column;
    if (link->Kind == 2) {
        b.Print("<", 1);
        b.linkOpen = true;
    }
}

// Every anchor, named ones too, joins the page's links once: its length is
// the distance the cursor went, never negative.
void CloseLink(Body& b)
{
    if (b.linkOpen) {
        b.Print(">", 1);
        b.linkOpen = false;
    }
    HtmlLink* link = b.link;
    if (!link)
        return;
    const long long length = (static_cast<long long>(b.row) - link->Start) * CanvasWidth + b.column - link->End;
    link->Length = length < 0 ? 0 : static_cast<int>(length);
    ListPushItem(&pCurrentPage->Links, &link, sizeof link);
    b.link = nullptr;
}

void StartRow(Body& b)
{
    if (!b.table)
        return;
    b.colIndex = -1;
    b.cellLeft = b.table->Left + b.table->Padding + 1;
    b.rowFirst = b.row;
    b.column = b.table->Left + 1;
}

void StartCell(Body& b)
{
    if (!b.table)
        return;
    b.row = b.rowFirst;
    if (++b.colIndex > 0)
        b.cellLeft += b.ColumnWidth(b.colIndex - 1) + 2 * b.table->Padding + 1;
    b.column = b.cellLeft;
}

void EndRow(Body& b)
{
    if (!b.table)
        return;
    b.row = CanvasRow(static_cast<long long>(b.rowFirst) + b.RowHeight(b.rowIndex) + 1);
    ++b.rowIndex;
}

// Places a measured table at the cursor (inside a cell at the cell's left,
// a row lower when the cursor has moved right of it) and lays it out.
void PlaceTable(Body& b, HtmlTable* table)
{
    if (b.table) {
        table->Left = b.cellLeft;
        table->Top = CanvasRow(static_cast<long long>(b.row) + (b.column > b.cellLeft ? 1 : 0));
    } else {
        table->Left = b.column;
        table->Top = b.row;
    }
    ++TableNesting;
    BuildTextBody(b.file, table, table->Top, table->Left);
    --TableNesting;
    b.row = CanvasRow(static_cast<long long>(table->Top) + table->Height);
    b.column = b.table ? b.cellLeft : table->Left;
}

// A numbered item starts its line with its number; any other item starts a
// line of its own without a mark, so that the items of an unnumbered list
// do not run together into one word.
void ListItem(Body& b)
{
    b.Break();
    if (!b.ordered)
        return;
    char mark[24];
    const int length = snprintf(mark, sizeof mark, "   %i. ", ++b.item);
    b.Print(mark, length);
}

}  // namespace

void BuildTextImage(HtmlFile* file)
{
    HtmlPage* page = pCurrentPage;
    // A page is laid out once: its links and tables are placed for good.
    if (!page || page->pImage || !CanvasStart(page, page->Body.Count))
        return;
    page->LineCount = 0;
    int titleRow = 0;
    bool inTitle = false;
    for (ListLink* l = page->Head.pFirst; l; l = l->pNext) {
        auto* element = static_cast<HtmlElement*>(l->pItem);
        if (!element->pTag) {
            if (!inTitle)
                continue;
            int column = 0;
            const int indent = (80 - element->Len) / 2;
            PrintText(file, &titleRow, &column, " ", indent, 1);
            PrintText(file, &titleRow, &column, static_cast<const char*>(element->pText), element->Len, 0);
            titleRow = CanvasRow(static_cast<long long>(titleRow) + 2);
        } else if (strcasecmp(element->pTag, "title") == 0 || strcasecmp(element->pTag, "/title") == 0) {
            inTitle = !inTitle;
        }
    }
    BuildTextBody(file, nullptr, titleRow, 0);
    // A last line of text that no line break ended is part of the page.
    if (CanvasRowUsed(page->LineCount))
        ++page->LineCount;
}

void BuildTextBody(HtmlFile* file, HtmlTable* table, int row, int column)
{
    HtmlPage* page = pCurrentPage;
    if (!page)
        return;
    ListRec* body = &page->Body;
    Body b{file, table, row, column};
    HtmlElement* element;
    if (table) {
        DrawTableArea(file, table);
        b.row = CanvasRow(static_cast<long long>(table->Top) + 1);
        b.cellLeft = table->Left + table->Padding + 1;
        b.rowFirst = b.row;
        element = static_cast<HtmlElement*>(ListWalk(body, 1));
    } else {
        element = static_cast<HtmlElement*>(ListWalk(body, 0));
    }
    for (; element; element = static_cast<HtmlElement*>(ListWalk(body, 1))) {
        if (!element->pTag) {
            b.Print(static_cast<const char*>(element->pText), element->Len);
            continue;
        }
        switch (ElementTag(element)) {
        case TagP:
            if (!table) {
                b.row = CanvasRow(static_cast<long long>(b.row) + 1);
                b.Break();
            }
            break;
        case TagEndP:
            if (!table)
                b.Break();
            break;
        case TagBr:
        case TagH1: case TagH2: case TagH3: case TagH4: case TagH5: case TagH6:
        case TagDiv:
            b.Break();
            break;
        case TagEndH1: case TagEndH2: case TagEndH3: case TagEndH4: case TagEndH5: case TagEndH6:
        case TagEndDiv:
            b.Break(2);
            break;
        case TagA:
            OpenLink(b, static_cast<HtmlLink*>(element->pText));
            break;
        case TagEndA:
            CloseLink(b);
            break;
        case TagTr:
            StartRow(b);
            break;
        case TagTd:
            StartCell(b);
            break;
        case TagEndTr:
            EndRow(b);
            break;
        case TagTable: {
            if (b.ordered)
                b.Break();
            ListLink* walk = body->pWalk;
            HtmlTable* measured = GetTextTable(file, element, table ? b.ColumnWidth(b.colIndex) : 0);
            body->pWalk = walk;
            if (measured)
                PlaceTable(b, measured);
            break;
        }
        case TagFitab:
            PlaceTable(b, static_cast<HtmlTable*>(element->pText));
            break;
        case TagEndTable:
            // A table's layout ends here; a stray one in the page is passed over.
            if (table)
                return;
            break;
        case TagOl:
            b.item = 0;
            b.ordered = true;
            break;
        case TagEndOl:
            b.ordered = false;
            b.Break();
            break;
        case TagLi:
            ListItem(b);
            break;
        default:   // b, font and their ends show nothing; /td, /li, img do nothing
            break;
        }
    }
    page->LineCount = b.row;
}
