// The out-of-memory injection of the sanitizer build (see FailAt.h).
#include "FailAt.h"

#ifdef MEMMGR_FAIL_AT
#include "MemMgrImpl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

long getMemCalls = 0;
// The call to fail: -1 until the environment is read, 0 for none.
long failAt = -1;

void ReportCalls()
{
    std::fprintf(stderr, "GetMem calls: %ld\n", getMemCalls);
}

}  // namespace

bool mem::FailThisGetMem()
{
    if (failAt < 0) {
        const char* text = std::getenv("MEMMGR_FAIL_AT");
        failAt = text ? std::max(0L, std::strtol(text, nullptr, 10)) : 0;
        if (text)
            std::atexit(ReportCalls);
    }
    if (++getMemCalls != failAt)
        return false;
    ReportOutOfMem();
    errno = ENOMEM;
    return true;
}
#endif
