// The canvas a page is laid out on, and its compaction into the page text:
// rows of 132 characters that grow as the layout goes; a row written up to
// its last cell runs on into the row below as one line.
#include <algorithm>
#include <cstring>

#include "HelpImpl.h"
#include "MemMgr.h"

namespace {

// The page whose pImage is a canvas still being laid out, and its rows.
HtmlPage* canvasPage;
int canvasRows;

constexpr long long CanvasMaxCells = static_cast<long long>(CanvasMaxRows) * CanvasWidth;

// Makes the canvas hold the cell before `end`, growing it by at least half
// again so that a page written row by row is not copied at every row. What
// cannot be had stays unwritten.
long long CanvasReach(long long end)
{
    const long long have = static_cast<long long>(canvasRows) * CanvasWidth;
    if (end <= have)
        return end;
    const long long needRows = (end + CanvasWidth - 1) / CanvasWidth;
    const int rows = static_cast<int>(std::min<long long>(
        std::max<long long>(needRows, canvasRows + canvasRows / 2), CanvasMaxRows));
    void* grown = AdjustMem(canvasPage->pImage, rows * CanvasWidth);
    if (!grown)
        return have;
    canvasPage->pImage = static_cast<char*>(grown);
    canvasRows = rows;
    return std::min(end, static_cast<long long>(rows) * CanvasWidth);
}

// The line that starts at row: its cells up to the row's last written one,
// continued over the rows below while a row is written to its last cell.
// Unwritten cells inside it show as blanks, so that what lies right of them
// (a table placed behind text, a link) keeps its column.
struct Line {
    int length;   // characters
    int rows;     // canvas rows it covers, at least 1
};

int LastCell(int row)
{
    if (row < 0 || row >= canvasRows)
        return -1;
    const char* cells = canvasPage->pImage + static_cast<long long>(row) * CanvasWidth;
    int last = CanvasWidth - 1;
    while (last >= 0 && cells[last] == '\0')
        --last;
    return last;
}

Line LineAt(int row)
{
    int rows = 1;
    int last;
    while ((last = LastCell(row + rows - 1)) == CanvasWidth - 1 && row + rows < canvasRows)
        ++rows;
    return Line{(rows - 1) * CanvasWidth + last + 1, rows};
}

// Turns the layout position of each link (Start row, End column) into its
// range of the page text; a link (or the part of it) that lies outside the
// text keeps an empty range at the text's end.
void PlaceLinks(HtmlPage* page, const int* rowOffset, int length)
{
    for (ListLink* l = page->Links.pFirst; l; l = l->pNext) {
        HtmlLink* link = *static_cast<HtmlLink**>(l->pItem);
        const long long at = link->Start >= 0 && link->Start < page->LineCount
                                 ? rowOffset[link->Start] + static_cast<long long>(link->End)
                                 : length;
        link->Start = static_cast<int>(std::clamp<long long>(at, 0, length));
        link->End = static_cast<int>(std::min<long long>(link->Start + std::max(link->Length, 0), length));
        link->Length = link->End - link->Start;
    }
}

// The page text: each line and a line feed, for the rows before
// LineCount; rows that a longer text ran over are part of its line.
void Compact(HtmlPage* page)
{
    const int lines = std::clamp(page->LineCount, 0, CanvasMaxRows);
    page->LineCount = lines;
    MemPtr<int> rowOffset(static_cast<int*>(GetMem((lines + 1) * static_cast<int>(sizeof(int)))));
    char* text = nullptr;
    int length = 0;
    if (rowOffset) {
        for (int row = 0; row < lines;) {
            const Line line = LineAt(row);
            for (int k = 0; k < line.rows && row + k < lines; ++k)
                rowOffset.get()[row + k] = length + k * CanvasWidth;
            length += line.length + 1;
            row += line.rows;
        }
        text = static_cast<char*>(GetMem(length + 1));
    }
    if (text) {
        char* out = text;
        for (int row = 0; row < lines;) {
            const Line line = LineAt(row);
            const char* cells = page->pImage + static_cast<long long>(row) * CanvasWidth;
            for (int i = 0; i < line.length; ++i)
                *out++ = cells[i] ? cells[i] : ' ';
            *out++ = '\n';
            row += line.rows;
        }
        PlaceLinks(page, rowOffset.get(), length);
    } else {
        // Out of memory: the page shows nothing and offers no link.
        ListDelAllItems(&page->Links);
        page->LineCount = 0;
    }
    PutMem(page->pImage);
    page->pImage = text;
    canvasPage = nullptr;
    canvasRows = 0;
}

}  // namespace

bool CanvasStart(HtmlPage* page, int rows)
{
    // A page left half made gets its text first: a page's pImage is always
    // its text once another page is laid out.
    if (canvasPage)
        Compact(canvasPage);
    rows = std::clamp(rows, 1, CanvasMaxRows);
    page->pImage = static_cast<char*>(GetMem(rows * CanvasWidth));
    canvasPage = page->pImage ? page : nullptr;
    canvasRows = page->pImage ? rows : 0;
    return canvasPage != nullptr;
}

void CanvasWrite(long long row, long long column, const char* text, int length, bool fill)
{
    if (!canvasPage || length <= 0)
        return;
    const long long at = row * CanvasWidth + column;
    const long long from = std::max(at, 0LL);
    const long long to = CanvasReach(std::min(at + length, CanvasMaxCells));
    if (from >= to)
        return;
    char* cell = canvasPage->pImage + from;
    if (fill)
        memset(cell, text[0], static_cast<size_t>(to - from));
    else
        memcpy(cell, text + (from - at), static_cast<size_t>(to - from));
}

bool CanvasRowUsed(int row)
{
    return canvasPage && LastCell(row) >= 0;
}

int CanvasRow(long long row)
{
    return static_cast<int>(std::clamp<long long>(row, 0, CanvasMaxRows));
}

void PrintText(HtmlFile*, int* row, int* column, const char* text, int length, int fill)
{
    if (!text || length <= 0)
        return;
    CanvasWrite(*row, *column, text, length, fill != 0);
    const long long end = static_cast<long long>(*column) + length;
    *row = CanvasRow(*row + end / CanvasWidth);
    *column = static_cast<int>(end % CanvasWidth);
}

void PrintTextImage(HtmlFile* file)
{
    HtmlPage* page = pCurrentPage;
    if (!page)
        return;
    if (!page->pImage)
        BuildTextImage(file);
    // A page whose text is made already is left as it is.
    if (page == canvasPage)
        Compact(page);
}
