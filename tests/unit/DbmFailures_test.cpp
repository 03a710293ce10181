// Record databases whose system calls fail in the middle of a change: the
// program is linked with --wrap for each call below, and a test arms one of
// them to fail. A refused change must leave the old file whole and
// readable, no scratch copy beside it, no writers' lock held and no
// descriptor open.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "dbm_fixture.h"

namespace {

// One wrapped call: after `skip` calls pass, the next `times` fail with err
// (times < 0: every one from then on).
struct Fault {
    int skip = 0;
    int times = 0;
    int err = 0;
    int calls = 0;

    bool Fails()
    {
        ++calls;
        if (times == 0)
            return false;
        if (skip > 0) {
            --skip;
            return false;
        }
        if (times > 0)
            --times;
        errno = err;
        return true;
    }
};

Fault fsyncFault, renameFault, flockFault, getcwdFault, mkostempFault, fchmodFault, fdopenFault,
    fwriteFault, fflushFault, fcloseFault, readFault, lockRaceFault;
int sleeps = 0;

void Arm(Fault& fault, int err, int times = 1, int skip = 0)
{
    fault = Fault{skip, times, err, 0};
}

void DisarmAll()
{
    for (Fault* f : {&fsyncFault, &renameFault, &flockFault, &getcwdFault, &mkostempFault, &fchmodFault,
                     &fdopenFault, &fwriteFault, &fflushFault, &fcloseFault, &readFault, &lockRaceFault})
        *f = Fault{};
    sleeps = 0;
}

// Only the streams of scratch copies fail: the test's own output goes on.
bool IsScratch(FILE* stream)
{
    if (!stream)
        return false;
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    return strstr(target, "_new.") != nullptr;
}

}  // namespace

extern "C" {
int __real_fsync(int fd);
int __real_rename(const char* from, const char* to);
int __real_flock(int fd, int op);
char* __real_getcwd(char* buf, size_t size);
int __real_mkostemp(char* pattern, int flags);
int __real_fchmod(int fd, mode_t mode);
int __real_open(const char* path, int flags, ...);
FILE* __real_fdopen(int fd, const char* mode);
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* stream);
int __real_fflush(FILE* stream);
int __real_fclose(FILE* stream);
ssize_t __real_read(int fd, void* buf, size_t count);

int __wrap_fsync(int fd)
{
    return fsyncFault.Fails() ? -1 : __real_fsync(fd);
}

int __wrap_rename(const char* from, const char* to)
{
    return renameFault.Fails() ? -1 : __real_rename(from, to);
}

int __wrap_flock(int fd, int op)
{
    return flockFault.Fails() ? -1 : __real_flock(fd, op);
}

char* __wrap_getcwd(char* buf, size_t size)
{
    return getcwdFault.Fails() ? nullptr : __real_getcwd(buf, size);
}

int __wrap_mkostemp(char* pattern, int flags)
{
    return mkostempFault.Fails() ? -1 : __real_mkostemp(pattern, flags);
}

int __wrap_fchmod(int fd, mode_t mode)
{
    return fchmodFault.Fails() ? -1 : __real_fchmod(fd, mode);
}

// The lock race: another writer makes the lock file between this one's
// finding it missing and its making it.
int __wrap_open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    if ((flags & O_EXCL) && lockRaceFault.Fails()) {
        const int other = __real_open(path, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
        if (other >= 0)
            close(other);
    }
    return __real_open(path, flags, mode);
}

FILE* __wrap_fdopen(int fd, const char* mode)
{
    return fdopenFault.Fails() ? nullptr : __real_fdopen(fd, mode);
}

size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* stream)
{
    return IsScratch(stream) && fwriteFault.Fails() ? 0 : __real_fwrite(data, size, count, stream);
}

int __wrap_fflush(FILE* stream)
{
    return IsScratch(stream) && fflushFault.Fails() ? EOF : __real_fflush(stream);
}

// A failed close still closes: the stream is gone either way.
int __wrap_fclose(FILE* stream)
{
    const bool fails = IsScratch(stream) && fcloseFault.Fails();
    const int err = errno;
    const int result = __real_fclose(stream);
    if (!fails)
        return result;
    errno = err;
    return EOF;
}

ssize_t __wrap_read(int fd, void* buf, size_t count)
{
    return readFault.Fails() ? -1 : __real_read(fd, buf, count);
}

// The reloads wait a second between tries; here they need not.
unsigned __wrap_sleep(unsigned)
{
    ++sleeps;
    return 0;
}
}

namespace {

using namespace dbm_test;

int OpenDescriptors()
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

class DbmFailuresTest : public DbmTest {
protected:
    void SetUp() override
    {
        DbmTest::SetUp();
        DisarmAll();
        ASSERT_EQ(DbmPutRecord("t", "a", "first", 5), 1);
        ASSERT_EQ(DbmPutRecord("t", "b", "second", 6), 1);
        before = Read(DbFile("t"));
        inode = Inode(DbFile("t"));
        descriptors = OpenDescriptors();
    }

    void TearDown() override
    {
        DisarmAll();
        DbmTest::TearDown();
    }

    // Whether another writer could take the lock now.
    bool LockIsFree()
    {
        const int fd = open((DbFile("t") + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return true;
        const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
        close(fd);
        return free;
    }

    // The change was refused and left nothing behind; the old records read.
    void ExpectUnchanged()
    {
        EXPECT_EQ(Read(DbFile("t")), before);
        EXPECT_TRUE(ScratchCopies(DbFile("t")).empty());
        EXPECT_TRUE(LockIsFree());
        EXPECT_EQ(OpenDescriptors(), descriptors);
        char buf[16] = "";
        EXPECT_EQ(DbmGetRecord("t", "a", buf), 5);
        EXPECT_EQ(std::string(buf, 5), "first");
    }

    Bytes before;
    ino_t inode = 0;
    int descriptors = 0;
};

// The changes of both layers, each as one call that must succeed when
// nothing fails.
enum class Op { Put, Delete, TaggedPut, TaggedDelete, TaggedArchive };

int Apply(Op op)
{
    if (op == Op::Put)
        return DbmPutRecord("t", "c", "third", 5);
    if (op == Op::Delete)
        return DbmDeleteRecord("t", "b");
    DbTHandle* h = DbTOpen("t", 0);
    int result = 0;
    if (op == Op::TaggedPut)
        result = DbmTPutRecord(h, "c", "third", 5);
    else if (op == Op::TaggedDelete)
        result = DbmTDeleteRecord(h, "b");
    else
        result = DbmTArchiveDb(h);
    DbTClose(h);
    return result;
}

struct Failure {
    const char* name;
    Fault* fault;
    int err;
};

const Failure failures[] = {
    {"flock", &flockFault, ENOLCK},     {"mkostemp", &mkostempFault, ENOSPC},
    {"fchmod", &fchmodFault, EPERM},    {"fdopen", &fdopenFault, ENOMEM},
    {"fwrite", &fwriteFault, ENOSPC},   {"fflush", &fflushFault, ENOSPC},
    {"fsync", &fsyncFault, EIO},        {"fclose", &fcloseFault, EIO},
    {"rename", &renameFault, EXDEV},
};

class ChangeFailureTest : public DbmFailuresTest,
                          public testing::WithParamInterface<std::tuple<Op, Failure>> {};

TEST_P(ChangeFailureTest, IsRefusedAndLeavesTheDatabaseAsItWas)
{
    const auto [op, failure] = GetParam();
    Arm(*failure.fault, failure.err);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Apply(op), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(failure.fault->calls, 1) << "the failing call was not made";
    EXPECT_NE(said.find("ERROR"), std::string::npos) << said;
    ExpectUnchanged();
    EXPECT_EQ(Inode(DbFile("t")), inode);
    // The failure does not stay: the same change then goes through.
    EXPECT_EQ(Apply(op), 1);
    EXPECT_NE(Inode(DbFile("t")), inode);
    EXPECT_TRUE(ScratchCopies(DbFile("t")).empty());
}

std::string Named(const testing::TestParamInfo<std::tuple<Op, Failure>>& info)
{
    static const char* const ops[] = {"Put", "Delete", "TaggedPut", "TaggedDelete", "TaggedArchive"};
    return std::string(ops[static_cast<int>(std::get<0>(info.param))]) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(All, ChangeFailureTest,
                         testing::Combine(testing::Values(Op::Put, Op::Delete, Op::TaggedPut, Op::TaggedDelete,
                                                          Op::TaggedArchive),
                                          testing::ValuesIn(failures)),
                         Named);

// A failed write of the data is told as one, with the database's name.
TEST_F(DbmFailuresTest, AFailedFlushIsToldAsAFailedWrite)
{
    Arm(fflushFault, ENOSPC);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Can't write to t"), std::string::npos);
    ExpectUnchanged();
}

// The old records are copied, the new one cannot be written after them.
TEST_F(DbmFailuresTest, ANewRecordThatCannotBeWrittenIsNotStored)
{
    Arm(fwriteFault, ENOSPC, 1, 2);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Can't write to t"), std::string::npos);
    EXPECT_EQ(fwriteFault.calls, 3);
    ExpectUnchanged();
}

// A database that cannot be read is not rewritten: the copy would lose
// what could not be read.
TEST_F(DbmFailuresTest, ADatabaseThatCannotBeReadIsNotRewritten)
{
    fs::remove(DbFile("t"));
    fs::create_directory(DbFile("t"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 0);
    EXPECT_EQ(DbmDeleteRecord("t", "a"), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("ERROR: Can't read t\n"), std::string::npos) << said;
    EXPECT_TRUE(fs::is_directory(DbFile("t")));
    EXPECT_TRUE(ScratchCopies(DbFile("t")).empty());
    EXPECT_TRUE(LockIsFree());
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// A signal while waiting for the lock is no reason to give up the change.
TEST_F(DbmFailuresTest, AnInterruptedLockIsWaitedForAgain)
{
    Arm(flockFault, EINTR, 2);
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 1);
    EXPECT_EQ(flockFault.calls, 3);
    char buf[16] = "";
    EXPECT_EQ(DbmGetRecord("t", "c", buf), 5);
    EXPECT_TRUE(LockIsFree());
}

TEST_F(DbmFailuresTest, AHandleThatCannotTakeTheLockHoldsNone)
{
    DbTHandle* h = DbTOpen("t", 0);
    Arm(flockFault, ENOLCK);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmTLock(h), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't lock"), std::string::npos);
    EXPECT_EQ(h->LockFd, -1);
    DbTClose(h);
    ExpectUnchanged();
}

TEST_F(DbmFailuresTest, ALockFileMadeByAnotherWriterMeanwhileIsTaken)
{
    fs::remove(DbFile("t") + ".lock");
    Arm(lockRaceFault, 0);
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 1);
    EXPECT_EQ(lockRaceFault.calls, 1);
    EXPECT_TRUE(LockIsFree());
    char buf[16] = "";
    EXPECT_EQ(DbmGetRecord("t", "c", buf), 5);
}

// A lock file that is a symbolic link is not followed: the change is
// refused rather than locking whatever the link names.
TEST_F(DbmFailuresTest, ALockThatCannotBeOpenedRefusesTheChange)
{
    fs::remove(DbFile("t") + ".lock");
    fs::create_symlink(dir + "/elsewhere", DbFile("t") + ".lock");
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't open lock"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/elsewhere"));
    fs::remove(DbFile("t") + ".lock");
    ExpectUnchanged();
}

// Without the current directory's name, "db" is still made in it.
TEST_F(DbmFailuresTest, TheDbDirectoryIsMadeWhereTheWorkingDirectoryCannotBeNamed)
{
    const std::string elsewhere = dir + "/elsewhere";
    fs::create_directory(elsewhere);
    fs::current_path(elsewhere);
    Arm(getcwdFault, ERANGE);
    EXPECT_EQ(DbmPutRecord("t", "c", "third", 5), 1);
    EXPECT_EQ(getcwdFault.calls, 1);
    EXPECT_TRUE(fs::is_directory(elsewhere + "/db"));
}

// The move of a scratch copy made by hand: refused, the database kept.
TEST_F(DbmFailuresTest, AFailedMoveOfANewCopyKeepsTheDatabase)
{
    FILE* copy = OpenNewDataBase("t");
    ASSERT_NE(copy, nullptr);
    fputs("new", copy);
    fclose(copy);
    Arm(renameFault, EXDEV);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RenameDataBase("t", "qdb_new", "qdb"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("can't move"), std::string::npos);
    EXPECT_EQ(Read(DbFile("t")), before);
    for (const std::string& name : ScratchCopies(DbFile("t")))
        fs::remove(dir + "/db/" + name);
}

// Only the copy made last for this name is moved; any other must be there.
TEST_F(DbmFailuresTest, OnlyACopyThatIsThereIsMoved)
{
    FILE* copy = OpenNewDataBase("other");
    ASSERT_NE(copy, nullptr);
    fclose(copy);
    EXPECT_EQ(RenameDataBase("t", "qdb_new", "qdb"), 0);
    EXPECT_EQ(RenameDataBase("t", "qdb_old", "qdb"), 0);
    EXPECT_EQ(Read(DbFile("t")), before);
    Write(dir + "/db/t.qdb_old", "old");
    EXPECT_EQ(RenameDataBase("t", "qdb_old", "qdb"), 1);
    EXPECT_EQ(Read(DbFile("t")), "old");
    for (const std::string& name : ScratchCopies(dir + "/db/other.qdb"))
        fs::remove(dir + "/db/" + name);
}

// A read that fails is tried again; one interrupted goes on at once.
TEST_F(DbmFailuresTest, AFailedReadOfTheFileIsTriedAgain)
{
    Arm(readFault, EIO);
    DbTHandle* h = DbTOpen("t", 0);
    EXPECT_EQ(sleeps, 1);
    char buf[16] = "";
    EXPECT_EQ(DbmTGetRecord(h, "b", buf), 6);
    DbTClose(h);

    Arm(readFault, EINTR);
    sleeps = 0;
    h = DbTOpen("t", 0);
    EXPECT_EQ(sleeps, 0);
    EXPECT_EQ(DbmTGetRecord(h, "a", buf), 5);
    DbTClose(h);
}

// A file that cannot be read at all is not taken for an empty one: a change
// would otherwise write the new record alone over all the others.
TEST_F(DbmFailuresTest, AFileThatCannotBeReadIsNotOverwritten)
{
    DbTHandle* h = DbTOpen("t", 0);
    // Another writer replaces the file, which this handle then cannot read.
    ASSERT_EQ(DbmPutRecord("t", "d", "fourth", 6), 1);
    before = Read(DbFile("t"));
    Arm(readFault, EIO, -1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DbmTPutRecord(h, "c", "third", 5), 0);
    EXPECT_EQ(DbmTDeleteRecord(h, "a"), 0);
    EXPECT_EQ(DbmTDeleteRecords(h, "z"), 0);
    EXPECT_EQ(DbmTArchiveDb(h), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Can't read t"), std::string::npos);
    // Once the file reads again, so do its records, and changes go through.
    DisarmAll();
    char buf[16] = "";
    EXPECT_EQ(DbmTGetRecord(h, "d", buf), 6);
    EXPECT_EQ(DbmTPutRecord(h, "c", "third", 5), 1);
    EXPECT_EQ(DbmGetRecord("t", "d", buf), 6);
    ASSERT_EQ(DbmTDeleteRecord(h, "c"), 1);
    before = Read(DbFile("t"));
    DbTClose(h);
    ExpectUnchanged();
}

}  // namespace
