// The cost of one tick on the real platform, beside its floor. Runs the real
// scan with the real PSAPI process source, real list boxes in a hidden window
// and the real tray image call, and, in the same run, only the platform calls
// that no tick can do without: EnumProcesses, then OpenProcess,
// GetProcessImageFileNameA and CloseHandle for each process, and one
// Shell_NotifyIconA modify. Prints time per tick for both and their ratio,
// for trusted lists of several sizes, the largest read from "known.dat".
//
//   tick_wine.exe [sleeper.exe]   with a sleeper, also with 100 extra processes,
//                                 and with 100 under names with spaces,
//                                 code-page letters and 250 characters
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/list_box_port.h"
#include "app/process_source_win32.h"
#include "res/resource.h"
#include "tray/tray_icon.h"
#include "tests/win/fresh_directory.h"
#include "watch/process_watch.h"

namespace {

constexpr int kTicks = 200;

class HiddenAlert : public AlertWindow {
  public:
    void RewritePlacement() override {}
    void AddAlertName(const std::string&) override {}
    void ShowAlert() override {}
    bool IsAlertVisible() const override { return false; }
};

class RealTray : public TrayIcon {
  public:
    explicit RealTray(HWND window) : m_window(window) {}
    void SetTrayImage(unsigned iconId) override { SetTrayIconImage(m_window, iconId); }

  private:
    HWND m_window;
};

double Now() {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Floor(HWND owner) {
    std::vector<DWORD> ids(1024);
    DWORD bytes = 0;
    ::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * 4), &bytes);
    char path[1024];
    for (DWORD i = 0; i < bytes / 4; ++i) {
        HANDLE process = ::OpenProcess(0x410, FALSE, ids[i]);
        if (!process) continue;
        ::GetProcessImageFileNameA(process, path, sizeof path);
        ::CloseHandle(process);
    }
    SetTrayIconImage(owner, IDI_TRAY_NORMAL);
}

// The image paths of the processes running now.
std::vector<std::string> RunningPaths() {
    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    ::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * 4), &bytes);
    std::vector<std::string> paths;
    for (DWORD i = 0; i < bytes / 4; ++i) {
        HANDLE process = ::OpenProcess(0x410, FALSE, ids[i]);
        if (!process) continue;
        char path[1024];
        DWORD length = ::GetProcessImageFileNameA(process, path, sizeof path);
        if (length) paths.emplace_back(path, length);
        ::CloseHandle(process);
    }
    return paths;
}

// A trusted list of at least `entries` entries and `bytes` bytes in which every
// running program is trusted, found at the end, so that each search walks the
// whole of it: the dearest case of a steady tick.
StringList ListTrustingAll(size_t entries, size_t bytes = 0) {
    std::vector<std::string> paths = RunningPaths();
    StringList known;
    size_t size = 0;
    for (int i = 0; known.size() + paths.size() < entries || size < bytes; ++i) {
        known.push_back("\\Device\\HarddiskVolume9\\filler\\program" + std::to_string(i) + ".exe");
        size += known.back().size() + 2;
    }
    known.insert(known.end(), paths.begin(), paths.end());
    return known;
}

struct Windows {
    HWND owner;
    HWND running;
    HWND untrusted;
};

// Prints one row: time per tick of the real scan and of its floor, and their
// ratio. With `viaFile` the list is written to "known.dat" and read by the
// program's own LoadKnown, and the times of loading and saving it are shown.
void Measure(const Windows& windows, const StringList& known, bool viaFile = false) {
    ::SendMessageA(windows.running, LB_RESETCONTENT, 0, 0);
    ::SendMessageA(windows.untrusted, LB_RESETCONTENT, 0, 0);
    CListBox runningList, untrustedList;
    runningList.m_hWnd = windows.running;
    untrustedList.m_hWnd = windows.untrusted;
    ListBoxPort runningPort(runningList), untrustedPort(untrustedList);
    Win32ProcessSource processes;
    HiddenAlert alert;
    RealTray tray(windows.owner);
    ProcessWatch watch(processes, runningPort, untrustedPort, alert, tray);

    std::string bytes;
    double loadSeconds = 0;
    if (viaFile) {
        bytes = FormatKnown(known, "");
        HANDLE file =
            ::CreateFileA(kKnownFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
        double start = Now();
        watch.LoadKnown();
        loadSeconds = Now() - start;
    } else {
        watch.m_known = known;
    }
    std::vector<std::string> paths = RunningPaths();
    watch.ScanProcesses();
    watch.ScanProcesses();

    // Alternate the two in short rounds, so that a change in the machine's
    // load falls on both alike; keep the quickest round of each.
    const int ticksPerRound = known.size() > 50000 ? 2 : kTicks / 10;
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 10; ++round) {
        for (int which = 0; which < 2; ++which) {
            double start = Now();
            for (int i = 0; i < ticksPerRound; ++i) {
                if (which == 0)
                    watch.ScanProcesses();
                else
                    Floor(windows.owner);
            }
            best[which] = std::min(best[which], (Now() - start) / ticksPerRound);
        }
    }
    std::printf("%9zu %9zu %12.1f %12.1f %7.3f   (%d rows running, %d untrusted)\n", paths.size(),
                watch.m_known.size(), best[0] * 1e6, best[1] * 1e6, best[0] / best[1],
                runningList.GetCount(), untrustedList.GetCount());
    if (viaFile) {
        double start = Now();
        watch.SaveKnown();
        double saveSeconds = Now() - start;
        std::printf("%22s %.1f MB: LoadKnown %.0f ms, SaveKnown %.0f ms\n", "known.dat of",
                    static_cast<double>(bytes.size()) / 1e6, loadSeconds * 1e3, saveSeconds * 1e3);
        ::DeleteFileA(kKnownFileName);
    }
    std::fflush(stdout);
    runningList.m_hWnd = nullptr;
    untrustedList.m_hWnd = nullptr;
}

void PrintHeading(const char* what) {
    std::printf("%s\nprocesses   trusted   tick (us)  floor (us)   ratio\n", what);
}

void MeasureSizes(const Windows& windows, const char* what) {
    PrintHeading(what);
    for (size_t entries : {10, 1000, 10000}) Measure(windows, ListTrustingAll(entries));
}

// Extra processes of the small program, copied under the given names.
class ExtraProcesses {
  public:
    ExtraProcesses(const std::string& sleeper, const std::vector<std::string>& paths) {
        for (const std::string& path : paths) {
            if (path != sleeper) ::CopyFileA(sleeper.c_str(), path.c_str(), FALSE);
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION program = {};
            std::string command = "\"" + path + "\"";
            if (::CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &program)) {
                m_programs.push_back(program);
            }
        }
        ::Sleep(500);
    }
    ~ExtraProcesses() {
        for (PROCESS_INFORMATION& program : m_programs) {
            ::TerminateProcess(program.hProcess, 0);
            ::WaitForSingleObject(program.hProcess, 5000);
            ::CloseHandle(program.hProcess);
            ::CloseHandle(program.hThread);
        }
    }
    ExtraProcesses(const ExtraProcesses&) = delete;
    ExtraProcesses& operator=(const ExtraProcesses&) = delete;

    size_t size() const { return m_programs.size(); }

  private:
    std::vector<PROCESS_INFORMATION> m_programs;
};

// Names as users meet them: spaces, letters of code page 1252 beyond ASCII,
// and 250 characters, the most a path within MAX_PATH leaves in a short folder.
std::vector<std::string> AwkwardPaths(const std::string& folder, const std::string& shortFolder) {
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i) {
        std::string n = std::to_string(i);
        switch (i % 3) {
            case 0:
                paths.push_back(folder + "\\my program  number " + n + ".exe");
                break;
            case 1:
                paths.push_back(folder +
                                "\\caf\xE9 \xF1"
                                "and\xFA \xC6\xD8\xC5 " +
                                n + ".exe");
                break;
            default:
                std::string name = "long" + n;
                paths.push_back(shortFolder + "\\" + name + std::string(246 - name.size(), 'n') +
                                ".exe");
        }
    }
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    Windows windows;
    windows.owner = ::CreateWindowExA(0, "STATIC", "tick bench", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
    windows.running = ::CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_SORT | LBS_NOTIFY, 0, 0,
                                        100, 100, windows.owner, nullptr, nullptr, nullptr);
    windows.untrusted = ::CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_EXTENDEDSEL | LBS_NOTIFY,
                                          0, 0, 100, 100, windows.owner, nullptr, nullptr, nullptr);
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = windows.owner;
    icon.uFlags = NIF_ICON;
    icon.hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY_NORMAL));
    ::Shell_NotifyIconA(NIM_ADD, &icon);

    // A working directory of its own for the lists read from a file.
    std::string dir;
    MakeFreshDirectory("vardion-tick", dir);
    ::SetCurrentDirectoryA(dir.c_str());

    MeasureSizes(windows, "The system's own processes:");
    PrintHeading("Large lists read from known.dat, the system's own processes:");
    Measure(windows, ListTrustingAll(100000), true);
    Measure(windows, ListTrustingAll(0, 50u << 20), true);

    if (argc > 1) {
        std::string sleeper = argv[1];
        {
            ExtraProcesses extra(sleeper, std::vector<std::string>(100, sleeper));
            char heading[64];
            std::snprintf(heading, sizeof heading, "With %zu extra processes:", extra.size());
            MeasureSizes(windows, heading);
        }
        {
            std::string shortFolder = "C:\\vt";
            ::CreateDirectoryA(shortFolder.c_str(), nullptr);
            ExtraProcesses extra(sleeper, AwkwardPaths(dir, shortFolder));
            char heading[128];
            std::snprintf(heading, sizeof heading,
                          "With %zu extra processes named with spaces, code-page letters and "
                          "250 characters:",
                          extra.size());
            PrintHeading(heading);
            Measure(windows, ListTrustingAll(1000));
        }
    }
    ::Shell_NotifyIconA(NIM_DELETE, &icon);
    ::DestroyWindow(windows.owner);
    return 0;
}
