// The choice page dialogue: the user turns the pages of a pick item's
// choices and types the numbers to take (pick one) or to toggle (pick
// many), then keeps or cancels.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "TextMenuImpl.h"
#include "utils.h"

namespace {

constexpr char WordDelims[] = ", \t";

// Applies the numbers of the answer to working; gives whether one counted.
// A number outside the list or of a hidden choice is passed over and drops
// the preset text.
bool ApplyNumbers(const TextMenuItem& item, unsigned hidden, unsigned* working, char* preset)
{
    bool changed = false;
    char word[TOKEN_BUF_SIZE];
    const char* position = LineBuf;
    for (const char* text = LineBuf; GetTokenD(text, WordDelims, &position, word); text = nullptr) {
        if (!isalnum(static_cast<unsigned char>(word[0])))
            continue;
        const int n = atoi(word);
        const bool usable = n >= 1 && n <= item.choiceCount && !ChoiceHidden(&item, hidden, n - 1) &&
                            (item.kind == ITEM_PICKONE || n <= MENU_CHOICE_BITS);
        if (!usable) {
            if (preset)
                preset[0] = '\0';
            continue;
        }
        changed = true;
        if (item.kind == ITEM_PICKONE)
            *working = static_cast<unsigned>(n - 1);
        else
            *working ^= 1u << (n - 1);
    }
    return changed;
}

void TakeValue(TextMenu* menu, int index, intptr_t value)
{
    TextMenuItem& item = menu->items[index];
    item.prevValue = static_cast<int>(item.value);
    item.value = value;
    ProcessStateFormat(menu, index);
    if (item.actionFn)
        item.actionFn(menu, &item);
}

}  // namespace

void ProcessStateValue(TextMenu* menu, int index, char* preset)
{
    TextMenuItem* item = ItemAt(menu, index);
    if (!item || (item->kind != ITEM_PICKONE && item->kind != ITEM_PICKMANY))
        return;
    const intptr_t onEntry = item->value;
    unsigned hidden = 0;
    int first = 0;
    int pageStart = 0;
    bool changed = false;
    bool presetLeft = preset && preset[0];
    for (;;) {
        if (changed)
            first = pageStart;
        pageStart = first;
        changed = false;
        const int shown = PrintPickOneManyScreen(item, &hidden, first);
        if (shown < 0)
            return;
        first = shown == 0 ? 0 : first + shown;
        if (presetLeft) {
            snprintf(LineBuf, sizeof LineBuf, "%s", preset);
            presetLeft = false;
        } else if (!Gets(LineBuf, sizeof LineBuf)) {
            return;
        }
        if (LineBuf[0] == '\0') {
            if (first >= item->choiceCount)
                first = 0;
            continue;
        }
        if (LineBuf[0] == NVATTYMENU_SAVE[0])
            return;
        if (LineBuf[0] == NVATTYMENU_CANCEL[0]) {
            TakeValue(menu, index, onEntry);
            return;
        }
        if (!isalnum(static_cast<unsigned char>(LineBuf[0])))
            continue;
        auto working = static_cast<unsigned>(item->value);
        if (!ApplyNumbers(*item, hidden, &working, preset))
            continue;
        changed = true;
        if (preset)
            preset[0] = '\0';
        TakeValue(menu, index, static_cast<intptr_t>(working));
    }
}
