// Settings files of any content loaded into a fixed form with every item
// kind, sub-menus chosen directly and by conditions, and a hidden one; the
// loaded form is then stored again. Value buffers must stay terminated
// within their 256 bytes and every kind a kind of the value's type.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int Apply(TextMenu*, TextMenuItem*)
{
    return 1;
}

struct Form {
    char colours[32] = "_red,_green, blue";
    char options[16] = "_a,_b";
    std::array<TextMenuItem, 4> leafItems{MenuItem("Count", ITEM_INT, 7), MenuItem("Tag", ITEM_NAME),
                                          MenuItem("~a Apply", ITEM_APPLY), TextMenuItem{}};
    TextMenu leaf{"Leaf", 0, nullptr, nullptr, 0, nullptr, nullptr, leafItems.data(), 0};
    std::array<TextMenuItem, 3> otherItems{MenuItem("Scale", ITEM_FLOAT), MenuItem("Go", ITEM_APPLY), TextMenuItem{}};
    TextMenu other{"Other", 0, nullptr, nullptr, 0, nullptr, nullptr, otherItems.data(), 0};
    TextMenu* chosen[2] = {&leaf, &other};
    std::array<TextMenuItem, 19> items{
        MenuItem("Text", ITEM_TEXT),         MenuItem("Bar", ITEM_BAR, 2),
        MenuItem("Blank", ITEM_BLANK),       MenuItem("Buttons", ITEM_BUTTONBAR, 2),
        MenuItem("Apply", ITEM_APPLY),       MenuItem("Fail", ITEM_LOADFAIL),
        MenuItem("Exit", ITEM_EXIT),         MenuItem("Act", ITEM_ACTION),
        MenuItem("Direct", ITEM_SUBMENU),    MenuItem("Chosen", ITEM_SUBMENU),
        MenuItem("Hidden", ITEM_SUBMENU),    MenuItem("Colour", ITEM_PICKONE, 1),
        MenuItem("Options", ITEM_PICKMANY),  MenuItem("Name", ITEM_NAME),
        MenuItem("Comment", ITEM_STRING),    MenuItem("Copies", ITEM_INT, 1),
        MenuItem("Scale", ITEM_FLOAT),       MenuItem("Level", ITEM_INT, 3),
        TextMenuItem{}};
    TextMenu top{"Top", 0, nullptr, nullptr, 0, nullptr, nullptr, items.data(), 0};

    Form()
    {
        leafItems[2].actionFn = Apply;
        otherItems[1].actionFn = Apply;
        items[4].actionFn = Apply;
        items[8].value = reinterpret_cast<intptr_t>(&leaf);
        items[9].value = reinterpret_cast<intptr_t>(chosen);
        items[9].rules = "11.0 11.1";
        items[10].value = reinterpret_cast<intptr_t>(&other);
        items[10].state = ITEM_STATE_HIDDEN;
        items[11].choices = colours;
        items[12].choices = options;
        InitMenu(&top, 0);
        InitMenu(&leaf, 0);
        InitMenu(&other, 0);
    }
    ~Form()
    {
        FreeMenu(&top);
        FreeMenu(&leaf);
        FreeMenu(&other);
    }
};

bool IsText(int kind)
{
    return kind == ITEM_NAME || kind == ITEM_STRING;
}

// Kinds may only move within the text kinds or within the number kinds.
void CheckMenu(const TextMenu& menu, const TextMenu& pristine)
{
    for (int i = 0; menu.items[i].label; ++i) {
        const TextMenuItem& item = menu.items[i];
        const int was = pristine.items[i].kind;
        Check(IsText(item.kind) == IsText(was), "text kind kept");
        Check(item.kind == was || IsText(was) || was == ITEM_INT || was == ITEM_FLOAT, "kind kept");
        if (IsText(item.kind))
            Check(memchr(reinterpret_cast<const char*>(item.value), '\0', MENU_VALUE_SIZE) != nullptr,
                  "value buffer terminated");
        if (item.kind == ITEM_PICKONE)
            Check(item.value >= 0 && item.value < item.choiceCount, "choice index in the list");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const Form pristine;
    Form form;
    std::vector<uint8_t> text(data, data + size);
    pIn = fmemopen(text.data(), text.size(), "r");
    Check(pIn != nullptr, "fmemopen");
    LoadMenu(&form.top);
    CloseInputFile();
    CheckMenu(form.top, pristine.top);
    CheckMenu(form.leaf, pristine.leaf);
    CheckMenu(form.other, pristine.other);

    pOut = fopen("/dev/null", "w");
    Check(pOut != nullptr, "open /dev/null");
    StoreMenu(&form.top);
    fclose(pOut);
    pOut = nullptr;
    return 0;
}
