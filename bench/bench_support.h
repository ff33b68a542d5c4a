// What the Windows benchmarks share: a clock in seconds and the folder of the running program
// (where the build puts tarvel.fmx).
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
