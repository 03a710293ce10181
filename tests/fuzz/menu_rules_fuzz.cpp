// State rules and conditions of any text over a fixed form: the first byte
// chooses the owning item, the second its value, the rest is the text, run
// as the owner's state rules, as a condition and as the conditions that
// choose a sub-menu. Rules may change states and values of other items but
// never a text buffer or a sub-menu pointer.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TextMenu.h"
#include "utils.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

// Callbacks of P rules: they move the item's choice marks.
int Toggle(TextMenu*, TextMenuItem* item)
{
    HideStateSelection(item, static_cast<int>(item->value & 3));
    ShowStateSelection(item, static_cast<int>((item->value + 1) & 3));
    return 1;
}

TextMenuItem Item(int kind, intptr_t value = 0)
{
    TextMenuItem item = MenuItem("item", kind, value);
    item.value = value;
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    char colours[] = "_red,_green, blue,_grey";
    char options[] = "_a,_b,_c";
    char buffer[MENU_VALUE_SIZE] = "kept";
    std::array<TextMenuItem, 2> subItems{Item(ITEM_INT), TextMenuItem{}};
    TextMenu sub{"Sub", 0, nullptr, nullptr, 0, nullptr, nullptr, subItems.data(), 0};
    std::array<TextMenuItem, 8> items{Item(ITEM_PICKONE, 1), Item(ITEM_PICKMANY, 1), Item(ITEM_INT, 5),
                                      Item(ITEM_NAME),       Item(ITEM_SUBMENU),    Item(ITEM_FLOAT),
                                      Item(ITEM_PICKONE, 2), TextMenuItem{}};
    items[0].choices = colours;
    items[0].choiceCount = 4;
    items[1].choices = options;
    items[1].choiceCount = 3;
    items[6].choices = colours;
    items[6].choiceCount = 4;
    items[6].rules = "N1{2} P*{0}";
    items[0].actionFn = Toggle;
    items[6].actionFn = Toggle;
    items[3].value = reinterpret_cast<intptr_t>(buffer);
    TextMenu menu{"Rules", 0, nullptr, nullptr, 0, nullptr, nullptr, items.data(), 0};

    const int owner = data[0] % 7;
    if (items[owner].kind != ITEM_NAME && items[owner].kind != ITEM_SUBMENU)
        items[owner].value = static_cast<int8_t>(data[1]);
    const intptr_t subMenus = items[4].value;
    const int kinds[7] = {ITEM_PICKONE, ITEM_PICKMANY, ITEM_INT, ITEM_NAME, ITEM_SUBMENU, ITEM_FLOAT,
                          ITEM_PICKONE};
    if (items[owner].kind == ITEM_PICKONE || items[owner].kind == ITEM_PICKMANY) {
        items[owner].rules = text.c_str();
        ProcessStateFormat(&menu, owner);
        UpdateStateSelection(&items[owner]);
    }
    const int truth = TestStateCondition(&menu, text.c_str(), owner);
    Check(truth == 0 || truth == 1, "condition is 0 or 1");

    // One sub-menu per blank-separated condition.
    size_t conditions = 0;
    for (size_t i = 0; i < text.size(); ++i)
        conditions += text[i] != ' ' && text[i] != '\0' && (i == 0 || text[i - 1] == ' ');
    std::vector<TextMenu*> choices(conditions + 1, &sub);
    items[4].state = ITEM_STATE_NORMAL;
    items[4].rules = text.c_str();
    items[4].value = reinterpret_cast<intptr_t>(choices.data());
    TextMenu* chosen = ValidateMenu(&menu, 4);
    Check(chosen == nullptr || chosen == &sub, "a sub-menu of the list");
    items[4].value = subMenus;

    for (int i = 0; i < 7; ++i)
        Check(items[i].kind == kinds[i], "kinds unchanged");
    Check(items[3].value == reinterpret_cast<intptr_t>(buffer) && strcmp(buffer, "kept") == 0,
          "text buffer untouched");
    Check(strlen(colours) == 23 && strlen(options) == 8, "choice lists keep their length");
    return 0;
}
