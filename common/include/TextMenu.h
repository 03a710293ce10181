// Text menus: the records a program fills to describe a form-like menu for a
// plain character terminal.
//
// A menu is a static TextMenu whose items point to a table of TextMenuItem
// records ending with an item whose label is null. The program owns the
// menu, its item table and every text in it; the engine only computes the
// derived fields (labelLen, choiceCount, key) and owns the 256-byte value
// buffers of the text entries.
#pragma once

#include <cstdint>

struct TextMenu;
struct TextMenuItem;

// Item kinds. The numbers are written into settings files and so are fixed.
inline constexpr int ITEM_TEXT = 0;       // a line of text (label only)
inline constexpr int ITEM_BAR = 1;        // starts a bar of columns; value = column count
inline constexpr int ITEM_BLANK = 2;      // filler printed with the number before it
inline constexpr int ITEM_BUTTONBAR = 3;  // starts a row of buttons; value = column count
inline constexpr int ITEM_APPLY = 4;      // action after a check of required names
inline constexpr int ITEM_LOADFAIL = 5;   // action; also run when the settings file fails
inline constexpr int ITEM_EXIT = 6;       // action; success leaves the menu
inline constexpr int ITEM_ACTION = 7;     // action; the menu stays
inline constexpr int ITEM_SUBMENU = 8;    // leads to a sub-menu (value) or one chosen by rules
inline constexpr int ITEM_PICKONE = 9;    // one of choices; value = index from 0
inline constexpr int ITEM_PICKMANY = 10;  // any set of choices; value = bit set
inline constexpr int ITEM_NAME = 11;      // required text entry
inline constexpr int ITEM_STRING = 12;    // optional text entry
inline constexpr int ITEM_INT = 13;       // integer entry
inline constexpr int ITEM_FLOAT = 14;     // floating-point entry (three decimals)

// Item states.
inline constexpr int ITEM_STATE_NORMAL = 0;
inline constexpr int ITEM_STATE_DISABLED = 1;  // shown without a number, not selectable
inline constexpr int ITEM_STATE_HIDDEN = 2;    // neither shown nor selectable

// Size of the value buffer of a text entry (kinds 11 and 12).
inline constexpr int MENU_VALUE_SIZE = 256;

// Callbacks supplied by the program.
using MenuFn = void (*)(TextMenu* menu);
using MenuItemFn = int (*)(TextMenu* menu, TextMenuItem* item);

// One entry of a menu's item table. The fields that hold values of several
// types (defValue, value) are as wide as a pointer: an integer, the bits of
// a single-precision float, or a pointer, by the item's kind.
struct TextMenuItem {
    const char* label;       // "~x text" carries the letter key x; else selected by number
    int kind;                // ITEM_...
    int state;               // ITEM_STATE_...
    const char* prompt;      // question asked before a value is typed (entry kinds)
    char* choices;           // writable "_name,_name, name": '_' shown, blank hidden
    char* choiceName;        // current choice as last looked up (token reader's buffer)
    intptr_t defValue;       // default value, of the kind's type
    intptr_t value;          // current value, of the kind's type
    int prevValue;           // value before the last change (kinds 9 and 10)
    MenuItemFn actionFn;     // the item's callback, or null
    int labelLen;            // length of label, computed when the menu is prepared
    const char* rules;       // entry format, sub-menu conditions or state rules, by kind
    int savedValue;          // value saved by a state rule, -1 when none
    int choiceCount;         // names in choices, computed when the menu is prepared
    void* userData;          // the program's own data about the item; the engine leaves it alone
    int key;                 // selection key computed when the menu is prepared
};

// A menu. Defined statically by the program that owns it.
struct TextMenu {
    const char* title;        // heading; a sub-menu's title also names it in its parent
    int titleStyle;           // 0 left with a colon, 1 centred in 80 columns, 2 right-aligned
    const char* applyPrompt;  // question whether to apply changed values on leaving, or null
    MenuFn applyFn;           // applies the menu's values, or null
    int reserved;             // not used by the engine
    TextMenu* parent;         // parent menu (its title is named when leaving), or null
    MenuFn refreshFn;         // called on start, after a sub-menu and when leaving is declined
    TextMenuItem* items;      // first record of the item table
    uint16_t flags;           // bit set of the menu's behaviour
};
