#include "TextMenu.h"
#include "MemMgr.h"
#include "textmenu_fixture.h"

#include <array>
#include <cstring>
#include <string>

namespace {

intptr_t Text(const char* text) { return reinterpret_cast<intptr_t>(text); }
std::string Value(const TextMenuItem& item) { return reinterpret_cast<const char*>(item.value); }

// Callbacks of the kind-4 items: each call is recorded with its menu.
std::string applied;
int Applied(TextMenu* menu, TextMenuItem*)
{
    applied += std::string(menu->title) + ";";
    return 1;
}

// A form with every value kind, a sub-menu and a hidden sub-menu.
struct Forms {
    char colours[32] = "_red,_green,_blue";
    char options[16] = "_a,_b";
    std::array<TextMenuItem, 4> subItems{MenuItem("Count", ITEM_INT, 7), MenuItem("Tag", ITEM_STRING, Text("x")),
                                         MenuItem("Apply", ITEM_APPLY), TextMenuItem{}};
    std::array<TextMenuItem, 2> hiddenItems{MenuItem("Secret", ITEM_INT, 1), TextMenuItem{}};
    TextMenu sub{"Sub", 0, nullptr, nullptr, 0, nullptr, nullptr, subItems.data(), 0};
    TextMenu hidden{"Hidden", 0, nullptr, nullptr, 0, nullptr, nullptr, hiddenItems.data(), 0};
    std::array<TextMenuItem, 11> items{
        MenuItem("Heading", ITEM_TEXT),
        MenuItem("Colour", ITEM_PICKONE, 1, nullptr, colours),
        MenuItem("Name", ITEM_NAME, Text("alpha")),
        MenuItem("Comment", ITEM_STRING),
        MenuItem("Copies", ITEM_INT, 42),
        MenuItem("Scale", ITEM_FLOAT, MenuFloatBits(1.5f)),
        MenuItem("Options", ITEM_PICKMANY, 0, nullptr, options),
        MenuItem("More", ITEM_SUBMENU, 0),
        MenuItem("Hidden", ITEM_SUBMENU, 0),
        MenuItem("~a Apply", ITEM_APPLY),
        TextMenuItem{}};
    TextMenu top{"Top", 0, nullptr, nullptr, 0, nullptr, nullptr, items.data(), 0};

    Forms()
    {
        subItems[2].actionFn = Applied;
        items[9].actionFn = Applied;
        items[7].value = reinterpret_cast<intptr_t>(&sub);
        items[8].value = reinterpret_cast<intptr_t>(&hidden);
        items[8].state = ITEM_STATE_HIDDEN;
        InitMenu(&top, 0);
        InitMenu(&sub, 0);
        InitMenu(&hidden, 0);
    }
    ~Forms()
    {
        FreeMenu(&top);
        FreeMenu(&sub);
    }
};

std::string Scratch(const std::string& name)
{
    return testing::TempDir() + name + "." + std::to_string(getpid());
}

std::string Store(TextMenu* menu)
{
    const std::string path = Scratch("settings");
    pOut = fopen(path.c_str(), "w");
    StoreMenu(menu);
    fclose(pOut);
    pOut = nullptr;
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Load(TextMenu* menu, const std::string& text)
{
    const std::string path = Scratch("settings");
    std::ofstream(path, std::ios::binary) << text;
    ASSERT_EQ(OpenInputFile(path.c_str(), 0), 1);
    applied.clear();
    LoadMenu(menu);
    CloseInputFile();
    std::filesystem::remove(path);
}

TEST(MenuPreparation, KeysLengthsAndDefaults)
{
    std::array<TextMenuItem, 7> items{MenuItem("Title", ITEM_TEXT), MenuItem("First", ITEM_ACTION),
                                      MenuItem("~x Exit now", ITEM_EXIT), MenuItem("Bar", ITEM_BUTTONBAR),
                                      MenuItem("Second", ITEM_SUBMENU), BlankTaskItem, TextMenuItem{}};
    TextMenu menu{"M", 0, nullptr, nullptr, 0, nullptr, nullptr, items.data(), 0};
    EXPECT_EQ(InitMenu(&menu, 0), 11);
    EXPECT_EQ(items[0].key, 0);
    EXPECT_EQ(items[1].key, 1);
    EXPECT_EQ(items[2].key, 'x');
    EXPECT_EQ(items[3].key, 0);
    EXPECT_EQ(items[4].key, 2);
    EXPECT_EQ(items[5].key, 0);
    EXPECT_EQ(items[2].labelLen, 11);
    EXPECT_EQ(FindTextMenuItem(&menu, ITEM_EXIT), &items[2]);
    EXPECT_EQ(FindTextMenuItem(&menu, ITEM_FLOAT), nullptr);

    TextMenuItem none[1] = {TextMenuItem{}};
    TextMenu empty{"E", 0, nullptr, nullptr, 0, nullptr, nullptr, none, 0};
    EXPECT_EQ(InitMenu(&empty, 0), 0);
    EXPECT_EQ(Store(&empty), "");

    Forms f;
    EXPECT_EQ(Value(f.items[2]), "alpha");
    EXPECT_EQ(Value(f.items[3]), "");
    EXPECT_EQ(f.items[1].choiceCount, 3);
    UpdateStateSelection(&f.items[1]);  // the name lives in the token buffer
    EXPECT_STREQ(f.items[1].choiceName, "_green");
    EXPECT_EQ(f.items[6].value, 1);
    EXPECT_EQ(f.items[6].defValue, 1);
    f.items[6].value = 2;
    f.items[4].value = 9;
    std::strcpy(reinterpret_cast<char*>(f.items[2].value), "changed");
    const intptr_t buffer = f.items[2].value;
    InitMenu(&f.top, 0);
    EXPECT_EQ(f.items[6].value, 2);
    EXPECT_EQ(f.items[4].value, 42);
    EXPECT_EQ(f.items[2].value, buffer);
    EXPECT_EQ(Value(f.items[2]), "alpha");
}

TEST(MenuPreparation, SubMenuChosenByConditions)
{
    Forms f;
    TextMenu* both[2] = {&f.sub, &f.hidden};
    f.items[7].rules = "1.0 1.2A";
    f.items[7].value = reinterpret_cast<intptr_t>(both);
    f.items[1].value = 0;
    EXPECT_EQ(ValidateMenu(&f.top, 7), &f.sub);
    f.items[1].value = 2;
    EXPECT_EQ(ValidateMenu(&f.top, 7), nullptr);
    f.items[1].state = ITEM_STATE_DISABLED;
    EXPECT_EQ(ValidateMenu(&f.top, 7), &f.hidden);
    f.items[7].state = ITEM_STATE_DISABLED;
    EXPECT_EQ(ValidateMenu(&f.top, 7), nullptr);
    // Items that do not lead to a sub-menu, and indices outside the table.
    EXPECT_EQ(ValidateMenu(&f.top, 4), nullptr);
    EXPECT_EQ(ValidateMenu(&f.top, -1), nullptr);
    EXPECT_EQ(ValidateMenu(&f.top, 10), nullptr);
}

TEST(MenuPreparation, RequiredNames)
{
    Forms f;
    EXPECT_EQ(TestNames(&f.top), 1);
    reinterpret_cast<char*>(f.items[2].value)[0] = '\0';
    int result = -1;
    const std::string shown = Dialogue("\n", [&] { result = TestNames(&f.top); });
    EXPECT_EQ(result, 0);
    EXPECT_NE(shown.find("A required name has not been entered."), std::string::npos) << shown;
    // End of input ends the wait as well.
    EXPECT_EQ(Dialogue("", [&] { result = TestNames(&f.top); }), shown);
    EXPECT_EQ(result, 0);
    f.items[1].state = ITEM_STATE_HIDDEN;
    EXPECT_EQ(TestNames(&f.top), 1);
}

TEST(SettingsFile, RoundTrip)
{
    Forms f;
    f.items[1].value = 2;
    std::strcpy(reinterpret_cast<char*>(f.items[2].value), "beta");
    f.items[4].value = -5;
    f.items[4].state = ITEM_STATE_DISABLED;
    f.items[5].value = MenuFloatBits(2.25f);
    f.subItems[0].value = 99;
    f.items[6].value = 3;
    const std::string stored = Store(&f.top);
    EXPECT_EQ(stored, "1[2] 9 0\n2[beta] 11 0\n3[] 12 0\n4[-5] 13 1\n5[2.250] 14 0\n"
                      "7{\n0[99] 13 0\n1[x] 12 0\n}\n");

    Forms copy;
    std::strcpy(reinterpret_cast<char*>(copy.items[3].value), "old");
    Load(&copy.top, stored);
    EXPECT_EQ(flLoadedSettings, 1);
    // The sub-menu's block closes with its apply callback; the top level
    // ends with the file and gets none.
    EXPECT_EQ(applied, "Sub;");
    for (size_t i = 0; i + 1 < f.items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(copy.items[i].kind, f.items[i].kind);
        EXPECT_EQ(copy.items[i].state, f.items[i].state);
        const int kind = f.items[i].kind;
        if (kind == ITEM_NAME || kind == ITEM_STRING) {
            EXPECT_EQ(Value(copy.items[i]), Value(f.items[i]));
        } else if (kind == ITEM_PICKONE || kind == ITEM_INT || kind == ITEM_FLOAT) {
            EXPECT_EQ(copy.items[i].value, f.items[i].value);
        }
    }
    EXPECT_EQ(copy.items[6].value, 1);  // pick-many sets are not stored
    EXPECT_EQ(copy.subItems[0].value, 99);
    EXPECT_EQ(Value(copy.subItems[1]), "x");
}

TEST(SettingsFile, LinesAsStored)
{
    Forms f;
    Load(&f.top, "2[abc def] 11 0\n4[7] 0 1\n3[] 12 2\n");
    EXPECT_EQ(Value(f.items[2]), "abc");
    EXPECT_EQ(f.items[4].value, 7);
    EXPECT_EQ(f.items[4].kind, ITEM_INT);
    EXPECT_EQ(f.items[4].state, ITEM_STATE_DISABLED);
    EXPECT_EQ(Value(f.items[3]), "");
    EXPECT_EQ(f.items[3].state, ITEM_STATE_HIDDEN);

    // A stored kind is taken when the value keeps its type.
    Load(&f.top, "2[t] 12 0\n4[2.500] 14 0\n5[3] 11 0\n");
    EXPECT_EQ(f.items[2].kind, ITEM_STRING);
    EXPECT_EQ(f.items[4].kind, ITEM_FLOAT);
    EXPECT_EQ(MenuFloatValue(f.items[4].value), 2.5f);
    EXPECT_EQ(f.items[5].kind, ITEM_FLOAT);
    EXPECT_EQ(MenuFloatValue(f.items[5].value), 3.0f);
}

TEST(SettingsFile, DamagedLinesAreSkipped)
{
    Forms f;
    const std::string longText(300, 'x');
    Load(&f.top, "2[" + longText + "] 11 0\n50[1] 13 1\n-1[1] 13 1\n4[9\nzz\n1[3] 9 1\n1[-1] 9 1\n"
                 "3[a]b] 12 2\n4{\n}\n99{\n4[8] 13 0\n}\n");
    EXPECT_EQ(Value(f.items[2]), longText.substr(0, MENU_VALUE_SIZE - 1));
    EXPECT_EQ(f.items[4].value, 42);
    EXPECT_EQ(f.items[1].value, 1);
    EXPECT_EQ(f.items[1].state, ITEM_STATE_NORMAL);
    EXPECT_EQ(Value(f.items[3]), "a]b");
    EXPECT_EQ(f.items[3].state, ITEM_STATE_HIDDEN);
    EXPECT_EQ(applied, "");
}

TEST(SettingsFile, BlockOfUnavailableSubMenuIsPassedOver)
{
    Forms f;
    f.items[7].state = ITEM_STATE_DISABLED;
    EXPECT_EQ(Store(&f.top).find('{'), std::string::npos);
    Load(&f.top, "7{\n0[1] 13 0\n0{\n}\n4[1] 13 0\n}\n4[3] 13 0\n8{\n}\n");
    EXPECT_EQ(f.items[4].value, 3);
    EXPECT_EQ(f.subItems[0].value, 7);
    EXPECT_EQ(applied, "");
}

}  // namespace
