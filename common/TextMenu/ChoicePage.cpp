// The choice page: the names of a pick item laid out in columns on the
// screen buffer, page by page, with the current selection, the keep and
// cancel words and the question on the last rows.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "MemMgr.h"
#include "TextMenuImpl.h"
#include "utils.h"

char* NVATTYMENU_SAVE = nullptr;
char* NVATTYMENU_CANCEL = nullptr;
char* NVATTYMENU_CURSEL = nullptr;
char* NVATTYMENU_CURSELTRUNC = nullptr;
char* NVATTYMENU_OPTION = nullptr;

namespace {

constexpr int MaxColumns = 512;
constexpr int SelectionSize = 1024;
constexpr int MinRows = 7;
constexpr int FrameRows = 6;     // label and blank row above the names; blank row and frame below
constexpr int ColumnSpacing = 7; // the marker, the number and the gap before the next column

TermInfo* screen = nullptr;
int widths[MaxColumns];
int pageColumn = 0;  // first column of the page being shown
int nextColumn = 0;  // first column of the page after it
char selection[SelectionSize];

void FetchTexts()
{
    if (NVATTYMENU_SAVE)
        return;
    NVATTYMENU_SAVE = CoreMessage(NLS_SET_CORE, 201);
    NVATTYMENU_CANCEL = CoreMessage(NLS_SET_CORE, 202);
    NVATTYMENU_CURSEL = CoreMessage(NLS_SET_CORE, 203);
    NVATTYMENU_CURSELTRUNC = CoreMessage(NLS_SET_CORE, 204);
    NVATTYMENU_OPTION = CoreMessage(NLS_SET_CORE, 205);
}

int TextLength(const char* text)
{
    return text ? static_cast<int>(strlen(text)) : 0;
}

void AppendSelection(const char* name)
{
    const size_t used = strlen(selection);
    snprintf(selection + used, sizeof selection - used, "%s ", name);
}

// The current choice of a pick-one item, wherever its page is.
void SetPickOneSelection(const TextMenuItem* item)
{
    const char* name = item->choices ? GetTokenN(item->choices, ",", static_cast<int>(item->value) + 1) : nullptr;
    if (!name || name[0] == ' ')
        return;
    snprintf(selection, sizeof selection, "%s", name[0] == '_' ? name + 1 : name);
}

// Tells the user that the terminal cannot hold the page and waits for a key.
int RefuseSmallTerminal(const TermInfo* t, int minWidth)
{
    const int words = TextLength(NVATTYMENU_SAVE) + TextLength(NVATTYMENU_CANCEL);
    ShowCore(NLS_SET_CORE, 206);
    ShowCore(NLS_SET_CORE, 207, t->columns, t->rows);
    ShowCore(NLS_SET_CORE, 208, std::max(minWidth, words), MinRows);
    fflush(stdout);
    getchar();
    return -1;
}

// The columns that fit the screen from pageColumn on: their count and the
// width they take. A first column too wide for the screen is taken alone
// when half of it fits (its names are cut).
int FitColumns(const TermInfo* t, int* used)
{
    int taken = 0;
    int width = 0;
    int column = pageColumn;
    for (; column < MaxColumns && width < t->columns && widths[column] != 0; ++column) {
        const int cost = widths[column] + ColumnSpacing;
        if (width + cost > t->columns) {
            if (taken == 0 && widths[column] / 2 + ColumnSpacing <= t->columns) {
                taken = 1;
                width = t->columns;
                ++column;
            }
            break;
        }
        width += cost;
        ++taken;
    }
    nextColumn = column;
    *used = width;
    return taken;
}

void WriteName(TermInfo* t, const char* name, int x, int row, bool firstColumn)
{
    SetPosition(t, x + 8, row);
    // The room from the name's first cell to the row's end, so that a cut
    // name and its "..." stay on their row.
    const int room = t->columns - (x + 8);
    if (firstColumn && TextLength(name) > room)
        WriteString(t, "%.*s...", std::max(room - 3, 0), name);
    else
        WriteString(t, "%s", name);
}

}  // namespace

bool ChoiceHidden(const TextMenuItem* item, unsigned hidden, int index)
{
    if (index < 0 || index >= item->choiceCount)
        return true;
    if (index < MENU_CHOICE_BITS)
        return (hidden >> index) & 1u;
    const char* name = item->choices ? GetTokenN(item->choices, ",", index + 1) : nullptr;
    return !name || name[0] == ' ';
}

int GetColumnWidths(TermInfo* t, TextMenuItem* item, int* columnWidths)
{
    if (!t || !item || !item->choices)
        return 0;
    const int perColumn = std::min(t->rows - FrameRows, item->choiceCount);
    if (perColumn < 1)
        return 0;
    char name[TOKEN_BUF_SIZE];
    const char* position = item->choices;
    int widest = 0;
    for (int i = 0; GetTokenD(i == 0 ? item->choices : nullptr, ",", &position, name); ++i) {
        const int column = i / perColumn;
        if (column >= MaxColumns)
            break;
        columnWidths[column] = std::max(columnWidths[column], TextLength(name));
        widest = std::max(widest, columnWidths[column]);
    }
    return widest;
}

void WriteScreenFrame(TermInfo* t, TextMenuItem* item, const char* current)
{
    SetPosition(t, (t->columns - item->labelLen) / 2, 1);
    WriteString(t, "%s", item->label);
    SetPosition(t, 0, t->rows - 2);
    WriteString(t, "%s", NVATTYMENU_SAVE);
    SetPosition(t, t->columns / 2, t->rows - 2);
    WriteString(t, "%s", NVATTYMENU_CANCEL);
    SetPosition(t, 0, t->rows - 1);
    const int limit = t->columns - TextLength(NVATTYMENU_CURSEL) + 2;
    if (TextLength(current) > limit) {
        char cut[SelectionSize];
        snprintf(cut, sizeof cut, "%.*s", std::max(limit - 3, 0), current);
        WriteString(t, NVATTYMENU_CURSELTRUNC, cut);
    } else {
        WriteString(t, NVATTYMENU_CURSEL, current);
    }
    SetPosition(t, 0, t->rows);
    WriteString(t, "%s", NVATTYMENU_OPTION);
}

int PrintPickOneManyScreen(TextMenuItem* item, unsigned* hidden, int first)
{
    if (first == 0) {
        screen = GetTermInfo(nullptr);
        if (!screen)
            return -1;
        pageColumn = 0;
        FetchTexts();
        *hidden = 0;
        memset(widths, 0, sizeof widths);
        const int widest = GetColumnWidths(screen, item, widths);
        const int minWidth = widest / 2 + 20;
        const int words = TextLength(NVATTYMENU_SAVE) + TextLength(NVATTYMENU_CANCEL);
        if (screen->rows - FrameRows < 1 || screen->columns < words || screen->columns < minWidth)
            return RefuseSmallTerminal(screen, minWidth);
    } else {
        if (!screen)
            return -1;
        pageColumn = nextColumn;
    }
    const char* start = item->choices;
    for (int skipped = 0; start && skipped < first; ++skipped) {
        start = strchr(start, ',');
        if (start)
            ++start;
    }
    if (!start || first >= item->choiceCount)
        return -1;

    TermInfo* t = screen;
    ClearScreen(t);
    FillArea(t, 0, 0, t->columns, t->rows, ' ');
    SetPosition(t, 0, 0);
    int used = 0;
    const int taken = FitColumns(t, &used);
    const int perColumn = t->rows - FrameRows;
    if (taken == 0)
        return -1;
    int count = item->choiceCount > perColumn * taken ? perColumn * taken : item->choiceCount - first;
    selection[0] = '\0';
    if (item->kind == ITEM_PICKONE)
        SetPickOneSelection(item);

    char name[TOKEN_BUF_SIZE];
    const char* position = start;
    int row = 3;
    int x = 0;
    int column = pageColumn;
    for (int i = 0; i < count; ++i) {
        if (i != 0 && i % perColumn == 0) {
            row = 3;
            x += widths[column] + ColumnSpacing;
            ++column;
        }
        const int offset = taken > 1 && i >= perColumn ? (t->columns - used) / taken : 0;
        if (!GetTokenD(i == 0 ? start : nullptr, ",", &position, name)) {
            count = 0;
            break;
        }
        const int index = first + i;
        const char* shown = name;
        const bool isHidden = shown[0] == ' ';
        if (isHidden) {
            if (index < MENU_CHOICE_BITS)
                *hidden |= 1u << index;
            ++shown;
        }
        if (shown[0] == '_')
            ++shown;
        const bool chosen = item->kind == ITEM_PICKONE
                                ? item->value == index
                                : index < MENU_CHOICE_BITS && ((static_cast<uint32_t>(item->value) >> index) & 1u);
        if (chosen) {
            if (item->kind == ITEM_PICKMANY)
                AppendSelection(shown);
            SetPosition(t, x + offset, row);
            WriteString(t, " ->");
        }
        const bool numbered = !isHidden && (item->kind == ITEM_PICKONE || index < MENU_CHOICE_BITS);
        if (numbered) {
            SetPosition(t, x + offset + 4, row);
            WriteString(t, "%2d) ", index + 1);
        }
        WriteName(t, shown, x + offset, row, i < perColumn);
        ++row;
    }
    WriteScreenFrame(t, item, selection);
    Refresh(t);
    MoveCursor(t, TextLength(NVATTYMENU_OPTION), t->rows - 1);
    return count;
}
