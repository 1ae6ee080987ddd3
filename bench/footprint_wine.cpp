// Vardion's own footprint while it runs, measured from outside: CPU time per
// second of wall time over a span of ticks, working set, and the counts of
// kernel handles and of GDI and USER objects at the start and at the end.
//
//   footprint_wine.exe <Vardion.exe> [seconds]
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Sample {
    double cpuSeconds = 0;
    double wallSeconds = 0;
    SIZE_T workingSet = 0;
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

Sample Take(HANDLE process) {
    Sample sample;
    FILETIME created, ended, kernel, user;
    if (::GetProcessTimes(process, &created, &ended, &kernel, &user)) {
        sample.cpuSeconds = Seconds(kernel) + Seconds(user);
    }
    sample.wallSeconds = static_cast<double>(::GetTickCount()) / 1000.0;
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (::GetProcessMemoryInfo(process, &memory, sizeof memory))
        sample.workingSet = memory.WorkingSetSize;
    ::GetProcessHandleCount(process, &sample.handles);
    sample.gdiObjects = ::GetGuiResources(process, GR_GDIOBJECTS);
    sample.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
    return sample;
}

void Print(const char* when, const Sample& s) {
    std::printf(
        "%-6s working set %7.1f KiB   handles %4lu   GDI objects %4lu   USER objects %4lu\n", when,
        static_cast<double>(s.workingSet) / 1024.0, s.handles, s.gdiObjects, s.userObjects);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: footprint_wine.exe <Vardion.exe> [seconds]\n");
        return 2;
    }
    int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "vardion-footprint-" +
                      std::to_string(::GetCurrentProcessId()) + "-" +
                      std::to_string(::GetTickCount());
    ::CreateDirectoryA(dir.c_str(), nullptr);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION vardion = {};
    std::string command = std::string("\"") + argv[1] + "\"";
    if (!::CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &startup, &vardion)) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    ::WaitForInputIdle(vardion.hProcess, 10000);
    ::Sleep(2000);  // past start-up and the first alert
    Sample first = Take(vardion.hProcess);
    Print("start", first);
    for (int i = 0; i < seconds; ++i) ::Sleep(1000);
    Sample last = Take(vardion.hProcess);
    Print("end", last);
    double wall = last.wallSeconds - first.wallSeconds;
    std::printf("CPU %.3f s over %.1f s of wall time: %.1f ms per second (%.2f%% of one core)\n",
                last.cpuSeconds - first.cpuSeconds, wall,
                1000.0 * (last.cpuSeconds - first.cpuSeconds) / wall,
                100.0 * (last.cpuSeconds - first.cpuSeconds) / wall);
    std::printf(
        "handles %+ld, GDI objects %+ld, USER objects %+ld, working set %+.1f KiB\n",
        static_cast<long>(last.handles) - static_cast<long>(first.handles),
        static_cast<long>(last.gdiObjects) - static_cast<long>(first.gdiObjects),
        static_cast<long>(last.userObjects) - static_cast<long>(first.userObjects),
        (static_cast<double>(last.workingSet) - static_cast<double>(first.workingSet)) / 1024.0);
    ::TerminateProcess(vardion.hProcess, 0);
    ::CloseHandle(vardion.hProcess);
    ::CloseHandle(vardion.hThread);
    return 0;
}
