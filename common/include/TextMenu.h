// Text menus: the records a program fills to describe a form-like menu for a
// plain character terminal.
//
// A menu is a static TextMenu whose items point to a table of TextMenuItem
// records ending with an item whose label is null. The program owns the
// menu, its item table and every text in it; the engine only computes the
// derived fields (labelLen, choiceCount, key) and owns the 256-byte value
// buffers of the text entries.
#pragma once

#include <bit>
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

// ---- menu model and settings files ----

// Answer characters of the save, cancel and default actions.
extern const char MENUVAL_SAVE, MENUVAL_CANCEL, MENUVAL_DEFAULT;  // 's' 'c' 'd'
// A filler item (kind 2, defValue 3) for the program's item tables.
extern const TextMenuItem BlankTaskItem;
// Set whenever LoadMenu runs; a callback sets flExitTextMenu to make every
// running menu return at its next check.
extern unsigned char flLoadedSettings, flExitTextMenu;

// An entry of a program's item table: label, kind, default value, rules and
// choices; normal state, nothing saved by a rule, the rest computed when the
// menu is prepared.
inline TextMenuItem MenuItem(const char* label, int kind, intptr_t defValue = 0,
                             const char* rules = nullptr, char* choices = nullptr)
{
    TextMenuItem item{};
    item.label = label;
    item.kind = kind;
    item.defValue = defValue;
    item.rules = rules;
    item.choices = choices;
    item.savedValue = -1;
    return item;
}

// A single-precision float value (kind 14) is kept in value and defValue as
// its bits in the low 32 bits, zero-extended.
inline intptr_t MenuFloatBits(float value)
{
    return static_cast<intptr_t>(std::bit_cast<uint32_t>(value));
}
inline float MenuFloatValue(intptr_t bits)
{
    return std::bit_cast<float>(static_cast<uint32_t>(bits));
}

// Prepares every item for display (label lengths, choice counts, keys,
// defaults, value buffers of the text entries, the pick items' rules) and
// gives the length of the longest label. The second argument is not used.
int InitMenu(TextMenu* menu, int unused);
// Gives back the value buffers of the text entries (kinds 11 and 12).
void FreeMenu(TextMenu* menu);
// First item of the kind in table order, or null.
TextMenuItem* FindTextMenuItem(TextMenu* menu, int kind);
// The sub-menu that the kind-8 item at index leads to now, or null (also
// for an index outside the table or an item of another kind).
TextMenu* ValidateMenu(TextMenu* menu, int index);
// 1 when every required name before the first hidden item is set; else 0
// after telling the user and waiting for Return.
int TestNames(TextMenu* menu);

// The settings file: one line per value, "%i[value] kind state", and a
// block "%i{" ... "}" for each sub-menu available now. StoreMenu writes to
// pOut; LoadMenu reads from pIn and calls the kind-4 item's callback of each
// sub-menu whose block closes. Lines that do not fit the table are skipped.
void StoreMenu(TextMenu* menu);
void LoadMenu(TextMenu* menu);

// ---- item states and conditions ----

// Item I's value against V for a term "I.V" ("+I" and "-I" count from the
// owner): 0 different, 1 equal and the item normal, 2 equal and the item
// disabled or hidden. A term naming no item of the table gives 0.
int TestState(TextMenu* menu, const char* term, int owner);
// 1 when the condition (terms, a trailing A, !, & and | from left to right,
// parentheses) holds for the owner's menu, else 0.
int TestStateCondition(TextMenu* menu, const char* condition, int owner);
// 1 when the selector ("*", or numbers between other characters) names value.
int TestFormatState(const char* selector, int value);
// Runs the state rules of the pick item at index (groups such as N1{3,4}).
void ProcessStateFormat(TextMenu* menu, int index);
// Looks the current choice's name up again and moves a pick-one value off a
// hidden choice to the next shown one.
void UpdateStateSelection(TextMenuItem* item);
// Marks choice n (from 0) hidden or shown; indices outside the list do nothing.
void HideStateSelection(TextMenuItem* item, int choice);
void ShowStateSelection(TextMenuItem* item, int choice);

// ---- entry validation ----

// Range messages of the number terms, fetched on the first check.
extern char *pErrIntRange, *pErrFloatRange, *pErrLongRange;
// Checks an entry against a format; shows the first problem and waits for
// Return. 0 valid (or no format), 1 number out of range, 2 wrong length,
// 3 character not allowed, 4 forbidden word.
int ValidateEntry(const char* entry, const char* format);
// A digits-only entry whose length lies in the range "(min,max)" (4 for a
// null range): 0, 2 (length) or 3 (character), after a message.
int ValidateEntryTty(const char* entry, const char* range);
// Null when the length is within the range, else the message in NlsBuf.
char* ValidateEntryLen(const char* entry, const char* range);
// 0 when every character is a digit, else the first other character.
int ValidateEntryDigit(const char* entry);
// "(min,max)": stores min and gives max.
int getMinMax(const char* text, int* pmin);

// ---- screen buffer ----

// The screen image of a full-screen page: rows x columns cells, row after
// row. curX (from 0) and curY (from 1) are the write position of
// WriteString; the ovl fields place the box of Overlay.
struct TermInfo {
    int columns, rows;
    int reserved[8];
    int curX, curY;
    int ovlX, ovlY, ovlWidth, ovlHeight;
    char* cells;
};
// Names of the terminal-size messages; the engine fetches those by number.
extern char *ERR_MINTERMSIZE1, *ERR_MINTERMSIZE2, *ERR_MINTERMSIZE3;
// The screen to draw on: current itself, or for null the engine's own
// screen, sized afresh to the terminal (the window size of standard output,
// else COLUMNS and LINES, else 80 x 24) and filled with blanks.
TermInfo* GetTermInfo(TermInfo* current);
void SetPosition(TermInfo* t, int column, int row);
void SetOvlInfo(TermInfo* t, int x, int y, int width, int height);
// Formats the text (cut to 511 characters) into the cells at the write
// position, corrected into the screen first; a long text runs on into the
// next rows and stops at the last cell. The position does not advance.
void WriteString(TermInfo* t, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Fills the part of the rectangle (x, y from 0) that lies on the screen.
void FillArea(TermInfo* t, int x, int y, int width, int height, char ch);
// Prints the image row by row (a newline cell ends its row early; the last
// cell is left out; rows are clipped to 4095 characters); gives 0.
int Refresh(TermInfo* t);
// Prints the text in a box of asterisks, ovlWidth wide; with wait, asks
// for Return and reads one character.
void Overlay(TermInfo* t, const char* text, int wait);
// A test pattern: cell k of the first 24 rows of 80 holds the digit k mod 10.
void NumberScreen(TermInfo* t);
// The engine addresses no cursor: these two do nothing.
void MoveCursor(TermInfo* t, int column, int row);
void ClearScreen(TermInfo* t);

// ---- menu drawing ----

// Texts of the choice page, fetched from the catalogue with its first
// page: the keep and cancel words (answered by their first characters),
// the current-selection line, the same for a cut selection, the question.
extern char *NVATTYMENU_SAVE, *NVATTYMENU_CANCEL, *NVATTYMENU_CURSEL, *NVATTYMENU_CURSELTRUNC,
    *NVATTYMENU_OPTION;
// Prints the menu page (heading, items, values, closing question) to
// standard output; gives the number of item records walked.
int PrintMenu(TextMenu* menu, int longestLabel, int headingLength);
// Prints the items after a bar item (kind 1 or 3) in cells of an 80-column
// line, counting them in *index and *number; gives the last item consumed.
TextMenuItem* PrintMenuBarItem(TextMenuItem* item, int barKind, int* index, int* number);
// Fills widths (512 of them, zeroed by the caller) with the widest name of
// each column of the item's choices; gives the widest, or 0.
int GetColumnWidths(TermInfo* t, TextMenuItem* item, int* widths);
// The choice page's frame: the item's label, keep and cancel, the current
// selection (cut to the screen) and the question.
void WriteScreenFrame(TermInfo* t, TextMenuItem* item, const char* selection);
// Composes and prints one page of the item's choices from index first:
// gives the number shown, 0 when the list ended on this page, -1 when the
// page cannot be shown (terminal too small, after the user's key; or a
// start beyond the list). A first page (first 0) clears *hidden and sets
// bit k for each hidden choice k below 32.
int PrintPickOneManyScreen(TextMenuItem* item, unsigned* hidden, int first);

// ---- run loop and selection ----

// The rest of the last answer after its first word: the selected item's
// option text (a choice number, or an entry typed on the same line).
extern char* pOption;
// The help page shown for the answer h of a menu with flag 0x0002.
extern char *pTtyHtmlName, *pTtyHtmlData, *pTtyHtmlTitle;
// Runs the menu's dialogue until an action or the user leaves it; with a
// settings file, loads it first (an unreadable one runs the kind-5 item's
// callback and ends the run). With interactive 0 (low byte) the values are
// only applied. The end of standard input ends the program. Gives 0.
int RunMenu(TextMenu* menu, const char* settings, int interactive);
// Index + 1 of the item the answer in LineBuf selects among the first count
// (numbers, letter keys), or 0; h and s act at once when the flags claim
// them. Sets pOption. The second argument is not used.
int FindSelection(TextMenu* menu, int unused, int count);
// Acts on the item at index (from 0) by its kind; non-zero when the
// selection took effect.
int ProcessSelection(TextMenu* menu, int index, const char* option);
// The choice page dialogue of the pick item at index (from 0); preset, when
// not empty, is taken as the first answer and cleared once it counted.
void ProcessStateValue(TextMenu* menu, int index, char* preset);

// ---- prompts and raw line input ----

// "<question>? [y/n] " until an answer begins with y (1) or n (0); end of
// input is no.
int PromptYN(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Shows the message and waits for Return (or the end of input).
void PostMsg(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Shows the prompt and reads a line without its end: into buffer (4096
// bytes) when given, else a new string the caller gives back with PutMem.
char* PromptUser(const char* prompt, char* buffer);
// 1 when every character is a letter, digit, '_' or '-'; else 0 after
// telling the user and waiting for Return.
int TestName(const char* name);
// Reads a secret line (at most 256 characters) from the terminal with echo
// off; a new string the caller gives back with PutMem.
char* GetPassPhrase(const char* prompt);
