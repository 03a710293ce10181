// Shared helpers of the menu engine's source files (and of the help menu,
// which the engine runs): item look-ups by index and the engine's texts from
// the core-string catalogue.
#pragma once

#include <cstdio>

#include "NlsUtils.h"
#include "TextMenu.h"

// Items before the table's closing item (the one whose label is null).
int ItemCount(const TextMenu* menu);
// The item at index (from 0), or null when the index lies outside the table.
TextMenuItem* ItemAt(TextMenu* menu, int index);

// The core-string catalogue: the host program's pDrvCoreDB, or the one the
// engine opens on first need (once per process). Null when there is none.
DbTHandle* CoreStrings();
// The unit's English wording of message set_number, shown when there is no
// catalogue at all; an empty text for a message the engine does not use.
const char* EnglishText(int set, int number);
// Message set_number as a new string for the caller to give back with
// PutMem: the catalogue's text (its key when the catalogue lacks it), or
// the English wording when there is no catalogue.
char* CoreMessage(int set, int number);

// Prints message set_number to standard output as a printf format with the
// arguments ("Error" when the catalogue lacks it).
template <typename... Args>
void ShowCore(int set, int number, Args... args)
{
    if (DbTHandle* db = CoreStrings()) {
        Nlsfprintf(stdout, db, set, number, args...);
        return;
    }
    if constexpr (sizeof...(args) == 0)
        fputs(EnglishText(set, number), stdout);
    else
        fprintf(stdout, EnglishText(set, number), args...);
}

// Formats message set_number with the arguments into buf (size bytes, cut
// to fit).
template <typename... Args>
char* FormatCore(char* buf, int size, int set, int number, Args... args)
{
    if (DbTHandle* db = CoreStrings())
        return Nlssnprintf(buf, size, db, set, number, args...);
    snprintf(buf, static_cast<size_t>(size), EnglishText(set, number), args...);
    return buf;
}

// Fixed English texts of the entry checks, not taken from the catalogue.
extern const char TextInvalidDigit[];      // "Invalid digit:  %c\n"
extern const char TextDigitsOnly[];        // a character outside "0123456789."
extern const char textmenu_060[];          // the float range, "%f to %f"
extern const char TextLiteralMismatch[];   // character, expected character, text so far

// TestStateCondition over length characters of text (no NUL needed).
int TestConditionSpan(TextMenu* menu, const char* text, size_t length, int owner);

// Pick-many values and the choice page's hidden set hold one bit per
// choice, for the first 32 choices.
inline constexpr int MENU_CHOICE_BITS = 32;
// Whether choice index (from 0) of the pick item may not be chosen: outside
// the list, or hidden (by the page's hidden set for the first 32 choices,
// by the name's mark for the others).
bool ChoiceHidden(const TextMenuItem* item, unsigned hidden, int index);
