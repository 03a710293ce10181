// Entry checks: a typed value against the entry format of its item, such as
// "/A(1,255)+-+_+/" or "a(1,8)|d(1,9)". The first problem is shown to the
// user, who confirms it with Return, and its code returned.
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "MemMgr.h"
#include "TextMenuImpl.h"
#include "utils.h"

char* pErrIntRange = nullptr;
char* pErrFloatRange = nullptr;
char* pErrLongRange = nullptr;

namespace {

constexpr int MatchedSize = 512;
constexpr int ExtrasSize = 128;

constexpr int VALID = 0;
constexpr int OUT_OF_RANGE = 1;
constexpr int WRONG_LENGTH = 2;
constexpr int BAD_CHARACTER = 3;
constexpr int FORBIDDEN_WORD = 4;

// The entry being checked, the reading position and the text matched so far.
struct Entry {
    const char* text;
    size_t length;
    size_t pos = 0;
    char matched[MatchedSize] = {};
    size_t matchedLength = 0;

    void Restart()
    {
        pos = 0;
        matchedLength = 0;
        matched[0] = '\0';
    }
    void Accept(char c)
    {
        if (matchedLength < MatchedSize - 1) {
            matched[matchedLength++] = c;
            matched[matchedLength] = '\0';
        }
    }
    // Steps past the characters at the reading position that belong to a
    // number, and one more, never past the entry's end.
    template <typename Part>
    void StepOver(Part isPart)
    {
        while (pos < length && isPart(static_cast<unsigned char>(text[pos])))
            ++pos;
        pos = std::min(pos + 1, length);
    }
};

// A range term: letter(min,max) and its modifiers.
struct RangeTerm {
    char letter;
    int min = 0;
    int max = 0;
    float floatMin = 0;
    float floatMax = 0;
    long double longMin = 0;
    long double longMax = 0;
    const char* modifiers = nullptr;  // the "+c" and "-c" pairs
    const char* modifiersEnd = nullptr;
    char extras[ExtrasSize] = {};     // the '+' characters, for the messages
};

enum class Message {
    None,
    CharacterA,     // 1007: character, extras
    CharacterLetters,  // 1008: character, extras
    Length,         // 30_42 or 30_44
    InvalidDigit,
    IntRange,
    HexRange,
    FloatCharacter,  // 1006
    OnePoint,        // 1020
    FloatRange,
    DigitsOnly,
    LongRange,
    Forbidden,       // 1009: the entry
    Literal,         // character, expected character, text so far
};

struct Verdict {
    int code = VALID;
    Message message = Message::None;
    bool atOnce = false;  // reported whatever alternative follows
    char character = 0;
    char expected = 0;
};

Verdict Fail(int code, Message message, char character = 0, bool atOnce = false)
{
    Verdict v;
    v.code = code;
    v.message = message;
    v.character = character;
    v.atOnce = atOnce;
    return v;
}

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

bool IsRangeLetter(const char* f)
{
    switch (*f) {
    case 'A': case 'a': case 'p': case 'L': case 'd': case 'x': case 'f': case 'D':
        return true;
    case 't':
        return f[1] == '(';
    default:
        return false;
    }
}

bool TakesModifiers(char letter)
{
    return letter == 'A' || letter == 'a' || letter == 'p' || letter == 'd';
}

void SkipOne(const char** p)
{
    if (**p)
        ++*p;
}

// A bound at *p (0 when there is none there), *p moved past it.
template <typename Number, typename Read>
Number ReadBound(const char** p, Read read)
{
    char* end = nullptr;
    const Number n = read(*p, &end);
    *p = end;
    return n;
}

int ReadInt(const char** p)
{
    const long n = ReadBound<long>(p, [](const char* s, char** e) { return strtol(s, e, 10); });
    return n < INT_MIN ? INT_MIN : n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

// Reads letter, the character after it, min, a separator, max and a closing
// character, then the modifiers of the letters that take them.
const char* ParseRange(const char* f, RangeTerm* term)
{
    term->letter = *f++;
    SkipOne(&f);
    if (term->letter == 'f') {
        term->floatMin = ReadBound<float>(&f, [](const char* s, char** e) { return strtof(s, e); });
        SkipOne(&f);
        term->floatMax = ReadBound<float>(&f, [](const char* s, char** e) { return strtof(s, e); });
    } else if (term->letter == 'D') {
        term->longMin = ReadBound<long double>(&f, [](const char* s, char** e) { return strtold(s, e); });
        SkipOne(&f);
        term->longMax = ReadBound<long double>(&f, [](const char* s, char** e) { return strtold(s, e); });
    } else {
        term->min = ReadInt(&f);
        SkipOne(&f);
        term->max = ReadInt(&f);
    }
    SkipOne(&f);
    if (!TakesModifiers(term->letter))
        return f;
    term->modifiers = f;
    size_t extras = 0;
    while ((f[0] == '+' || f[0] == '-') && f[1]) {
        if (f[0] == '+' && extras < ExtrasSize - 1)
            term->extras[extras++] = f[1];
        f += 2;
    }
    term->modifiersEnd = f;
    return f;
}

bool HasModifier(const RangeTerm& term, char sign, char c)
{
    for (const char* m = term.modifiers; m && m < term.modifiersEnd; m += 2)
        if (m[0] == sign && m[1] == c)
            return true;
    return false;
}

bool InClass(char letter, unsigned char c)
{
    switch (letter) {
    case 'A': return isalnum(c);
    case 'a': return isalpha(c);
    default: return isalnum(c) || ispunct(c) || c == ' ';
    }
}

bool LengthFits(const Entry& e, const RangeTerm& term)
{
    const auto length = static_cast<long long>(e.length);
    return term.max == 0 || (length >= term.min && length <= term.max);
}

Verdict CheckCharacters(Entry& e, const RangeTerm& term)
{
    for (; e.pos < e.length; ++e.pos) {
        const char c = e.text[e.pos];
        const bool allowed = InClass(term.letter, static_cast<unsigned char>(c)) ||
                             HasModifier(term, '+', c);
        if (!allowed || HasModifier(term, '-', c))
            return Fail(BAD_CHARACTER,
                        term.letter == 'a' ? Message::CharacterLetters : Message::CharacterA, c);
        e.Accept(c);
    }
    return LengthFits(e, term) ? Verdict{} : Fail(WRONG_LENGTH, Message::Length);
}

Verdict CheckDecimal(Entry& e, const RangeTerm& term)
{
    for (size_t i = 0; i < e.length; ++i) {
        const char c = e.text[i];
        if (!isdigit(static_cast<unsigned char>(c)) || HasModifier(term, '-', c))
            return Fail(BAD_CHARACTER, Message::InvalidDigit, c, true);
    }
    const long value = strtol(e.text + e.pos, nullptr, 10);
    e.StepOver(IsDigit);
    if (term.max != 0 && (value < term.min || value > term.max))
        return Fail(OUT_OF_RANGE, Message::IntRange, 0, true);
    return {};
}

Verdict CheckHex(Entry& e, const RangeTerm& term)
{
    const unsigned long read = strtoul(e.text + e.pos, nullptr, 16);
    const auto value = static_cast<long long>(std::min<unsigned long>(read, UINT_MAX));
    e.StepOver([](unsigned char c) { return isxdigit(c) != 0; });
    if (term.max != 0 && (value < term.min || value > term.max))
        return Fail(OUT_OF_RANGE, Message::HexRange, 0, true);
    return {};
}

Verdict CheckFloat(Entry& e, const RangeTerm& term)
{
    int points = 0;
    for (size_t i = e.pos; i < e.length; ++i) {
        const char c = e.text[i];
        if (c == '.') {
            if (++points > 1)
                return Fail(OUT_OF_RANGE, Message::OnePoint, 0, true);
        } else if (!isdigit(static_cast<unsigned char>(c))) {
            return Fail(BAD_CHARACTER, Message::FloatCharacter, c, true);
        }
        e.Accept(c);
    }
    const float value = strtof(e.text + e.pos, nullptr);
    e.StepOver([](unsigned char c) { return IsDigit(c) || c == '.'; });
    if (term.floatMax != 0 && (value < term.floatMin || value > term.floatMax))
        return Fail(OUT_OF_RANGE, Message::FloatRange, 0, true);
    return {};
}

Verdict CheckLong(Entry& e, const RangeTerm& term)
{
    for (size_t i = 0; i < e.length; ++i)
        if (!isdigit(static_cast<unsigned char>(e.text[i])))
            return Fail(BAD_CHARACTER, Message::DigitsOnly, e.text[i], true);
    const long double value = strtold(e.text + e.pos, nullptr);
    e.StepOver(IsDigit);
    if (term.longMax != 0 && (value < term.longMin || value > term.longMax))
        return Fail(OUT_OF_RANGE, Message::LongRange, 0, true);
    return {};
}

Verdict CheckRange(Entry& e, const RangeTerm& term)
{
    switch (term.letter) {
    case 'L':
    case 't':
        return LengthFits(e, term) ? Verdict{} : Fail(WRONG_LENGTH, Message::Length);
    case 'd': return CheckDecimal(e, term);
    case 'x': return CheckHex(e, term);
    case 'f': return CheckFloat(e, term);
    case 'D': return CheckLong(e, term);
    default: return CheckCharacters(e, term);
    }
}

const char* SkipToOperator(const char* f)
{
    while (*f && *f != '|' && *f != '&')
        ++f;
    return f;
}

// Shows message number of the core strings with one argument and gives it
// back.
template <typename Arg>
void ShowMessage(int number, Arg arg)
{
    char* text = CoreMessage(NLS_SET_CORE, number);
    PostMsg(text, arg);
    PutMem(text);
}

void Show(const Verdict& v, const Entry& e, const RangeTerm& term)
{
    const int c = static_cast<unsigned char>(v.character);
    switch (v.message) {
    case Message::None:
        break;
    case Message::CharacterA:
    case Message::CharacterLetters: {
        char* text = CoreMessage(NLS_SET_CORE, v.message == Message::CharacterA ? 1007 : 1008);
        PostMsg(text, c, term.extras);
        PutMem(text);
        break;
    }
    case Message::Length:
        FormatCore(LineBuf, sizeof LineBuf, NLS_SET_MENU, term.min != term.max ? 42 : 44, term.min,
                   term.max);
        PostMsg("%s", LineBuf);
        break;
    case Message::InvalidDigit: PostMsg(TextInvalidDigit, c); break;
    case Message::IntRange: PostMsg(pErrIntRange, term.min, term.max); break;
    case Message::HexRange: PostMsg(pErrFloatRange, term.min, term.max); break;
    case Message::FloatCharacter: ShowMessage(1006, c); break;
    case Message::OnePoint: {
        char* text = CoreMessage(NLS_SET_CORE, 1020);
        PostMsg("%s", text);
        PutMem(text);
        break;
    }
    case Message::FloatRange:
        PostMsg(textmenu_060, static_cast<double>(term.floatMin), static_cast<double>(term.floatMax));
        break;
    case Message::DigitsOnly: PostMsg(TextDigitsOnly, c); break;
    case Message::LongRange: PostMsg(pErrLongRange, term.longMin, term.longMax); break;
    case Message::Forbidden: ShowMessage(1009, e.text); break;
    case Message::Literal:
        PostMsg(TextLiteralMismatch, c, static_cast<unsigned char>(v.expected), e.matched);
        break;
    }
}

// The word of "!(word)" (a 't' not followed by '(' is read the same way).
Verdict CheckWord(const Entry& e, const char** f)
{
    const char* p = *f + 1;
    SkipOne(&p);
    char word[TOKEN_BUF_SIZE] = {};
    const char* after = p;
    GetTokenD(p, ")", &after, word);
    *f = after;
    return strcmp(e.text, word) == 0 ? Fail(FORBIDDEN_WORD, Message::Forbidden, 0, true) : Verdict{};
}

Verdict CheckLiteral(Entry& e, char literal)
{
    if (e.pos < e.length && e.text[e.pos] == literal) {
        e.Accept(literal);
        ++e.pos;
        return {};
    }
    Verdict v = Fail(BAD_CHARACTER, e.matchedLength > 0 ? Message::Literal : Message::None,
                     e.pos < e.length ? e.text[e.pos] : '\0');
    v.expected = literal;
    return v;
}

void FetchRangeMessages()
{
    if (pErrIntRange)
        return;
    pErrIntRange = CoreMessage(NLS_SET_CORE, 1003);
    pErrFloatRange = CoreMessage(NLS_SET_CORE, 1004);
    pErrLongRange = CoreMessage(NLS_SET_CORE, 1024);
}

}  // namespace

int ValidateEntry(const char* entry, const char* format)
{
    if (!format)
        return VALID;
    FetchRangeMessages();
    Entry e;
    e.text = entry ? entry : "";
    e.length = strlen(e.text);
    for (const char* f = format; *f;) {
        const char c = *f;
        if (c == ' ' || c == '\t' || c == '\n') {
            ++f;
            continue;
        }
        if (c == '&') {
            ++f;
            e.Restart();
            continue;
        }
        if (c == '|')
            return VALID;
        RangeTerm term;
        Verdict v;
        if (IsRangeLetter(f)) {
            f = ParseRange(f, &term);
            v = CheckRange(e, term);
            if (strchr("dxfD", term.letter))
                f = SkipToOperator(f);
        } else if (c == '!' || c == 't') {
            v = CheckWord(e, &f);
            f = SkipToOperator(f);
        } else {
            v = CheckLiteral(e, c);
            ++f;
        }
        if (v.code == VALID)
            continue;
        if (!v.atOnce) {
            f = SkipToOperator(f);
            if (*f == '|') {
                ++f;
                e.Restart();
                continue;
            }
        }
        Show(v, e, term);
        return v.code;
    }
    return VALID;
}
