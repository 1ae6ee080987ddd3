// Vardion's own footprint while it runs, measured from outside: CPU time per
// second of wall time over a span of ticks, working set, and the counts of
// kernel handles and of GDI and USER objects at the start and at the end.
// Kernel handles are counted in the system's handle table, which Wine keeps;
// Wine keeps no per-process count of GDI and USER objects and answers 0.
//
//   footprint_wine.exe <Vardion.exe> [seconds] [blinking|rest|bare] [argument...]
// Vardion starts with no trusted list, so its first look raises the alert:
// "blinking" measures with the alert up and the tray icon blinking (the
// default), "rest" after pressing the alert's "Ignore". The line "measuring"
// tells when the span begins; a few seconds after it ends, Vardion is ended.
// "bare" starts another program (the snapshot floor) and waits for no alert;
// the arguments after the state are that program's.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/win/handle_count.h"
#include "tests/win/fresh_directory.h"

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

Sample Take(HANDLE process, DWORD processId) {
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
    long handles = handle_count::Settled(processId);
    sample.handles = handles < 0 ? 0 : static_cast<DWORD>(handles);
    sample.gdiObjects = ::GetGuiResources(process, GR_GDIOBJECTS);
    sample.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
    return sample;
}

constexpr int kIgnore = 1006;

// The alert window of one process, hidden or not.
HWND AlertOf(DWORD processId) {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, "#32770", "Untrusted Process Detected"))) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

bool WaitAlert(DWORD processId, bool visible, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 50) {
        HWND alert = AlertOf(processId);
        if (alert && (::IsWindowVisible(alert) != FALSE) == visible) return true;
        ::Sleep(50);
    }
    return false;
}

void Print(const char* when, const Sample& s) {
    std::printf("%-6s working set %7.1f KiB   kernel handles %4lu\n", when,
                static_cast<double>(s.workingSet) / 1024.0, s.handles);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: footprint_wine.exe <Vardion.exe> [seconds] [state] [argument...]\n");
        return 2;
    }
    int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    std::string state = argc > 3 ? argv[3] : "blinking";
    bool rest = state == "rest";
    std::string dir;
    MakeFreshDirectory("vardion-footprint", dir);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION vardion = {};
    std::string command = std::string("\"") + argv[1] + "\"";
    for (int i = 4; i < argc; ++i) command += std::string(" ") + argv[i];
    if (!::CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &startup, &vardion)) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    ::WaitForInputIdle(vardion.hProcess, 10000);
    if (state == "bare") {
        // A program with no alert to wait for (the snapshot floor).
    } else if (!WaitAlert(vardion.dwProcessId, true, 30000)) {
        std::fprintf(stderr, "the alert did not show\n");
    } else if (rest) {
        HWND alert = AlertOf(vardion.dwProcessId);
        ::PostMessageA(alert, WM_COMMAND, MAKEWPARAM(kIgnore, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(alert, kIgnore)));
        if (!WaitAlert(vardion.dwProcessId, false, 10000))
            std::fprintf(stderr, "the alert did not hide\n");
    }
    ::Sleep(1000);  // past the first ticks of the state
    Sample first = Take(vardion.hProcess, vardion.dwProcessId);
    std::printf("measuring %s\n", rest              ? "at rest"
                                  : state == "bare" ? "the bare program"
                                                    : "with the alert blinking");
    std::fflush(stdout);
    Print("start", first);
    // A program that ends before the span does (one run beside another, ended
    // by the measuring script) ends it.
    for (int i = 0; i < seconds; ++i) {
        if (::WaitForSingleObject(vardion.hProcess, 1000) == WAIT_OBJECT_0) break;
    }
    Sample last = Take(vardion.hProcess, vardion.dwProcessId);
    Print("end", last);
    HWND alert = AlertOf(vardion.dwProcessId);
    std::printf("alert at the end: %s\n", alert && ::IsWindowVisible(alert) ? "shown" : "hidden");
    double wall = last.wallSeconds - first.wallSeconds;
    double cpu = last.cpuSeconds - first.cpuSeconds;
    if (cpu > 0) {
        std::printf(
            "CPU %.3f s over %.1f s of wall time: %.1f ms per second (%.2f%% of one core)\n", cpu,
            wall, 1000.0 * cpu / wall, 100.0 * cpu / wall);
    } else {
        std::printf("CPU: the system answers 0 for another process (Wine keeps no account)\n");
    }
    std::printf(
        "handles %+ld, working set %+.1f KiB\n",
        static_cast<long>(last.handles) - static_cast<long>(first.handles),
        (static_cast<double>(last.workingSet) - static_cast<double>(first.workingSet)) / 1024.0);
    if (first.gdiObjects + first.userObjects + last.gdiObjects + last.userObjects == 0) {
        std::printf("GDI and USER objects: the system answers 0 (Wine keeps no count)\n");
    } else {
        std::printf("GDI objects %+ld, USER objects %+ld\n",
                    static_cast<long>(last.gdiObjects) - static_cast<long>(first.gdiObjects),
                    static_cast<long>(last.userObjects) - static_cast<long>(first.userObjects));
    }
    std::printf("result handles=%lu\n", last.handles);
    std::fflush(stdout);
    ::Sleep(3000);  // the measuring script's span ends meanwhile
    ::TerminateProcess(vardion.hProcess, 0);
    ::CloseHandle(vardion.hProcess);
    ::CloseHandle(vardion.hThread);
    return 0;
}
