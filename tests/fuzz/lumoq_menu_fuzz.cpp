// lumoq's form run over arbitrary answer streams. Once the stream's data is
// used up, the answers go on with a closing script that leaves any page
// (flExitTextMenu is set, and "1", "y" and "s" answer every kind of question
// in turn), so that one run ends inside the process; a form that would not
// end exhausts the script and is reported by the end-of-input exit.
// Storing settings files is switched off (a name typed in the stream could
// be any path); queues go to a scratch tool directory.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "Dbm.h"
#include "NlsUtils.h"
#include "QueueForm.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

struct Stream {
    const uint8_t* data;
    size_t size;
    size_t at;
    int closingLines;
};
Stream input;

constexpr int ClosingLines = 3000;
constexpr const char* Closing[] = {"1\n", "y\n", "s\n"};

ssize_t ReadAnswers(void* cookie, char* buffer, size_t size)
{
    auto* s = static_cast<Stream*>(cookie);
    if (s->at < s->size) {
        const size_t count = std::min(size, s->size - s->at);
        memcpy(buffer, s->data + s->at, count);
        s->at += count;
        return static_cast<ssize_t>(count);
    }
    if (s->closingLines >= ClosingLines)
        return 0;
    flExitTextMenu = 1;
    const char* line = Closing[s->closingLines++ % 3];
    const size_t count = std::min(size, strlen(line));
    memcpy(buffer, line, count);
    return static_cast<ssize_t>(count);
}

std::string Unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// The English catalogue, compiled from its source into the scratch tool
// directory.
void BuildCatalogue(const std::string& dir)
{
    mkdir((dir + "/db").c_str(), 0755);
    mkdir((dir + "/db/en_US").c_str(), 0755);
    DbTHandle* db = DbTOpen("en_US/CoreString", 0);
    std::ifstream source(ENGLISH_CATALOGUE);
    for (std::string line; std::getline(source, line);) {
        const size_t blank = line.find(" \"");
        if (line.empty() || line[0] == '#' || blank == std::string::npos || line.back() != '"')
            continue;
        const std::string key = line.substr(0, blank);
        const std::string text = Unescape(line.substr(blank + 2, line.size() - blank - 3));
        DbmTPutRecord(db, key.c_str(), text.c_str(), static_cast<int>(text.size()) + 1);
    }
    DbTClose(db);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static char dir[] = "/tmp/lumoq_fuzz_XXXXXX";
    if (!mkdtemp(dir))
        abort();
    pToolPath = dir;
    my_name = const_cast<char*>("lumoq");
    setenv("LANG", "en_US", 1);
    setenv("COLUMNS", "80", 1);
    setenv("LINES", "24", 1);
    BuildCatalogue(dir);
    pDrvCoreDB = NlsOpenDB("CoreString", 0);
    InitSysCmdList();
    if (!freopen("/dev/null", "w", stdout) || !PrepareQueueForm())
        abort();
    QueueMenu.flags &= static_cast<uint16_t>(~0x0018);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    input = Stream{data, size, 0, 0};
    cookie_io_functions_t functions{ReadAnswers, nullptr, nullptr, nullptr};
    FILE* answers = fopencookie(&input, "r", functions);
    if (!answers)
        return 0;
    FILE* previous = stdin;
    stdin = answers;
    flExitTextMenu = 0;
    RunMenu(&QueueMenu, nullptr, 1);
    flExitTextMenu = 0;
    stdin = previous;
    fclose(answers);
    return 0;
}
