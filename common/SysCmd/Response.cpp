// Reading what a command prints: its lines, optionally only those holding a
// filter text, as a chain of nodes or as one text.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

namespace {

// Starts the row's command with the formatted arguments behind it, its
// output readable. The text goes to the pipe as it is: a caller may put
// its own redirection into the format.
FILE* OpenResponse(int row, const char* format, va_list args)
{
    if (row >= COM_END_ROW)
        return nullptr;
    CmdLine line;
    // Rows below 2 name no table command: the text is the whole command.
    if (row >= 2)
        line.AddCmd(row);
    line.AddV(format, args);
    // A command that would not fit is not run cut short.
    if (line.overflow) {
        ErrorMsg(1, 0, "command line too long: %.60s...", line.text);
        return nullptr;
    }
    fflush(nullptr);
    return popen(line.text, "r");
}

bool Keep(const char* line, const char* filter)
{
    return !filter || !*filter || strstr(line, filter);
}

ResponseNode* NewNode(const char* line)
{
    size_t length = strlen(line);
    auto* node = static_cast<ResponseNode*>(GetMem(static_cast<int>(sizeof(ResponseNode) + length)));
    if (!node)
        SysError("%s", OutOfMem);
    node->pLine = reinterpret_cast<char*>(node + 1);
    memcpy(node->pLine, line, length + 1);
    return node;
}

}  // namespace

// The lines the command prints (those holding the filter), or null when it
// could not be started.
static ResponseNode* RunForResponse(int row, const char* filter, const char* format, va_list args)
{
    FILE* pipe = OpenResponse(row, format, args);
    if (!pipe)
        return nullptr;
    ResponseNode* response = ReadResponse(pipe, filter);
    pclose(pipe);
    return response;
}

ResponseNode* ReadResponse(FILE* stream, const char* filter)
{
    ResponseNode* first = nullptr;
    ResponseNode** tail = &first;
    char line[RESPONSE_LINE_SIZE];
    while (fgets(line, sizeof line, stream)) {
        if (!Keep(line, filter))
            continue;
        *tail = NewNode(line);
        tail = &(*tail)->pNext;
    }
    return first;
}

char* JoinResponse(const ResponseNode* response)
{
    char* text = nullptr;
    size_t length = 0;
    for (const ResponseNode* node = response; node; node = node->pNext) {
        size_t add = strlen(node->pLine);
        if (length + add + 2 > 0x7fffffff)
            SysError("%s", OutOfMem);
        auto* grown = static_cast<char*>(AdjustMem(text, static_cast<int>(length + add + 2)));
        if (!grown)
            SysError("%s", OutOfMem);
        text = grown;
        memcpy(text + length, node->pLine, add);
        length += add;
        if (add == 0 || text[length - 1] != '\n')
            text[length++] = '\n';
        text[length] = '\0';
    }
    return text;
}

void FreeResponseList(ResponseNode* response)
{
    while (response) {
        ResponseNode* next = response->pNext;
        PutMem(response);
        response = next;
    }
}

ResponseNode* GetCmdResponse(int row, const char* filter, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ResponseNode* response = RunForResponse(row, filter, format, args);
    va_end(args);
    return response;
}

char* GetCmdResponseStr(int row, const char* filter, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    ResponseNode* response = RunForResponse(row, filter, format, args);
    va_end(args);
    char* text = JoinResponse(response);
    FreeResponseList(response);
    return text;
}
