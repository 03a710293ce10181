// qdb: look into and edit the suite's record databases from the shell.
// See Usage below; every command names the database by the path of its file.
#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char Usage[] = R"(Usage: qdb COMMAND [OPTIONS] DATABASE [ARGUMENTS]

Looks into and edits a record database: a tagged database (a file starting
with "TQDBAA") or a keyed record file of the older format. Both are detected.

DATABASE is the path of the database file. A path with no "." anywhere in it
gets ".qdb" appended. The path may hold letters, digits and / . _ - + , : = @ %
only. A change writes a whole new copy beside the file (DATABASE_new), then
moves it over the file; the new file is readable and writable by everyone
(mode 666). As with every tool of the suite, a change also makes a directory
"db" (mode 777) in the current directory when it has no entry of that name.
A database that does not exist yet is created by put and import, in the
tagged format; a keyed record file stays in its format.

Commands:
  list DATABASE [PREFIX]     keys, one per line (only those beginning with PREFIX)
  get [--hex|--raw] DATABASE KEY
                             the data of KEY, as text with escapes (below),
                             as a hex dump, or as the bytes themselves
  put [--nul] DATABASE KEY VALUE
  put [--nul] DATABASE KEY --file PATH
                             store VALUE, or the bytes of the file PATH ("-"
                             for standard input), under KEY; --nul adds a NUL
                             byte at the end (text records end in one)
  delete DATABASE KEY        remove the record KEY
  delete --prefix DATABASE PREFIX
                             remove every record whose key begins with PREFIX
  dump DATABASE              the format and every record: record length, key
                             length, then key, NUL and data ("." for bytes
                             that do not print)
  export DATABASE            every record as one line "KEY<TAB>VALUE"
  import DATABASE [PATH]     store every "KEY<TAB>VALUE" line of PATH (standard
                             input when missing or "-"); all lines or none
  convert DATABASE           rewrite a keyed record file as a tagged database
  repair DATABASE            cut a damaged tail off the file, keeping every
                             record before it
  --help                     this text

Text form (get, export, import): a backslash starts an escape: \\ is a
backslash, \t a tab, \n a newline, \r a carriage return and \xHH any byte.
Bytes below 32, 127 and above are always written as escapes.

Exit status: 0 done; 1 no such record; 2 bad arguments or input text;
3 the database is missing or cannot be read; 4 the database is damaged
(records end before the file does: see repair); 5 the database could not
be written. A change that a system command refuses part-way (the chmod of
the new copy, say) also ends with status 1, after a message that starts
with "ERROR".
)";

enum Status { DONE = 0, NO_RECORD = 1, BAD_ARGS = 2, NO_DATABASE = 3, DAMAGED = 4, NOT_WRITTEN = 5 };

// Ends the command: a message on standard error and the status.
struct Failure {
    int status;
    std::string message;
};

[[noreturn]] void Fail(int status, std::string message)
{
    throw Failure{status, std::move(message)};
}

// ---- text form ----

std::string Escape(std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        switch (c) {
        case '\\': text += "\\\\"; break;
        case '\t': text += "\\t"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        default:
            if (c < 32 || c >= 127) {
                text += "\\x";
                text += hex[c >> 4];
                text += hex[c & 15];
            } else {
                text += static_cast<char>(c);
            }
        }
    }
    return text;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The bytes of a text in the text form; false (with why) for a bad escape.
bool Unescape(std::string_view text, std::string& bytes, std::string& why)
{
    bytes.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) {
            why = "a backslash ends the text";
            return false;
        }
        switch (text[i]) {
        case '\\': bytes += '\\'; break;
        case 't': bytes += '\t'; break;
        case 'n': bytes += '\n'; break;
        case 'r': bytes += '\r'; break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                why = "\\x needs two hex digits";
                return false;
            }
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            why = std::string("unknown escape \\") + text[i];
            return false;
        }
    }
    return true;
}

void HexDump(std::string_view bytes)
{
    for (size_t line = 0; line < bytes.size(); line += 16) {
        printf("%08zx ", line);
        std::string shown;
        for (size_t i = line; i < line + 16; ++i) {
            if (i < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[i]);
                printf(" %02x", c);
                shown += c >= 32 && c < 127 ? static_cast<char>(c) : '.';
            } else {
                printf("   ");
            }
        }
        printf("  |%s|\n", shown.c_str());
    }
}

// ---- reading files ----

std::string ReadStream(FILE* file, const std::string& what)
{
    std::string bytes;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, n);
    if (ferror(file))
        Fail(BAD_ARGS, what + ": cannot read: " + strerror(errno));
    return bytes;
}

std::string ReadInput(const std::string& path)
{
    if (path == "-")
        return ReadStream(stdin, "standard input");
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        Fail(BAD_ARGS, path + ": " + strerror(errno));
    std::string bytes = ReadStream(file, path);
    fclose(file);
    return bytes;
}

// ---- the database ----

bool SafePath(const std::string& path)
{
    for (unsigned char c : path)
        if (!isalnum(c) && !strchr("/._-+,:=@%", c))
            return false;
    return !path.empty();
}

// The database file named on the command line, opened through the
// library by its absolute path.
class Database {
public:
    Database(const std::string& arg, bool mayCreate)
    {
        if (!SafePath(arg))
            Fail(BAD_ARGS, "'" + arg + "': a database path may hold letters, digits and / . _ - + , : = @ % only");
        path_ = Absolute(arg);
        if (arg.find('.') == std::string::npos)
            path_ += ".qdb";
        struct stat st;
        if (stat(path_.c_str(), &st) != 0) {
            if (errno != ENOENT || !mayCreate)
                Fail(NO_DATABASE, path_ + ": " + strerror(errno));
        } else if (!S_ISREG(st.st_mode)) {
            Fail(NO_DATABASE, path_ + ": not a database file");
        } else {
            // The library would try an unreadable file for ten seconds.
            int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
            if (fd < 0)
                Fail(NO_DATABASE, path_ + ": " + strerror(errno));
            close(fd);
        }
        h_ = DbTOpen(path_.c_str(), DBT_NO_ARCHIVE);
        if (!h_)
            Fail(NO_DATABASE, path_ + ": out of memory");
        DbmSetV4DriverPathHandling();
        const int size = h_->Size;
        records_ = CountRecords();
        damagedAt_ = h_->Size < size ? h_->Size : -1;
        fileSize_ = size;
        h_->Size = size;
    }
    ~Database() { DbTClose(h_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    DbTHandle* Handle() { return h_; }
    const std::string& Path() const { return path_; }
    int Records() const { return records_; }
    bool Damaged() const { return damagedAt_ >= 0; }

    void CheckWhole() const
    {
        if (Damaged())
            Fail(DAMAGED, path_ + ": damaged: the records end at byte " + std::to_string(damagedAt_) +
                              " of " + std::to_string(fileSize_) + " (qdb repair cuts the rest off)");
    }

    // Writes the image over the file.
    void Save()
    {
        std::string dir = path_.substr(0, path_.rfind('/'));
        if (dir.empty())
            dir = "/";
        if (access(dir.c_str(), W_OK) != 0)
            Fail(NOT_WRITTEN, dir + ": " + strerror(errno));
        // The library makes ./db when it is missing, and a failure there
        // would end the program with a status of its own.
        if (!FindFile(".", "db") && access(".", W_OK) != 0)
            Fail(NOT_WRITTEN, std::string("the current directory has no \"db\" and none can be made: ") +
                                  strerror(errno));
        if (!DbmTArchiveDb(h_))
            Fail(NOT_WRITTEN, path_ + ": not written");
        // The write-back ends the library's message without a newline.
        fflush(stderr);
    }

    // Every record, key and data; the caller frees the list.
    DbmLink* Links() { return DbmTGetDbLinkList(h_, ""); }

private:
    static std::string Absolute(const std::string& arg)
    {
        if (arg[0] == '/')
            return arg;
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            Fail(NO_DATABASE, std::string("current directory: ") + strerror(errno));
        if (!SafePath(cwd))
            Fail(BAD_ARGS, std::string("the current directory '") + cwd + "' holds characters a database path may not");
        return std::string(cwd) + "/" + arg;
    }

    // Walks every record; a damaged tail shows as a shorter image.
    int CountRecords()
    {
        int count = 0;
        DbTRecInfo info;
        for (DbTRecInfo* r = WalkDbTRecords(h_, &info, 0); r; r = WalkDbTRecords(h_, &info, 1))
            ++count;
        return count;
    }

    std::string path_;
    DbTHandle* h_ = nullptr;
    int records_ = 0;
    int damagedAt_ = -1;
    int fileSize_ = 0;
};

struct LinkList {
    DbmLink* head;
    explicit LinkList(DbmLink* list) : head(list) {}
    ~LinkList() { DbmFreeDbLinkList(head); }
    LinkList(const LinkList&) = delete;
    LinkList& operator=(const LinkList&) = delete;
};

std::string_view KeyOf(const DbmLink* link)
{
    if (!link->pRecord)
        return {};
    return {link->pRecord, strnlen(link->pRecord, static_cast<size_t>(link->pData - link->pRecord))};
}

std::string_view DataOf(const DbmLink* link)
{
    if (!link->pRecord)
        return {};
    return {link->pData, static_cast<size_t>(link->DataSize)};
}

void Store(Database& db, const std::string& key, const std::string& value)
{
    if (key.empty())
        Fail(BAD_ARGS, "a key may not be empty");
    if (key.find('\0') != std::string::npos)
        Fail(BAD_ARGS, "a key may not hold a NUL byte");
    if (value.empty())
        Fail(BAD_ARGS, "key '" + Escape(key) + "': the database keeps no empty records");
    if (key.size() > DBM_MAX_KEY)
        Fail(BAD_ARGS, "key '" + Escape(key.substr(0, 40)) + "...': longer than " +
                           std::to_string(DBM_MAX_KEY) + " characters");
    const size_t maxRecord = db.Handle()->Type == DBT_LEGACY ? DBM_MAX_RECORD : DBT_MAX_RECORD;
    if (key.size() + 1 + value.size() + 2 > maxRecord)
        Fail(BAD_ARGS, "key '" + Escape(key) + "': the record would be longer than " +
                           std::to_string(maxRecord) + " bytes");
    if (value.size() > INT_MAX ||
        !DbmTPutRecord(db.Handle(), key.c_str(), value.data(), static_cast<int>(value.size())))
        Fail(NOT_WRITTEN, db.Path() + ": key '" + Escape(key) + "' not stored");
}

// ---- commands ----

using Args = std::vector<std::string>;

// Takes the leading options of a command (those listed in known) off args.
std::vector<std::string> TakeOptions(Args& args, std::initializer_list<const char*> known)
{
    std::vector<std::string> options;
    while (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
        bool listed = false;
        for (const char* option : known)
            listed = listed || args[0] == option;
        if (!listed)
            Fail(BAD_ARGS, "unknown option " + args[0]);
        options.push_back(args[0]);
        args.erase(args.begin());
    }
    return options;
}

bool Has(const std::vector<std::string>& options, const char* option)
{
    for (const auto& o : options)
        if (o == option)
            return true;
    return false;
}

void Expect(const Args& args, size_t least, size_t most, const char* command)
{
    if (args.size() < least || args.size() > most)
        Fail(BAD_ARGS, std::string("wrong number of arguments for ") + command + " (see qdb --help)");
}

int List(Args args)
{
    Expect(args, 1, 2, "list");
    Database db(args[0], false);
    db.CheckWhole();
    const std::string prefix = args.size() > 1 ? args[1] : "";
    LinkList links(db.Links());
    for (const DbmLink* l = links.head; l; l = l->pNext)
        if (KeyOf(l).substr(0, prefix.size()) == prefix)
            printf("%s\n", Escape(KeyOf(l)).c_str());
    return DONE;
}

int Get(Args args)
{
    const auto options = TakeOptions(args, {"--hex", "--raw"});
    Expect(args, 2, 2, "get");
    if (options.size() > 1)
        Fail(BAD_ARGS, "get takes one of --hex and --raw");
    Database db(args[0], false);
    db.CheckWhole();
    void* data = nullptr;
    const int size = DbmTGetRecordV(db.Handle(), args[1].c_str(), &data, 0);
    DbTRecInfo info;
    if (size == 0 && !FindTRecord(db.Handle(), args[1].c_str(), &info))
        Fail(NO_RECORD, db.Path() + ": no record '" + Escape(args[1]) + "'");
    const std::string bytes = size > 0 ? std::string(static_cast<const char*>(data), static_cast<size_t>(size)) : "";
    PutMem(data);
    if (Has(options, "--raw"))
        fwrite(bytes.data(), 1, bytes.size(), stdout);
    else if (Has(options, "--hex"))
        HexDump(bytes);
    else
        printf("%s\n", Escape(bytes).c_str());
    return DONE;
}

int Put(Args args)
{
    const auto options = TakeOptions(args, {"--nul"});
    std::string value;
    if (args.size() == 4 && args[2] == "--file") {
        value = ReadInput(args[3]);
        args.resize(2);
    } else {
        Expect(args, 3, 3, "put");
        value = args[2];
    }
    if (Has(options, "--nul"))
        value += '\0';
    Database db(args[0], true);
    db.CheckWhole();
    Store(db, args[1], value);
    db.Save();
    return DONE;
}

int Delete(Args args)
{
    const auto options = TakeOptions(args, {"--prefix"});
    Expect(args, 2, 2, "delete");
    Database db(args[0], false);
    db.CheckWhole();
    const std::string& key = args[1];
    if (key.empty())
        Fail(BAD_ARGS, "the key may not be empty");
    if (Has(options, "--prefix")) {
        int matching = 0;
        LinkList links(db.Links());
        for (const DbmLink* l = links.head; l; l = l->pNext)
            matching += KeyOf(l).substr(0, key.size()) == key;
        if (matching == 0)
            Fail(NO_RECORD, db.Path() + ": no key begins with '" + Escape(key) + "'");
        DbmTDeleteRecords(db.Handle(), key.c_str());
    } else if (!DbmTDeleteRecord(db.Handle(), key.c_str())) {
        Fail(NO_RECORD, db.Path() + ": no record '" + Escape(key) + "'");
    }
    db.Save();
    return DONE;
}

int Dump(Args args)
{
    Expect(args, 1, 1, "dump");
    Database db(args[0], false);
    DbTHandle* h = db.Handle();
    if (h->Type == DBT_TAGGED)
        printf("%s: tagged database, %d records (header count %d)\n", db.Path().c_str(),
               db.Records(), h->Count);
    else if (h->Type == DBT_LEGACY)
        printf("%s: keyed record file, %d records\n", db.Path().c_str(), db.Records());
    else
        printf("%s: empty database\n", db.Path().c_str());
    LinkList links(db.Links());
    for (const DbmLink* l = links.head; l; l = l->pNext) {
        const int keyLen = static_cast<int>(l->pData - l->pRecord);
        printf("%i %i ==>{", keyLen + l->DataSize + 2, keyLen);
        for (int i = 0; i < keyLen + l->DataSize; ++i) {
            const auto c = static_cast<unsigned char>(l->pRecord[i]);
            putchar(isprint(c) ? c : '.');
        }
        printf("}\n");
    }
    db.CheckWhole();
    return DONE;
}

int Export(Args args)
{
    Expect(args, 1, 1, "export");
    Database db(args[0], false);
    db.CheckWhole();
    LinkList links(db.Links());
    for (const DbmLink* l = links.head; l; l = l->pNext)
        printf("%s\t%s\n", Escape(KeyOf(l)).c_str(), Escape(DataOf(l)).c_str());
    return DONE;
}

int Import(Args args)
{
    Expect(args, 1, 2, "import");
    const std::string source = args.size() > 1 ? args[1] : "-";
    const std::string text = ReadInput(source);
    std::vector<std::pair<std::string, std::string>> records;
    size_t start = 0;
    for (int line = 1; start < text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view row(text.data() + start, end - start);
        start = end + 1;
        if (!row.empty() && row.back() == '\r')
            row.remove_suffix(1);
        if (row.empty())
            continue;
        const std::string where = source + ", line " + std::to_string(line) + ": ";
        const size_t tab = row.find('\t');
        if (tab == std::string_view::npos)
            Fail(BAD_ARGS, where + "no tab between key and value");
        std::string key, value, why;
        if (!Unescape(row.substr(0, tab), key, why) || !Unescape(row.substr(tab + 1), value, why))
            Fail(BAD_ARGS, where + why);
        if (key.empty() || value.empty() || key.find('\0') != std::string::npos)
            Fail(BAD_ARGS, where + (key.empty() ? "empty key" : value.empty() ? "empty value" : "a NUL byte in the key"));
        records.emplace_back(std::move(key), std::move(value));
    }
    Database db(args[0], true);
    db.CheckWhole();
    for (const auto& [key, value] : records)
        Store(db, key, value);
    if (!records.empty())
        db.Save();
    return DONE;
}

// The records go into a fresh tagged image one by one, exactly as they
// are: empty data and all.
int Convert(Args args)
{
    Expect(args, 1, 1, "convert");
    Database db(args[0], false);
    db.CheckWhole();
    DbTHandle* h = db.Handle();
    if (h->Type != DBT_LEGACY) {
        printf("%s: already a tagged database\n", db.Path().c_str());
        return DONE;
    }
    LinkList links(db.Links());
    long size = DBT_HEADER_SIZE;
    for (const DbmLink* l = links.head; l; l = l->pNext)
        size += 2 + (l->pData - l->pRecord) + l->DataSize + 2;
    if (size >= INT_MAX)
        Fail(NOT_WRITTEN, db.Path() + ": too large");
    auto* image = static_cast<char*>(GetMem(static_cast<int>(size)));
    if (!image)
        Fail(NOT_WRITTEN, db.Path() + ": out of memory");
    PutMem(h->pImage);
    h->pImage = image;
    h->Size = static_cast<int>(size);
    h->Count = 0;
    DbTSetDbType(h, DBT_TAGGED);
    h->Cursor = DBT_HEADER_SIZE;
    for (const DbmLink* l = links.head; l; l = l->pNext) {
        const auto keyLen = static_cast<int>(l->pData - l->pRecord);
        const int recLen = 2 + keyLen + l->DataSize;
        const unsigned char lengths[4] = {
            static_cast<unsigned char>(recLen >> 8), static_cast<unsigned char>(recLen),
            static_cast<unsigned char>(keyLen >> 8), static_cast<unsigned char>(keyLen)};
        memcpy(h->pImage + h->Cursor, lengths, 4);
        h->Cursor += 4;
        DbmTPutData(h, l->pRecord, keyLen);
        DbmTPutData(h, l->pData, l->DataSize);
        ++h->Count;
    }
    db.Save();
    return DONE;
}

int Repair(Args args)
{
    Expect(args, 1, 1, "repair");
    Database db(args[0], false);
    if (!db.Damaged()) {
        printf("%s: not damaged\n", db.Path().c_str());
        return DONE;
    }
    DbTHandle* h = db.Handle();
    const int records = db.Records();
    DbTRecInfo info;
    for (DbTRecInfo* r = WalkDbTRecords(h, &info, 0); r; r = WalkDbTRecords(h, &info, 1)) {
    }
    if (h->Type == DBT_TAGGED)
        h->Count = records;
    db.Save();
    printf("%s: kept %d records, %d bytes\n", db.Path().c_str(), records, h->Size);
    return DONE;
}

int Run(const Args& argv)
{
    if (argv.empty())
        Fail(BAD_ARGS, "no command (see qdb --help)");
    const std::string& command = argv[0];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(Usage, stdout);
        return DONE;
    }
    const Args args(argv.begin() + 1, argv.end());
    if (command == "list")
        return List(args);
    if (command == "get")
        return Get(args);
    if (command == "put")
        return Put(args);
    if (command == "delete")
        return Delete(args);
    if (command == "dump")
        return Dump(args);
    if (command == "export")
        return Export(args);
    if (command == "import")
        return Import(args);
    if (command == "convert")
        return Convert(args);
    if (command == "repair")
        return Repair(args);
    Fail(BAD_ARGS, "unknown command '" + command + "' (see qdb --help)");
}

}  // namespace

int main(int argc, char** argv)
{
    my_name = SaveStr_("qdb");
    try {
        const int status = Run(Args(argv + 1, argv + argc));
        if (fflush(stdout) != 0)
            Fail(NOT_WRITTEN, std::string("standard output: ") + strerror(errno));
        return status;
    } catch (const Failure& failure) {
        fflush(stdout);
        fprintf(stderr, "qdb: %s\n", failure.message.c_str());
        return failure.status;
    }
}
