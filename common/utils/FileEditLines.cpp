// The line edits of text files (replace, delete, cut, prefix), each run
// through the shared frame of FileEdit.cpp.
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "FileEditFrame.h"
#include "MemMgr.h"
#include "utils.h"

namespace {

using std::string_view;
constexpr size_t npos = string_view::npos;

// FileChangeChar's replacement holds at most this many characters.
constexpr size_t kMaxReplacement = 135;

// Position of text in line; a null or empty text is found nowhere.
size_t Find(string_view line, const char* text)
{
    if (!text || !*text)
        return npos;
    return line.find(text);
}

bool Contains(string_view line, const char* text)
{
    return Find(line, text) != npos;
}

// Runs one edit: every line of the input is handed to edit, which writes
// what the output gets; then the output takes the input's place.
template <typename Edit>
void EditFile(const char* base, const char* ext, Edit edit)
{
    EditNames names;
    FormEditNames(names, base, ext);
    OpenEditFiles(names);
    EditPiece piece;
    while (ReadEditPiece(piece))
        edit(piece.View());
    FinishEdit(names.in, names.out);
}

// The first `count` matching lines are left alone; a count below 1 spares none.
class Spared {
public:
    explicit Spared(int count) : left_(count) {}
    bool Take()
    {
        if (left_ <= 0)
            return false;
        --left_;
        return true;
    }

private:
    int left_;
};

void WriteWithout(string_view line, size_t pos, size_t length)
{
    WriteEdit(line.substr(0, pos));
    WriteEdit(line.substr(pos + length));
}

// Writes line with every c written as replacement.
void WriteReplacingChar(string_view line, char c, string_view replacement)
{
    for (size_t pos; (pos = line.find(c)) != npos; line.remove_prefix(pos + 1)) {
        WriteEdit(line.substr(0, pos));
        WriteEdit(replacement);
    }
    WriteEdit(line);
}

// One character code as "%i" reads it (decimal, octal after a leading 0,
// hexadecimal after 0x, an optional sign), taken as one character. False
// when text does not start with a number; *end is set past it.
bool ReadCharCode(const char* text, char& c, const char** end)
{
    if (!text)
        return false;
    char* stop;
    long value = strtol(text, &stop, 0);
    if (stop == text)
        return false;
    c = static_cast<char>(value);
    *end = stop;
    return true;
}

// FileChangeChar's replacement from comma-separated codes, cut at
// kMaxReplacement characters. A null or empty list gives no characters;
// false when an element holds no code.
bool ReadReplacement(const char* codes, char (&replacement)[kMaxReplacement], size_t& length)
{
    length = 0;
    if (!codes || !*codes)
        return true;
    for (const char* element = codes;;) {
        char c;
        const char* end;
        if (!ReadCharCode(element, c, &end))
            return false;
        if (length < kMaxReplacement)
            replacement[length++] = c;
        element = strchr(end, ',');
        if (!element)
            return true;
        ++element;
    }
}

// The digits at text (at least one) as a number no larger than INT_MAX;
// the count of digits, 0 when text does not start with one.
size_t ReadCount(const char* text, long long& value)
{
    size_t digits = 0;
    value = 0;
    while (isdigit(static_cast<unsigned char>(text[digits]))) {
        value = value * 10 + (text[digits] - '0');
        if (value > INT_MAX)
            value = INT_MAX;
        ++digits;
    }
    return digits;
}

// The prefix template of FileInsert and FileSearchInsert. "%s<n>" sets the
// first count and is removed; "%#<m>" makes the template numbered: it is
// written from the count m on, with "%#<m>" shown as the count minus m in
// five digits. The template is written as text, never used as a format.
class LinePrefix {
public:
    explicit LinePrefix(const char* templ) : text_(SaveStr_(templ ? templ : ""))
    {
        if (char* start = strstr(text_, "%s")) {
            if (size_t digits = ReadCount(start + 2, count_))
                memmove(start, start + 2 + digits, strlen(start + 2 + digits) + 1);
        }
        if (const char* mark = strstr(text_, "%#")) {
            if (size_t digits = ReadCount(mark + 2, first_)) {
                numbered_ = true;
                markAt_ = static_cast<size_t>(mark - text_);
                markEnd_ = markAt_ + 2 + digits;
            }
        }
    }
    ~LinePrefix() { PutMem(text_); }
    LinePrefix(const LinePrefix&) = delete;
    LinePrefix& operator=(const LinePrefix&) = delete;

    // Writes the prefix of the next counted line.
    void Write()
    {
        if (!numbered_) {
            WriteEdit(text_);
        } else if (count_ >= first_) {
            string_view text(text_);
            char number[24];
            int length = snprintf(number, sizeof number, "%05lld", count_ - first_);
            WriteEdit(text.substr(0, markAt_));
            WriteEdit(string_view(number, static_cast<size_t>(length)));
            WriteEdit(text.substr(markEnd_));
        }
        ++count_;
    }

private:
    char* text_;
    long long count_ = 0;
    bool numbered_ = false;
    long long first_ = 0;
    size_t markAt_ = 0;
    size_t markEnd_ = 0;
};

}  // namespace

void FileChange(const char* base, const char* ext, const char* text, const char* replacement)
{
    string_view with = replacement ? replacement : "";
    size_t length = text ? strlen(text) : 0;
    EditFile(base, ext, [&](string_view line) {
        size_t pos = Find(line, text);
        if (pos == npos) {
            WriteEdit(line);
            return;
        }
        WriteEdit(line.substr(0, pos));
        WriteEdit(with);
        WriteEdit(line.substr(pos + length));
    });
}

void FileChangeChar(const char* base, const char* ext, const char* code, const char* replacements)
{
    char c;
    const char* end;
    if (!ReadCharCode(code, c, &end)) {
        ErrorMsg(1, 0, "bad character code, %s", code ? code : "(null)");
        return;
    }
    char replacement[kMaxReplacement];
    size_t length;
    if (!ReadReplacement(replacements, replacement, length)) {
        ErrorMsg(1, 0, "bad character codes, %s", replacements);
        return;
    }
    EditFile(base, ext, [&](string_view line) {
        WriteReplacingChar(line, c, string_view(replacement, length));
    });
}

void FileDel(const char* base, const char* ext, int skip, const char* text)
{
    Spared spared(skip);
    size_t length = text ? strlen(text) : 0;
    EditFile(base, ext, [&](string_view line) {
        size_t pos = Find(line, text);
        if (pos == npos || spared.Take())
            WriteEdit(line);
        else
            WriteWithout(line, pos, length);
    });
}

int FileDelFormat(const char* base, const char* ext, const char* mode, const char* text)
{
    // The mode is checked before any file is touched: a mode that is not
    // known leaves no output behind and no file open.
    char how = mode ? mode[0] : '\0';
    if (!strchr("abcl", how))
        return 1;
    size_t length = text ? strlen(text) : 0;
    if (how == 'c') {
        char c;
        const char* end;
        if (!ReadCharCode(text, c, &end))
            return 1;
        EditFile(base, ext, [&](string_view line) { WriteReplacingChar(line, c, ""); });
        return 0;
    }
    EditFile(base, ext, [&](string_view line) {
        size_t pos = Find(line, text);
        if (pos == npos) {
            WriteEdit(line);
            return;
        }
        switch (how) {
        case 'a':
            WriteEdit(line.substr(0, pos + length));
            WriteEdit("\n");
            break;
        case 'b':
            WriteEdit(line.substr(pos));
            break;
        case 'l':
            break;
        default:
            WriteWithout(line, pos, length);
            break;
        }
    });
    return 0;
}

void FileDelLine(const char* base, const char* ext, int skip, const char* text)
{
    Spared spared(skip);
    EditFile(base, ext, [&](string_view line) {
        if (!Contains(line, text) || spared.Take())
            WriteEdit(line);
    });
}

void FileDelLinePair(const char* base, const char* ext, int skip, const char* start, const char* end)
{
    Spared spared(skip);
    // Start lines dropped and not yet matched by an end line.
    long depth = 0;
    EditFile(base, ext, [&](string_view line) {
        if (Contains(line, start)) {
            if (spared.Take())
                WriteEdit(line);
            else
                ++depth;
        } else if (depth > 0 && Contains(line, end)) {
            --depth;
        } else {
            WriteEdit(line);
        }
    });
}

void FileInsert(const char* base, const char* ext, const char* templ)
{
    LinePrefix prefix(templ);
    EditFile(base, ext, [&](string_view line) {
        prefix.Write();
        WriteEdit(line);
    });
}

void FileSearchInsert(const char* base, const char* ext, const char* templ, const char* text)
{
    LinePrefix prefix(templ);
    EditFile(base, ext, [&](string_view line) {
        if (Contains(line, text))
            prefix.Write();
        WriteEdit(line);
    });
}
