// Scaffolding of the command-layer tests: a scratch directory with fake
// commands, the command table resolved once per program and restored around
// every test, a private program name (so that the log in /tmp is this
// program's own), processes started under a chosen name, and running a
// piece of code in a child process with fresh log state.
#pragma once

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "MemMgr.h"
#include "SysCmd.h"
#include "utils.h"

extern char** environ;

namespace syscmd_test {

namespace fs = std::filesystem;

// The table as InitSysCmdList resolved it at program start.
inline std::array<char*, COM_ROWS>& ResolvedPaths()
{
    static std::array<char*, COM_ROWS> paths{};
    return paths;
}

// Resolves the real table once, with logging off, under a private name.
class Environment : public testing::Environment {
public:
    explicit Environment(const char* program) : program_(program) {}

    void SetUp() override
    {
        // Death tests that start the program afresh keep the name through
        // the environment, and with it the log.
        const char* inherited = getenv("SYSCMD_TEST_NAME");
        if (inherited)
            my_name = SaveStr_(inherited);
        else
            my_name = SaveStr("%s_%d", program_, static_cast<int>(getpid()));
        setenv("SYSCMD_TEST_NAME", my_name, 0);
        flUseLog = false;
        InitSysCmdList();
        for (int row = 0; row < COM_ROWS; ++row)
            ResolvedPaths()[row] = ComList[row].Path;
    }

    void TearDown() override { fs::remove(LogPath()); }

    static std::string LogPath() { return std::string("/tmp/") + my_name + ".log"; }

private:
    const char* program_;
};

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs fn in a forked child, which ends with status 0 after it; gives the
// child's wait status. The child starts with the parent's state, so a log
// the parent never wrote gets its first message there.
inline int InChild(const std::function<void()>& fn)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        fn();
        fflush(nullptr);
        _exit(0);
    }
    int status = -1;
    waitpid(pid, &status, 0);
    return status;
}

class SysCmdTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(dir + "/bin");
        ResetCommandLayer();
    }

    void TearDown() override
    {
        for (pid_t pid : started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        ResetCommandLayer();
    }

    // The table as the environment resolved it, logging off, no log.
    static void ResetCommandLayer()
    {
        for (int row = 0; row < COM_ROWS; ++row)
            ComList[row].Path = ResolvedPaths()[row];
        flInitSysCmd = false;
        flUseLog = false;
        flSysCmdLog = false;
        fs::remove(Environment::LogPath());
    }

    // A shell script named name in dir/bin (or the given directory); gives
    // the directory.
    std::string FakeCommand(const std::string& name, const std::string& body,
                            const std::string& where = "")
    {
        std::string home = where.empty() ? dir + "/bin" : where;
        fs::create_directories(home);
        std::string path = home + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return home;
    }

    // Points a row at a fake command written into dir/bin.
    void Fake(int row, const std::string& body)
    {
        paths.push_back(SaveStr_(FakeCommand(ComList[row].Name, body).c_str()));
        ComList[row].Path = paths.back();
    }

    // Starts a long sleep whose command name is name; gives its process number.
    pid_t StartNamed(const std::string& name)
    {
        std::string home = dir + "/named" + std::to_string(started.size());
        fs::create_directories(home);
        std::string link = home + "/" + name;
        fs::create_symlink("/bin/sleep", link);
        std::vector<char*> argv{const_cast<char*>(name.c_str()), const_cast<char*>("30"), nullptr};
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, link.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        started.push_back(pid);
        // The new process carries its name once it has executed the program.
        for (int i = 0; i < 200 && ReadFile("/proc/" + std::to_string(pid) + "/comm") != name + "\n"; ++i)
            usleep(10000);
        return pid;
    }

    std::string Log() const { return ReadFile(Environment::LogPath()); }

    ScratchDir scratch{"syscmd_test"};
    std::string dir = scratch.Path();
    std::vector<pid_t> started;
    std::vector<char*> paths;
};

inline double SecondsOf(const std::function<void()>& fn)
{
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace syscmd_test
