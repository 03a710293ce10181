// The small dialogue routines: a yes/no question, a message that waits for
// Return, a free-text question and the check of a name's characters. All
// write to standard output and read whole lines from standard input; the end
// of input ends every wait.
#include <cctype>
#include <cstdarg>
#include <cstdio>

#include "MemMgr.h"
#include "TextMenuImpl.h"
#include "utils.h"

namespace {

constexpr int QuestionSize = 4096;
constexpr int AnswerSize = 1024;

// Waits for the user's Return; the answer is not used.
void WaitForReturn()
{
    fflush(stdout);
    Gets(LineBuf, sizeof LineBuf);
}

// A prompt is a format without arguments: "%%" shows one '%', and any other
// conversion is shown as it is written, as there is no argument to fill it.
void PrintPrompt(const char* prompt)
{
    for (const char* p = prompt; *p; ++p) {
        putchar(*p);
        if (p[0] == '%' && p[1] == '%')
            ++p;
    }
}

}  // namespace

int PromptYN(const char* format, ...)
{
    char question[QuestionSize];
    snprintf(question, sizeof question, "%s? [y/n] ", format ? format : "");
    va_list args;
    va_start(args, format);
    int answer = 0;
    for (;;) {
        va_list again;
        va_copy(again, args);
        vprintf(question, again);
        va_end(again);
        fflush(stdout);
        if (!Gets(LineBuf, sizeof LineBuf))
            break;
        if (LineBuf[0] == 'y' || LineBuf[0] == 'n') {
            answer = LineBuf[0] == 'y';
            break;
        }
    }
    va_end(args);
    return answer;
}

void PostMsg(const char* format, ...)
{
    if (format) {
        va_list args;
        va_start(args, format);
        vprintf(format, args);
        va_end(args);
    }
    ShowCore(NLS_SET_CORE, 1001);
    WaitForReturn();
}

char* PromptUser(const char* prompt, char* buffer)
{
    if (prompt)
        PrintPrompt(prompt);
    fflush(stdout);
    if (buffer) {
        if (!Gets(buffer, sizeof LineBuf))
            buffer[0] = '\0';
        return buffer;
    }
    char answer[AnswerSize];
    if (!Gets(answer, sizeof answer))
        answer[0] = '\0';
    return SaveStr("%s", answer);
}

int TestName(const char* name)
{
    if (!name)
        return 1;
    for (const char* p = name; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (isalnum(c) || c == '_' || c == '-')
            continue;
        ShowCore(NLS_SET_CORE, 1002, static_cast<int>(*p));
        ShowCore(NLS_SET_CORE, 1000);
        WaitForReturn();
        return 0;
    }
    return 1;
}
