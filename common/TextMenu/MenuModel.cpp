// Menu model: preparing and releasing a menu's items, finding items and
// sub-menus, and the check of the required names.
#include <cstring>

#include "MemMgr.h"
#include "TextMenuImpl.h"
#include "utils.h"

const char MENUVAL_SAVE = 's';
const char MENUVAL_CANCEL = 'c';
const char MENUVAL_DEFAULT = 'd';

const TextMenuItem BlankTaskItem = {
    "", ITEM_BLANK, 0, nullptr, nullptr, nullptr, 3, 0, 0, nullptr, 0, nullptr, 0, 0, nullptr, 0};

unsigned char flLoadedSettings = 0;
unsigned char flExitTextMenu = 0;

namespace {

bool IsTextKind(int kind)
{
    return kind == ITEM_NAME || kind == ITEM_STRING;
}

// A text entry's value buffer, allocated when the program gave none, holds
// the default text (cut to the buffer) or nothing.
void PrepareText(TextMenuItem& item)
{
    if (!item.value)
        item.value = reinterpret_cast<intptr_t>(GetMem(MENU_VALUE_SIZE));
    char* buffer = reinterpret_cast<char*>(item.value);
    if (!buffer)
        return;
    const char* text = reinterpret_cast<const char*>(item.defValue);
    snprintf(buffer, MENU_VALUE_SIZE, "%s", text ? text : "");
}

void PreparePick(TextMenu* menu, int index)
{
    TextMenuItem& item = menu->items[index];
    item.choiceCount = item.choices ? GetTokenCount(item.choices, ",") : 0;
    if (item.kind == ITEM_PICKONE) {
        item.value = item.defValue;
    } else if (item.value == 0) {
        item.defValue = 1;
        item.value = 1;
    }
    item.prevValue = static_cast<int>(item.defValue);
    UpdateStateSelection(&item);
    ProcessStateFormat(menu, index);
}

}  // namespace

int InitMenu(TextMenu* menu, int)
{
    if (!menu || !menu->items)
        return 0;
    int longest = 0;
    int number = 0;
    for (int i = 0; menu->items[i].label; ++i) {
        TextMenuItem& item = menu->items[i];
        item.labelLen = static_cast<int>(strlen(item.label));
        if (item.labelLen > longest)
            longest = item.labelLen;
        if (item.kind == ITEM_PICKONE || item.kind == ITEM_PICKMANY)
            PreparePick(menu, i);
        else if (IsTextKind(item.kind))
            PrepareText(item);
        else if (item.kind == ITEM_INT || item.kind == ITEM_FLOAT)
            item.value = item.defValue;
        if (item.kind <= ITEM_BUTTONBAR)
            item.key = 0;
        else if (item.label[0] == '~')
            item.key = static_cast<unsigned char>(item.label[1]);
        else
            item.key = ++number;
    }
    return longest;
}

void FreeMenu(TextMenu* menu)
{
    if (!menu || !menu->items)
        return;
    for (TextMenuItem* item = menu->items; item->label; ++item)
        if (IsTextKind(item->kind)) {
            PutMem(reinterpret_cast<void*>(item->value));
            item->value = 0;
        }
}

TextMenuItem* FindTextMenuItem(TextMenu* menu, int kind)
{
    if (!menu || !menu->items)
        return nullptr;
    for (TextMenuItem* item = menu->items; item->label; ++item)
        if (item->kind == kind)
            return item;
    return nullptr;
}

// Only a kind-8 item's value is a sub-menu (or an array of them), so any
// other item leads nowhere, whatever a settings file names.
TextMenu* ValidateMenu(TextMenu* menu, int index)
{
    const TextMenuItem* item = ItemAt(menu, index);
    if (!item || item->kind != ITEM_SUBMENU || item->state != ITEM_STATE_NORMAL)
        return nullptr;
    if (!item->rules)
        return reinterpret_cast<TextMenu*>(item->value);
    TextMenu* const* choices = reinterpret_cast<TextMenu* const*>(item->value);
    if (!choices)
        return nullptr;
    int position = 0;
    for (const char* p = item->rules; *p;) {
        while (*p == ' ')
            ++p;
        const char* end = p;
        while (*end && *end != ' ')
            ++end;
        if (end == p)
            break;
        if (TestConditionSpan(menu, p, static_cast<size_t>(end - p), index))
            return choices[position];
        ++position;
        p = end;
    }
    return nullptr;
}

int TestNames(TextMenu* menu)
{
    if (!menu || !menu->items)
        return 1;
    for (const TextMenuItem* item = menu->items; item->label; ++item) {
        if (item->state == ITEM_STATE_HIDDEN)
            return 1;
        const char* text = reinterpret_cast<const char*>(item->value);
        if (item->kind == ITEM_NAME && (!text || !text[0])) {
            ShowCore(NLS_SET_CORE, 1011);
            fflush(stdout);
            Gets(LineBuf, sizeof LineBuf);
            return 0;
        }
    }
    return 1;
}
