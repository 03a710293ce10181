// Conditions over other items' values and states, such as (3.1|4.2)&!5.0,
// which choose the sub-menu an item leads to. They are read from left to
// right: & and | have no precedence over each other.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "TextMenuImpl.h"

namespace {

// A term is cut to this many characters.
constexpr int MaxTermLength = 79;
// Parentheses nested deeper than this make an operand that is false.
constexpr int MaxDepth = 64;

struct Reader {
    TextMenu* menu;
    const char* p;
    const char* end;
    int owner;
    int depth;
};

bool IsOperator(char c)
{
    return c == '&' || c == '|' || c == '!' || c == '(' || c == ')';
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void SkipBlanks(Reader& r)
{
    while (r.p < r.end && IsBlank(*r.p))
        ++r.p;
}

// Passes over a group too deeply nested to be evaluated, up to its ")".
void SkipGroup(Reader& r)
{
    int open = 0;
    for (; r.p < r.end; ++r.p) {
        if (*r.p == '(')
            ++open;
        else if (*r.p == ')' && --open == 0) {
            ++r.p;
            return;
        }
    }
}

bool Term(Reader& r)
{
    char term[MaxTermLength + 1];
    size_t length = 0;
    for (; r.p < r.end && !IsOperator(*r.p) && !IsBlank(*r.p); ++r.p)
        if (length < MaxTermLength)
            term[length++] = *r.p;
    const bool stateTest = length > 0 && term[length - 1] == 'A';
    if (stateTest)
        --length;
    term[length] = '\0';
    const int state = TestState(r.menu, term, r.owner);
    return stateTest ? state == 2 : state != 0;
}

bool Condition(Reader& r);

// One operand; an empty one (at the end, or before an operator or ")") is
// false and reads nothing.
bool Operand(Reader& r)
{
    bool negate = false;
    for (SkipBlanks(r); r.p < r.end && *r.p == '!'; SkipBlanks(r)) {
        negate = !negate;
        ++r.p;
    }
    bool truth = false;
    if (r.p < r.end && *r.p == '(') {
        if (r.depth >= MaxDepth) {
            SkipGroup(r);
        } else {
            ++r.p;
            ++r.depth;
            truth = Condition(r);
            --r.depth;
            if (r.p < r.end && *r.p == ')')
                ++r.p;
        }
    } else if (r.p < r.end && !IsOperator(*r.p)) {
        truth = Term(r);
    }
    return negate != truth;
}

// Operands joined by & and |, up to the end or, inside parentheses, the ")"
// that closes them. A ")" without its "(" is passed over, and an operand
// that follows another without an operator is read and left out.
bool Condition(Reader& r)
{
    bool result = false;
    bool first = true;
    for (SkipBlanks(r); r.p < r.end; SkipBlanks(r)) {
        const char c = *r.p;
        if (c == ')') {
            if (r.depth > 0)
                break;
            ++r.p;
        } else if (first) {
            result = Operand(r);
            first = false;
        } else if (c == '&' || c == '|') {
            ++r.p;
            const bool operand = Operand(r);
            result = c == '&' ? result && operand : result || operand;
        } else {
            Operand(r);
        }
    }
    return result;
}

}  // namespace

int TestState(TextMenu* menu, const char* term, int owner)
{
    if (!term)
        return 0;
    const char* p = term;
    int direction = 0;
    if (*p == '+' || *p == '-')
        direction = *p++ == '+' ? 1 : -1;
    char* end = nullptr;
    const long index = strtol(p, &end, 10);
    if (end == p || *end != '.' || index < -INT_MAX || index > INT_MAX)
        return 0;
    p = end + 1;
    const long value = strtol(p, &end, 10);
    if (end == p)
        return 0;
    const long long target = direction == 0 ? index : owner + direction * static_cast<long long>(index);
    if (target < 0 || target >= ItemCount(menu))
        return 0;
    const TextMenuItem* item = ItemAt(menu, static_cast<int>(target));
    if (!item || item->value != value)
        return 0;
    return item->state == ITEM_STATE_NORMAL ? 1 : 2;
}

int TestConditionSpan(TextMenu* menu, const char* text, size_t length, int owner)
{
    if (!text)
        return 0;
    Reader r{menu, text, text + length, owner, 0};
    return Condition(r) ? 1 : 0;
}

int TestStateCondition(TextMenu* menu, const char* condition, int owner)
{
    return condition ? TestConditionSpan(menu, condition, strlen(condition), owner) : 0;
}
