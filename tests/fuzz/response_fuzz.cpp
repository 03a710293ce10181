// The readers of command output over arbitrary output: lines kept by a
// filter, joined into one text, and the parsers of the process listing, the
// package listing and the disk reports. The first input line is the filter
// and the name looked for; the rest is what the command printed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "MemMgr.h"
#include "SysCmd.h"

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

// Every list is " a b c ": blanks around each item, none doubled.
void CheckList(const char* list)
{
    if (!list)
        return;
    std::string_view text(list);
    Check(text.size() >= 3 && text.front() == ' ' && text.back() == ' ', "list framing");
    Check(text.find("  ") == std::string_view::npos, "empty list item");
    PutMem(const_cast<char*>(list));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t newline = input.find('\n');
    std::string name(input.substr(0, newline == std::string_view::npos ? 0 : newline));
    name.resize(strnlen(name.c_str(), name.size()));
    std::string output(newline == std::string_view::npos ? input : input.substr(newline + 1));
    if (output.empty())
        return 0;

    FILE* stream = fmemopen(output.data(), output.size(), "r");
    if (!stream)
        return 0;
    ResponseNode* response = ReadResponse(stream, name.c_str());
    fclose(stream);

    size_t joined = 0;
    for (ResponseNode* node = response; node; node = node->pNext) {
        size_t length = strlen(node->pLine);
        Check(length < RESPONSE_LINE_SIZE, "line longer than its buffer");
        Check(name.empty() || strstr(node->pLine, name.c_str()), "line without the filter");
        joined += length + (length == 0 || node->pLine[length - 1] != '\n');
    }
    char* text = JoinResponse(response);
    Check((text ? strlen(text) : 0) == joined, "joined length");
    PutMem(text);

    CheckList(PsIdListFromResponse(response, name.c_str()));
    CheckList(PkgListFromResponse(response));
    DiskSpaceRec rec;
    if (DiskSpaceFromResponse(response, &rec))
        Check(strlen(rec.Text) < sizeof rec.Text, "disk line");
    else
        Check(rec.Avail == 0, "avail without a report");
    DUFromResponse(response);
    FreeResponseList(response);
    return 0;
}
