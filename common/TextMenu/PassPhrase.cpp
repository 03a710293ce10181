// Reading a pass phrase straight from the terminal with echo off, with a
// time limit per character, leaving the terminal and the signal actions as
// they were found on every path.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include "TextMenuImpl.h"
#include "utils.h"

namespace {

constexpr int PassPhraseMax = 256;
constexpr int CharacterWaitSeconds = 60;
constexpr int CaughtSignals[] = {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int SignalCount = sizeof CaughtSignals / sizeof CaughtSignals[0];

// The last signal caught while a pass phrase was being read.
volatile sig_atomic_t signo = 0;
char passPhrase[PassPhraseMax + 1];

void handler(int number)
{
    signo = number;
}

void WriteText(int fd, const char* text)
{
    for (size_t left = strlen(text); left > 0;) {
        const ssize_t n = write(fd, text, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

// Waits until input is readable: false on a time-out, a failure or a
// caught signal.
bool WaitForInput(int fd)
{
    for (;;) {
        if (signo)
            return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval limit{CharacterWaitSeconds, 0};
        const int ready = select(fd + 1, &readable, nullptr, nullptr, &limit);
        if (ready < 0 && errno == EAGAIN)
            continue;
        return ready > 0;
    }
}

// Reads up to PassPhraseMax characters, up to a newline or carriage return
// (not kept); gives the errno that ended the reading.
int ReadLine(int fd)
{
    int length = 0;
    while (length < PassPhraseMax && WaitForInput(fd)) {
        char c;
        if (read(fd, &c, 1) != 1 || c == '\n' || c == '\r')
            break;
        passPhrase[length++] = c;
    }
    passPhrase[length] = '\0';
    return errno;
}

struct Terminal {
    int in;
    int out;
    bool opened;
};

Terminal OpenTerminal()
{
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return {STDIN_FILENO, STDERR_FILENO, false};
    return {fd, fd, true};
}

// One attempt: prompt, read, restore. Gives the errno of the reading.
int ReadOnce(const char* prompt)
{
    const Terminal tty = OpenTerminal();
    WriteText(tty.out, prompt);

    struct sigaction catcher {};
    catcher.sa_handler = handler;
    sigemptyset(&catcher.sa_mask);
    catcher.sa_flags = 0;
    struct sigaction previous[SignalCount];
    for (int i = 0; i < SignalCount; ++i)
        sigaction(CaughtSignals[i], &catcher, &previous[i]);

    termios found {};
    termios quiet {};
    const bool haveSettings = tcgetattr(tty.in, &found) == 0;
    if (haveSettings) {
        quiet = found;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
        tcsetattr(tty.in, TCSAFLUSH, &quiet);
    }

    const int readError = ReadLine(tty.in);

    if (!(quiet.c_lflag & ECHO))
        WriteText(tty.out, "\n");
    if (haveSettings)
        tcsetattr(tty.in, TCSAFLUSH, &found);
    for (int i = 0; i < SignalCount; ++i)
        sigaction(CaughtSignals[i], &previous[i], nullptr);
    if (tty.opened)
        close(tty.in);
    return readError;
}

bool RestartsReading(int number)
{
    return number == SIGTSTP || number == SIGTTIN || number == SIGTTOU;
}

}  // namespace

char* GetPassPhrase(const char* prompt)
{
    if (!prompt)
        prompt = "";
    int readError;
    for (;;) {
        signo = 0;
        readError = ReadOnce(prompt);
        const int caught = signo;
        if (!caught)
            break;
        // The previous action takes effect now that the terminal is restored.
        kill(getpid(), caught);
        if (!RestartsReading(caught))
            break;
        explicit_bzero(passPhrase, sizeof passPhrase);
    }
    signo = 0;
    char* text = SaveStr("%s", passPhrase);
    explicit_bzero(passPhrase, sizeof passPhrase);
    errno = readError;
    return text;
}
