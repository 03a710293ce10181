// A scratch directory for the file tests, made with mkdtemp and removed
// with everything in it; the current input file is closed around each test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "utils.h"

class FilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "files_test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        CloseInputFile();
        flInputFilterState = true;
    }

    void TearDown() override
    {
        CloseInputFile();
        flInputFilterState = true;
        std::filesystem::remove_all(dir);
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

    std::string dir;
};
