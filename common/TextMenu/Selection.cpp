// Selection: the item an answer names, and what each item kind does when
// it is selected.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TextMenuImpl.h"
#include "utils.h"

// The help viewer shows the menu's help page. A program built without it
// tells the user that there is no help.
void TtyHtmlHelp(char* name, char* text, const char* title) __attribute__((weak));

namespace {

constexpr char SettingsFileFormat[] = "/A(1,255)+-+_+/";

void ShowHelp()
{
    if (TtyHtmlHelp) {
        TtyHtmlHelp(pTtyHtmlName, pTtyHtmlData, pTtyHtmlTitle);
        return;
    }
    ShowCore(NLS_SET_CORE, 1030);
    ShowCore(NLS_SET_CORE, 1001);
    fflush(stdout);
    Gets(LineBuf, sizeof LineBuf);
}

// Writes the menu's settings to path; an unwritable file has been reported
// by OpenFile. The program's own output stream is kept aside meanwhile.
bool StoreSettings(TextMenu* menu, const char* path)
{
    FILE* saved = pOut;
    pOut = OpenFile(nullptr, path, "wt", 1);
    const bool stored = pOut != nullptr;
    if (stored) {
        StoreMenu(menu);
        fclose(pOut);
    }
    pOut = saved;
    return stored;
}

void AskAndStoreSettings(TextMenu* menu)
{
    fputs("Enter the settings file name: ", stdout);
    fflush(stdout);
    if (!Gets(LineBuf, sizeof LineBuf))
        return;
    if (ValidateEntry(LineBuf, SettingsFileFormat) == 0)
        StoreSettings(menu, LineBuf);
}

// Index + 1 of the first selectable item among the first count whose key
// is key and whose label carries a letter (or not).
int FindByKey(TextMenu* menu, int count, int key, bool letter)
{
    if (key <= 0)
        return 0;
    for (int i = 0; i < count && menu->items[i].label; ++i) {
        const TextMenuItem& item = menu->items[i];
        if ((item.label[0] == '~') == letter && item.state == ITEM_STATE_NORMAL && item.key == key)
            return i + 1;
    }
    return 0;
}

bool ChoiceShown(const TextMenuItem& item, int index)
{
    const char* name = GetTokenN(item.choices, ",", index + 1);
    return name && name[0] != ' ';
}

// The choice the option names when it is shown, else the next shown one
// after it (or after the current choice), cyclically.
int ChooseNext(TextMenu* menu, int index, const char* option)
{
    TextMenuItem& item = menu->items[index];
    const int count = item.choiceCount;
    if (!item.choices || count <= 0)
        return 0;
    const int n = atoi(option);
    const bool named = n >= 1 && n <= count;
    int choice = -1;
    if (named && ChoiceShown(item, n - 1)) {
        choice = n - 1;
    } else {
        const long from = named ? n - 1 : item.value;
        for (int step = 1; step <= count && choice < 0; ++step) {
            const int candidate = static_cast<int>(((from + step) % count + count) % count);
            if (ChoiceShown(item, candidate))
                choice = candidate;
        }
    }
    if (choice < 0)
        return 0;
    item.prevValue = static_cast<int>(item.value);
    item.value = choice;
    item.choiceName = GetTokenN(item.choices, ",", choice + 1);
    ProcessStateFormat(menu, index);
    return 1;
}

// The answer of an entry in LineBuf: the option text when there is one,
// else a line typed after the item's prompt. False for an empty answer.
bool ReadEntry(const TextMenuItem& item, const char* option)
{
    if (option && option[0]) {
        const size_t length = strnlen(option, sizeof LineBuf - 1);
        memmove(LineBuf, option, length);
        LineBuf[length] = '\0';
    } else {
        printf("%s: ", item.prompt ? item.prompt : "");
        fflush(stdout);
        if (!Gets(LineBuf, sizeof LineBuf))
            return false;
    }
    return LineBuf[0] != '\0';
}

int EnterValue(TextMenuItem& item, const char* option)
{
    if (!ReadEntry(item, option) || ValidateEntry(LineBuf, item.rules) != 0)
        return 0;
    switch (item.kind) {
    case ITEM_NAME:
    case ITEM_STRING: {
        char* buffer = reinterpret_cast<char*>(item.value);
        if (!buffer)
            return 0;
        // A text longer than the value buffer is cut to it.
        const size_t length = strnlen(LineBuf, MENU_VALUE_SIZE - 1);
        memcpy(buffer, LineBuf, length);
        buffer[length] = '\0';
        break;
    }
    case ITEM_INT:
        item.value = atoi(LineBuf);
        break;
    default:
        item.value = MenuFloatBits(static_cast<float>(atof(LineBuf)));
        break;
    }
    return 1;
}

int RunAction(TextMenu* menu, TextMenuItem& item)
{
    return !item.actionFn || item.actionFn(menu, &item) == 0 ? 1 : 0;
}

}  // namespace

int FindSelection(TextMenu* menu, int, int count)
{
    const char* p = LineBuf;
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    while (*p && !isspace(static_cast<unsigned char>(*p)))
        ++p;
    while (isspace(static_cast<unsigned char>(*p)))
        ++p;
    pOption = const_cast<char*>(p);

    const auto first = static_cast<unsigned char>(LineBuf[0]);
    if (isdigit(first))
        return FindByKey(menu, count, atoi(LineBuf), false);
    const int c = tolower(first);
    if (c == 'h' && (menu->flags & 0x0002)) {
        ShowHelp();
        return 0;
    }
    if (c == 's' && (menu->flags & 0x0008)) {
        AskAndStoreSettings(menu);
        return 0;
    }
    if (c == 's' && (menu->flags & 0x0010)) {
        if (StoreSettings(menu, ".settings"))
            exit(0);
        return 0;
    }
    return FindByKey(menu, count, c, true);
}

int ProcessSelection(TextMenu* menu, int index, const char* option)
{
    TextMenuItem* item = ItemAt(menu, index);
    if (!item)
        return 0;
    int result = 0;
    switch (item->kind) {
    case ITEM_APPLY:
        return TestNames(menu) ? RunAction(menu, *item) : 0;
    case ITEM_LOADFAIL:
    case ITEM_EXIT:
    case ITEM_ACTION:
        return RunAction(menu, *item);
    case ITEM_SUBMENU:
        if (TextMenu* sub = ValidateMenu(menu, index))
            RunMenu(sub, nullptr, 1);
        if (menu->refreshFn)
            menu->refreshFn(menu);
        return 0;
    case ITEM_PICKONE:
        result = ChooseNext(menu, index, option ? option : "");
        break;
    case ITEM_NAME:
    case ITEM_STRING:
    case ITEM_INT:
    case ITEM_FLOAT:
        result = EnterValue(*item, option);
        break;
    default:
        return 0;
    }
    if (result && item->actionFn)
        item->actionFn(menu, item);
    return result;
}
