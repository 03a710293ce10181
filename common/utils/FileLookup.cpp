// Questions about the file system: status, existence, the first matching
// line of a file, the existing part of a path and directory listings.
#include <climits>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

#include "FilePath.h"
#include "MemMgr.h"
#include "utils.h"

namespace {

struct PathParts {
    std::string_view dir;
    std::string_view name;
};

// Splits a path into its directory and last name the way StripFn and
// StripPath do ("/a/b" -> "/a" and "b", "b" -> "." and "b", "/b" -> "/"
// and "b"), but on a path of any length, and with trailing slashes ignored
// ("a/b/" is b in a, not b in a/b). The root gives the name "". The
// directory is a leading part of path, or ".".
PathParts SplitPath(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    if (path == "/")
        return {path, {}};
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {".", path};
    return {path.substr(0, slash == 0 ? 1 : slash), path.substr(slash + 1)};
}

bool IsRoot(std::string_view path)
{
    return !path.empty() && path.find_first_not_of('/') == std::string_view::npos;
}

// Whether name is an entry of dir, as its listing would show it: any kind
// of entry counts, a dangling link too. Names are compared whole, so a name
// is never found inside another one that holds blanks.
bool DirHasEntry(std::string_view dir, std::string_view name)
{
    PathBuf path;
    if (name.empty() || dir.size() >= path.size())
        return false;
    memcpy(path.data(), dir.data(), dir.size());
    path[dir.size()] = '\0';
    DIR* entries = opendir(path.data());
    if (!entries)
        return false;
    bool found = false;
    while (const dirent* entry = readdir(entries)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    closedir(entries);
    return found;
}

// A listing that memory cannot be had for ends the program, as a string
// that cannot be saved does: a null listing means a directory that cannot
// be opened, and would send a caller looking elsewhere.
[[noreturn]] void NoMemoryForListing()
{
    SysError("%s", OutOfMem);
}

// A listing " a b c " in memory from GetMem, grown when the directory gained
// entries between the sizing pass and the listing pass.
struct Listing {
    char* text = nullptr;
    long size = 0;  // bytes asked of GetMem
    long length = 0;

    bool Reserve(long needed)
    {
        if (needed <= size)
            return true;
        long grown = needed > 2 * size ? needed : 2 * size;
        if (grown > INT_MAX)
            return false;
        void* moved = AdjustMem(text, static_cast<int>(grown));
        if (!moved)
            NoMemoryForListing();
        text = static_cast<char*>(moved);
        size = grown;
        return true;
    }

    bool Append(const char* name)
    {
        long count = static_cast<long>(strlen(name));
        if (!Reserve(length + count + 2))
            return false;
        text[length++] = ' ';
        memcpy(text + length, name, count);
        length += count;
        text[length] = '\0';
        return true;
    }
};

template <typename Keep>
char* ListDir(const char* dir, Keep keep, bool nullWhenEmpty)
{
    DIR* entries = dir ? opendir(dir) : nullptr;
    if (!entries)
        return nullptr;
    long total = 0;
    while (const dirent* entry = readdir(entries)) {
        if (keep(entry->d_name))
            total += static_cast<long>(strlen(entry->d_name)) + 1;
    }
    Listing list;
    bool complete = total + 3 <= INT_MAX;
    if (complete) {
        list.text = static_cast<char*>(GetMem(static_cast<int>(total + 3)));
        list.size = total + 3;
        if (!list.text)
            NoMemoryForListing();
    }
    if (complete) {
        rewinddir(entries);
        while (const dirent* entry = readdir(entries)) {
            if (keep(entry->d_name) && !list.Append(entry->d_name)) {
                complete = false;
                break;
            }
        }
    }
    closedir(entries);
    if (complete && list.length == 0 && nullWhenEmpty)
        complete = false;
    // An empty name adds just the blank that ends the list.
    if (complete)
        complete = list.Append("");
    if (!complete) {
        PutMem(list.text);
        return nullptr;
    }
    return list.text;
}

}  // namespace

long GetFileSize(const char* path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    return static_cast<long>(st.st_size);
}

time_t GetFileTime(const char* path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0)
        return 0;
    return st.st_mtime;
}

int GetFileType(const char* path)
{
    struct stat st;
    if (!path || lstat(path, &st) != 0)
        return 0;
    if (S_ISDIR(st.st_mode))
        return 1;
    if (S_ISLNK(st.st_mode))
        return 2;
    return 3;
}

int FindFile_(const char* dir, const char* name)
{
    PathBuf path;
    struct stat st;
    if (!JoinPath(path, dir, name))
        return 0;
    return stat(path.data(), &st) == 0;
}

int FindFile(const char* dir, const char* name)
{
    if (!dir && (!name || !*name))
        return 0;
    PathBuf joined;
    const char* path = nullptr;
    if (!dir) {
        path = name;
    } else if (!name || !*name) {
        path = dir;
    } else if (strchr(name, '/')) {
        if (!JoinPath(joined, dir, name))
            return 0;
        path = joined.data();
    } else {
        return DirHasEntry(dir, name);
    }
    // The root is in no directory's listing, yet it always exists.
    if (IsRoot(path))
        return 1;
    PathParts parts = SplitPath(path);
    return DirHasEntry(parts.dir, parts.name);
}

char* FileSearch(const char* path, const char* text, int level)
{
    static char line[511];
    FILE* file = OpenFile(nullptr, path, "rt", level);
    if (!file)
        return nullptr;
    while (fgets(line, sizeof line, file)) {
        if (!text || strstr(line, text)) {
            fclose(file);
            return line;
        }
    }
    fclose(file);
    line[0] = '\0';
    return nullptr;
}

// The walk goes up one directory at a time; it ends at the latest at "/" or
// ".", which have no directory above them.
char* FindExistingPath(const char* path, int* exists)
{
    if (!path)
        path = "";
    PathBuf work;
    size_t length = strlen(path);
    bool cut = length >= work.size();
    if (cut)
        length = work.size() - 1;
    memcpy(work.data(), path, length);
    work[length] = '\0';
    // A cut path may end inside a name: only its directory is a leading
    // part of the path.
    bool up = cut;
    while (up || !FindFile(nullptr, work.data())) {
        up = false;
        std::string_view current(work.data());
        std::string_view parent = SplitPath(current).dir;
        if (parent == current)
            break;
        if (parent.data() == work.data())
            work[parent.size()] = '\0';
        else
            snprintf(work.data(), work.size(), "%.*s", static_cast<int>(parent.size()),
                     parent.data());
    }
    if (exists && strcmp(work.data(), path) == 0)
        *exists = 1;
    return SaveStr_(work.data());
}

char* ReadDir(DIR* dir, char*)
{
    if (!dir)
        return nullptr;
    dirent* entry = readdir(dir);
    return entry ? entry->d_name : nullptr;
}

char* GetDirFileList(const char* dir)
{
    return ListDir(dir, [](const char*) { return true; }, false);
}

char* SearchDirFileList(const char* dir, const char* ext)
{
    auto keep = [ext](const char* name) {
        if (!ext)
            return strcmp(name, ".") != 0 && strcmp(name, "..") != 0;
        const char* dot = strrchr(name, '.');
        return dot && strcmp(dot + 1, ext) == 0;
    };
    return ListDir(dir, keep, true);
}
