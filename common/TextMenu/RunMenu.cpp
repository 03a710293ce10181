// The run loop: prepares a menu, loads saved settings into it when asked,
// and then shows the page and acts on each answer until an action or the
// user leaves it. Sub-menus run the same loop, nested.
#include <cstdio>
#include <cstring>

#include "MemMgr.h"
#include "TextMenuImpl.h"
#include "utils.h"

char* pOption = nullptr;
char* pTtyHtmlName = nullptr;
char* pTtyHtmlData = nullptr;
char* pTtyHtmlTitle = nullptr;

namespace {

// A menu is released when it is left, unless its flags keep it.
void ReleaseMenu(TextMenu* menu)
{
    if (!(menu->flags & 0x0004))
        FreeMenu(menu);
}

int HeadingLength(const char* title)
{
    if (!title)
        return 0;
    while (*title == '\n' || *title == '\r')
        ++title;
    return static_cast<int>(strcspn(title, "\n\r"));
}

// Loads the settings file into the menu; when it cannot be read, the
// kind-5 item's callback runs instead. Gives 0 when the file was not read.
bool LoadSettings(TextMenu* menu, const char* settings)
{
    if (OpenInputFile(settings, 1)) {
        LoadMenu(menu);
        if (pIn)
            CloseInputFile();
        return true;
    }
    TextMenuItem* item = FindTextMenuItem(menu, ITEM_LOADFAIL);
    if (item && item->actionFn)
        item->actionFn(menu, item);
    return false;
}

// The answer line; a program cannot go on without its user, so the end of
// standard input ends it.
void ReadAnswer()
{
    fflush(stdout);
    if (!Gets(LineBuf, sizeof LineBuf)) {
        SavedStr message(CoreMessage(NLS_SET_CORE, 1016));
        SysError("%s", message ? message.get() : "");
    }
}

void RunApply(TextMenu* menu)
{
    if (menu->applyFn)
        menu->applyFn(menu);
}

enum class Leave { Left, Stay };

// The user asked to leave: apply changed values when the menu has an
// apply question and the user wants it, else confirm leaving.
Leave LeaveMenu(TextMenu* menu, bool changed)
{
    if (menu->applyPrompt) {
        if (changed && PromptYN("%s", menu->applyPrompt)) {
            if (!TestNames(menu))
                return Leave::Stay;
            RunApply(menu);
            ReleaseMenu(menu);
            return Leave::Left;
        }
    } else {
        RunApply(menu);
    }
    const bool hasParent = menu->parent != nullptr;
    SavedStr question(CoreMessage(NLS_SET_CORE, hasParent ? 1017 : 1018));
    const char* format = question ? question.get() : "";
    const char* name = hasParent ? menu->parent->title : my_name;
    if (PromptYN(format, name ? name : "")) {
        ReleaseMenu(menu);
        if (!hasParent) {
            fputs("\n", stdout);
            fflush(stdout);
        }
        return Leave::Left;
    }
    if (menu->refreshFn)
        menu->refreshFn(menu);
    return Leave::Stay;
}

bool EndsMenu(int kind)
{
    return kind == ITEM_APPLY || kind == ITEM_LOADFAIL || kind == ITEM_EXIT;
}

}  // namespace

int RunMenu(TextMenu* menu, const char* settings, int interactive)
{
    if (!menu)
        return 0;
    if (menu->refreshFn)
        menu->refreshFn(menu);
    if (flExitTextMenu)
        return 0;
    int longest = InitMenu(menu, 0);
    if (settings && !LoadSettings(menu, settings))
        return 0;
    if ((interactive & 0xff) == 0) {
        RunApply(menu);
        return 0;
    }
    const int headLen = HeadingLength(menu->title);
    bool changed = false;
    for (;;) {
        const int count = PrintMenu(menu, longest, headLen);
        ReadAnswer();
        if (LineBuf[0] == '\0' && !(menu->flags & 0x0001)) {
            if (LeaveMenu(menu, changed) == Leave::Left)
                return 0;
            continue;
        }
        const int selected = FindSelection(menu, 0, count);
        if (selected == 0)
            continue;
        TextMenuItem* item = &menu->items[selected - 1];
        int kind = item->kind;
        const int result = ProcessSelection(menu, selected - 1, pOption);
        if (!(menu->flags & 0x0080))
            kind = item->kind;
        if (flExitTextMenu || (result != 0 && EndsMenu(kind))) {
            ReleaseMenu(menu);
            return 0;
        }
        if (result != 0 && kind == ITEM_ACTION && (menu->flags & 0x0040)) {
            longest = InitMenu(menu, 0);
            continue;
        }
        if (!changed)
            changed = (result & 0xff) != 0;
    }
}
