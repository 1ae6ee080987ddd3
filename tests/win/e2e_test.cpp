// End-to-end tests of the real Vardion.exe, driven from outside as the window
// system and a user would: it is started in a fresh working directory, its
// windows are found by caption, its list boxes read across processes, its
// buttons clicked, its tray callback posted, and "known.dat" read after Exit.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/win/fresh_directory.h"

#ifndef VARDION_EXE
#error "VARDION_EXE names the program under test"
#endif
#ifndef SLEEPER_EXE
#error "SLEEPER_EXE names the small program the tests start under other names"
#endif

namespace {

using Rows = std::vector<std::string>;
constexpr int kAdd = 1;
constexpr int kUntrusted = 1002;
constexpr int kRunning = 1003;
constexpr int kView = 1005;
constexpr int kIgnore = 1006;
constexpr int kAlertList = 1008;
constexpr UINT kTrayCallback = WM_USER;

// A Unix path from the build, as Wine's drive Z: sees it.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// A top-level window of one process by its caption, hidden ones included.
HWND FindTopLevel(DWORD processId, const char* caption, const char* windowClass = "#32770") {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, windowClass, caption)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

std::string Narrow(const std::wstring& wide) {
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// The rows of a list box in another process. LB_GETTEXT must be sent in its
// wide form across processes: the 8-bit one hands back UTF-16 under Wine.
Rows ReadList(HWND list) {
    Rows rows;
    LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0) continue;
        std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
        LRESULT got = ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
        rows.push_back(Narrow(wide));
    }
    return rows;
}

// The text of a window in another process; a tooltip's is the tip it shows.
std::string WindowText(HWND window) {
    LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    LRESULT got =
        ::SendMessageW(window, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(&wide[0]));
    wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return Narrow(wide);
}

bool Contains(const Rows& rows, const std::string& text) {
    return std::find(rows.begin(), rows.end(), text) != rows.end();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CanCreateFileIn(const std::string& dir) {
    std::string probe = dir + "\\write-probe";
    HANDLE file = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    ::DeleteFileA(probe.c_str());
    return true;
}

// Makes a directory refuse new entries for as long as it lives, by the
// Linux file system's immutable attribute: as root under Wine, no Windows
// permission or attribute refuses a write. Wine starts a Linux program for
// CreateProcess of one.
class LockedDirectory {
  public:
    explicit LockedDirectory(const std::string& dir) : m_dir(dir), m_unixPath(UnixPath(dir)) {
        // The handle of a Linux program does not tell when it has ended: look for the effect.
        if (!m_unixPath.empty() && Chattr("+i")) {
            m_locked = WaitFor([&] { return !CanCreateFileIn(m_dir); }, 5000);
        }
    }
    ~LockedDirectory() {
        if (!m_unixPath.empty() && Chattr("-i")) WaitFor([&] { return CanCreateFileIn(m_dir); });
    }
    LockedDirectory(const LockedDirectory&) = delete;
    LockedDirectory& operator=(const LockedDirectory&) = delete;

    bool locked() const { return m_locked; }

  private:
    static std::string UnixPath(const std::string& dir) {
        using ToUnix = char*(CDECL*)(const WCHAR*);
        auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        if (!toUnix) return {};
        std::wstring wide(dir.begin(), dir.end());
        char* unix = toUnix(wide.c_str());
        if (!unix) return {};
        std::string path = unix;
        ::HeapFree(::GetProcessHeap(), 0, unix);
        return path;
    }

    bool Chattr(const char* change) {
        const char chattr[] = "Z:\\usr\\bin\\chattr";
        std::string command = std::string("/usr/bin/chattr ") + change + " \"" + m_unixPath + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessA(chattr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process)) {
            return false;
        }
        ::WaitForSingleObject(process.hProcess, 10000);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
        return true;
    }

    std::string m_dir;
    std::string m_unixPath;
    bool m_locked = false;
};

// The image path of a program the test started, as the system reports it.
std::string ImagePathOf(HANDLE process) {
    char path[1024];
    DWORD length = ::GetProcessImageFileNameA(process, path, sizeof path);
    return std::string(path, length);
}

// One run of Vardion in a working directory of its own, and the small
// programs a test starts beside it.
class Vardion : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(MakeFreshDirectory("vardion-e2e", dir)) << dir; }

    void TearDown() override {
        for (PROCESS_INFORMATION& program : programs) {
            ::TerminateProcess(program.hProcess, 0);
            ::WaitForSingleObject(program.hProcess, 5000);
            ::CloseHandle(program.hProcess);
            ::CloseHandle(program.hThread);
        }
        programs.clear();
        if (vardion.hProcess) {
            ::TerminateProcess(vardion.hProcess, 0);
            ::WaitForSingleObject(vardion.hProcess, 5000);
            ::CloseHandle(vardion.hProcess);
            ::CloseHandle(vardion.hThread);
            vardion = {};
        }
    }

    std::string File(const std::string& name) const { return dir + "\\" + name; }

    //! Starts Vardion.exe in the test's directory and waits for its main window.
    void Start() {
        std::string exe = WindowsPath(VARDION_EXE);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string command = "\"" + exe + "\"";
        ASSERT_TRUE(::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     dir.c_str(), &startup, &vardion))
            << exe;
        ASSERT_TRUE(WaitFor([&] {
            main = FindTopLevel(vardion.dwProcessId, "Vardion");
            alert = FindTopLevel(vardion.dwProcessId, "Untrusted Process Detected");
            return main && alert && ::IsWindowVisible(main) && ::GetDlgItem(main, kRunning);
        })) << "no main window";
        untrustedList = ::GetDlgItem(main, kUntrusted);
        runningList = ::GetDlgItem(main, kRunning);
        alertList = ::GetDlgItem(alert, kAlertList);
    }

    //! Starts the small program as `folder\\name` under the test's directory.
    DWORD StartProgram(const std::string& name, const std::string& folder = "bin") {
        std::string path = dir + "\\" + folder;
        ::CreateDirectoryA(path.c_str(), nullptr);
        return StartProgramAt(path + "\\" + name);
    }

    //! Starts the small program copied to `path`.
    DWORD StartProgramAt(const std::string& path) {
        EXPECT_TRUE(::CopyFileA(WindowsPath(SLEEPER_EXE).c_str(), path.c_str(), FALSE)) << path;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION program = {};
        std::string command = "\"" + path + "\"";
        EXPECT_TRUE(::CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     dir.c_str(), &startup, &program))
            << path;
        programs.push_back(program);
        return program.dwProcessId;
    }

    void EndProgram(DWORD processId) {
        for (auto it = programs.begin(); it != programs.end(); ++it) {
            if (it->dwProcessId != processId) continue;
            ::TerminateProcess(it->hProcess, 0);
            ::WaitForSingleObject(it->hProcess, 5000);
            ::CloseHandle(it->hProcess);
            ::CloseHandle(it->hThread);
            programs.erase(it);
            return;
        }
    }

    void Click(HWND dialog, int id) {
        ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
    }
    void Key(HWND window, UINT key) {
        ::PostMessageA(window, WM_KEYDOWN, key, 1);
        ::PostMessageA(window, WM_KEYUP, key, 0xC0000001);
    }
    void Tray(UINT mouseMessage) { ::PostMessageA(main, kTrayCallback, 0, mouseMessage); }

    //! Waits until the program has run a few more ticks.
    void Settle() {
        // Each posted message is handled after every timer tick that is due.
        std::this_thread::sleep_for(std::chrono::milliseconds(350));
        ::SendMessageA(main, WM_NULL, 0, 0);
    }

    //! Waits for the alert of a first run and answers it with Ignore.
    void IgnoreFirstAlert() {
        ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
        Click(alert, kIgnore);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(alert); }));
    }

    //! Trusts every program listed as untrusted now.
    void TrustAll() {
        ASSERT_TRUE(WaitFor([&] { return !ReadList(untrustedList).empty(); }));
        ::SendMessageA(untrustedList, LB_SETSEL, TRUE, -1);
        Click(main, kAdd);
        ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList).empty(); }));
    }

    //! Ends the program the way a user does: Exit from the tray icon's menu.
    void ExitByTrayMenu() {
        Tray(WM_RBUTTONDOWN);
        HWND menu = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            menu = ::FindWindowA("#32768", nullptr);
            return menu && ::IsWindowVisible(menu);
        })) << "no tray menu";
        Key(menu, VK_DOWN);
        Key(menu, VK_RETURN);
        ASSERT_EQ(::WaitForSingleObject(vardion.hProcess, 10000), WAIT_OBJECT_0) << "still running";
    }

    bool Running() { return ::WaitForSingleObject(vardion.hProcess, 0) == WAIT_TIMEOUT; }

    //! Rests the real pointer on the middle of a row of a list box.
    void PointAt(HWND list, int row) {
        RECT client;
        ::GetClientRect(list, &client);
        LRESULT top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
        LRESULT height = ::SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
        POINT at = {client.right / 2, static_cast<LONG>((row - top) * height + height / 2)};
        ::ClientToScreen(list, &at);
        PointTo(at);
        EXPECT_EQ(::WindowFromPoint(at), list) << "row " << row << " is covered";
    }

    void PointTo(POINT at) {
        // Wine can report a pointer that a program set back where it was a
        // moment before. Set twice, the second time a pixel beside the first,
        // a late report of the first move falls where the pointer rests.
        for (POINT step : {at, POINT{at.x + 1, at.y}}) {
            POINT now = {};
            for (int attempt = 0; attempt < 10; ++attempt) {
                ::SetCursorPos(step.x, step.y);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (::GetCursorPos(&now) && now.x == step.x && now.y == step.y) break;
            }
            EXPECT_TRUE(now.x == step.x && now.y == step.y) << now.x << ", " << now.y;
        }
    }

    //! The text of the tip that Vardion shows now; empty when it shows none.
    std::string TipText() {
        HWND tip = nullptr;
        while ((tip = ::FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(tip, &owner);
            if (owner == vardion.dwProcessId && ::IsWindowVisible(tip)) return WindowText(tip);
        }
        return {};
    }

    ::testing::AssertionResult TipShows(const std::string& text) {
        if (WaitFor([&] { return TipText() == text; }, 5000)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the tip shows \"" << TipText() << "\"";
    }

    //! Lets go of a run that has ended, so that the next Start begins another.
    void ForgetEndedRun() {
        ::CloseHandle(vardion.hProcess);
        ::CloseHandle(vardion.hThread);
        vardion = {};
    }

    std::string dir;
    PROCESS_INFORMATION vardion = {};
    std::vector<PROCESS_INFORMATION> programs;
    HWND main = nullptr;
    HWND alert = nullptr;
    HWND untrustedList = nullptr;
    HWND runningList = nullptr;
    HWND alertList = nullptr;
};

TEST_F(Vardion, FirstRunListsEveryProgramAsUntrustedAndCreatesNoFile) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    Rows untrusted = ReadList(untrustedList);
    EXPECT_TRUE(Contains(untrusted, "Vardion.exe"));  // it examines itself like any other
    EXPECT_TRUE(ReadList(runningList).empty());
    Rows alerted = ReadList(alertList);
    EXPECT_TRUE(std::is_sorted(alerted.begin(), alerted.end(),
                               [](const std::string& a, const std::string& b) {
                                   return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
                               }));
    EXPECT_EQ(alerted.size(), untrusted.size());
    EXPECT_FALSE(FileExists(File("known.dat")));

    ExitByTrayMenu();
    EXPECT_EQ(ReadFile(File("known.dat")), "");  // an empty list is an empty file
}

TEST_F(Vardion, NewUntrustedProgramRaisesTheAlertWithOnlyItsName) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram("newcomer.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_EQ(ReadList(alertList), (Rows{"newcomer.exe"}));
    EXPECT_EQ(ReadList(untrustedList), (Rows{"newcomer.exe"}));
    EXPECT_FALSE(Contains(ReadList(runningList), "newcomer.exe"));
}

TEST_F(Vardion, IgnoreEmptiesAndHidesTheAlertAndKeepsTheUntrustedRows) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    Rows before = ReadList(untrustedList);
    Click(alert, kIgnore);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(alert); }));
    EXPECT_TRUE(ReadList(alertList).empty());
    Settle();
    EXPECT_FALSE(::IsWindowVisible(alert));  // the names listed already raise no new alert
    EXPECT_EQ(ReadList(untrustedList), before);

    StartProgram("later.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_EQ(ReadList(alertList), (Rows{"later.exe"}));
}

TEST_F(Vardion, ViewBringsBackTheHiddenMainWindowWithTheFocus) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main); }));
    Click(alert, kView);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(main) && !::IsWindowVisible(alert); }));
    EXPECT_TRUE(ReadList(alertList).empty());
    EXPECT_FALSE(ReadList(untrustedList).empty());
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(WaitFor(
        [&] { return ::GetGUIThreadInfo(vardion.dwThreadId, &gui) && gui.hwndActive == main; }));
}

TEST_F(Vardion, ViewRestoresAMinimisedMainWindow) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    ::PostMessageA(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return ::IsIconic(main); }));
    Click(alert, kView);
    ASSERT_TRUE(WaitFor([&] { return !::IsIconic(main) && ::IsWindowVisible(main); }));
}

TEST_F(Vardion, AddMovesSeveralRowsIntoTheTrustedList) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram("one.exe");
    StartProgram("two.exe");
    StartProgram("three.exe");
    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList).size() == 3; }));
    Rows listed = ReadList(untrustedList);  // in the order they were found
    ::SendMessageA(untrustedList, LB_SETSEL, TRUE, 0);
    ::SendMessageA(untrustedList, LB_SETSEL, TRUE, 2);
    Click(main, kAdd);
    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList) == Rows{listed[1]}; }));
    ASSERT_TRUE(WaitFor([&] {
        Rows running = ReadList(runningList);
        return Contains(running, listed[0]) && Contains(running, listed[2]);
    }));

    ExitByTrayMenu();
    std::string known = ReadFile(File("known.dat"));
    std::string tail = "\\bin\\" + listed[0] + "\r\n";
    std::string last = "\\bin\\" + listed[2] + "\r\n";
    ASSERT_GE(known.size(), tail.size() + last.size());
    EXPECT_EQ(known.substr(known.size() - last.size()), last);  // added last, saved last
    EXPECT_NE(known.find(tail), std::string::npos);
    EXPECT_EQ(known.find(listed[1]), std::string::npos);
    EXPECT_EQ(known.compare(0, 8, "\\Device\\"), 0);  // the system's device form of paths
}

TEST_F(Vardion, AddSavesAtOnceSoAKilledRunKeepsTheProgramTrusted) {
    Start();
    IgnoreFirstAlert();
    StartProgram("kept tool.exe", "my tools");
    Rows rows;
    ASSERT_TRUE(WaitFor([&] { return Contains(rows = ReadList(untrustedList), "kept tool.exe"); }));
    Click(main, kAdd);  // nothing selected
    Settle();
    EXPECT_FALSE(FileExists(File("known.dat")));

    auto row = std::find(rows.begin(), rows.end(), "kept tool.exe") - rows.begin();
    ::SendMessageA(untrustedList, LB_SETSEL, TRUE, row);
    Click(main, kAdd);
    const std::string saved = ImagePathOf(programs.back().hProcess) + "\r\n";
    EXPECT_TRUE(WaitFor([&] { return ReadFile(File("known.dat")) == saved; }));
    ::TerminateProcess(vardion.hProcess, 1);
    ASSERT_EQ(::WaitForSingleObject(vardion.hProcess, 5000), WAIT_OBJECT_0);
    ForgetEndedRun();
    EXPECT_EQ(ReadFile(File("known.dat")), saved);
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));

    Start();
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "kept tool.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "kept tool.exe"));
}

TEST_F(Vardion, TipShowsTheWholePathOfTheUntrustedRowUnderThePointer) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram("first tool.exe", "my tools");
    StartProgram("second.exe", "my tools");
    Rows rows;
    ASSERT_TRUE(WaitFor([&] { return (rows = ReadList(untrustedList)).size() == 2; }));
    // The alert they raised is the active window, moved off the list.
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    ::SetWindowPos(alert, nullptr, 600, 450, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_NE(::GetForegroundWindow(), main);

    PointAt(untrustedList, 0);
    EXPECT_TRUE(TipShows(File("my tools\\" + rows[0])));
    PointAt(untrustedList, 1);
    EXPECT_TRUE(TipShows(File("my tools\\" + rows[1])));
    PointAt(untrustedList, 4);  // below the last row
    EXPECT_TRUE(TipShows(""));
    PointAt(untrustedList, 0);
    EXPECT_TRUE(TipShows(File("my tools\\" + rows[0])));
    RECT add;
    ::GetWindowRect(::GetDlgItem(main, kAdd), &add);
    PointTo({(add.left + add.right) / 2, (add.top + add.bottom) / 2});
    EXPECT_TRUE(TipShows(""));
}

TEST_F(Vardion, TipOverAnAlertRowShowsThePathItWasAnnouncedWithAlsoAfterAdd) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram("b tool.exe", "my tools");
    StartProgram("a tool.exe", "other tools");
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"a tool.exe", "b tool.exe"}; }));
    TrustAll();

    PointAt(alertList, 0);
    EXPECT_TRUE(TipShows(File("other tools\\a tool.exe")));
    PointAt(alertList, 1);
    EXPECT_TRUE(TipShows(File("my tools\\b tool.exe")));
}

TEST_F(Vardion, EnterActsAsAddAndEscDoesNothing) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram("keyed.exe");
    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList) == Rows{"keyed.exe"}; }));

    Key(untrustedList, VK_ESCAPE);
    Settle();
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_TRUE(Running());
    EXPECT_EQ(ReadList(untrustedList), (Rows{"keyed.exe"}));

    ::SendMessageA(untrustedList, LB_SETSEL, TRUE, 0);
    Key(untrustedList, VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "keyed.exe"); }));
    EXPECT_TRUE(ReadList(untrustedList).empty());
}

TEST_F(Vardion, CloseBoxHidesAndTrayClickShowsAgain) {
    Start();
    ::PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main); }));
    Settle();
    EXPECT_TRUE(Running());
    Tray(WM_LBUTTONUP);  // releases do nothing
    Tray(WM_LBUTTONDBLCLK);
    Settle();
    EXPECT_FALSE(::IsWindowVisible(main));
    Tray(WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(main); }));
}

TEST_F(Vardion, TicksGoOnWhileTheMainWindowIsHidden) {
    Start();
    IgnoreFirstAlert();
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main); }));
    StartProgram("unseen.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_TRUE(Contains(ReadList(untrustedList), "unseen.exe"));
    EXPECT_FALSE(::IsWindowVisible(main));
}

TEST_F(Vardion, AboutBoxOpensFromTheSystemMenuAndTicksGoOnMeanwhile) {
    Start();
    IgnoreFirstAlert();
    ::PostMessageA(main, WM_SYSCOMMAND, 0x10, 0);
    HWND about = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        about = FindTopLevel(vardion.dwProcessId, "About Vardion");
        return about && ::IsWindowVisible(about);
    }));
    EXPECT_FALSE(::IsWindowEnabled(main));
    StartProgram("during-about.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), "during-about.exe"); }));
    Click(about, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(about); }));
    EXPECT_TRUE(::IsWindowEnabled(main));
}

TEST_F(Vardion, ExitFromTheTrayMenuEndsTheAboutBoxToo) {
    Start();
    ::PostMessageA(main, WM_SYSCOMMAND, 0x10, 0);
    ASSERT_TRUE(WaitFor([&] { return FindTopLevel(vardion.dwProcessId, "About Vardion"); }));
    ExitByTrayMenu();
    EXPECT_TRUE(FileExists(File("known.dat")));
}

TEST_F(Vardion, DismissedTrayMenuDoesNothing) {
    Start();
    Tray(WM_RBUTTONDOWN);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        menu = ::FindWindowA("#32768", nullptr);
        return menu && ::IsWindowVisible(menu);
    }));
    Key(menu, VK_ESCAPE);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(menu); }));
    Settle();
    EXPECT_TRUE(Running());
    EXPECT_FALSE(FileExists(File("known.dat")));
}

TEST_F(Vardion, SecondRunTrustsWhatTheFirstSaved) {
    std::string hand = "\\Device\\HarddiskVolume9\\by-hand.exe\r\n\r\n# kept below the list\r\n";
    {
        std::ofstream out(File("known.dat"), std::ios::binary);
        out << hand;
    }
    StartProgram("steady.exe");
    Start();
    IgnoreFirstAlert();
    TrustAll();
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_EQ(saved.rfind("\\Device\\HarddiskVolume9\\by-hand.exe\r\n", 0), 0u);
    EXPECT_NE(saved.find("\\bin\\steady.exe\r\n"), std::string::npos);
    const std::string kept = "\r\n\r\n# kept below the list\r\n";  // after the list, as it stood
    ASSERT_GT(saved.size(), kept.size());
    EXPECT_EQ(saved.substr(saved.size() - kept.size()), kept);
    ForgetEndedRun();

    Start();
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "steady.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "steady.exe"));
    Settle();
    EXPECT_FALSE(::IsWindowVisible(alert));
}

TEST_F(Vardion, EndOfSessionSavesTheListOnce) {
    Start();
    IgnoreFirstAlert();
    TrustAll();
    ::SendMessageA(main, WM_QUERYENDSESSION, 0, 0);
    ::SendMessageA(main, WM_ENDSESSION, TRUE, 0);
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_NE(saved.find("Vardion.exe\r\n"), std::string::npos);

    ::DeleteFileA(File("known.dat").c_str());
    ::SendMessageA(main, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(FileExists(File("known.dat")));
}

TEST_F(Vardion, EndOfSessionThatWasCancelledSavesNothing) {
    Start();
    ::SendMessageA(main, WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(FileExists(File("known.dat")));
    EXPECT_TRUE(Running());
}

TEST_F(Vardion, TrayIconComesBackWhenTheShellStartsAgain) {
    Start();
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = main;
    icon.uID = 0;
    ASSERT_TRUE(WaitFor([&] { return ::Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE; }));
    ASSERT_TRUE(::Shell_NotifyIconA(NIM_DELETE, &icon));  // as a shell that ended loses it
    EXPECT_FALSE(::Shell_NotifyIconA(NIM_MODIFY, &icon));
    ::PostMessageA(main, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor([&] { return ::Shell_NotifyIconA(NIM_MODIFY, &icon) != FALSE; }));
}

TEST_F(Vardion, ReadOnlyListFileEndsCleanlyAndIsNotDamaged) {
    const std::string old = "\\Device\\HarddiskVolume9\\old.exe\r\n";
    {
        std::ofstream out(File("known.dat"), std::ios::binary);
        out << old;
    }
    ::SetFileAttributesA(File("known.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    Start();
    IgnoreFirstAlert();
    TrustAll();
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    // Either the system kept the old file whole or the new list replaced it whole.
    EXPECT_TRUE(saved == old || (saved.rfind(old, 0) == 0 && saved.size() > old.size() &&
                                 saved.compare(saved.size() - 2, 2, "\r\n") == 0));
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
    ::SetFileAttributesA(File("known.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Vardion, DirectoryInPlaceOfTheListFileLoadsNothingAndEndsCleanly) {
    ASSERT_TRUE(::CreateDirectoryA(File("known.dat").c_str(), nullptr));
    Start();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_TRUE(ReadList(runningList).empty());
    ExitByTrayMenu();
    EXPECT_TRUE(::GetFileAttributesA(File("known.dat").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
}

TEST_F(Vardion, HundredThousandLineListLoadsRunsAndSavesWhole) {
    std::string big;
    for (int i = 0; i < 100000; ++i) {
        big += "\\Device\\HarddiskVolume9\\many\\program" + std::to_string(i) + ".exe\r\n";
    }
    {
        std::ofstream out(File("known.dat"), std::ios::binary);
        out << big;
    }
    Start();
    IgnoreFirstAlert();
    StartProgram("amid-many.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), "amid-many.exe"); }));
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_EQ(saved, big);
}

TEST_F(Vardion, FiftyMegabyteListLoadsRunsAndSavesWhole) {
    StartProgram("deep-in-the-list.exe");
    std::string trusted;
    ASSERT_TRUE(
        WaitFor([&] { return !(trusted = ImagePathOf(programs.back().hProcess)).empty(); }));
    std::string big;
    big.reserve(51u << 20);
    for (int i = 0; big.size() < (50u << 20); ++i) {
        big += "\\Device\\HarddiskVolume9\\many\\program" + std::to_string(i) + ".exe\r\n";
    }
    big += trusted + "\r\n";  // the last entry: each search walks the whole list
    {
        std::ofstream out(File("known.dat"), std::ios::binary);
        out << big;
    }
    Start();
    ASSERT_TRUE(
        WaitFor([&] { return Contains(ReadList(runningList), "deep-in-the-list.exe"); }, 30000));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "deep-in-the-list.exe"));
    StartProgram("amid-fifty.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), "amid-fifty.exe"); }));
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_EQ(saved.size(), big.size());
    EXPECT_TRUE(saved == big);  // not printed: fifty megabytes
}

TEST_F(Vardion, NamesWithSpacesAnsiLettersAndLongBaseNamesAreShownAndTrustedAsTheyAre) {
    ASSERT_EQ(::GetACP(), 1252u) << "the names below are written in code page 1252";
    const std::string spaced = "my new  program.exe";
    const std::string accented =
        "caf\xE9 \xF1"
        "and\xFA \xC6\xD8\xC5 \xDF\xFF.exe";
    // 250 characters: what a path within MAX_PATH leaves for a name in a short folder.
    const std::string shortFolder = "C:\\vl";
    std::string longName = "long" + std::to_string(::GetTickCount());
    longName += std::string(250 - 4 - longName.size(), 'n') + ".exe";
    ASSERT_EQ(longName.size(), 250u);
    ::CreateDirectoryA(shortFolder.c_str(), nullptr);
    const std::string longPath = shortFolder + "\\" + longName;

    Start();
    IgnoreFirstAlert();
    TrustAll();
    StartProgram(spaced);
    StartProgram(accented);
    DWORD longOne = StartProgramAt(longPath);
    Rows expected = {spaced, accented, longName};
    std::sort(expected.begin(), expected.end());
    auto sorted = [](Rows rows) {
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    ASSERT_TRUE(WaitFor([&] { return sorted(ReadList(untrustedList)) == expected; }))
        << ReadList(untrustedList).size() << " rows";
    ASSERT_TRUE(WaitFor([&] { return sorted(ReadList(alertList)) == expected; }));
    TrustAll();
    ASSERT_TRUE(WaitFor([&] {
        Rows running = ReadList(runningList);
        return Contains(running, spaced) && Contains(running, accented) &&
               Contains(running, longName);
    }));
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_NE(saved.find("\\bin\\" + spaced + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\\bin\\" + accented + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\\vl\\" + longName + "\r\n"), std::string::npos);
    ForgetEndedRun();

    Start();
    ASSERT_TRUE(WaitFor([&] {
        Rows running = ReadList(runningList);
        return Contains(running, spaced) && Contains(running, accented) &&
               Contains(running, longName);
    }));
    EXPECT_TRUE(ReadList(untrustedList).empty());
    Settle();
    EXPECT_FALSE(::IsWindowVisible(alert));
    EndProgram(longOne);
    EXPECT_TRUE(::DeleteFileA(longPath.c_str()));
}

TEST_F(Vardion, UnwritableWorkingDirectoryRunsEndsByExitAndLeavesTheListAsItWas) {
    const std::string old = "\\Device\\HarddiskVolume9\\old.exe\r\n";
    {
        std::ofstream out(File("known.dat"), std::ios::binary);
        out << old;
    }
    LockedDirectory lock(dir);
    if (!lock.locked()) GTEST_SKIP() << "the directory could not be made unwritable here";
    Start();
    IgnoreFirstAlert();
    TrustAll();
    ExitByTrayMenu();
    EXPECT_EQ(ReadFile(File("known.dat")), old);
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
}

}  // namespace
