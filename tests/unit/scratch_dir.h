// Scratch directories of the unit tests: each test makes one of its own
// under the system's temporary directory, and it goes with all it holds
// when the test is over.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

class ScratchDir {
public:
    ScratchDir() = default;
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir() { Remove(); }

    // A new directory "<prefix>_XXXXXX" in place of any made before; its
    // path, or "" after failing the test when none can be made. The name
    // holds no '.', so that no path below it seems to have an extension.
    const std::string& Make(const std::string& prefix)
    {
        Remove();
        std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "_XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
        else
            ADD_FAILURE() << "can't make a scratch directory " << pattern << ": " << std::strerror(errno);
        return path_;
    }

    void Remove()
    {
        if (path_.empty())
            return;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        path_.clear();
    }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
