// Tables of a page: measuring rows and columns from their contents and
// width attributes, and drawing their frames.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "HelpImpl.h"
#include "List.h"
#include "MemMgr.h"
#include "utils.h"

int TableNesting;

namespace {

// The value of attribute name (any case) in a tag's attribute text, split at
// blanks, tabs and line ends, a leading double quote removed and cut at the
// next one, into buf (TOKEN_BUF_SIZE bytes). The last one counts; false when
// there is none.
bool FindAttribute(const char* attributes, const char* name, char* buf)
{
    bool found = false;
    char token[TOKEN_BUF_SIZE];
    const char* pos = attributes;
    while (attributes && GetTokenD(nullptr, " \t\n\r", &pos, token)) {
        char* value = strchr(token, '=');
        if (value)
            *value++ = '\0';
        if (strcasecmp(token, name) != 0)
            continue;
        found = true;
        if (!value)
            value = token + strlen(token);
        if (*value == '"')
            ++value;
        value[strcspn(value, "\"")] = '\0';
        memmove(buf, value, strlen(value) + 1);
    }
    return found;
}

// The number a value starts with (0 without digits), held between 0 and
// AttributeNumberMax so that no size computed from it can overflow.
constexpr long AttributeNumberMax = 100000;

long AttributeNumber(const char* value)
{
    return std::clamp(strtol(value, nullptr, 10), 0L, AttributeNumberMax);
}

int Width(long long value)
{
    return static_cast<int>(std::clamp<long long>(value, 0, TableMaxWidth));
}

// The table attributes GetTextTable reads, with the raw numbers the width
// in pixels is reckoned from.
struct TableAttributes {
    long border = 0, spacing = 0, padding = 0;
    bool hasWidth = false;
    char width[TOKEN_BUF_SIZE] = {};
};

TableAttributes ReadTableAttributes(const char* text, HtmlTable* table)
{
    TableAttributes a;
    char value[TOKEN_BUF_SIZE];
    if (FindAttribute(text, "border", value)) {
        table->flBorder = 1;
        a.border = *value ? AttributeNumber(value) : 1;
    }
    if (FindAttribute(text, "cellspacing", value))
        a.spacing = AttributeNumber(value);
    if (FindAttribute(text, "cellpadding", value))
        a.padding = AttributeNumber(value);
    a.hasWidth = FindAttribute(text, "width", a.width);
    return a;
}

// What the measuring walk gathers, per row and column (cut at
// TableMaxCells); fixed widths are held plus one, 0 for none.
struct Measure {
    MemPtr<int> heights{static_cast<int*>(GetMem(TableMaxCells * sizeof(int)))};
    MemPtr<int> widths{static_cast<int*>(GetMem(TableMaxCells * sizeof(int)))};
    MemPtr<int> fixed{static_cast<int*>(GetMem(TableMaxCells * sizeof(int)))};
    int row = 0, column = -1, running = 0;
    bool rowOpen = false;

    bool Ok() const { return heights && widths && fixed; }
    bool InColumn() const { return column >= 0 && column < TableMaxCells; }
    bool InRow() const { return row < TableMaxCells; }
    // Content of the given height in the current cell.
    void Grow(int width, int height)
    {
        if (column < 0)
            return;
        if (InColumn())
            widths.get()[column] = std::max(widths.get()[column], width);
        running = static_cast<int>(std::min<long long>(static_cast<long long>(running) + height, CanvasMaxRows));
        if (InRow())
            heights.get()[row] = std::max(heights.get()[row], running);
    }
    void EndRow(HtmlTable* table)
    {
        if (InRow() && heights.get()[row] == 0)
            heights.get()[row] = running;
        if (row < TableMaxCells)
            ++row;
        table->Cols = std::max(table->Cols, std::min(column + 1, TableMaxCells));
        rowOpen = false;
    }
};

void FixColumn(Measure& m, const HtmlTable* table, const char* attributes)
{
    char value[TOKEN_BUF_SIZE];
    if (!table->Width || !m.InColumn() || m.fixed.get()[m.column] || !FindAttribute(attributes, "width", value))
        return;
    const long long width = strchr(value, '%')
        ? static_cast<long long>(table->Width) * AttributeNumber(value) / 100 - 2 * table->Padding - table->Rule
        : AttributeNumber(value) / 7;
    m.fixed.get()[m.column] = Width(width) + 1;
}

// Walks the table's elements up to its "/table" (or the end of the body).
void MeasureCells(HtmlFile* file, HtmlTable* table, Measure& m)
{
    ListRec* body = &pCurrentPage->Body;
    while (auto* element = static_cast<HtmlElement*>(ListWalk(body, 1))) {
        if (!element->pTag) {
            m.Grow(element->Len, 1);
            continue;
        }
        switch (ElementTag(element)) {
        case TagTr:
            if (m.InRow())
                m.heights.get()[m.row] = 0;
            m.running = 0;
            m.column = -1;
            m.rowOpen = true;
            break;
        case TagTd:
            if (m.column < TableMaxCells)
                ++m.column;
            m.rowOpen = true;
            FixColumn(m, table, static_cast<const char*>(element->pText));
            break;
        case TagTable: {
            const int available = m.InColumn() && m.fixed.get()[m.column] ? m.fixed.get()[m.column] - 1 : 0;
            if (HtmlTable* nested = GetTextTable(file, element, available))
                m.Grow(nested->Width, nested->Height);
            break;
        }
        case TagEndTd:
            m.running = 0;
            break;
        case TagEndTr:
            m.EndRow(table);
            break;
        case TagEndTable:
            return;
        default:
            break;
        }
    }
}

// The table's size from its measures; the arrays are copied into it.
void Finish(HtmlTable* table, const TableAttributes& a, Measure& m)
{
    // A last row without its "/tr" still counts.
    if (m.rowOpen)
        m.EndRow(table);
    table->Rows = m.row;
    const int* fixed = m.fixed.get();
    int* widths = m.widths.get();
    long long sum = 0;
    for (int c = 0; c < table->Cols; ++c) {
        if (a.hasWidth && table->Width && fixed[c])
            widths[c] = fixed[c] - 1;
        sum += widths[c];
    }
    // A table whose width attribute gave no width takes its contents' width.
    if (!table->Width)
        table->Width = Width(2LL * table->Padding * table->Cols + table->Cols + 1 + sum);
    long long height = table->Rows + 1;
    for (int r = 0; r < table->Rows; ++r)
        height += m.heights.get()[r];
    table->Height = static_cast<int>(std::min<long long>(height, CanvasMaxRows));

    table->pRowHeights = static_cast<int*>(GetMem(table->Rows * static_cast<int>(sizeof(int))));
    table->pColWidths = static_cast<int*>(GetMem(table->Cols * static_cast<int>(sizeof(int))));
    if (table->Rows && !table->pRowHeights)
        table->Rows = 0;
    if (table->Cols && !table->pColWidths)
        table->Cols = 0;
    if (table->Rows)
        memcpy(table->pRowHeights, m.heights.get(), static_cast<size_t>(table->Rows) * sizeof(int));
    if (table->Cols)
        memcpy(table->pColWidths, widths, static_cast<size_t>(table->Cols) * sizeof(int));
}

// One frame line of the table at canvas row `row`: `end` at both ends,
// `fill` between and `bound` at each column boundary.
void FrameLine(const HtmlTable* table, long long row, char end, char fill, char bound)
{
    CanvasWrite(row, table->Left, &fill, table->Width, true);
    long long offset = 0;
    for (int c = 0; c + 1 < table->Cols; ++c) {
        offset += table->pColWidths[c] + 2LL * table->Padding + 1;
        CanvasWrite(row, table->Left + offset, &bound, 1, false);
    }
    CanvasWrite(row, table->Left, &end, 1, false);
    CanvasWrite(row, table->Left + static_cast<long long>(table->Width) - 1, &end, 1, false);
}

}  // namespace

int GetColumnCnt()
{
    if (!pCurrentPage)
        return 0;
    ListRec* body = &pCurrentPage->Body;
    ListLink* const walk = body->pWalk;
    int most = 0, cells = 0, nested = 0;
    while (auto* element = static_cast<HtmlElement*>(ListWalk(body, 1))) {
        const HtmlTag tag = ElementTag(element);
        if (tag == TagTable || tag == TagFitab)
            ++nested;
        else if (tag == TagEndTable && nested-- == 0)
            break;
        else if (nested == 0 && tag == TagTr)
            cells = 0;
        else if (nested == 0 && tag == TagTd)
            most = std::max(most, ++cells);
    }
    body->pWalk = walk;
    return std::min(most, TableMaxCells);
}

HtmlTable* GetTextTable(HtmlFile* file, HtmlElement* element, int available)
{
    if (!pCurrentPage || TableNesting >= TableMaxNesting)
        return nullptr;
    auto* table = static_cast<HtmlTable*>(GetMem(sizeof(HtmlTable)));
    Measure m;
    if (!table || !m.Ok()) {
        PutMem(table);
        return nullptr;
    }
    table->Rule = 1;
    const TableAttributes a = ReadTableAttributes(static_cast<const char*>(element->pText), table);
    table->Cols = GetColumnCnt();
    table->Spacing = static_cast<int>(a.spacing / 7);
    table->Padding = static_cast<int>(a.padding / 7);
    if (a.hasWidth && strchr(a.width, '%'))
        table->Width = available > 0 ? Width(static_cast<long long>(available) * AttributeNumber(a.width) / 100) : 0;
    else if (a.hasWidth)
        table->Width = Width((AttributeNumber(a.width) - 2LL * table->Cols * a.padding -
                              (table->Cols + 1LL) * a.spacing - (table->Cols + 1LL) * a.border) / 7);

    ++TableNesting;
    MeasureCells(file, table, m);
    --TableNesting;
    element->pTag = MeasuredTableTag;
    element->pText = table;
    Finish(table, a, m);
    return table;
}

void DrawTableArea(HtmlFile*, HtmlTable* table)
{
    if (!table || table->Width < 1)
        return;
    const long long top = table->Top;
    if (!table->flBorder) {
        for (int line = 0; line < table->Height; ++line)
            CanvasWrite(top + line, table->Left, " ", table->Width, true);
        return;
    }
    long long row = top;
    const long long last = top + table->Height - 1;
    for (int r = 0; r < table->Rows && row < last; ++r) {
        FrameLine(table, row++, '|', '-', '+');
        for (int line = 0; line < table->pRowHeights[r] && row < last; ++line)
            FrameLine(table, row++, '|', ' ', '|');
    }
    FrameLine(table, row, '\'', '-', '+');
    CanvasWrite(top, table->Left, ",", 1, false);
    CanvasWrite(top, table->Left + static_cast<long long>(table->Width) - 1, ",", 1, false);
}
