// The menu page: the heading, the items with their numbers or letter keys
// and dotted value columns, rows of buttons in columns of an 80-column line,
// and the closing question with the hints the menu's flags call for.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "MemMgr.h"
#include "SysCmd.h"
#include "TextMenuImpl.h"
#include "utils.h"

namespace {

constexpr int PageWidth = 80;
constexpr int CellTextSize = 512;

void PrintBlanks(int count)
{
    for (int i = 0; i < count; ++i)
        putchar(' ');
}

void PrintHeading(const TextMenu* menu, int headLen)
{
    const char* title = menu->title ? menu->title : "";
    if (menu->titleStyle == 0) {
        printf("\f\n%s:\n\n", title);
        return;
    }
    fputs("\f\n", stdout);
    if (menu->titleStyle == 1)
        PrintBlanks(headLen > PageWidth ? 0 : (PageWidth - headLen) / 2);
    else
        PrintBlanks(PageWidth - headLen);
    printf("%s\n\n", title);
}

// The number a plain item is selected by: its key, which counts the
// table's plain items of kind 4 and above.
bool HasLetterKey(const TextMenuItem& item)
{
    return item.label[0] == '~' && item.label[1];
}

const char* LetterLabel(const TextMenuItem& item)
{
    return strlen(item.label) >= 3 ? item.label + 3 : "";
}

void PrintPickOneValue(TextMenuItem& item)
{
    item.choiceName = item.choices ? GetTokenN(item.choices, ",", static_cast<int>(item.value) + 1) : nullptr;
    if (!item.choiceName || item.choiceName[0] == ' ') {
        fputs(" [ ]", stdout);
        return;
    }
    const char* name = item.choiceName[0] == '_' ? item.choiceName + 1 : item.choiceName;
    printf(" [%i. %s]", static_cast<int>(item.value) + 1, name);
}

void PrintPickManyValue(const TextMenuItem& item)
{
    ShowCore(NLS_SET_CORE, 270);
    const auto bits = static_cast<uint32_t>(item.value);
    if (bits == 1) {
        ShowCore(NLS_SET_CORE, 271);
    } else {
        const char* separator = "";
        for (int bit = 0; bit < 32; ++bit)
            if (bits & (1u << bit)) {
                printf("%s%d", separator, bit + 1);
                separator = ",";
                fflush(stdout);
            }
    }
    fputs("]", stdout);
}

void PrintValue(TextMenuItem& item, int maxLabel)
{
    for (int i = item.labelLen; i < maxLabel; ++i)
        putchar('.');
    switch (item.kind) {
    case ITEM_PICKONE:
        PrintPickOneValue(item);
        break;
    case ITEM_PICKMANY:
        PrintPickManyValue(item);
        break;
    case ITEM_NAME:
    case ITEM_STRING: {
        const char* text = reinterpret_cast<const char*>(item.value);
        printf(" [%s]", text ? text : "");
        break;
    }
    case ITEM_INT:
        printf(" [%i]", static_cast<int>(item.value));
        break;
    case ITEM_FLOAT:
        printf(" [%.3f]", static_cast<double>(MenuFloatValue(item.value)));
        break;
    default:
        break;
    }
}

void PrintClosingQuestion(const TextMenu* menu)
{
    SavedStr store(CoreMessage(NLS_SET_CORE, 230));
    SavedStr help(CoreMessage(NLS_SET_CORE, 231));
    SavedStr leave(CoreMessage(NLS_SET_CORE, 232));
    const auto text = [](const SavedStr& s) { return s ? s.get() : ""; };
    ShowCore(NLS_SET_CORE, 510, (menu->flags & 0x0018) ? text(store) : "",
             (menu->flags & 0x0002) ? text(help) : "", (menu->flags & 0x0001) ? "" : text(leave));
    fflush(stdout);
}

// Columns of a bar row; a row-breaking item without a count takes 3, and a
// count wider than the line is held to one character per cell.
int BarColumns(const TextMenuItem& item)
{
    return item.value <= 0 ? 3 : static_cast<int>(std::min<intptr_t>(item.value, PageWidth));
}

// One button cell: the formatted text made exactly width - 1 characters
// long, ending in a blank.
void PrintCell(const TextMenuItem& item, int number, int width, int pad)
{
    char text[CellTextSize];
    if (HasLetterKey(item))
        snprintf(text, sizeof text, " %c) %s%*s ", item.label[1], LetterLabel(item), pad + 2, " ");
    else
        snprintf(text, sizeof text, "%2i) %s%*s", number, item.label, std::max(pad, 0), " ");
    const int length = std::min(width - 1, CellTextSize - 1);
    if (length < 1)
        return;
    const int have = static_cast<int>(strlen(text));
    for (int i = have; i < length; ++i)
        text[i] = ' ';
    text[length - 1] = ' ';
    text[length] = '\0';
    printf("%s", text);
}

}  // namespace

TextMenuItem* PrintMenuBarItem(TextMenuItem* item, int barKind, int* index, int* number)
{
    int columns = BarColumns(*item);
    int width = PageWidth / columns;
    int position = 0;
    while (item[1].label && ((barKind == ITEM_BAR && item[1].kind == ITEM_TEXT) || barKind == ITEM_BUTTONBAR)) {
        ++item;
        ++*index;
        if ((barKind == ITEM_BAR && item->kind == ITEM_TEXT) ||
            (barKind == ITEM_BUTTONBAR && item->kind == ITEM_BUTTONBAR)) {
            putchar('\n');
            columns = BarColumns(*item);
            width = PageWidth / columns;
            position = 0;
            continue;
        }
        const int length = static_cast<int>(strlen(item->label));
        if (position + length > PageWidth || (position != 0 && length > width - 5)) {
            putchar('\n');
            position = 0;
        }
        const int pad = width - 5 - length;
        if (item->kind > ITEM_BUTTONBAR && !HasLetterKey(*item))
            *number = item->key;
        if (item->state == ITEM_STATE_HIDDEN)
            continue;
        PrintCell(*item, *number, width, pad);
        if (length > width - columns) {
            putchar('\n');
            position = 0;
        } else {
            position += width;
        }
    }
    return item;
}

int PrintMenu(TextMenu* menu, int maxLabel, int headLen)
{
    SysCmd(CMD_CLEAR, 0, " ");
    PrintHeading(menu, headLen);
    int index = 0;
    int number = 0;
    for (; menu->items && menu->items[index].label; ++index) {
        TextMenuItem* item = &menu->items[index];
        if (item->kind > ITEM_BUTTONBAR && !HasLetterKey(*item))
            number = item->key;
        bool printed = true;
        bool valued = item->kind >= ITEM_PICKONE && item->kind <= ITEM_FLOAT;
        if (item->kind == ITEM_SUBMENU) {
            const TextMenu* sub = ValidateMenu(menu, index);
            printed = sub != nullptr;
            if (sub)
                printf("%2i) %s ", number, sub->title ? sub->title : "");
        } else if (item->kind == ITEM_BAR || item->kind == ITEM_BUTTONBAR) {
            item = PrintMenuBarItem(item, item->kind, &index, &number);
            valued = false;
        } else if (item->kind == ITEM_TEXT) {
            printf("%s ", item->label);
        } else if (item->state == ITEM_STATE_DISABLED) {
            printf("%*s  %s ", 2, " ", item->label);
        } else if (item->state == ITEM_STATE_HIDDEN) {
            printed = false;
        } else if (HasLetterKey(*item)) {
            printf(" %c) %s ", item->label[1], LetterLabel(*item));
        } else {
            printf("%2i) %s ", number, item->label);
        }
        if (printed && valued)
            PrintValue(*item, maxLabel);
        if (printed)
            printf("\n%s", (menu->flags & 0x0100) ? "" : "\n");
    }
    PrintClosingQuestion(menu);
    return index;
}
