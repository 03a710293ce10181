// Helpers of the message catalogue tests: a scratch tool directory, the
// catalogue compiler run on sources written there, and runs in a child
// process for what the catalogue decides once per process (the language).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "utils.h"

// The build tree, which holds the shipped trans.conf, db/<language>/ and tools/nlscc.
inline const std::string BuildRoot = NLS_DB_ROOT;
inline const std::string Compiler = BuildRoot + "/tools/nlscc";

// pToolPath is a plain char*: give it a copy that lives as long as the process.
inline void SetToolPath(const std::string& dir)
{
    static char path[4096];
    snprintf(path, sizeof path, "%s", dir.c_str());
    pToolPath = path;
}

// Runs fn in a child process and gives the text it returned; the child must
// end normally.
template <typename Fn>
std::string InChild(Fn fn)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "<pipe failed>";
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string result = fn();
        const ssize_t n = write(fds[1], result.data(), result.size());
        _exit(n == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    close(fds[1]);
    std::string result;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        result.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return result;
}

class NlsScratch : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir + "/db");
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    std::string Write(const std::string& name, const std::string& content)
    {
        const std::string path = Path(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    // Runs the compiler with the arguments in the scratch directory; gives
    // its exit status, its output (both streams) in *output.
    int RunCompiler(const std::string& args, std::string* output = nullptr)
    {
        const std::string command = "cd '" + dir + "' && '" + Compiler + "' " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return -1;
        std::string text;
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;)
            text.append(buf, n);
        const int status = pclose(pipe);
        if (output)
            *output = text;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Compiles source text into <dir>/db/<name>.qdb; gives the database path.
    std::string Database(const std::string& name, const std::string& source)
    {
        Write(name + ".txt", source);
        const std::string path = Path("db/" + name + ".qdb");
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::string output;
        EXPECT_EQ(RunCompiler(name + ".txt " + path, &output), 0) << output;
        return path;
    }

    ScratchDir scratch{"nls_test"};
    std::string dir = scratch.Path();
};
