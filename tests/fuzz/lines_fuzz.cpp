// The line readers over arbitrary file contents: GetLine with and without
// the comment filter, GetFileLine and GetFileTextLine. The bytes go to a
// scratch file, which every reader reads to its end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "utils.h"

namespace {

const std::string& ScratchFile()
{
    static const std::string path = [] {
        char name[] = "/tmp/lines_fuzz.XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) {
            perror("mkstemp");
            abort();
        }
        close(fd);
        std::atexit([] { unlink(ScratchFile().c_str()); });
        return std::string(name);
    }();
    return path;
}

void Check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "broken: %s\n", what);
        abort();
    }
}

void ReadWithGetLine(const char* path, bool filter)
{
    flInputFilterState = filter;
    Check(OpenInputFile(path, 0) == 1, "open for GetLine");
    while (int count = GetLine()) {
        Check(count == 1 || count == 2, "GetLine count");
        size_t length = strlen(Line);
        Check(length <= 510, "GetLine length");
        for (size_t i = length; i < 512; ++i)
            Check(Line[i] == '\0', "GetLine padding");
    }
    CloseInputFile();
    flInputFilterState = true;
}

// A file without NUL bytes comes back whole through GetFileLine, in order.
void ReadWithGetFileLine(const char* path, const uint8_t* data, size_t size)
{
    bool text = size == 0 || memchr(data, '\0', size) == nullptr;
    std::string joined;
    Check(OpenInputFile(path, 0) == 1, "open for GetFileLine");
    while (GetFileLine()) {
        size_t length = strlen(LineBuf);
        Check(length < sizeof LineBuf, "GetFileLine length");
        Check(LineLen >= 0 && static_cast<size_t>(LineLen) <= length, "LineLen");
        joined += LineBuf;
    }
    Check(pIn == nullptr && FileStatus == 1, "GetFileLine closes at the end");
    Check(!text || joined == std::string(reinterpret_cast<const char*>(data), size),
          "GetFileLine loses or changes text");
}

void ReadWithGetFileTextLine(const char* path, const char* delims)
{
    Check(OpenInputFile(path, 0) == 1, "open for GetFileTextLine");
    while (GetFileTextLine(delims)) {
        size_t length = strlen(LineBuf);
        Check(length > 0, "empty token");
        Check(strcspn(LineBuf, delims) == length, "delimiter in token");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = ScratchFile();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        abort();
    if (size)
        fwrite(data, 1, size, file);
    fclose(file);

    ReadWithGetLine(path.c_str(), true);
    ReadWithGetLine(path.c_str(), false);
    ReadWithGetFileLine(path.c_str(), data, size);
    ReadWithGetFileTextLine(path.c_str(), " \t\r\n");
    ReadWithGetFileTextLine(path.c_str(), "\n");
    return 0;
}
