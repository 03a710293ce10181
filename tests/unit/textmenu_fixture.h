// Helpers of the menu engine tests: the shipped English catalogue of the
// build tree, and dialogues with the engine over standard input and output.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "SysCmd.h"
#include "utils.h"

// Resolves the command table once per test program: the engine runs
// commands (clear) as it draws.
inline void ResolveCommandsOnce()
{
    static bool ready = false;
    if (!ready)
        InitSysCmdList();
    ready = true;
}

// Points pToolPath at the build tree that holds db/en_US/CoreString.qdb (a
// directory above the test program) and asks for English.
inline void UseShippedCatalogue()
{
    static char root[4096];
    if (root[0])
        return;
    std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path())
        if (std::filesystem::exists(dir / "db/en_US/CoreString.qdb"))
            break;
    snprintf(root, sizeof root, "%s", dir.c_str());
    pToolPath = root;
    setenv("LANG", "en_US", 1);
}

// Runs fn with standard input reading `input` and gives what it printed on
// standard output.
template <typename Fn>
std::string Dialogue(const std::string& input, Fn fn)
{
    UseShippedCatalogue();
    const std::string path = testing::TempDir() + "textmenu_input." + std::to_string(getpid());
    std::ofstream(path, std::ios::binary) << input;
    EXPECT_NE(freopen(path.c_str(), "r", stdin), nullptr);
    fflush(stdout);
    testing::internal::CaptureStdout();
    fn();
    fflush(stdout);
    std::string output = testing::internal::GetCapturedStdout();
    std::filesystem::remove(path);
    return output;
}
