// Scratch directories of the unit tests: each test makes one of its own
// under the system's temporary directory, and it goes with all it holds
// when the test is over.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchDir {
public:
    // Makes "<prefix>_XXXXXX". The name holds no '.', so that no path below
    // it seems to have an extension. A directory that cannot be made throws:
    // a test must never go on with paths that would land elsewhere.
    explicit ScratchDir(const std::string& prefix)
        : path_((std::filesystem::temp_directory_path() / prefix).string() + "_XXXXXX")
    {
        if (!mkdtemp(path_.data()))
            throw std::runtime_error("can't make a scratch directory " + path_ + ": " +
                                     std::strerror(errno));
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
