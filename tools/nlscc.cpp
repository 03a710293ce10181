// nlscc: the message catalogue compiler. Turns a plain-text message source
// into a message database (a tagged record database) and a database back
// into a source, so that translators work on text and the build makes the
// databases. See Usage below.
#include "Dbm.h"
#include "HexDigit.h"
#include "MemMgr.h"
#include "utils.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The library's version, which the build passes to its tools.
const char Version[] = "nlscc " TOOL_VERSION "\n";

const char Usage[] = R"(Usage: nlscc [-r REFERENCE] SOURCE [-o] DATABASE    compile SOURCE into DATABASE
       nlscc -c [-r REFERENCE] SOURCE                check SOURCE only
       nlscc -d DATABASE [[-o] SOURCE]               decompile DATABASE (to standard
                                                     output when SOURCE is missing)
       nlscc --version | --help

A message source holds one message per line: its key, blanks, then the text
in double quotes. The key is "SET_NUMBER" (both from 1, no leading zeros,
for example 25_1003) or any other word without blanks, quotes or a leading
"#"; a key with such characters is written in double quotes like a text.
Inside quotes a backslash starts an escape as in C: \n \t \r \a \b \f \v
\\ \" \' \?, \ooo (octal, 1 to 3 digits) and \xHH (1 or 2 hex digits); a
message cannot hold a NUL byte. Blank lines and lines whose first non-blank
character is "#" are comments; a "#" comment may also follow the text. The
source is UTF-8; a byte-order mark at its start is passed over.
Example:
    # Leave question of a sub-menu
    25_1017 "\nDo you want to return to %s menu"

-r REFERENCE  the source must hold exactly the keys of REFERENCE, and every
              message the same printf conversions in the same order (for
              translations checked against the English source).
-o OUTPUT     the database written (compiling) or the source written
              (decompiling).
--statistics  the number of messages on standard output, and with -r the
              keys missing from the source and those it has in excess.

Options may stand anywhere; "--" ends them. DATABASE is the path of the
database file; a path with no "." anywhere in it gets ".qdb" appended.
Compiling replaces the whole database: the new one is written to a file
beside it (DATABASE_new.XXXXXX) and then moved over it, so that the old
catalogue stays whole until the new one is complete; a failure leaves it as
it was. Compiling takes its turn among the database's writers. The text of
each message is stored with its terminating NUL. The database is left
readable by all and writable by its owner only.

Errors in a source are reported as FILE:LINE: MESSAGE in line order, then
the keys of the reference that the source lacks.

Exit status: 0 done, 1 errors in a source, 2 wrong usage, 3 a database that
cannot be read or written.
)";

enum Status { DONE = 0, BAD_SOURCE = 1, BAD_USAGE = 2, BAD_DATABASE = 3 };

[[noreturn]] void Fail(int status, const std::string& message)
{
    fprintf(stderr, "nlscc: %s\n", message.c_str());
    exit(status);
}

// ---- sources ----

struct Message {
    std::string key;
    std::string text;
    int line;
};

struct Source {
    std::string path;
    std::vector<Message> messages;
    std::vector<std::pair<int, std::string>> errors;  // line (0 for none) and text

    void Error(int line, const std::string& what) { errors.emplace_back(line, what); }

    // The errors on standard error in line order; those of no line last.
    void Report() const
    {
        auto sorted = errors;
        std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
            return (a.first == 0 ? INT_MAX : a.first) < (b.first == 0 ? INT_MAX : b.first);
        });
        for (const auto& [line, what] : sorted) {
            if (line > 0)
                fprintf(stderr, "%s:%d: %s\n", path.c_str(), line, what.c_str());
            else
                fprintf(stderr, "%s: %s\n", path.c_str(), what.c_str());
        }
    }
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The quoted text starting at line[i] (a '"'); i ends behind the closing
// quote. Empty error text on success.
std::string ReadQuoted(const std::string& line, size_t& i, std::string& out)
{
    out.clear();
    for (++i; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            ++i;
            return "";
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == line.size())
            break;
        c = line[i];
        int value = -1;
        switch (c) {
        case 'n': value = '\n'; break;
        case 't': value = '\t'; break;
        case 'r': value = '\r'; break;
        case 'a': value = '\a'; break;
        case 'b': value = '\b'; break;
        case 'f': value = '\f'; break;
        case 'v': value = '\v'; break;
        case '\\': case '"': case '\'': case '?': value = c; break;
        case 'x': {
            value = 0;
            int digits = 0;
            while (digits < 2 && i + 1 < line.size() && HexDigit(line[i + 1]) >= 0) {
                value = value * 16 + HexDigit(line[++i]);
                ++digits;
            }
            if (digits == 0)
                return "\\x needs a hexadecimal digit";
            break;
        }
        default:
            if (c >= '0' && c <= '7') {
                value = c - '0';
                for (int digits = 1; digits < 3 && i + 1 < line.size() && line[i + 1] >= '0' &&
                                     line[i + 1] <= '7';
                     ++digits)
                    value = value * 8 + (line[++i] - '0');
                break;
            }
            return std::string("unknown escape \\") + c;
        }
        if (value == 0)
            return "a message cannot hold a NUL byte";
        out += static_cast<char>(value);
    }
    return "missing closing quote";
}

// A key of digits, "_" and digits is fetched by number: it must read back
// the same through "%d_%d", or no fetch would ever find it.
std::string CheckNumericKey(const std::string& key)
{
    const size_t underscore = key.find('_');
    if (underscore == std::string::npos || underscore == 0 || underscore + 1 == key.size() ||
        key.find_first_not_of("0123456789_") != std::string::npos ||
        key.find('_', underscore + 1) != std::string::npos)
        return "";
    const long set = strtol(key.c_str(), nullptr, 10);
    const long number = strtol(key.c_str() + underscore + 1, nullptr, 10);
    if (set < 1 || set > INT_MAX || number < 1 || number > INT_MAX)
        return "set and number of key " + key + " must be 1 to " + std::to_string(INT_MAX);
    const std::string canonical = std::to_string(set) + "_" + std::to_string(number);
    if (canonical != key)
        return "key " + key + " is never fetched by number: write " + canonical;
    return "";
}

// One line of a source: nothing (comment or blank) or one message.
void ParseLine(Source& src, const std::string& line, int lineNo)
{
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] == '#')
        return;
    Message m{"", "", lineNo};
    if (line[i] == '"') {
        std::string error = ReadQuoted(line, i, m.key);
        if (!error.empty())
            return src.Error(lineNo, "key: " + error);
    } else {
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i]) && line[i] != '"')
            ++i;
        m.key = line.substr(start, i - start);
        if (i < line.size() && line[i] == '"')
            return src.Error(lineNo, "a key with a quote must be written in quotes");
    }
    if (m.key.empty())
        return src.Error(lineNo, "empty key");
    if (m.key.size() > static_cast<size_t>(DBM_MAX_KEY))
        return src.Error(lineNo, "key longer than " + std::to_string(DBM_MAX_KEY) + " characters");
    if (std::string error = CheckNumericKey(m.key); !error.empty())
        return src.Error(lineNo, error);
    const size_t keyEnd = i;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size())
        return src.Error(lineNo, "message " + m.key + " has no text (a text is written in double quotes)");
    if (line[i] != '"' || i == keyEnd)
        return src.Error(lineNo, "expected blanks and a text in double quotes after the key " + m.key);
    if (std::string error = ReadQuoted(line, i, m.text); !error.empty())
        return src.Error(lineNo, "message " + m.key + ": " + error);
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i < line.size() && line[i] != '#')
        return src.Error(lineNo, "unexpected text after the message " + m.key);
    // A record is its key, its NUL, the text and its NUL, and 2 bytes of key length.
    if (m.key.size() + m.text.size() + 4 > static_cast<size_t>(DBM_MAX_RECORD))
        return src.Error(lineNo, "message " + m.key + " is too long for a record");
    src.messages.push_back(std::move(m));
}

Source ReadSource(const std::string& path)
{
    Source src;
    src.path = path;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail(BAD_SOURCE, path + ": " + strerror(errno));
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // An editor's byte-order mark would otherwise become part of the first key.
        if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        ParseLine(src, line, lineNo);
    }
    if (in.bad())
        Fail(BAD_SOURCE, path + ": read error");
    std::map<std::string, int> seen;
    for (const Message& m : src.messages) {
        auto [it, fresh] = seen.emplace(m.key, m.line);
        if (!fresh)
            src.Error(m.line, "duplicate key " + m.key + " (first at line " + std::to_string(it->second) + ")");
    }
    return src;
}

// ---- conversions ----

// The printf conversions of a text in order, each as its length modifier
// and conversion character ("%d" and "%i" alike); "*" for a width or
// precision taken from the arguments, "?" for an unfinished conversion.
std::vector<std::string> Conversions(const std::string& text)
{
    std::vector<std::string> list;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        ++i;
        if (i < text.size() && text[i] == '%')
            continue;
        while (i < text.size() && strchr("-+ #0'", text[i]))
            ++i;
        for (int part = 0; part < 2; ++part) {
            if (part == 1) {
                if (i >= text.size() || text[i] != '.')
                    break;
                ++i;
            }
            if (i < text.size() && text[i] == '*') {
                list.push_back("*");
                ++i;
            }
            while (i < text.size() && isdigit(static_cast<unsigned char>(text[i])))
                ++i;
        }
        std::string conv;
        while (i < text.size() && strchr("hlLqjzt", text[i]))
            conv += text[i++];
        if (i < text.size() && strchr("diouxXeEfFgGaAcspn", text[i]))
            conv += text[i] == 'i' ? 'd' : text[i];
        else
            conv = "?";
        list.push_back(conv);
    }
    return list;
}

std::string Join(const std::vector<std::string>& list)
{
    if (list.empty())
        return "none";
    std::string s;
    for (const std::string& c : list)
        s += (s.empty() ? "%" : " %") + c;
    return s;
}

void CheckAgainst(Source& src, const Source& ref)
{
    std::map<std::string, const Message*> refKeys;
    for (const Message& m : ref.messages)
        refKeys.emplace(m.key, &m);
    std::map<std::string, bool> present;
    for (const Message& m : src.messages) {
        auto it = refKeys.find(m.key);
        if (it == refKeys.end()) {
            src.Error(m.line, "message " + m.key + " is not in " + ref.path);
            continue;
        }
        present[m.key] = true;
        const auto mine = Conversions(m.text);
        const auto theirs = Conversions(it->second->text);
        if (mine != theirs)
            src.Error(m.line, "message " + m.key + " has the conversions " + Join(mine) + ", " + ref.path +
                                  ":" + std::to_string(it->second->line) + " has " + Join(theirs));
    }
    for (const Message& m : ref.messages)
        if (!present.count(m.key))
            src.Error(0, "message " + m.key + " of " + ref.path + ":" + std::to_string(m.line) + " is missing");
}

// ---- databases ----

// The library names a database by its absolute path.
std::string DatabasePath(const std::string& arg)
{
    if (arg.empty())
        Fail(BAD_USAGE, "a database path may not be empty");
    std::string path = arg;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            Fail(BAD_DATABASE, std::string("current directory: ") + strerror(errno));
        path = std::string(cwd) + "/" + arg;
    }
    if (arg.find('.') == std::string::npos)
        path += ".qdb";
    return path;
}

// The new catalogue's image, made in a handle that holds the writers' turn
// of the database: the old records are dropped, the messages stored.
void BuildImage(DbTHandle* h, const Source& src, const std::string& path)
{
    PutMem(h->pImage);
    h->pImage = nullptr;
    h->Size = 0;
    h->Count = 0;
    DbTSetDbType(h, DBT_NEW);
    for (const Message& m : src.messages)
        if (!DbmTPutRecord(h, m.key.c_str(), m.text.c_str(), static_cast<int>(m.text.size()) + 1))
            Fail(BAD_DATABASE, path + ": message " + m.key + " not stored");
    UpdateHeader(h);
}

bool WriteAll(int fd, const char* bytes, size_t size)
{
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The image goes to a scratch file of its own beside the database, is
// flushed to the disk and then moved over it: the old catalogue stays
// whole until the new one takes its place. Its texts are used as printf
// formats, so only the owner may change them.
void WriteCatalogue(const DbTHandle* h, const std::string& path)
{
    std::string scratch = path + "_new.XXXXXX";
    const int fd = mkostemp(scratch.data(), O_CLOEXEC);
    if (fd < 0)
        Fail(BAD_DATABASE, scratch + ": " + strerror(errno) + "; the catalogue is left as it was");
    const bool written = WriteAll(fd, h->pImage, static_cast<size_t>(h->Size)) && fchmod(fd, 0644) == 0 &&
                         fsync(fd) == 0;
    const int why = errno;
    if (close(fd) != 0 || !written || rename(scratch.c_str(), path.c_str()) != 0) {
        const int reason = written ? errno : why;
        unlink(scratch.c_str());
        Fail(BAD_DATABASE, path + ": " + strerror(reason) + "; the catalogue is left as it was");
    }
}

void Compile(const Source& src, const std::string& arg)
{
    const std::string path = DatabasePath(arg);
    DbTHandle* h = DbTOpen(path.c_str(), DBT_NO_ARCHIVE | DBT_NO_RELOAD);
    if (!h)
        Fail(BAD_DATABASE, path + ": out of memory");
    DbmSetV4DriverPathHandling();
    if (!DbmTLock(h))
        Fail(BAD_DATABASE, path + ": not written; the catalogue is left as it was");
    BuildImage(h, src, path);
    WriteCatalogue(h, path);
    DbTClose(h);
}

bool IsBareKey(const std::string& key)
{
    if (key.empty() || key[0] == '#')
        return false;
    for (unsigned char c : key)
        if (c <= ' ' || c >= 127 || c == '"' || c == '\\')
            return false;
    return true;
}

std::string Quote(const char* text, size_t length)
{
    std::string out = "\"";
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < ' ' || c == 127) {
                char esc[8];
                snprintf(esc, sizeof esc, "\\%03o", c);
                out += esc;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

// Every record as a source line. A record that is not a text with one NUL
// at its end cannot be written exactly: it is reported and the result is 1.
int Decompile(const std::string& arg, const char* outPath)
{
    const std::string path = DatabasePath(arg);
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        Fail(BAD_DATABASE, path + ": " + strerror(errno));
    if (!S_ISREG(st.st_mode))
        Fail(BAD_DATABASE, path + ": not a database file");
    DbTHandle* h = DbTOpen(path.c_str(), DBT_NO_RELOAD);
    if (!h)
        Fail(BAD_DATABASE, path + ": out of memory");
    const int fileSize = h->Size;
    DbmLink* list = DbmTGetDbLinkList(h, "");
    const int recordsEnd = h->Size;
    FILE* out = outPath ? fopen(outPath, "w") : stdout;
    if (!out)
        Fail(BAD_SOURCE, std::string(outPath) + ": " + strerror(errno));
    int count = 0;
    for (DbmLink* l = list; l; l = l->pNext)
        ++count;
    fprintf(out, "# Message catalogue %s: %d messages.\n", path.c_str(), count);
    int status = DONE;
    for (DbmLink* l = list; l; l = l->pNext) {
        if (!l->pRecord) {
            fprintf(stderr, "nlscc: %s: a record could not be read (out of memory)\n", path.c_str());
            status = BAD_DATABASE;
            continue;
        }
        const std::string key = l->pRecord;
        const size_t size = static_cast<size_t>(l->DataSize);
        const size_t textLen = strnlen(l->pData, size);
        if (textLen + 1 != size) {
            fprintf(stderr, "nlscc: %s: message %s %s\n", path.c_str(), key.c_str(),
                    textLen == size ? "has no terminating NUL" : "has data behind its text; only the text is written");
            status = BAD_SOURCE;
        }
        fprintf(out, "%s %s\n", IsBareKey(key) ? key.c_str() : Quote(key.data(), key.size()).c_str(),
                Quote(l->pData, textLen).c_str());
    }
    DbmFreeDbLinkList(list);
    DbTClose(h);
    if (recordsEnd < fileSize) {
        fprintf(stderr, "nlscc: %s: damaged: the records end at byte %d of %d\n", path.c_str(), recordsEnd,
                fileSize);
        status = BAD_DATABASE;
    }
    if (out != stdout ? fclose(out) != 0 : fflush(out) != 0)
        Fail(BAD_SOURCE, std::string(outPath ? outPath : "standard output") + ": write error");
    return status;
}

struct Options {
    bool check = false;
    bool decompile = false;
    bool statistics = false;
    const char* reference = nullptr;
    const char* output = nullptr;
    std::vector<const char*> files;
};

[[noreturn]] void WrongUsage(const std::string& why)
{
    fprintf(stderr, "nlscc: %s\n", why.c_str());
    fputs(Usage, stderr);
    exit(BAD_USAGE);
}

Options ParseOptions(int argc, char** argv)
{
    Options o;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        if (!options || opt.size() < 2 || opt[0] != '-') {
            o.files.push_back(argv[i]);
        } else if (opt == "--") {
            options = false;
        } else if (opt == "--help" || opt == "-h") {
            fputs(Usage, stdout);
            exit(DONE);
        } else if (opt == "--version") {
            fputs(Version, stdout);
            exit(DONE);
        } else if (opt == "-c") {
            o.check = true;
        } else if (opt == "-d") {
            o.decompile = true;
        } else if (opt == "--statistics") {
            o.statistics = true;
        } else if ((opt == "-r" || opt == "-o") && i + 1 < argc) {
            (opt == "-r" ? o.reference : o.output) = argv[++i];
        } else {
            WrongUsage("unknown option " + opt + (opt == "-r" || opt == "-o" ? " without its file" : ""));
        }
    }
    if (o.output)
        o.files.push_back(o.output);
    return o;
}

// Messages, and for a translation the keys it lacks and those it has in
// excess against the reference.
void PrintStatistics(const Source& src, const Source* ref)
{
    printf("%s: %zu messages", src.path.c_str(), src.messages.size());
    if (ref) {
        std::map<std::string, bool> mine, theirs;
        for (const Message& m : src.messages)
            mine[m.key] = true;
        for (const Message& m : ref->messages)
            theirs[m.key] = true;
        size_t missing = 0, extra = 0;
        for (const auto& entry : theirs)
            missing += !mine.count(entry.first);
        for (const auto& entry : mine)
            extra += !theirs.count(entry.first);
        printf(", %zu missing and %zu extra keys against %s", missing, extra, ref->path.c_str());
    }
    printf("\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const Options o = ParseOptions(argc, argv);
    const size_t files = o.files.size();
    if (o.decompile) {
        if (o.check || o.reference || o.statistics || files < 1 || files > 2)
            WrongUsage("-d takes a database and at most one source, and none of -c, -r, --statistics");
        return Decompile(o.files[0], files == 2 ? o.files[1] : nullptr);
    }
    if (files != (o.check ? 1u : 2u))
        WrongUsage(o.check ? "-c takes one source" : "compiling takes a source and a database");
    Source src = ReadSource(o.files[0]);
    Source ref;
    if (o.reference) {
        ref = ReadSource(o.reference);
        if (!ref.errors.empty()) {
            ref.Report();
            Fail(BAD_SOURCE, std::string(o.reference) + ": the reference has errors");
        }
        if (src.errors.empty())
            CheckAgainst(src, ref);
    }
    if (o.statistics)
        PrintStatistics(src, o.reference ? &ref : nullptr);
    if (!src.errors.empty()) {
        src.Report();
        fprintf(stderr, "nlscc: %s: %zu error%s\n", src.path.c_str(), src.errors.size(),
                src.errors.size() == 1 ? "" : "s");
        return BAD_SOURCE;
    }
    if (!o.check)
        Compile(src, o.files[1]);
    return DONE;
}
