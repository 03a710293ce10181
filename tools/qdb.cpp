// qdb: look into and edit the suite's record databases from the shell.
// See Usage below; every command names the database by the path of its file.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

#include "Dbm.h"
#include "MemMgr.h"
#include "qdb_database.h"
#include "qdb_text.h"
#include "utils.h"

namespace {

using namespace qdb;

const char Usage[] = R"(Usage: qdb COMMAND [OPTIONS] DATABASE [ARGUMENTS]

Looks into and edits a record database: a tagged database (a file starting
with "TQDBAA") or a keyed record file of the older format. Both are detected.

DATABASE is the path of the database file. A path with no "." anywhere in it
gets ".qdb" appended. Options may stand before or after the database and the
other arguments; "--" ends the options, so that an argument after it may
begin with "-".

A change takes its turn among the writers of the database (an advisory lock
on DATABASE.lock beside it), reads the file as the last writer left it,
writes a whole new copy beside it (DATABASE_new.XXXXXX) and moves that over
the file; the new file has mode 666 under the file creation mask. As with
every tool of the suite, a change also makes a directory "db" in the current
directory when it has no entry of that name. A database that does not exist
yet is created by put, import and copy, in the tagged format; a keyed record
file stays in its format.

Commands:
  list DATABASE [PREFIX]     keys, one per line (only those beginning with PREFIX)
  count DATABASE             the number of records
  info DATABASE              the format, records, bytes and modification time
  check DATABASE             whether the records fill the file; writes nothing
  get [--hex|--raw] DATABASE KEY
                             the data of KEY, as text with escapes (below),
                             as a hex dump, or as the bytes themselves
  put [--nul] DATABASE KEY VALUE
  put [--nul] DATABASE KEY --file PATH
                             store VALUE, or the bytes of the file PATH ("-"
                             for standard input), under KEY; --nul adds a NUL
                             byte at the end (text records end in one)
  copy SOURCE DESTINATION KEY
                             store the record KEY of the database SOURCE in
                             the database DESTINATION
  delete DATABASE KEY        remove the record KEY
  delete --prefix DATABASE PREFIX
                             remove every record whose key begins with PREFIX
  dump DATABASE              the format and every record: record length, key
                             length, then key, NUL and data ("." for bytes
                             that do not print)
  export DATABASE            every record as one line "KEY<TAB>VALUE"
  import DATABASE [PATH]     store every "KEY<TAB>VALUE" line of PATH (standard
                             input when missing or "-"); all lines or none.
                             Every record that export writes, including one
                             with an empty key or empty data, comes back
  convert DATABASE           rewrite a keyed record file as a tagged database
  repair DATABASE            cut a damaged tail off the file, keeping every
                             record before it; the file as it was is kept as
                             DATABASE.bak. A file of no format qdb knows is
                             left alone
  --help                     this text
  --version                  the version of qdb (that of the library)

Text form (get, export, import): a backslash starts an escape: \\ is a
backslash, \t a tab, \n a newline, \r a carriage return and \xHH any byte.
Bytes below 32, 127 and above are always written as escapes.

Exit status: 0 done; 1 no such record, or (repair, check) a file that is no
record database; 2 bad arguments or input text; 3 the database is missing or
cannot be read; 4 the database is damaged (records end before the file
does: see repair); 5 the database could not be written.
)";

// ---- arguments ----

using Args = std::vector<std::string>;

struct Command {
    Args args;     // the arguments that are no options
    Args options;  // the options given
    bool hasFile = false;
    std::string file;  // put --file PATH

    bool Has(const char* option) const
    {
        return std::find(options.begin(), options.end(), option) != options.end();
    }
};

// Options may stand anywhere before "--"; only those listed are known.
Command Parse(const Args& argv, std::initializer_list<const char*> known, bool takesFile = false)
{
    Command c;
    bool options = true;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (options && a == "--") {
            options = false;
        } else if (!options || a.size() < 2 || a[0] != '-') {
            c.args.push_back(a);
        } else if (takesFile && a == "--file") {
            if (i + 1 == argv.size())
                Fail(BAD_ARGS, "--file needs a PATH");
            c.file = argv[++i];
            c.hasFile = true;
        } else if (std::find_if(known.begin(), known.end(), [&](const char* k) { return a == k; }) != known.end()) {
            c.options.push_back(a);
        } else {
            Fail(BAD_ARGS, "unknown option " + a + " (\"--\" ends the options)");
        }
    }
    return c;
}

void Expect(const Args& args, size_t least, size_t most, const char* command)
{
    if (args.size() < least || args.size() > most)
        Fail(BAD_ARGS, std::string("wrong number of arguments for ") + command + " (see qdb --help)");
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

// ---- looking ----

const Record* Find(const std::vector<Record>& records, const std::string& key)
{
    for (const Record& r : records)
        if (r.key == key)
            return &r;
    return nullptr;
}

int List(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 2, "list");
    Database db(c.args[0], Access::Read);
    db.CheckWhole();
    const std::string prefix = c.args.size() > 1 ? c.args[1] : "";
    for (const Record& r : db.List())
        if (r.key.compare(0, prefix.size(), prefix) == 0)
            printf("%s\n", Escape(r.key).c_str());
    return DONE;
}

int Count(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "count");
    Database db(c.args[0], Access::Read);
    db.CheckWhole();
    printf("%d\n", db.Records());
    return DONE;
}

int Info(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "info");
    Database db(c.args[0], Access::Read);
    char when[64];
    const time_t modified = db.Modified();
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S %z", localtime(&modified));
    printf("file: %s\nformat: %s\nrecords: %d\nbytes: %d\nmodified: %s\n", db.Path().c_str(), db.Format(),
           db.Records(), db.FileSize(), when);
    if (db.Damaged())
        printf("damaged: the records end at byte %d\n", db.DamagedAt());
    return DONE;
}

void CheckRecognised(const Database& db)
{
    if (!db.Recognised())
        Fail(UNRECOGNISED, db.Path() + ": not a record database: no tagged header and no whole record at its start");
}

int Check(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "check");
    Database db(c.args[0], Access::Read);
    CheckRecognised(db);
    printf("%s: %s, %d records, %d bytes, ", db.Path().c_str(), db.Format(), db.Records(), db.FileSize());
    if (!db.Damaged()) {
        printf("whole\n");
        return DONE;
    }
    printf("damaged: the records end at byte %d\n", db.DamagedAt());
    return DAMAGED;
}

int Get(const Args& argv)
{
    const Command c = Parse(argv, {"--hex", "--raw"});
    Expect(c.args, 2, 2, "get");
    if (c.options.size() > 1)
        Fail(BAD_ARGS, "get takes one of --hex and --raw");
    Database db(c.args[0], Access::Read);
    db.CheckWhole();
    const std::vector<Record> records = db.List();
    const Record* r = Find(records, c.args[1]);
    if (!r)
        Fail(NO_RECORD, db.Path() + ": no record '" + Escape(c.args[1]) + "'");
    if (c.Has("--raw"))
        fwrite(r->data.data(), 1, r->data.size(), stdout);
    else if (c.Has("--hex"))
        HexDump(r->data);
    else
        printf("%s\n", Escape(r->data).c_str());
    return DONE;
}

int Dump(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "dump");
    Database db(c.args[0], Access::Read);
    DbTHandle* h = db.Handle();
    if (h->Type == DBT_TAGGED)
        printf("%s: tagged database, %d records (header count %d)\n", db.Path().c_str(), db.Records(), h->Count);
    else
        printf("%s: %s, %d records\n", db.Path().c_str(), db.Format(), db.Records());
    for (const Record& r : db.List()) {
        const std::string bytes = r.key + '\0' + r.data;
        printf("%zu %zu ==>{", bytes.size() + 2, r.key.size() + 1);
        for (unsigned char ch : bytes)
            putchar(isprint(ch) ? ch : '.');
        printf("}\n");
    }
    db.CheckWhole();
    return DONE;
}

int Export(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "export");
    Database db(c.args[0], Access::Read);
    db.CheckWhole();
    for (const Record& r : db.List())
        printf("%s\t%s\n", Escape(r.key).c_str(), Escape(r.data).c_str());
    return DONE;
}

// ---- changing ----

// Stores the records (each replacing any of its key) and writes the file.
void StoreAll(Database& db, std::vector<Record> stores)
{
    std::vector<Record> records = db.List();
    for (Record& r : stores) {
        CheckFits(r, db.Handle()->Type);
        Replace(records, std::move(r));
    }
    db.SetRecords(records);
    db.Save();
}

int Put(const Args& argv)
{
    const Command c = Parse(argv, {"--nul"}, true);
    Expect(c.args, c.hasFile ? 2 : 3, c.hasFile ? 2 : 3, "put");
    std::string value = c.hasFile ? ReadInput(c.file) : c.args[2];
    if (c.Has("--nul"))
        value += '\0';
    const std::string& key = c.args[1];
    if (key.empty())
        Fail(BAD_ARGS, "a key may not be empty");
    if (value.empty())
        Fail(BAD_ARGS, "key '" + Escape(key) + "': the database keeps no empty records");
    Database db(c.args[0], Access::Create);
    db.CheckWhole();
    StoreAll(db, {{key, value}});
    return DONE;
}

int Copy(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 3, 3, "copy");
    std::vector<Record> source;
    {
        Database from(c.args[0], Access::Read);
        from.CheckWhole();
        source = from.List();
    }
    const Record* r = Find(source, c.args[2]);
    if (!r)
        Fail(NO_RECORD, c.args[0] + ": no record '" + Escape(c.args[2]) + "'");
    Database to(c.args[1], Access::Create);
    to.CheckWhole();
    StoreAll(to, {*r});
    return DONE;
}

int Delete(const Args& argv)
{
    const Command c = Parse(argv, {"--prefix"});
    Expect(c.args, 2, 2, "delete");
    const std::string& key = c.args[1];
    const bool prefix = c.Has("--prefix");
    if (prefix && key.empty())
        Fail(BAD_ARGS, "the prefix may not be empty");
    Database db(c.args[0], Access::Change);
    db.CheckWhole();
    std::vector<Record> records = db.List();
    const size_t before = records.size();
    std::erase_if(records, [&](const Record& r) { return prefix ? r.key.compare(0, key.size(), key) == 0 : r.key == key; });
    if (records.size() == before)
        Fail(NO_RECORD, db.Path() + (prefix ? ": no key begins with '" : ": no record '") + Escape(key) + "'");
    db.SetRecords(records);
    db.Save();
    return DONE;
}

// One "KEY<TAB>VALUE" line of an import; false for a line without text.
bool ImportLine(std::string_view row, const std::string& where, Record& record)
{
    if (!row.empty() && row.back() == '\r')
        row.remove_suffix(1);
    if (row.empty())
        return false;
    const size_t tab = row.find('\t');
    if (tab == std::string_view::npos)
        Fail(BAD_ARGS, where + "no tab between key and value");
    std::string why;
    if (!Unescape(row.substr(0, tab), record.key, why) || !Unescape(row.substr(tab + 1), record.data, why))
        Fail(BAD_ARGS, where + why);
    return true;
}

int Import(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 2, "import");
    const std::string source = c.args.size() > 1 ? c.args[1] : "-";
    const std::string text = ReadInput(source);
    std::vector<Record> stores;
    size_t start = 0;
    for (int line = 1; start < text.size(); ++line) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        Record record;
        if (ImportLine(std::string_view(text).substr(start, end - start),
                       source + ", line " + std::to_string(line) + ": ", record))
            stores.push_back(std::move(record));
        start = end + 1;
    }
    Database db(c.args[0], Access::Create);
    db.CheckWhole();
    if (!stores.empty())
        StoreAll(db, std::move(stores));
    return DONE;
}

// The records go into a fresh tagged image exactly as they are.
int Convert(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "convert");
    Database db(c.args[0], Access::Change);
    db.CheckWhole();
    if (db.Handle()->Type != DBT_LEGACY) {
        printf("%s: already a tagged database\n", db.Path().c_str());
        return DONE;
    }
    const std::vector<Record> records = db.List();
    DbTSetDbType(db.Handle(), DBT_TAGGED);
    db.SetRecords(records);
    db.Save();
    return DONE;
}

// The file as it was stays under a second name: the repaired copy is a new
// file moved over the database, so the original needs only a link.
void KeepOriginal(const Database& db)
{
    const std::string backup = db.Path() + ".bak";
    if (unlink(backup.c_str()) != 0 && errno != ENOENT)
        Fail(NOT_WRITTEN, backup + ": " + strerror(errno));
    if (link(db.Path().c_str(), backup.c_str()) != 0)
        Fail(NOT_WRITTEN, backup + ": " + strerror(errno) + "; nothing repaired");
}

int Repair(const Args& argv)
{
    const Command c = Parse(argv, {});
    Expect(c.args, 1, 1, "repair");
    Database db(c.args[0], Access::Change);
    CheckRecognised(db);
    if (!db.Damaged()) {
        printf("%s: not damaged\n", db.Path().c_str());
        return DONE;
    }
    KeepOriginal(db);
    const std::vector<Record> records = db.List();
    db.SetRecords(records);
    db.Save();
    printf("%s: kept %zu records, %d bytes; the file as it was is %s.bak\n", db.Path().c_str(), records.size(),
           db.Handle()->Size, db.Path().c_str());
    return DONE;
}

struct Entry {
    const char* name;
    int (*run)(const Args&);
};

const Entry Commands[] = {
    {"list", List},     {"count", Count},   {"info", Info},       {"check", Check},   {"get", Get},
    {"put", Put},       {"copy", Copy},     {"delete", Delete},   {"dump", Dump},     {"export", Export},
    {"import", Import}, {"convert", Convert}, {"repair", Repair},
};

int Run(const Args& argv)
{
    if (argv.empty())
        Fail(BAD_ARGS, "no command (see qdb --help)");
    const std::string& command = argv[0];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(Usage, stdout);
        return DONE;
    }
    if (command == "--version") {
        fputs("qdb " TOOL_VERSION "\n", stdout);
        return DONE;
    }
    for (const Entry& e : Commands)
        if (command == e.name)
            return e.run(Args(argv.begin() + 1, argv.end()));
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
