#pragma once

// The peak memory of this process, in KiB: the high-water mark of its
// resident set on Linux, of its working set on Windows.

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>

inline long peakMemoryKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}
#else
#include <sys/resource.h>

inline long peakMemoryKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
#endif
