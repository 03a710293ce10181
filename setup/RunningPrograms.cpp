// The product's own programs must not run while an earlier installation is
// replaced: the user waits for them or quits.
#include <cstdio>
#include <unistd.h>

#include "Installer.h"
#include "MemMgr.h"
#include "SetupMessages.h"
#include "SysCmd.h"

namespace {

// One wait: this many pauses of PauseSeconds, looking again after each.
constexpr int WaitPauses = 6;
constexpr unsigned PauseSeconds = 5;

enum Message { Running, WouldYou, WaitChoice, QuitChoice, Selection, MessageCount };

// The user's choice: its first character, the rest of the line dropped so
// that the next question starts on a fresh line. EOF at the end of input.
int ReadChoice()
{
    const int choice = getchar();
    if (choice == EOF || choice == '\n')
        return choice;
    int c;
    do
        c = getchar();
    while (c != EOF && c != '\n');
    return choice;
}

// Pauses and looks again until none of the programs runs (1) or the wait is
// over (0).
int WaitForExit(const char* list)
{
    for (int pause = 0; pause < WaitPauses; ++pause) {
        sleep(PauseSeconds);
        char* running = CheckProcTableForExecs(list);
        if (!running)
            return 1;
        PutMem(running);
    }
    return 0;
}

}  // namespace

int QuitForRunningProcesses(const char* list)
{
    const char* text[MessageCount] = {};
    for (;;) {
        char* running = CheckProcTableForExecs(list);
        if (!running)
            return 0;
        if (!text[Running]) {
            for (int m = Running; m < MessageCount; ++m)
                text[m] = nlsSetupStrCvt(66 + m);
        }
        fputs(text[Running], stdout);
        printf("%s\n", running);
        PutMem(running);
        for (int m = WouldYou; m < MessageCount; ++m)
            fputs(text[m], stdout);
        fflush(stdout);

        switch (ReadChoice()) {
        case '1':
            if (WaitForExit(list))
                return 0;
            break;
        case '2':
            return 1;
        case EOF:
            // Nobody is left to answer: the installation must not go on.
            putchar('\n');
            return 1;
        default:
            break;
        }
    }
}
