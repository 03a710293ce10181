// The screen buffer: a character image of the terminal that the choice page
// is composed in and then printed in one pass. The engine sends no control
// sequences; a page is a stream of rows that relies on the terminal's own
// line wrap, and the screen's last cell is never printed so that the
// terminal does not scroll.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MemMgr.h"
#include "TextMenuImpl.h"

char* ERR_MINTERMSIZE1 = nullptr;
char* ERR_MINTERMSIZE2 = nullptr;
char* ERR_MINTERMSIZE3 = nullptr;

namespace {

// Refresh assembles one row at a time here; wider screens are clipped.
constexpr int OutputAreaSize = 4096;
char outputArea[OutputAreaSize];

constexpr int WriteBufferSize = 512;
constexpr int DefaultColumns = 80;
constexpr int DefaultRows = 24;
constexpr int MaxRows = 1000;

// The engine's own screen, sized to the terminal.
TermInfo ownScreen{};

long CellCount(const TermInfo* t)
{
    if (!t || !t->cells || t->columns <= 0 || t->rows <= 0)
        return 0;
    return static_cast<long>(t->columns) * t->rows;
}

int SizeFromEnvironment(const char* name, int fallback, int limit)
{
    const char* text = getenv(name);
    if (!text)
        return fallback;
    const long number = strtol(text, nullptr, 10);
    return number >= 1 && number <= limit ? static_cast<int>(number) : fallback;
}

// The window size of standard output when it is a terminal, else COLUMNS
// and LINES, else 80 x 24.
void ReadTerminalSize(int* columns, int* rows)
{
    winsize size{};
    if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 &&
        size.ws_row > 0) {
        *columns = std::min<int>(size.ws_col, OutputAreaSize - 1);
        *rows = std::min<int>(size.ws_row, MaxRows);
        return;
    }
    *columns = SizeFromEnvironment("COLUMNS", DefaultColumns, OutputAreaSize - 1);
    *rows = SizeFromEnvironment("LINES", DefaultRows, MaxRows);
}

// Sizes the engine's screen afresh and fills it with blanks.
TermInfo* PrepareOwnScreen()
{
    int columns = 0;
    int rows = 0;
    ReadTerminalSize(&columns, &rows);
    const int cells = columns * rows;
    if (!ownScreen.cells || ownScreen.columns * ownScreen.rows != cells) {
        PutMem(ownScreen.cells);
        ownScreen.cells = static_cast<char*>(GetMem(cells));
    }
    if (!ownScreen.cells) {
        ownScreen.columns = ownScreen.rows = 0;
        return nullptr;
    }
    ownScreen.columns = columns;
    ownScreen.rows = rows;
    memset(ownScreen.cells, ' ', static_cast<size_t>(cells));
    return &ownScreen;
}

}  // namespace

TermInfo* GetTermInfo(TermInfo* current)
{
    return current ? current : PrepareOwnScreen();
}

void SetPosition(TermInfo* t, int column, int row)
{
    t->curX = column;
    t->curY = row;
}

void SetOvlInfo(TermInfo* t, int x, int y, int width, int height)
{
    t->ovlX = x;
    t->ovlY = y;
    t->ovlWidth = width;
    t->ovlHeight = height;
}

void WriteString(TermInfo* t, const char* format, ...)
{
    if (t->curY > t->rows || t->curY < 1)
        t->curY = 1;
    if (t->curX > t->columns || t->curX < 1)
        t->curX = 0;
    char text[WriteBufferSize];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const long total = CellCount(t);
    const long start = static_cast<long>(t->curY - 1) * t->columns + t->curX;
    if (length <= 0 || start >= total)
        return;
    const long count = std::min<long>({length, static_cast<long>(sizeof text) - 1, total - start});
    memcpy(t->cells + start, text, static_cast<size_t>(count));
}

void FillArea(TermInfo* t, int x, int y, int width, int height, char ch)
{
    if (!CellCount(t))
        return;
    const int left = std::max(x, 0);
    const int right = std::min(x + std::max(width, 0), t->columns);
    const int top = std::max(y, 0);
    const int bottom = std::min(y + std::max(height, 0), t->rows);
    for (int row = top; row < bottom && left < right; ++row)
        memset(t->cells + static_cast<long>(row) * t->columns + left, ch,
               static_cast<size_t>(right - left));
}

int Refresh(TermInfo* t)
{
    memset(outputArea, 0, sizeof outputArea);
    const long total = CellCount(t);
    if (!t || t->rows <= 0 || !total) {
        fflush(stdout);
        return 0;
    }
    long next = 0;
    for (int row = 0; row < t->rows; ++row) {
        int length = 0;
        bool ended = false;
        for (int column = 0; column < t->columns && !ended && next < total; ++column) {
            const char c = t->cells[next++];
            if (c == '\n')
                ended = true;
            else if (next != total && length < OutputAreaSize - 1)
                outputArea[length++] = c;
        }
        outputArea[length] = '\0';
        printf("%s", outputArea);
    }
    fflush(stdout);
    return 0;
}

void Overlay(TermInfo* t, const char* text, int wait)
{
    const int savedX = t->curX;
    const int savedY = t->curY;
    const int width = std::max(t->ovlWidth, 0);
    const char* p = text ? text : "";
    bool ended = false;
    for (int line = 0; line < t->ovlHeight + 4 && !ended; ++line) {
        if (line == 0) {
            for (int i = 0; i < width + 4; ++i)
                putchar('*');
            putchar('\n');
            continue;
        }
        fputs("* ", stdout);
        bool metNewline = false;
        for (int cell = 0; cell < width; ++cell) {
            if (!metNewline && !ended && *p == '\n') {
                metNewline = true;
                ++p;
            }
            if (!metNewline && !ended && *p == '\0')
                ended = true;
            putchar(metNewline || ended ? ' ' : *p++);
        }
        if (!metNewline && *p == '\n')
            ++p;
        if (*p == '\0')
            ended = true;
        fputs(" *\n", stdout);
    }
    if (ended) {
        if (wait) {
            fputs("* Press enter", stdout);
            for (int i = 13; i < width + 3; ++i)
                putchar(' ');
            fputs("*\n", stdout);
        }
        for (int i = 0; i < width + 4; ++i)
            putchar('*');
        putchar('\n');
    }
    fflush(stdout);
    if (wait)
        getchar();
    MoveCursor(t, savedX, savedY);
}

void NumberScreen(TermInfo* t)
{
    const long count = std::min<long>(CellCount(t), 24L * 80L);
    for (long k = 0; k < count; ++k)
        t->cells[k] = static_cast<char>('0' + k % 10);
}

void MoveCursor(TermInfo*, int, int) {}

void ClearScreen(TermInfo*) {}
