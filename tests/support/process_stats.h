#pragma once
// Two figures of the test process as the system reports them: its thread
// count and its resident memory; -1 where the system does not say.

#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <psapi.h>
#include <tlhelp32.h>
#else
#include <fstream>
#include <string>
#endif

namespace vantrel::test {

#ifdef _WIN32
inline int ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

inline long long ResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<long long>(counters.WorkingSetSize);
}
#else
// One "Name: value" line of /proc/self/status as a number; -1 when absent.
inline long long ProcStatus(const char* name) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(name) + ':';
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stoll(line.substr(prefix.size()));
    return -1;
}

inline int ThreadCount() {
    return static_cast<int>(ProcStatus("Threads"));
}

inline long long ResidentBytes() {
    const long long kib = ProcStatus("VmRSS");
    return kib < 0 ? -1 : kib * 1024;
}
#endif

}  // namespace vantrel::test
