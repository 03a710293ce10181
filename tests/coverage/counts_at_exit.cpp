// Linked into every program of the coverage build (scripts/build coverage,
// with -Wl,--wrap=_exit,--wrap=setrlimit), so that every process writes
// its line and branch counts when it ends:
// - one that ends with _exit, as the tests' child processes do, writes
//   them first (otherwise only exit() does);
// - a file size limit, which some tests set to see a write fail, limits
//   the soft value only, and is lifted again before the counts are
//   written: cut short by the limit, they would spoil the count files of
//   every other program.
#include <sys/resource.h>

#include <cstdlib>

extern "C" {
void __gcov_dump(void);
[[noreturn]] void __real__exit(int status);
int __real_setrlimit(int resource, const struct rlimit* limit);
}

namespace {

void LiftFileSizeLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        __real_setrlimit(RLIMIT_FSIZE, &limit);
    }
}

// Handlers registered with atexit run before the destructors that write
// the counts.
[[gnu::constructor]] void LiftAtExit()
{
    std::atexit(LiftFileSizeLimit);
}

}  // namespace

extern "C" {

[[noreturn]] void __wrap__exit(int status)
{
    LiftFileSizeLimit();
    __gcov_dump();
    __real__exit(status);
}

int __wrap_setrlimit(int resource, const struct rlimit* limit)
{
    if (resource != RLIMIT_FSIZE || !limit)
        return __real_setrlimit(resource, limit);
    rlimit soft{};
    if (getrlimit(RLIMIT_FSIZE, &soft) != 0)
        return -1;
    soft.rlim_cur = limit->rlim_cur < soft.rlim_max ? limit->rlim_cur : soft.rlim_max;
    return __real_setrlimit(RLIMIT_FSIZE, &soft);
}
}
