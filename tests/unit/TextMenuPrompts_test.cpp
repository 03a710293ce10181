#include "TextMenu.h"
#include "MemMgr.h"
#include "textmenu_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

namespace {

const std::string Continue = "\nPress <Return> to continue ";

TEST(Prompts, YesOrNo)
{
    int answer = -1;
    const std::string question = "\nDo you want to exit setup? [y/n] ";
    EXPECT_EQ(Dialogue("Y\nmaybe\nyes\n", [&] { answer = PromptYN("\nDo you want to exit %s", "setup"); }),
              question + question + question);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(Dialogue("no way\n", [&] { answer = PromptYN("Go on"); }), "Go on? [y/n] ");
    EXPECT_EQ(answer, 0);
    // End of input answers no instead of asking again.
    EXPECT_EQ(Dialogue("x\n", [&] { answer = PromptYN("Go on"); }), "Go on? [y/n] Go on? [y/n] ");
    EXPECT_EQ(answer, 0);
}

TEST(Prompts, MessagesAndAnswers)
{
    EXPECT_EQ(Dialogue("ignored\n", [] { PostMsg("Copied %i files", 3); }), "Copied 3 files" + Continue);
    EXPECT_EQ(Dialogue("", [] { PostMsg("End"); }), "End" + Continue);

    char buffer[4096];
    char* answer = nullptr;
    EXPECT_EQ(Dialogue("queue one\nnext\n", [&] { answer = PromptUser("Name (100%%, %s): ", buffer); }),
              "Name (100%, %s): ");
    EXPECT_EQ(answer, buffer);
    EXPECT_STREQ(buffer, "queue one");
    Dialogue("", [&] { answer = PromptUser("Name: ", buffer); });
    EXPECT_STREQ(buffer, "");
    Dialogue("saved\n", [&] { answer = PromptUser("Name: ", nullptr); });
    EXPECT_STREQ(answer, "saved");
    PutMem(answer);

    int result = -1;
    EXPECT_EQ(Dialogue("", [&] { result = TestName("my_queue-2"); }), "");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Dialogue("\n", [&] { result = TestName("my.queue"); }),
              "\n'.' is not a valid name character. \nOnly alphanumeric character, '-', and '_' are "
              "valid: \n" + Continue);
    EXPECT_EQ(result, 0);
}

// A child process that reads a pass phrase on its own pseudo-terminal; the
// test types on the master side and keeps the slave to watch its settings.
class PassPhrase : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(tcgetattr(slave, &before), 0);
        ASSERT_EQ(pipe(result), 0);
    }
    void TearDown() override
    {
        close(master);
        close(slave);
        close(result[0]);
    }

    // Starts the reader; setup runs in the child first. The child reports
    // what setup and GetPassPhrase give through the result pipe.
    void Start(void (*setup)(int report) = nullptr)
    {
        fflush(nullptr);
        pid = fork();
        if (pid == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            close(master);
            close(result[0]);
            if (setup)
                setup(result[1]);
            char* text = GetPassPhrase("Pass: ");
            const ssize_t n = write(result[1], text, strlen(text));
            _exit(n == static_cast<ssize_t>(strlen(text)) ? 0 : 1);
        }
        close(result[1]);
    }

    // Reads the master side until its output holds text `times` times.
    void AwaitOutput(const std::string& text, int times = 1)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Count(text) < times && std::chrono::steady_clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buf[512];
                const ssize_t n = read(master, buf, sizeof buf);
                if (n > 0)
                    shown.append(buf, static_cast<size_t>(n));
            }
        }
        ASSERT_GE(Count(text), times) << shown;
    }

    // Waits until the reader has switched echo off.
    void AwaitEchoOff()
    {
        termios now{};
        for (int i = 0; i < 1000; ++i) {
            ASSERT_EQ(tcgetattr(slave, &now), 0);
            if (!(now.c_lflag & ECHO))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FAIL() << "echo stayed on";
    }

    void Type(const std::string& text)
    {
        ASSERT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // What the child reported, and its status.
    std::string Finish(int* status)
    {
        std::string text;
        char buf[512];
        for (ssize_t n; (n = read(result[0], buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<size_t>(n));
        waitpid(pid, status, 0);
        return text;
    }

    bool SettingsAsBefore()
    {
        termios after{};
        tcgetattr(slave, &after);
        return after.c_iflag == before.c_iflag && after.c_oflag == before.c_oflag &&
               after.c_cflag == before.c_cflag && after.c_lflag == before.c_lflag &&
               memcmp(after.c_cc, before.c_cc, sizeof after.c_cc) == 0;
    }

    int Count(const std::string& text) const
    {
        int count = 0;
        for (size_t at = shown.find(text); at != std::string::npos; at = shown.find(text, at + 1))
            ++count;
        return count;
    }

    int master = -1;
    int slave = -1;
    int result[2] = {-1, -1};
    pid_t pid = -1;
    termios before{};
    std::string shown;
};

TEST_F(PassPhrase, ReadsWithoutEchoAndRestores)
{
    Start();
    AwaitOutput("Pass: ");
    AwaitEchoOff();
    Type("secret word\n");
    int status = 0;
    EXPECT_EQ(Finish(&status), "secret word");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(SettingsAsBefore());
    AwaitOutput("\n");
    EXPECT_EQ(shown.find("secret"), std::string::npos) << shown;
}

TEST_F(PassPhrase, EmptyAndOverlongLines)
{
    Start();
    AwaitOutput("Pass: ");
    AwaitEchoOff();
    Type("\r");
    int status = 0;
    EXPECT_EQ(Finish(&status), "");

    close(result[0]);
    ASSERT_EQ(pipe(result), 0);
    Start();
    AwaitOutput("Pass: ", 2);
    AwaitEchoOff();
    const std::string typed = std::string(256, 'k') + "LEFT\n";
    Type(typed);
    EXPECT_EQ(Finish(&status), std::string(256, 'k'));
    EXPECT_TRUE(SettingsAsBefore());
    // The rest of the line was not read into the pass phrase, and restoring
    // the settings discarded it: no later reader gets part of the secret.
    pollfd p{slave, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
}

TEST_F(PassPhrase, SuspendRestartsTheReading)
{
    // The previous action of SIGTSTP reports whether echo was back on when
    // the signal came through.
    Start([](int report) {
        static int reportFd;
        reportFd = report;
        signal(SIGTSTP, [](int) {
            termios now{};
            tcgetattr(0, &now);
            const char mark = (now.c_lflag & ECHO) ? 'E' : 'Q';
            if (write(reportFd, &mark, 1) != 1)
                _exit(2);
        });
    });
    AwaitOutput("Pass: ");
    AwaitEchoOff();
    Type("typed before");
    kill(pid, SIGTSTP);
    AwaitOutput("Pass: ", 2);
    AwaitEchoOff();
    Type("after\n");
    int status = 0;
    EXPECT_EQ(Finish(&status), "Eafter");
    EXPECT_TRUE(SettingsAsBefore());
}

TEST_F(PassPhrase, TerminationAfterRestoring)
{
    Start();
    AwaitOutput("Pass: ");
    AwaitEchoOff();
    Type("half");
    kill(pid, SIGTERM);
    int status = 0;
    EXPECT_EQ(Finish(&status), "");
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(SettingsAsBefore());
}

TEST(PassPhraseWithoutTerminal, ReadsStandardInput)
{
    int input[2];
    int errors[2];
    int result[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(pipe(errors), 0);
    ASSERT_EQ(pipe(result), 0);
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();  // no controlling terminal
        dup2(input[0], 0);
        dup2(errors[1], 2);
        char* text = GetPassPhrase("Pass: ");
        const ssize_t n = write(result[1], text, strlen(text));
        _exit(n == static_cast<ssize_t>(strlen(text)) ? 0 : 1);
    }
    close(input[0]);
    close(errors[1]);
    close(result[1]);
    ASSERT_EQ(write(input[1], "pw\nrest\n", 8), 8);
    close(input[1]);
    char buf[64] = {};
    EXPECT_EQ(read(result[0], buf, sizeof buf - 1), 2);
    EXPECT_STREQ(buf, "pw");
    char shown[64] = {};
    EXPECT_GT(read(errors[0], shown, sizeof shown - 1), 0);
    EXPECT_STREQ(shown, "Pass: \n");
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(result[0]);
    close(errors[0]);
}

}  // namespace
