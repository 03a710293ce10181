// Settings files: the values of a menu and of its available sub-menus, one
// line per item, written to pOut and read back from pIn.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "TextMenuImpl.h"
#include "utils.h"

namespace {

void StoreValues(TextMenu* menu)
{
    for (int i = 0; menu->items[i].label; ++i) {
        const TextMenuItem& item = menu->items[i];
        switch (item.kind) {
        case ITEM_PICKONE:
        case ITEM_INT:
            fprintf(pOut, "%i[%i] %i %i\n", i, static_cast<int>(item.value), item.kind,
                    item.state);
            break;
        case ITEM_NAME:
        case ITEM_STRING: {
            const char* text = reinterpret_cast<const char*>(item.value);
            fprintf(pOut, "%i[%s] %i %i\n", i, text ? text : "", item.kind, item.state);
            break;
        }
        case ITEM_FLOAT:
            fprintf(pOut, "%i[%.3f] %i %i\n", i, static_cast<double>(MenuFloatValue(item.value)),
                    item.kind, item.state);
            break;
        default:
            break;
        }
    }
}

void StoreBlocks(TextMenu* menu)
{
    for (int i = 0; menu->items[i].label; ++i) {
        if (menu->items[i].kind != ITEM_SUBMENU)
            continue;
        TextMenu* sub = ValidateMenu(menu, i);
        if (!sub || !sub->items)
            continue;
        fprintf(pOut, "%i{\n", i);
        StoreValues(sub);
        StoreBlocks(sub);
        fputs("}\n", pOut);
    }
}

// One line of a settings file: "index[value] kind state" or "index{".
struct SettingsLine {
    long index;
    char opener;
    char value[MENU_VALUE_SIZE];  // the value word, cut to the value buffer
    const char* rest;             // the text after the line's last ']', or null
};

// A decimal number at *p (after white space), clamped to long; false when
// there are no digits.
bool ReadDecimal(const char** p, long* number)
{
    char* end = nullptr;
    *number = strtol(*p, &end, 10);
    if (end == *p)
        return false;
    *p = end;
    return true;
}

bool ParseLine(const char* line, SettingsLine* out)
{
    const char* p = line;
    if (!ReadDecimal(&p, &out->index) || !*p)
        return false;
    out->opener = *p++;
    out->value[0] = '\0';
    out->rest = nullptr;
    if (out->opener == '{')
        return true;
    while (*p && isspace(static_cast<unsigned char>(*p)))
        ++p;
    size_t length = 0;
    while (p[length] && !isspace(static_cast<unsigned char>(p[length])))
        ++length;
    if (length > 0 && p[length - 1] == ']')
        --length;
    if (length >= sizeof out->value)
        length = sizeof out->value - 1;
    memcpy(out->value, p, length);
    out->value[length] = '\0';
    // The kind and state follow the bracket that closes the value, which is
    // the line's last one: a value text may hold brackets of its own.
    const char* close = strrchr(line, ']');
    if (close && close[1])
        out->rest = close + 1;
    return true;
}

int ClampInt(long number)
{
    return number < INT_MIN ? INT_MIN : number > INT_MAX ? INT_MAX : static_cast<int>(number);
}

// The line's item index, or -1 (no item) for one beyond the range of int.
int LineIndex(const SettingsLine& line)
{
    return line.index >= 0 && line.index <= INT_MAX ? static_cast<int>(line.index) : -1;
}

// The kind an item takes from its line: a stored kind other than 0 only
// when it keeps the type of the item's value (a text buffer stays a text
// buffer, a number a number), so that no value is ever read as another type.
int LoadedKind(int tableKind, long storedKind)
{
    if (storedKind == 0 || storedKind == tableKind)
        return tableKind;
    const bool tableText = tableKind == ITEM_NAME || tableKind == ITEM_STRING;
    const bool storedText = storedKind == ITEM_NAME || storedKind == ITEM_STRING;
    const bool tableNumber = tableKind == ITEM_INT || tableKind == ITEM_FLOAT;
    const bool storedNumber = storedKind == ITEM_INT || storedKind == ITEM_FLOAT;
    return (tableText && storedText) || (tableNumber && storedNumber) ? static_cast<int>(storedKind)
                                                                      : tableKind;
}

void LoadValue(TextMenu* menu, const SettingsLine& line)
{
    TextMenuItem* item = ItemAt(menu, LineIndex(line));
    if (!item || !line.rest)
        return;
    long storedKind = 0;
    long storedState = 0;
    const char* p = line.rest;
    const bool haveKind = ReadDecimal(&p, &storedKind);
    const bool haveState = haveKind && ReadDecimal(&p, &storedState);
    if (item->kind < ITEM_PICKONE || item->kind > ITEM_FLOAT || item->kind == ITEM_PICKMANY) {
        if (haveState)
            item->state = ClampInt(storedState);
        return;
    }
    const int kind = LoadedKind(item->kind, storedKind);
    long number = 0;
    const char* text = line.value;
    if (kind == ITEM_PICKONE) {
        // A choice index outside the list would name no choice.
        if (!ReadDecimal(&text, &number))
            number = 0;
        if (number < 0 || number >= item->choiceCount)
            return;
        item->value = number;
    } else if (kind == ITEM_INT) {
        if (!ReadDecimal(&text, &number))
            number = 0;
        item->value = ClampInt(number);
    } else if (kind == ITEM_FLOAT) {
        item->value = MenuFloatBits(strtof(line.value, nullptr));
    } else {
        char* buffer = reinterpret_cast<char*>(item->value);
        if (!buffer)
            return;
        snprintf(buffer, MENU_VALUE_SIZE, "%s", line.value);
    }
    if (haveState)
        item->state = ClampInt(storedState);
    item->kind = kind;
}

// Passes over the lines of a block up to its matching "}".
void SkipBlock()
{
    int depth = 1;
    while (depth > 0 && GetFileLine()) {
        SettingsLine line;
        if (LineBuf[0] == '}')
            --depth;
        else if (ParseLine(LineBuf, &line) && line.opener == '{')
            ++depth;
    }
}

void CloseBlock(TextMenu* menu)
{
    TextMenuItem* apply = FindTextMenuItem(menu, ITEM_APPLY);
    if (apply && apply->actionFn)
        apply->actionFn(menu, apply);
}

}  // namespace

void StoreMenu(TextMenu* menu)
{
    if (!pOut || !menu || !menu->items)
        return;
    StoreValues(menu);
    StoreBlocks(menu);
}

void LoadMenu(TextMenu* menu)
{
    flLoadedSettings = 1;
    if (!menu || !menu->items)
        return;
    while (GetFileLine()) {
        if (LineBuf[0] == '}') {
            CloseBlock(menu);
            return;
        }
        SettingsLine line;
        if (!ParseLine(LineBuf, &line))
            continue;
        if (line.opener != '{') {
            LoadValue(menu, line);
            continue;
        }
        TextMenu* sub = ValidateMenu(menu, LineIndex(line));
        if (sub)
            LoadMenu(sub);
        else
            SkipBlock();
    }
}
