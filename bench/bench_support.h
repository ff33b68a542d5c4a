// What the Windows benchmarks share: a clock in seconds, the calling thread's CPU time, and the
// folder of the running program (where the build puts tarvel.fmx).
#ifndef TARVEL_BENCH_SUPPORT_H
#define TARVEL_BENCH_SUPPORT_H

#include <windows.h>
#include <string.h>
#include <string>

inline double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

// The CPU time the calling thread has had, user and kernel, in seconds: what a loaded machine
// cannot stretch, since time spent waiting for a core is not counted. Wine reads it from the
// kernel in clock ticks (10 ms here), and asks its server for it (some 0.1 ms a call): sum it
// over rounds of a good part of a second each.
inline double ThreadSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0;
    ULARGE_INTEGER kernelTime, userTime;
    kernelTime.LowPart = kernel.dwLowDateTime;
    kernelTime.HighPart = kernel.dwHighDateTime;
    userTime.LowPart = user.dwLowDateTime;
    userTime.HighPart = user.dwHighDateTime;
    return (double)(kernelTime.QuadPart + userTime.QuadPart) * 1e-7;
}

inline std::string ProgramFolder()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH - 1);
    char *slash = strrchr(path, '\\');
    if (slash != NULL)
        *slash = '\0';
    return path;
}

#endif
