// The cost of one tick on the real platform, beside its floor. Runs the real
// scan with the real PSAPI process source, real list boxes in a hidden window
// and the real tray image call, and, in the same run, only the platform calls
// that no tick can do without: EnumProcesses, then OpenProcess,
// GetProcessImageFileNameA and CloseHandle for each process, and one
// Shell_NotifyIconA modify. Prints time per tick for both and their ratio.
//
//   tick_wine.exe [sleeper.exe]   with a sleeper, also with 100 extra processes
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

void Measure(HWND owner, HWND running, HWND untrusted, int trustedEntries) {
    CListBox runningList, untrustedList;
    runningList.m_hWnd = running;
    untrustedList.m_hWnd = untrusted;
    ListBoxPort runningPort(runningList), untrustedPort(untrustedList);
    Win32ProcessSource processes;
    HiddenAlert alert;
    RealTray tray(owner);
    ProcessWatch watch(processes, runningPort, untrustedPort, alert, tray);

    // Every running program is trusted, found at the end of the list, so each
    // search walks the whole of it: the dearest case of a steady tick.
    std::vector<std::string> paths = RunningPaths();
    for (int i = 0; i < trustedEntries - static_cast<int>(paths.size()); ++i) {
        watch.m_known.push_back("\\Device\\HarddiskVolume9\\filler\\program" + std::to_string(i) +
                                ".exe");
    }
    for (const std::string& path : paths) watch.m_known.push_back(path);
    watch.ScanProcesses();
    watch.ScanProcesses();

    // Alternate the two in short rounds, so that a change in the machine's
    // load falls on both alike; keep the quickest round of each.
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 10; ++round) {
        for (int which = 0; which < 2; ++which) {
            double start = Now();
            for (int i = 0; i < kTicks / 10; ++i) {
                if (which == 0)
                    watch.ScanProcesses();
                else
                    Floor(owner);
            }
            best[which] = std::min(best[which], (Now() - start) / (kTicks / 10));
        }
    }
    std::printf("%9zu %9d %12.1f %12.1f %7.3f   (%d rows running, %d untrusted)\n", paths.size(),
                static_cast<int>(watch.m_known.size()), best[0] * 1e6, best[1] * 1e6,
                best[0] / best[1], runningList.GetCount(), untrustedList.GetCount());
    std::fflush(stdout);
    runningList.m_hWnd = nullptr;
    untrustedList.m_hWnd = nullptr;
}

void MeasureAll(HWND owner, HWND running, HWND untrusted) {
    std::printf("processes   trusted   tick (us)  floor (us)   ratio\n");
    for (int entries : {10, 1000, 10000}) {
        ::SendMessageA(running, LB_RESETCONTENT, 0, 0);
        ::SendMessageA(untrusted, LB_RESETCONTENT, 0, 0);
        Measure(owner, running, untrusted, entries);
    }
}

}  // namespace

int main(int argc, char** argv) {
    HWND owner = ::CreateWindowExA(0, "STATIC", "tick bench", WS_POPUP, 0, 0, 10, 10, nullptr,
                                   nullptr, nullptr, nullptr);
    HWND running = ::CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_SORT | LBS_NOTIFY, 0, 0, 100,
                                     100, owner, nullptr, nullptr, nullptr);
    HWND untrusted = ::CreateWindowExA(0, "LISTBOX", "", WS_CHILD | LBS_EXTENDEDSEL | LBS_NOTIFY, 0,
                                       0, 100, 100, owner, nullptr, nullptr, nullptr);
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = owner;
    icon.uFlags = NIF_ICON;
    icon.hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TRAY_NORMAL));
    ::Shell_NotifyIconA(NIM_ADD, &icon);

    std::printf("The system's own processes:\n");
    MeasureAll(owner, running, untrusted);

    if (argc > 1) {
        std::vector<PROCESS_INFORMATION> extra;
        for (int i = 0; i < 100; ++i) {
            STARTUPINFOA startup = {};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION program = {};
            std::string command = std::string("\"") + argv[1] + "\"";
            if (::CreateProcessA(argv[1], &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &program)) {
                extra.push_back(program);
            }
        }
        ::Sleep(500);
        std::printf("With %zu extra processes:\n", extra.size());
        MeasureAll(owner, running, untrusted);
        for (PROCESS_INFORMATION& program : extra) {
            ::TerminateProcess(program.hProcess, 0);
            ::CloseHandle(program.hProcess);
            ::CloseHandle(program.hThread);
        }
    }
    ::Shell_NotifyIconA(NIM_DELETE, &icon);
    ::DestroyWindow(owner);
    return 0;
}
