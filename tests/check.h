// Minimal checks for the test hosts, in the manner of Wine's conformance tests:
// each failed check prints where it is and what it got; the exit code is the
// number of failures.
#pragma once

#include "brenquisat_exports.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

inline int g_checkFailures = 0;
inline int g_checkCount = 0;

#define ok(cond, ...)                                                                   \
    do {                                                                                \
        ++g_checkCount;                                                                 \
        if (!(cond)) {                                                                  \
            ++g_checkFailures;                                                          \
            std::printf("%s:%d: Test failed: ", __FILE__, __LINE__);                    \
            std::printf(__VA_ARGS__);                                                   \
            std::fflush(stdout);                                                        \
        }                                                                               \
    } while (0)

inline int CheckSummary(const char* name)
{
    std::printf("%s: %d checks, %d failed\n", name, g_checkCount, g_checkFailures);
    std::fflush(stdout);
    return g_checkFailures ? 1 : 0;
}

// Brenquisat.dll loaded by name, with its exports bound.
struct LoadedBrenquisat : BrenquisatExports {
    HMODULE module;
};

inline bool LoadBrenquisat(LoadedBrenquisat* e)
{
    e->module = LoadLibraryA("Brenquisat.dll");
    return e->module && BindBrenquisat(e->module, e);
}
