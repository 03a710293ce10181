// Out-of-memory injection, a test hook of the sanitizer build
// (MEMMGR_FAIL_AT): with MEMMGR_FAIL_AT=N in the environment the N-th call
// of GetMem fails as if no region could be had (the out-of-memory line,
// errno ENOMEM, null), so that a test can check that every allocation
// failure along a run ends the program cleanly. With the variable set (0:
// no failure) the number of GetMem calls is written to standard error at
// exit, as "GetMem calls: N". Without MEMMGR_FAIL_AT the hook is nothing.
#pragma once

#ifdef MEMMGR_FAIL_AT
namespace mem {
bool FailThisGetMem();
}
#define MEMMGR_FAIL_AT_HOOK()          \
    do {                               \
        if (mem::FailThisGetMem())     \
            return nullptr;            \
    } while (0)
#else
#define MEMMGR_FAIL_AT_HOOK() static_cast<void>(0)
#endif
