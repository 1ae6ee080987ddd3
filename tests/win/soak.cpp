// A soak of the real Vardion.exe: for a span of time a driver starts and ends
// small programs under many names, each living at least 300 ms; afterwards
// every one of them must be listed once (case ignored), the program must
// still answer, hold no more kernel handles than when the soak began and no
// more memory than once every name was listed, and Exit must write
// "known.dat" whole.
//
//   soak.exe <seconds>
// with Vardion.exe and sleeper.exe beside it. Prints what it found; exits
// non-zero on a fault.
#include <windows.h>
#include <psapi.h>

#include <cstdlib>
#include <set>

#include "tests/win/child_process.h"
#include "tests/win/handle_count.h"
#include "tests/win/fresh_directory.h"
#include "tests/win/remote_window.h"
#include "tests/win/wine.h"

namespace {

using namespace e2e;

int failures = 0;
constexpr long kMemorySlackKiB = 64;

void Check(bool condition, const std::string& what) {
    if (condition) return;
    ++failures;
    std::printf("FAULT: %s\n", what.c_str());
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The memory a process holds, in KiB: under Wine its working set, since
// icons, menus and strings live in the process's own memory there, so a leak
// of them shows in it; on Windows, where the memory manager trims working
// sets at will and those objects live in the system's memory, its private
// bytes.
long MemoryKiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    if (!::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                sizeof memory)) {
        return -1;
    }
    return static_cast<long>((UnderWine() ? memory.WorkingSetSize : memory.PrivateUsage) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: soak.exe <seconds>\n");
        return 2;
    }
    onFault = [](const std::string& what) { Check(false, what); };
    const int seconds = std::atoi(argv[1]);
    const std::string sleeper = BesideThisProgram("sleeper.exe");
    std::string dir;
    Check(MakeFreshDirectory("vardion-soak", dir), "a fresh working directory " + dir);
    ::CreateDirectoryA((dir + "\\bin").c_str(), nullptr);

    PROCESS_INFORMATION vardion = Launch(BesideThisProgram("Vardion.exe"), dir);
    HWND main = nullptr;
    bool shown = WaitFor([&] {
        return (main = FindTopLevel(vardion.dwProcessId, "Vardion")) && ::IsWindowVisible(main);
    });
    Check(shown, "the main window appeared");
    if (!shown) return 1;
    HWND untrusted = ::GetDlgItem(main, kUntrusted);

    // Names in mixed case, some of them the same name in another case.
    std::set<std::string> started;  // lower case
    DWORD end = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    int launched = 0;
    long handlesAtStart = -1;
    long memoryAtStart = -1;
    while (::GetTickCount() < end) {
        std::vector<PROCESS_INFORMATION> batch;
        for (int i = 0; i < 4; ++i, ++launched) {
            // Fifty names, each met again in the other case on the next round.
            std::string name = "Soak" + std::to_string(launched % 50) + ".exe";
            if ((launched / 50) % 2 == 1) name = Lower(name);
            std::string path = dir + "\\bin\\" + name;
            ::CopyFileA(sleeper.c_str(), path.c_str(), FALSE);
            PROCESS_INFORMATION program = Launch(path, dir);
            if (program.hProcess) {
                batch.push_back(program);
                started.insert(Lower(name));
            }
        }
        ::Sleep(350);  // each lives at least 300 ms
        // Counted once the first programs are listed and the alert is up.
        if (handlesAtStart < 0) handlesAtStart = handle_count::Settled(vardion.dwProcessId);
        // Memory is counted once every name has been listed: the lists grow until then.
        if (memoryAtStart < 0 && launched > 50) memoryAtStart = MemoryKiB(vardion.hProcess);
        for (PROCESS_INFORMATION& program : batch) EndProcess(program);
    }

    Check(::SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr) != 0,
          "the program answers");
    long handlesAtEnd = handle_count::Settled(vardion.dwProcessId);
    Check(handlesAtStart >= 0 && handlesAtEnd >= 0, "the handles can be counted");
    Check(handlesAtEnd <= handlesAtStart,
          "no more handles at the end (" + std::to_string(handlesAtEnd) + ") than at the start (" +
              std::to_string(handlesAtStart) + ")");
    std::printf("kernel handles: %ld at the start, %ld at the end\n", handlesAtStart, handlesAtEnd);
    long memoryAtEnd = MemoryKiB(vardion.hProcess);
    std::printf("%s: %ld KiB once every name was listed, %ld KiB at the end\n",
                UnderWine() ? "working set" : "private bytes", memoryAtStart, memoryAtEnd);
    Check(memoryAtStart > 0 && memoryAtEnd > 0, "the memory can be read");
    // A leak of one icon a tick grows it by some 16 KiB a second.
    Check(memoryAtEnd - memoryAtStart <= kMemorySlackKiB,
          "the memory grew by no more than " + std::to_string(kMemorySlackKiB) + " KiB");
    Rows rows = ReadList(untrusted);
    std::set<std::string> listed;
    for (const std::string& row : rows) {
        Check(listed.insert(Lower(row)).second, "listed once: " + row);
    }
    for (const std::string& name : started) Check(listed.count(name) == 1, "listed: " + name);
    std::printf("%d programs started under %zu names in %d s; %zu rows listed\n", launched,
                started.size(), seconds, rows.size());

    // Trust everything and end by Exit: the file must hold every row's path.
    Ask(untrusted, LB_SETSEL, TRUE, -1);
    Ask(main, WM_COMMAND, MAKEWPARAM(kAdd, BN_CLICKED),
        reinterpret_cast<LPARAM>(::GetDlgItem(main, kAdd)));
    ::PostMessageA(main, kTrayCallback, 0, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    WaitFor([&] { return (menu = FindShown(vardion.dwProcessId, "#32768")); });
    Check(menu != nullptr, "the tray menu opened");
    ::PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 1);
    ::PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 1);
    Check(::WaitForSingleObject(vardion.hProcess, 10000) == WAIT_OBJECT_0,
          "Exit ended the program");
    std::string known = ReadFile(dir + "\\known.dat");
    size_t lines = static_cast<size_t>(std::count(known.begin(), known.end(), '\n'));
    Check(lines == rows.size(), "known.dat holds one line per row");
    Check(known.empty() || known.compare(known.size() - 2, 2, "\r\n") == 0, "known.dat ends whole");
    for (const std::string& name : started) {
        Check(Lower(known).find("\\bin\\" + name + "\r\n") != std::string::npos, "saved: " + name);
    }
    std::printf("known.dat: %zu bytes, %zu lines\n", known.size(), lines);
    EndProcess(vardion);
    std::printf("%s: %d fault(s)\n", failures ? "FAILED" : "passed", failures);
    return failures ? 1 : 0;
}
