// Path buffers shared by the file readers and the lookups.
#pragma once

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>

// A formatted opening path: at most 511 characters.
using FormattedPath = std::array<char, 512>;
// A whole path as the system takes it (PATH_MAX with its terminator).
using PathBuf = std::array<char, PATH_MAX>;

// The path of the whole-file reads and existence tests: "dir/name" when both
// are given, else whichever is given. False when neither is given, or
// (errno ENAMETOOLONG) when the path is longer than the system takes; a cut
// path would name some other file.
inline bool JoinPath(PathBuf& buf, const char* dir, const char* name)
{
    int n;
    if (dir && name)
        n = snprintf(buf.data(), buf.size(), "%s/%s", dir, name);
    else if (dir || name)
        n = snprintf(buf.data(), buf.size(), "%s", dir ? dir : name);
    else
        return false;
    if (n < 0 || static_cast<size_t>(n) >= buf.size()) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}
