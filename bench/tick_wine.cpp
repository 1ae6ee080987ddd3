// The cost of one tick on the real platform, beside what no tick can do
// without. Runs the real scan with the program's own process source, real list
// boxes in a hidden window and the real tray image call on a real icon, and in
// the same run, alternating with it, the bare calls it is measured against:
//
//   snapshot_us           one NtQuerySystemInformation snapshot of the processes
//   tray_us               one Shell_NotifyIconA modify, as the tick makes it
//   perprocess_floor_us   what a tick costs that asks the system about every
//                         process: EnumProcesses, then OpenProcess,
//                         GetProcessImageFileNameA and CloseHandle of each
//                         process, and the one tray call
//
// Prints one line per case, which a program can read:
//
//   tick: processes=N trusted=K tick_us=T snapshot_us=S tray_us=R perprocess_floor_us=F arch=A
//         wine=W
//
// (one line) where A is win32 or win64, the build that ran, W the version of
// the Wine that ran it as the caller names it in VARDION_WINE_VERSION (8.0,
// 10.0; "unknown" when unset), and with `new=10` before the arch field
// in the line of the case in which ten new processes appear before every
// tick. Lines starting with '#' say what follows, and what the rest of the
// tick costs. One line `known_check:` gives what an unchanged "known.dat"
// costs a tick and the list's own thread, beside a read of the file, one
// `known_stamp:` that of a look at its stamp alone (MeasureStampLook), and
// `rest:` lines a tick at rest beside its snapshot alone, with the time it
// spends beyond it split on a `#` line after each (MeasureRest).
//
//   tick_wine.exe [sleeper.exe]   with a sleeper, also with 100 and 300 extra
//                                 processes, with 10 new ones before every
//                                 tick, with 100 under names with spaces,
//                                 code-page letters and 250 characters, and
//                                 with 100 that refuse to be opened (`refusing=100`
//                                 before the arch field; `refusing=0` the same
//                                 100 openable)
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "app/file_system_win32.h"
#include "app/list_box_port.h"
#include "app/process_source_win32.h"
#include "framework/framework.h"
#include "framework/message_loop.h"
#include "res/resource.h"
#include "tray/tray_icon.h"
#include "tests/win/fresh_directory.h"
#include "watch/process_watch.h"

namespace {

constexpr int kRounds = 101;

// Where a tick's time goes: the time of each port's calls, summed while `on`.
struct PortTimes {
    bool on = false;
    double list = 0;   // ListProcesses: the snapshot and the reading of it
    double image = 0;  // ImageOf
    double rows = 0;   // the two list boxes' messages
    int rowCalls = 0;
    double alert = 0;
    int alertCalls = 0;
    double tray = 0;
};

double Now();

// Adds the time of `call` to `sum` while the times are taken.
template <typename Call>
auto Timed(const PortTimes& times, double& sum, Call call) {
    if (!times.on) return call();
    double start = Now();
    auto result = call();
    sum += Now() - start;
    return result;
}

// With `replay` set, lists again the processes of the last real list
// without asking the system: the tick without its snapshot.
class TimedProcesses : public ProcessSystem {
  public:
    TimedProcesses(ProcessSystem& inner, PortTimes& times) : m_inner(inner), m_times(times) {}
    bool ListProcesses(std::vector<ProcessStamp>& processes) override {
        if (replay) {
            processes = m_last;
            return true;
        }
        bool listed =
            Timed(m_times, m_times.list, [&] { return m_inner.ListProcesses(processes); });
        m_last = processes;
        return listed;
    }
    ImageAnswer ImageOf(const ProcessStamp& process) override {
        return Timed(m_times, m_times.image, [&] { return m_inner.ImageOf(process); });
    }

    bool replay = false;

  private:
    ProcessSystem& m_inner;
    PortTimes& m_times;
    std::vector<ProcessStamp> m_last;
};

class TimedListBox : public ListBox {
  public:
    TimedListBox(ListBox& inner, PortTimes& times) : m_inner(inner), m_times(times) {}
    int GetCount() const override {
        return Row([&] { return m_inner.GetCount(); });
    }
    int GetTextLen(int index) const override {
        return Row([&] { return m_inner.GetTextLen(index); });
    }
    int GetText(int index, char* text) const override {
        return Row([&] { return m_inner.GetText(index, text); });
    }
    int FindStringExact(int start, const char* text) const override {
        return Row([&] { return m_inner.FindStringExact(start, text); });
    }
    int AddString(const char* text) override {
        return Row([&] { return m_inner.AddString(text); });
    }
    int DeleteString(int index) override {
        return Row([&] { return m_inner.DeleteString(index); });
    }
    int GetSelItems(int maxItems, int* items) const override {
        return Row([&] { return m_inner.GetSelItems(maxItems, items); });
    }

  private:
    template <typename Call>
    int Row(Call call) const {
        if (m_times.on) ++m_times.rowCalls;
        return Timed(m_times, m_times.rows, call);
    }
    ListBox& m_inner;
    PortTimes& m_times;
};

// The alert window as the bench has it: a hidden window, never shown, asked
// whether it shows as the program's is.
class HiddenAlert : public AlertWindow {
  public:
    HiddenAlert(HWND window, PortTimes& times) : m_window(window), m_times(times) {}
    void RewritePlacement() override {}
    void AddAlertName(const std::string&, const std::string&) override {}
    void ShowAlert() override {}
    bool IsAlertVisible() const override {
        if (m_times.on) ++m_times.alertCalls;
        return Timed(m_times, m_times.alert, [&] { return ::IsWindowVisible(m_window) != FALSE; });
    }

  private:
    HWND m_window;
    PortTimes& m_times;
};

class RealTray : public TrayIcon {
  public:
    RealTray(HWND window, PortTimes& times) : m_window(window), m_times(times) {}
    bool SetTrayImage(unsigned iconId) override {
        return Timed(m_times, m_times.tray, [&] { return SetTrayIconImage(m_window, iconId); });
    }

  private:
    HWND m_window;
    PortTimes& m_times;
};

double Now() {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One bare snapshot, into a buffer of `bytes` that grows while the system
// asks for more: by default large enough from the start; the snapshot floor
// program (snapshot_floor.cpp) starts from 64 KiB, as Vardion does.
class BareSnapshot {
  public:
    explicit BareSnapshot(size_t bytes = 4u << 20) : m_buffer(bytes) {
        FARPROC query =
            ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
        m_query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(query));
    }
    void operator()() {
        ULONG needed = 0;
        while (m_query(5, m_buffer.data(), static_cast<ULONG>(m_buffer.size()), &needed) ==
                   static_cast<LONG>(0xC0000004) &&
               m_buffer.size() < (64u << 20)) {
            m_buffer.resize(m_buffer.size() * 2);
        }
    }

  private:
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    Query m_query;
    std::vector<unsigned char> m_buffer;
};

std::vector<DWORD> ProcessIds() {
    std::vector<DWORD> ids(4096);
    DWORD bytes = 0;
    ::EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * 4), &bytes);
    ids.resize(bytes / 4);
    return ids;
}

// A tick that asks the system about every process, as the program did before
// it remembered paths.
void PerProcessFloor(HWND owner) {
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
    std::vector<std::string> paths;
    for (DWORD id : ProcessIds()) {
        HANDLE process = ::OpenProcess(0x410, FALSE, id);
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

// Extra processes of the small program, copied under the given names.
class ExtraProcesses {
  public:
    ExtraProcesses(const std::string& sleeper, const std::vector<std::string>& paths,
                   bool refuse = false) {
        for (const std::string& path : paths) Start(sleeper, path, refuse);
        ::Sleep(500);  // past their start-up, which would load the machine
    }
    ~ExtraProcesses() {
        while (!m_programs.empty()) EndOldest();
    }
    ExtraProcesses(const ExtraProcesses&) = delete;
    ExtraProcesses& operator=(const ExtraProcesses&) = delete;

    //! With `refuse`, the process grants nobody any access: a DACL with no entries.
    void Start(const std::string& sleeper, const std::string& path, bool refuse = false) {
        if (path != sleeper) ::CopyFileA(sleeper.c_str(), path.c_str(), FALSE);
        SECURITY_DESCRIPTOR descriptor;
        ACL empty;
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        ::InitializeAcl(&empty, sizeof empty, ACL_REVISION);
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
        SECURITY_ATTRIBUTES guarded = {sizeof guarded, &descriptor, FALSE};
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION program = {};
        std::string command = "\"" + path + "\"";
        if (::CreateProcessA(path.c_str(), &command[0], refuse ? &guarded : nullptr, nullptr, FALSE,
                             0, nullptr, nullptr, &startup, &program)) {
            m_programs.push_back(program);
        }
    }
    void EndOldest() {
        PROCESS_INFORMATION& program = m_programs.front();
        ::TerminateProcess(program.hProcess, 0);
        ::WaitForSingleObject(program.hProcess, 5000);
        ::CloseHandle(program.hProcess);
        ::CloseHandle(program.hThread);
        m_programs.pop_front();
    }
    size_t size() const { return m_programs.size(); }

  private:
    std::deque<PROCESS_INFORMATION> m_programs;
};

struct Windows {
    HWND owner;
    HWND running;
    HWND untrusted;
    HWND alert;  // never shown
};

// The real scan wired to real list boxes and the real tray icon, each port's
// calls timed while `times.on` is set.
class RealWatch {
  public:
    explicit RealWatch(const Windows& windows)
        : m_runningPort(m_runningList),
          m_untrustedPort(m_untrustedList),
          m_processes(m_system, times),
          m_running(m_runningPort, times),
          m_untrusted(m_untrustedPort, times),
          m_alert(windows.alert, times),
          m_tray(windows.owner, times),
          watch(m_processes, m_pathSystem, known, m_running, m_untrusted, m_alert, m_tray) {
        ::SendMessageA(windows.running, LB_RESETCONTENT, 0, 0);
        ::SendMessageA(windows.untrusted, LB_RESETCONTENT, 0, 0);
        m_runningList.m_hWnd = windows.running;
        m_untrustedList.m_hWnd = windows.untrusted;
    }
    ~RealWatch() {
        m_runningList.m_hWnd = nullptr;
        m_untrustedList.m_hWnd = nullptr;
    }
    RealWatch(const RealWatch&) = delete;
    RealWatch& operator=(const RealWatch&) = delete;

    size_t Remembered() const { return watch.RememberedCount(); }
    //! Ticks list the processes of the last real list, without a snapshot.
    void Replay(bool replay) { m_processes.replay = replay; }

    PortTimes times;

  private:
    CListBox m_runningList, m_untrustedList;
    ListBoxPort m_runningPort, m_untrustedPort;
    Win32ProcessSystem m_system;
    Win32PathSystem m_pathSystem;
    TimedProcesses m_processes;
    TimedListBox m_running, m_untrusted;
    HiddenAlert m_alert;
    RealTray m_tray;

  public:
    TrustedList known{WindowsFileSystem(), FileWork::kBackground, kProgramPace};
    ProcessWatch watch;
};

struct Figures {
    double tick = 0, snapshot = 0, tray = 0, floor = 0;
};

#ifdef _WIN64
constexpr char kArch[] = "win64";
#else
constexpr char kArch[] = "win32";
#endif

const char* WineVersion() {
    const char* version = std::getenv("VARDION_WINE_VERSION");
    return version && *version ? version : "unknown";
}

void PrintTick(const TrustedList& known, const Figures& f, const char* extra = "") {
    std::printf(
        "tick: processes=%zu trusted=%zu tick_us=%.0f snapshot_us=%.0f tray_us=%.0f "
        "perprocess_floor_us=%.0f%s arch=%s wine=%s\n",
        ProcessIds().size(), known.m_known.size(), f.tick * 1e6, f.snapshot * 1e6, f.tray * 1e6,
        f.floor * 1e6, extra, kArch, WineVersion());
}

// What the tick spends beyond the snapshot and the tray call, and of that the
// trusted list's searches alone (one IsKnown for every running path); beside
// it, what the per-process floor spends beyond its enumeration and tray call.
void PrintRest(const RealWatch& real, const Figures& f) {
    const TrustedList& known = real.known;
    std::vector<std::string> paths = RunningPaths();
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        size_t found = 0;
        for (const std::string& path : paths) found += known.IsKnown(path) ? 1 : 0;
        best = std::min(best, Now() - start);
        if (found != paths.size()) std::printf("# (not every running program is trusted)\n");
    }
    std::printf(
        "#   tick/(snapshot+tray) %.2f, floor/tick %.1f; beyond them: tick %.0f us (IsKnown %.0f "
        "us "
        "for %zu paths; %zu paths remembered), per-process floor %.0f us\n",
        f.tick / (f.snapshot + f.tray), f.floor / f.tick, (f.tick - f.snapshot - f.tray) * 1e6,
        best * 1e6, paths.size(), real.Remembered(), (f.floor - f.snapshot - f.tray) * 1e6);
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename Call>
double Seconds(Call call) {
    double start = Now();
    call();
    return Now() - start;
}

// Times of the tick and of the bare calls it is measured against.
struct Samples {
    std::vector<double> tick, snapshot, tray, floor;

    //! Times one of each bare call, in turn.
    void TimeBareCalls(const Windows& windows, BareSnapshot& bare) {
        snapshot.push_back(Seconds([&] { bare(); }));
        TimeTrayCalls(windows);
    }
    //! Times the tray call and the per-process floor, which ends with one.
    void TimeTrayCalls(const Windows& windows) {
        tray.push_back(Seconds([&] { SetTrayIconImage(windows.owner, IDI_TRAY_NORMAL); }));
        floor.push_back(Seconds([&] { PerProcessFloor(windows.owner); }));
    }
    Figures Medians() const {
        return Figures{Median(tick), Median(snapshot), Median(tray), Median(floor)};
    }
};

// Alternates the tick and the bare calls one by one, so that a change in the
// machine's load falls on all alike, and keeps the median of each. The tick
// and the snapshot take turns to come first: the one that follows the tray
// calls meets the shell and the display still busy with the icon.
Figures MeasureSteady(const Windows& windows, ProcessWatch& watch, int rounds) {
    BareSnapshot bare;
    Samples samples;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2) samples.snapshot.push_back(Seconds([&] { bare(); }));
        samples.tick.push_back(Seconds([&] { watch.ScanProcesses(); }));
        if (round % 2 == 0) samples.snapshot.push_back(Seconds([&] { bare(); }));
        samples.TimeTrayCalls(windows);
    }
    return samples.Medians();
}

void WriteWhole(const std::string& bytes) {
    HANDLE file =
        ::CreateFileA(kKnownFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
}

// Waits for the list's own thread to finish its work on the file; the time it took.
double AwaitFileWork(const TrustedList& list) {
    double start = Now();
    while (list.Working()) ::Sleep(1);
    return Now() - start;
}

// What a read or a save of the file holds the window's thread: the call that
// starts it, and the ticks that take in the work of the list's own thread
// until `done` (a look that waits for a change gives way first). `aside` is
// the time the list's thread took meanwhile.
double HeldByFileWork(RealWatch& real, const std::function<void()>& start,
                      const std::function<bool()>& done, double& aside) {
    double held = Seconds(start);
    aside = 0;
    do {
        aside += AwaitFileWork(real.known);
        held += Seconds([&] { real.known.RefreshKnown(); });
    } while (!done());
    return held;
}

// One steady case: with `viaFile` the list is written to "known.dat" and read
// by the program's own LoadKnown, and one line gives what the file costs the
// window's thread:
//
//   known_file: entries=N mb=M load_ms=L save_ms=S refresh_ms=R arch=A wine=W
//
// the load at start, the save of one addition, and the dearest tick of those
// that take in the file changed by another writer; a line after it gives what
// each took on the list's own thread.
void Measure(const Windows& windows, const StringList& known, bool viaFile = false) {
    RealWatch real(windows);
    ProcessWatch& watch = real.watch;
    std::string bytes;
    double loadSeconds = 0, loadAside = 0;
    if (viaFile) {
        bytes = FormatKnown(known, "");
        WriteWhole(bytes);
        loadSeconds = HeldByFileWork(
            real, [&] { real.known.LoadKnown(); }, [&] { return real.known.Ready(); }, loadAside);
    } else {
        real.known.m_known = known;
    }
    watch.ScanProcesses();  // reads every path once and lists every program
    watch.ScanProcesses();

    Figures f = MeasureSteady(windows, watch, known.size() > 50000 ? 21 : kRounds);
    PrintTick(real.known, f);
    PrintRest(real, f);
    if (viaFile) {
        // One addition saved, as "<< Add" saves it: the file is read, merged and written.
        real.known.m_known.push_back("\\Device\\HarddiskVolume9\\added\\one more.exe");
        double saveAside = 0;
        double saveSeconds = HeldByFileWork(
            real, [&] { real.known.SaveKnown(); }, [&] { return !real.known.HasUnsaved(); },
            saveAside);
        // The file changed by another writer: the ticks until one has taken it in.
        // The tick that does hands over a look that waits for the next change:
        // that wait is not the read's.
        const std::string byHand = "\\Device\\HarddiskVolume9\\by hand.exe";
        WriteWhole(FormatKnown(known, "") + byHand + "\r\n");
        double refreshSeconds = 0, refreshAside = 0;
        for (int check = 0; check < 10; ++check) {
            refreshSeconds = std::max(refreshSeconds, Seconds([&] { real.known.RefreshKnown(); }));
            if (real.known.IsKnown(byHand)) break;
            refreshAside += AwaitFileWork(real.known);
        }
        std::printf(
            "known_file: entries=%zu mb=%.1f load_ms=%.0f save_ms=%.0f refresh_ms=%.0f arch=%s "
            "wine=%s\n",
            known.size(), static_cast<double>(bytes.size()) / 1e6, loadSeconds * 1e3,
            saveSeconds * 1e3, refreshSeconds * 1e3, kArch, WineVersion());
        // Beside them, the read and the write that a save cannot do without.
        std::string bare;
        double bareRead =
            Seconds([&] { WindowsFileSystem().Read(kKnownFileName, bare, kKnownMaxBytes); });
        double bareWrite = Seconds([&] { WindowsFileSystem().WriteNew("bare.tmp", bare); });
        ::DeleteFileA("bare.tmp");
        std::printf(
            "#   on the list's own thread: load %.0f ms, save %.0f ms, read %.0f ms%s; the file "
            "alone: read %.0f ms, written and flushed %.0f ms\n",
            loadAside * 1e3, saveAside * 1e3, refreshAside * 1e3,
            real.known.IsKnown(byHand) ? "" : " (the change was never taken in)", bareRead * 1e3,
            bareWrite * 1e3);
        ::DeleteFileA(kKnownFileName);
    }
    std::fflush(stdout);
}

void MeasureSizes(const Windows& windows) {
    for (size_t entries : {10, 1000, 10000}) Measure(windows, ListTrustingAll(entries));
}

// Ten new processes appear before every tick, and the ten oldest of them end,
// so that the count stays the same. Each tick is timed alone; the figures are
// the medians, and the tick that follows with nothing new is shown beside it.
void MeasureChurn(const Windows& windows, const std::string& sleeper) {
    constexpr int kNew = 10;
    constexpr int kTicks = 21;
    ExtraProcesses churn(sleeper, std::vector<std::string>(kNew, sleeper));

    RealWatch real(windows);
    ProcessWatch& watch = real.watch;
    real.known.m_known = ListTrustingAll(1000);
    watch.ScanProcesses();
    watch.ScanProcesses();

    BareSnapshot bare;
    Samples samples;
    std::vector<double> nothingNew;
    for (int t = 0; t < kTicks; ++t) {
        for (int i = 0; i < kNew; ++i) churn.Start(sleeper, sleeper);
        for (int i = 0; i < kNew; ++i) churn.EndOldest();
        ::Sleep(1000);  // past their start-up, which would load the machine
        samples.tick.push_back(Seconds([&] { watch.ScanProcesses(); }));
        nothingNew.push_back(Seconds([&] { watch.ScanProcesses(); }));
        samples.TimeBareCalls(windows, bare);
    }
    Figures f = samples.Medians();
    double steady = Median(nothingNew);
    PrintTick(real.known, f, " new=10");
    std::printf(
        "#   the tick after it, with nothing new: %.0f us; each new process costs %.0f us\n",
        steady * 1e6, (f.tick - steady) / kNew * 1e6);
    std::fflush(stdout);
}

// 100 processes of the small program, all trusted, first openable and then
// refusing to be opened: after their first tick, refusing ones cost what
// openable ones do. Beside it, what one process costs asked through a handle
// and asked by identifier, where the system can be asked that.
void MeasureRefusing(const Windows& windows, const std::string& sleeper) {
    StringList known;
    for (bool refuse : {false, true}) {
        ExtraProcesses extra(sleeper, std::vector<std::string>(100, sleeper), refuse);
        if (!refuse) known = ListTrustingAll(1000);
        RealWatch real(windows);
        ProcessWatch& watch = real.watch;
        real.known.m_known = known;
        double first = Seconds([&] { watch.ScanProcesses(); });
        watch.ScanProcesses();
        Figures f = MeasureSteady(windows, watch, kRounds);
        PrintTick(real.known, f, refuse ? " refusing=100" : " refusing=0");
        std::printf(
            "#   first tick %.0f us; %d rows running, %d untrusted; %zu processes remembered\n",
            first * 1e6, static_cast<int>(::SendMessageA(windows.running, LB_GETCOUNT, 0, 0)),
            static_cast<int>(::SendMessageA(windows.untrusted, LB_GETCOUNT, 0, 0)),
            real.Remembered());
        std::fflush(stdout);
    }

    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    struct {
        HANDLE id;
        UNICODE_STRING name;
    } info = {};
    wchar_t name[1024];
    std::vector<DWORD> ids = ProcessIds();
    double handle = 0, byId = 0;
    LONG status = 0;
    for (int round = 0; round < 11; ++round) {
        handle += Seconds([&] {
            for (DWORD id : ids) {
                HANDLE process = ::OpenProcess(0x410, FALSE, id);
                if (!process) continue;
                ::GetProcessImageFileNameW(process, name, 1024);
                ::CloseHandle(process);
            }
        });
        byId += Seconds([&] {
            for (DWORD id : ids) {
                info.id = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id));
                info.name.Length = 0;
                info.name.MaximumLength = sizeof name;
                info.name.Buffer = name;
                status = query(88, &info, sizeof info, nullptr);
            }
        });
    }
    std::printf(
        "# per process, over %zu: open + wide path + close %.0f us, by identifier %s\n", ids.size(),
        handle / 11 / static_cast<double>(ids.size()) * 1e6,
        status == static_cast<LONG>(0xC0000003)
            ? "not known to this system"
            : (std::to_string(static_cast<int>(byId / 11 / static_cast<double>(ids.size()) * 1e6)) +
               " us")
                  .c_str());
    std::fflush(stdout);
}

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

// What an unchanged "known.dat" of 1,000 entries costs: the window's thread
// on a tick at rest (the mean over ticks, while the list's own thread waits
// for the folder to tell of a change), a look at the file's stamp on that
// thread, which it makes on such a change, and beside them a read of the
// whole file: one line,
//
//   known_check: entries=1000 tick_us=T look_us=L read_us=R arch=A
void MeasureUnchangedListCheck() {
    StringList known;
    for (int i = 0; i < 1000; ++i) {
        known.push_back("\\Device\\HarddiskVolume9\\filler\\program" + std::to_string(i) + ".exe");
    }
    WriteWhole(FormatKnown(known, ""));
    TrustedList background{WindowsFileSystem(), FileWork::kBackground, kProgramPace};
    background.LoadKnown();
    AwaitFileWork(background);
    background.RefreshKnown();  // takes the list in, and hands over a look that waits
    double ticks = 0;
    constexpr int kTicks = 300;
    for (int tick = 0; tick < kTicks; ++tick) {
        ticks += Seconds([&] { background.RefreshKnown(); });
        ::Sleep(1);
    }
    TrustedList here{WindowsFileSystem()};
    here.LoadKnown();
    std::vector<double> look, read;
    std::string readBytes;
    for (int round = 0; round < kRounds; ++round) {
        look.push_back(Seconds([&] { here.RefreshKnown(); }));
        read.push_back(
            Seconds([&] { WindowsFileSystem().Read(kKnownFileName, readBytes, kKnownMaxBytes); }));
    }
    std::printf("known_check: entries=%zu tick_us=%.1f look_us=%.1f read_us=%.1f arch=%s\n",
                known.size(), ticks / kTicks * 1e6, Median(look) * 1e6, Median(read) * 1e6, kArch);
    ::DeleteFileA(kKnownFileName);
    std::fflush(stdout);
}

// The look at a file's stamp that a tick makes: the folder's record of it.
bool LookAtStamp(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return ::GetFileAttributesExA(name, GetFileExInfoStandard, &data) != FALSE;
}

// How long after a write of "known.dat" a thread that waits for a change
// notification of the current folder is woken, in seconds; negative when it
// is not woken within 5 s, or the folder cannot be watched.
double NotificationDelay() {
    HANDLE change = ::FindFirstChangeNotificationA(
        ".", FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE) return -1;
    struct Waiter {
        HANDLE change;
        HANDLE woken = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        static DWORD WINAPI Run(void* parameter) {
            auto* self = static_cast<Waiter*>(parameter);
            if (::WaitForSingleObject(self->change, 5000) == WAIT_OBJECT_0) ::SetEvent(self->woken);
            return 0;
        }
    } waiter{change};
    HANDLE thread = ::CreateThread(nullptr, 0, &Waiter::Run, &waiter, 0, nullptr);
    ::Sleep(100);  // the thread waits by now
    double written = Now();
    WriteWhole(FormatKnown(ListTrustingAll(1001), ""));
    double delay =
        ::WaitForSingleObject(waiter.woken, 5000) == WAIT_OBJECT_0 ? Now() - written : -1;
    ::WaitForSingleObject(thread, INFINITE);
    for (HANDLE handle : {thread, waiter.woken, change}) ::CloseHandle(handle);
    return delay;
}

// What a look at "known.dat"'s stamp costs: one line,
//
//   known_stamp: present_us=P missing_us=M notice_ms=N arch=A wine=W
//
// one look at the stamp of a file that is there and at one that is not, the
// median of a loop of them; and how long after a write of the file a thread
// waiting for a change notification of its folder is woken (-1: never).
// What such a thread costs at 10 Hz, at 2 Hz or waiting for notifications,
// woken cold as in a running program, is what `stamp_thread.exe` measures
// (VARDION_FOOTPRINT_STAMP=1 bash scripts/footprint-wine.sh).
void MeasureStampLook() {
    WriteWhole(FormatKnown(ListTrustingAll(1000), ""));
    std::vector<double> present, missing;
    for (int round = 0; round < 1001; ++round) {
        present.push_back(Seconds([] { LookAtStamp(kKnownFileName); }));
        missing.push_back(Seconds([] { LookAtStamp("absent.dat"); }));
    }
    double notice = NotificationDelay();
    std::printf("known_stamp: present_us=%.1f missing_us=%.1f notice_ms=%.1f arch=%s wine=%s\n",
                Median(present) * 1e6, Median(missing) * 1e6, notice < 0 ? -1 : notice * 1e3, kArch,
                WineVersion());
    ::DeleteFileA(kKnownFileName);
    std::fflush(stdout);
}

// A tick at rest beside its snapshot, and where the rest of it goes: with
// every running program trusted (the running list holds them all), and with
// none trusted (the untrusted list holds them all, the alert dismissed), as
// Vardion started without a list rests. The tick and the bare snapshot are
// timed by turns, in either order every other round; back to back, and with
// 50 ms before each call, as the program's ticks come 100 ms apart, with
// whatever else runs on the machine between them. One line a state and a
// spacing:
//
//   rest: state=S processes=N tick_us=T snapshot_us=P ratio=R spacing_ms=G arch=A wine=W
//
// where S is trusted or untrusted, R is T/P and G is 0 or 50. The `#` line
// after it splits what the tick spends beyond its snapshot, from ticks that
// list the last snapshot's processes again without taking one, each port's
// calls timed: the list boxes' messages, the alert's visibility and the rest,
// the scan's own code with the look at "known.dat", which is also timed alone.
void MeasureRestAt(RealWatch& real, bool trusted, DWORD spacing) {
    const int rounds = spacing ? 101 : 301;
    auto timed = [&](auto call) {
        if (spacing) ::Sleep(spacing);
        return Seconds(call);
    };
    BareSnapshot bare;
    std::vector<double> tick, snapshot;
    for (int round = 0; round < rounds; ++round) {
        auto timeTick = [&] { tick.push_back(timed([&] { real.watch.ScanProcesses(); })); };
        auto timeSnapshot = [&] { snapshot.push_back(timed([&] { bare(); })); };
        if (round % 2) {
            timeTick();
            timeSnapshot();
        } else {
            timeSnapshot();
            timeTick();
        }
    }
    std::vector<double> beyond, stamp, rows, alert, own;
    int rowCalls = 0;
    real.Replay(true);
    for (int round = 0; round < rounds; ++round) {
        stamp.push_back(timed([&] { real.known.RefreshKnown(); }));
        real.times = PortTimes{};
        real.times.on = true;
        beyond.push_back(timed([&] { real.watch.ScanProcesses(); }));
        real.times.on = false;
        const PortTimes& t = real.times;
        rows.push_back(t.rows);
        alert.push_back(t.alert);
        own.push_back(beyond.back() - t.rows - t.alert - t.tray);
        rowCalls = t.rowCalls;
    }
    real.Replay(false);
    double tickUs = Median(tick) * 1e6, snapshotUs = Median(snapshot) * 1e6;
    std::printf(
        "rest: state=%s processes=%zu tick_us=%.0f snapshot_us=%.0f ratio=%.2f spacing_ms=%lu "
        "arch=%s wine=%s\n",
        trusted ? "trusted" : "untrusted", ProcessIds().size(), tickUs, snapshotUs,
        tickUs / snapshotUs, static_cast<unsigned long>(spacing), kArch, WineVersion());
    std::printf(
        "#   beyond its snapshot a tick spends %.1f us: list-box messages (%d) %.1f us, the "
        "alert's visibility %.1f us, the rest %.1f us; the look at known.dat alone %.1f us\n",
        Median(beyond) * 1e6, rowCalls, Median(rows) * 1e6, Median(alert) * 1e6, Median(own) * 1e6,
        Median(stamp) * 1e6);
    std::fflush(stdout);
}

void MeasureRest(const Windows& windows) {
    for (bool trusted : {true, false}) {
        RealWatch real(windows);
        if (trusted) real.known.m_known = ListTrustingAll(10);
        real.watch.ScanProcesses();  // reads every path once and lists every program
        real.watch.ScanProcesses();
        for (DWORD spacing : {0, 50}) MeasureRestAt(real, trusted, spacing);
    }
}

// A dialog of the program's framework that takes timer messages through its
// message map, as the main dialog takes its ticks.
class TimerDialog : public CDialog {
  public:
    TimerDialog() : CDialog(IDD_ABOUTBOX) {}
    void OnTimer(UINT_PTR) { ++ticks; }
    int ticks = 0;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TimerDialog, CDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

// What the message loop spends on a timer message beyond taking it from the
// queue: a message posted to a hidden dialog, then taken as the snapshot
// floor program takes its own (GetMessageA alone), or taken and dispatched by
// the program's loop to the dialog's handler. One `#` line.
void MeasureTimerDispatch() {
    TimerDialog dialog;
    if (!dialog.Create(IDD_ABOUTBOX)) return;
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    std::vector<double> taken, dispatched;
    for (int round = 0; round < 1001; ++round) {
        ::PostMessageA(dialog.m_hWnd, WM_TIMER, 1, 0);
        taken.push_back(Seconds([&] { ::GetMessageA(&msg, nullptr, 0, 0); }));
        ::PostMessageA(dialog.m_hWnd, WM_TIMER, 1, 0);
        dispatched.push_back(Seconds([&] { AfxPumpMessage(msg); }));
    }
    std::printf(
        "#   a timer message taken from the queue %.1f us; taken and dispatched to a dialog's "
        "handler %.1f us (%d handled)\n",
        Median(taken) * 1e6, Median(dispatched) * 1e6, dialog.ticks);
    std::fflush(stdout);
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
    windows.alert = ::CreateWindowExA(0, "STATIC", "alert", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
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

    std::printf("# The system's own processes\n");
    MeasureSizes(windows);
    MeasureUnchangedListCheck();
    MeasureRest(windows);
    MeasureTimerDispatch();
    MeasureStampLook();
    std::printf("# Large lists read from known.dat, the system's own processes\n");
    Measure(windows, ListTrustingAll(100000), true);
    Measure(windows, ListTrustingAll(0, 50u << 20), true);

    if (argc > 1) {
        std::string sleeper = argv[1];
        {
            ExtraProcesses extra(sleeper, std::vector<std::string>(100, sleeper));
            std::printf("# With %zu extra processes\n", extra.size());
            MeasureSizes(windows);
            MeasureRest(windows);
            std::printf("# With %zu extra processes, 10 new before every tick\n", extra.size());
            MeasureChurn(windows, sleeper);
            ExtraProcesses more(sleeper, std::vector<std::string>(200, sleeper));
            std::printf("# With %zu extra processes\n", extra.size() + more.size());
            MeasureSizes(windows);
            MeasureRest(windows);
        }
        std::printf("# With 100 extra processes, openable and then refusing to be opened\n");
        MeasureRefusing(windows, sleeper);
        {
            std::string shortFolder = "C:\\vt";
            ::CreateDirectoryA(shortFolder.c_str(), nullptr);
            ExtraProcesses extra(sleeper, AwkwardPaths(dir, shortFolder));
            std::printf(
                "# With %zu extra processes named with spaces, code-page letters and 250 "
                "characters\n",
                extra.size());
            Measure(windows, ListTrustingAll(1000));
        }
    }
    ::Shell_NotifyIconA(NIM_DELETE, &icon);
    ::DestroyWindow(windows.alert);
    ::DestroyWindow(windows.owner);
    return 0;
}
