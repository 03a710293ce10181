// A scratch directory for the file tests; the current input file is closed
// around each test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "utils.h"

class FilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        CloseInputFile();
        flInputFilterState = true;
    }

    void TearDown() override
    {
        CloseInputFile();
        flInputFilterState = true;
    }

    // Writes content (bytes as given) to name in the scratch directory and
    // gives its path.
    std::string Write(const std::string& name, const std::string& content)
    {
        std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    // Makes name the current input file, holding content.
    void Input(const std::string& content)
    {
        std::string path = Write("input", content);
        ASSERT_EQ(OpenInputFile(path.c_str(), 1), 1);
    }

    ScratchDir scratch{"files_test"};
    std::string dir = scratch.Path();
};
