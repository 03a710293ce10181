// The engine's texts: the core-string catalogue, opened on first need, and
// the unit's English wordings (the help menu's among them) for a program
// that runs without a catalogue.
#include "MemMgr.h"
#include "TextMenuImpl.h"
#include "utils.h"

namespace {

struct Wording {
    int set;
    int number;
    const char* text;
};

// Each wording has the conversions of the catalogue message it stands for.
constexpr Wording EnglishWordings[] = {
    {20, 150, "~e Exit Help"},
    {20, 151, "~c Contents"},
    {20, 152, "~b Back"},
    {25, 201, "s) Save"},
    {25, 202, "c) Cancel"},
    {25, 203, "Current selection: %s"},
    {25, 204, "Current selection (shortened): %s"},
    {25, 205, "Type choice numbers, or <Return> for the next page: "},
    {25, 206, "\nThe terminal is too small to show this list.\n"},
    {25, 207, "It has %i columns and %i lines;\n"},
    {25, 208, "at least %i columns and %i lines are needed. Press <Return> to continue.\n"},
    {25, 230, " or s for store settings in a file"},
    {25, 231, " or h for help"},
    {25, 232, " or <Return> to exit"},
    {25, 270, " ["},
    {25, 271, "1 (default)"},
    {25, 510, "\nEnter a selection%s%s%s: "},
    {25, 1000, "\nPress <Return> to continue "},
    {25, 1001, "\nPress <Return> to continue "},
    {25, 1002,
     "\n'%c' is not a valid name character. \nOnly alphanumeric character, '-', and '_' are "
     "valid: \n"},
    {25, 1003, "This number must be between %i to %i."},
    {25, 1004, "This number must be between %x to %x."},
    {25, 1006, "Invalid character '%c'\nThis text may contain \"0123456789.\""},
    {25, 1007, "Invalid character '%c'\nThis text may contain \"abc..zABC..Z012..9%s\""},
    {25, 1008, "Invalid character '%c'\nThis text may contain \"abc..zABC..Z%s\""},
    {25, 1009, "Invalid entry \"%s\""},
    {25, 1011,
     "\nA required name has not been entered.\nPlease enter it before the settings are "
     "applied.\nPress <Return> to continue "},
    {25, 1016, "unexpected end of input"},
    {25, 1017, "\nDo you want to return to %s menu"},
    {25, 1018, "\nDo you want to exit %s"},
    {25, 1020, "Only one '.' may be entered."},
    {25, 1024, "This number must be between %Lg to %Lg."},
    {25, 1030, "\nThere is no help in this program.\n"},
    {30, 22, "%s Online Help"},
    {30, 42, "This text length must be from %i to %i characters long."},
    {30, 44, "This text must be exactly %i characters long."},
};

}  // namespace

const char TextInvalidDigit[] = "Invalid digit:  %c\n";
const char TextDigitsOnly[] = "Invalid character '%c'\nThis text may contain \"0123456789.\"";
const char textmenu_060[] = "This number must be between %f to %f.";
const char TextLiteralMismatch[] = "Invalid character %c\n%c was expected after \"%s\"";

int ItemCount(const TextMenu* menu)
{
    int count = 0;
    if (menu && menu->items)
        while (menu->items[count].label)
            ++count;
    return count;
}

TextMenuItem* ItemAt(TextMenu* menu, int index)
{
    return index >= 0 && index < ItemCount(menu) ? &menu->items[index] : nullptr;
}

DbTHandle* CoreStrings()
{
    static bool tried = false;
    if (!pDrvCoreDB && !tried) {
        tried = true;
        pDrvCoreDB = NlsOpenDB("CoreString", 0);
    }
    return pDrvCoreDB;
}

const char* EnglishText(int set, int number)
{
    for (const Wording& w : EnglishWordings)
        if (w.set == set && w.number == number)
            return w.text;
    return "";
}

char* CoreMessage(int set, int number)
{
    if (DbTHandle* db = CoreStrings())
        return NlsFetchString(db, nullptr, NLS_MODE_NUMBER, set, number);
    return SaveStr_(EnglishText(set, number));
}
