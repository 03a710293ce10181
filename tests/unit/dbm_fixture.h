// Scaffolding of the record database tests: a scratch tool directory that
// pToolPath names (with its "db" directory), byte-level access to the files,
// and a child process for the cases that must fail or be killed.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "scratch_dir.h"

#include "Dbm.h"
#include "MemMgr.h"
#include "utils.h"

namespace dbm_test {

namespace fs = std::filesystem;

using Bytes = std::string;

class DbmTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directory(dir + "/db");
        pToolPath = SaveStr_(dir.c_str());
        DbTClose(nullptr);  // path handling off
        // Changes make ./db when the current directory has none: run where
        // it has one, as the suite's tools do.
        cwd = fs::current_path();
        fs::current_path(dir);
    }

    void TearDown() override
    {
        fs::current_path(cwd);
        DbTClose(nullptr);
        PutMem(pToolPath);
        pToolPath = nullptr;
    }

    // The file of a database name under the tool directory.
    std::string DbFile(const std::string& name) const { return dir + "/db/" + name + ".qdb"; }

    static Bytes Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    static void Write(const std::string& path, const Bytes& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static ino_t Inode(const std::string& path)
    {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    ScratchDir scratch{"dbm_test"};
    std::string dir = scratch.Path();
    fs::path cwd;
};

// A record of the keyed format (native lengths, one transformed run), built
// here from the format's definition for files the library did not write.
inline Bytes KeyedRecord(const Bytes& key, const Bytes& data, int recLenDelta = 0, int keyLenDelta = 0)
{
    const auto keyLen = static_cast<uint16_t>(key.size() + 1 + keyLenDelta);
    const auto recLen = static_cast<uint16_t>(2 + key.size() + 1 + data.size() + recLenDelta);
    Bytes plain(reinterpret_cast<const char*>(&keyLen), 2);
    plain += key + '\0' + data;
    Bytes stored = plain;
    for (size_t i = 0; i + 1 < plain.size(); ++i)
        stored[i] = static_cast<char>(plain[i] ^ plain[i + 1]);
    return Bytes(reinterpret_cast<const char*>(&recLen), 2) + stored;
}

// A record of the tagged format: big-endian lengths, key and data
// transformed separately.
inline Bytes TaggedRecord(const Bytes& key, const Bytes& data, int recLenDelta = 0, int keyLenDelta = 0)
{
    auto transform = [](const Bytes& b) {
        Bytes s = b;
        for (size_t i = 0; i + 1 < b.size(); ++i)
            s[i] = static_cast<char>(b[i] ^ b[i + 1]);
        return s;
    };
    const int keyLen = static_cast<int>(key.size()) + 1 + keyLenDelta;
    const int recLen = 2 + static_cast<int>(key.size() + 1 + data.size()) + recLenDelta;
    Bytes r;
    r += static_cast<char>(recLen >> 8);
    r += static_cast<char>(recLen);
    r += static_cast<char>(keyLen >> 8);
    r += static_cast<char>(keyLen);
    return r + transform(key + '\0') + transform(data);
}

inline Bytes TaggedHeader(int count)
{
    Bytes h = "TQDBAA" + std::to_string(count);
    h += '\0';
    h.resize(16, 'f');
    return h;
}

// Runs body in a child process; its exit status (or 128 + signal).
inline int InChild(const std::function<int()>& body)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int status = body();
        fflush(nullptr);
        _exit(status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts count children at once (they wait for each other behind a pipe);
// their exit statuses, as InChild gives them.
inline std::vector<int> AllAtOnce(int count, const std::function<int(int)>& body)
{
    int gate[2];
    if (pipe(gate) != 0)
        return {};
    fflush(nullptr);
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            char c;
            while (read(gate[0], &c, 1) > 0) {
            }
            const int status = body(i);
            fflush(nullptr);
            _exit(status);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    std::vector<int> statuses;
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    return statuses;
}

// Makes the calling process (a child) someone who owns none of the test's
// files: nobody, when it runs as root; as any other user it already is.
inline bool BecomeOtherUser()
{
    if (geteuid() != 0)
        return true;
    const passwd* user = getpwnam("nobody");
    const group* grp = getgrnam("nogroup");
    if (!user)
        return false;
    const gid_t gid = grp ? grp->gr_gid : user->pw_gid;
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(user->pw_uid) == 0;
}

// A mode as open(2) and mkdir(2) apply it under this process's creation mask.
inline fs::perms UnderMask(unsigned mode)
{
    const mode_t mask = umask(0);
    umask(mask);
    return fs::perms(mode & ~mask);
}

// The scratch copies of a database file left in its directory.
inline std::vector<std::string> ScratchCopies(const std::string& database)
{
    const fs::path path(database);
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(path.filename().string() + "_new.", 0) == 0)
            found.push_back(name);
    }
    return found;
}

inline std::string Str(char* saved)
{
    std::string s = saved ? saved : "(null)";
    PutMem(saved);
    return s;
}

}  // namespace dbm_test
