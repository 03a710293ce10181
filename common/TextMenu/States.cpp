// Item states: the state rules of the pick items (groups such as N1{3,4}
// run whenever the item's value changes) and the visibility marks of single
// choices.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "TextMenuImpl.h"
#include "utils.h"

namespace {

constexpr char RuleDelims[] = "{,.} ";

// P rules run other items' rules inside their own. A chain that comes back
// to an item it has passed is followed no deeper than MaxNestedRuns, and
// one run of an item's rules makes at most MaxRunsPerChange nested runs in
// all, however many targets each rule names.
constexpr int MaxNestedRuns = 16;
constexpr int MaxRunsPerChange = 256;
int nestedRuns = 0;
int runsThisChange = 0;

long ReadNumber(const char* text)
{
    return strtol(text, nullptr, 10);
}

int ClampInt(long number)
{
    return number < INT_MIN ? INT_MIN : number > INT_MAX ? INT_MAX : static_cast<int>(number);
}

// A target's value is a number unless the item keeps a sub-menu or a text
// buffer there.
bool HoldsNumber(const TextMenuItem& item)
{
    return item.kind != ITEM_SUBMENU && item.kind != ITEM_NAME && item.kind != ITEM_STRING;
}

void SetState(TextMenu* menu, int target, int state)
{
    if (TextMenuItem* item = ItemAt(menu, target))
        item->state = state;
}

void SetValue(TextMenu* menu, int target, bool match, int value)
{
    TextMenuItem* item = ItemAt(menu, target);
    if (!item || !HoldsNumber(*item))
        return;
    if (match) {
        item->savedValue = static_cast<int>(item->value);
        item->value = value;
    } else if (item->savedValue >= 0) {
        item->value = item->savedValue;
        item->savedValue = -1;
    }
}

// Runs the target's own rules and then its callback, keeping the reading
// position of the rules being run.
void RunNested(TextMenu* menu, int target)
{
    TextMenuItem* item = ItemAt(menu, target);
    if (!item || nestedRuns >= MaxNestedRuns || runsThisChange >= MaxRunsPerChange)
        return;
    const char* position = GetTokenBufInput();
    const char delimiter = chTokenDel;
    ++nestedRuns;
    ++runsThisChange;
    ProcessStateFormat(menu, target);
    if (item->actionFn)
        item->actionFn(menu, item);
    --nestedRuns;
    SetTokenBuf(position);
    chTokenDel = delimiter;
}

bool EndsGroup()
{
    return chTokenDel == '}' || chTokenDel == ' ';
}

// The targets of one group, read up to the word that ends it.
void RunGroup(TextMenu* menu, char action, bool match)
{
    for (const char* word = GetToken(nullptr, RuleDelims); word; word = GetToken(nullptr, RuleDelims)) {
        const int target = ClampInt(ReadNumber(word));
        switch (action) {
        case 'N':
            SetState(menu, target, match ? ITEM_STATE_DISABLED : ITEM_STATE_NORMAL);
            break;
        case 'H':
            SetState(menu, target, match ? ITEM_STATE_HIDDEN : ITEM_STATE_NORMAL);
            break;
        case 'S': {
            const char* value = GetToken(nullptr, RuleDelims);
            if (!value)
                return;
            SetValue(menu, target, match, ClampInt(ReadNumber(value)));
            break;
        }
        case 'P':
            if (match)
                RunNested(menu, target);
            break;
        default:
            break;
        }
        if (EndsGroup())
            return;
    }
}

// Start of choice n (from 0) inside the list, read as the token reader
// reads it (empty fields skipped, a backslash keeps the next character in
// the name); null beyond the last choice.
char* ChoiceStart(char* choices, int n)
{
    char* p = choices;
    for (int i = 0;; ++i) {
        while (*p == ',')
            ++p;
        if (!*p)
            return nullptr;
        if (i == n)
            return p;
        while (*p && *p != ',')
            p += p[0] == '\\' && p[1] ? 2 : 1;
    }
}

bool MarkChoice(TextMenuItem* item, int choice, char mark)
{
    if (!item || !item->choices || choice < 0)
        return false;
    char* start = ChoiceStart(item->choices, choice);
    if (start)
        *start = mark;
    return start != nullptr;
}

}  // namespace

int TestFormatState(const char* selector, int value)
{
    if (!selector)
        return 0;
    for (const char* p = selector; *p;) {
        if (*p == '*' || ReadNumber(p) == value)
            return 1;
        while (isdigit(static_cast<unsigned char>(*p)))
            ++p;
        while (*p && *p != '*' && !isdigit(static_cast<unsigned char>(*p)))
            ++p;
    }
    return 0;
}

void ProcessStateFormat(TextMenu* menu, int index)
{
    TextMenuItem* item = ItemAt(menu, index);
    if (!item || !item->rules || item->state != ITEM_STATE_NORMAL)
        return;
    if (nestedRuns == 0)
        runsThisChange = 0;
    for (const char* word = GetToken(item->rules, RuleDelims); word;
         word = GetToken(nullptr, RuleDelims)) {
        const char action = word[0];
        char selector[TOKEN_BUF_SIZE];
        snprintf(selector, sizeof selector, "%s", word + 1);
        RunGroup(menu, action, TestFormatState(selector, static_cast<int>(item->value)));
    }
}

void UpdateStateSelection(TextMenuItem* item)
{
    if (!item)
        return;
    const auto lookUp = [item]() -> char* {
        if (!item->choices || item->value < 0 || item->value >= INT_MAX)
            return nullptr;
        return GetTokenN(item->choices, ",", static_cast<int>(item->value) + 1);
    };
    item->choiceName = lookUp();
    for (int i = 0; i < item->choiceCount && item->kind == ITEM_PICKONE; ++i) {
        if (!item->choiceName || item->choiceName[0] != ' ')
            break;
        item->prevValue = static_cast<int>(item->value);
        item->value = (item->value + 1) % item->choiceCount;
        item->choiceName = lookUp();
    }
}

void HideStateSelection(TextMenuItem* item, int choice)
{
    if (MarkChoice(item, choice, ' '))
        UpdateStateSelection(item);
}

void ShowStateSelection(TextMenuItem* item, int choice)
{
    MarkChoice(item, choice, '_');
}
