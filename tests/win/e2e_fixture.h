// The end-to-end suite's fixture: a real Vardion.exe, driven from outside as
// the window system and a user would. It is started in a fresh working
// directory, its windows are found by caption, its list boxes read across
// processes, its buttons clicked, its tray callback posted, and "known.dat"
// read after Exit. Each end-to-end test program includes it.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <psapi.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "tests/win/child_process.h"
#include "tests/win/fresh_directory.h"
#include "tests/win/remote_window.h"
#include "tests/win/wine.h"

namespace e2e {

inline bool CanCreateFileIn(const std::string& dir) {
    std::string probe = dir + "\\write-probe";
    HANDLE file = ::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    ::DeleteFileA(probe.c_str());
    return true;
}

// The Linux path of a Windows one, where Wine runs the test; empty elsewhere.
inline std::string UnixPathOf(const std::string& path) {
    using ToUnix = char*(CDECL*)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* unix = toUnix(Wide(path).c_str());
    if (!unix) return {};
    std::string result = unix;
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

// Starts a Linux program under Wine, which starts one for CreateProcess of
// one; its handle does not tell when it has ended, so callers look for its effect.
inline bool StartLinuxProgram(const char* windowsPath, std::string commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(windowsPath, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return false;
    }
    ::WaitForSingleObject(process.hProcess, 10000);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    return true;
}

// Makes a directory refuse new entries for as long as it lives. Under Wine,
// by the Linux file system's immutable attribute: as root under Wine, no
// Windows permission or attribute refuses a write (Wine starts a Linux program
// for CreateProcess of one). On Windows, by an entry in the directory's access
// list that denies everyone the adding of files and folders: a deny entry
// binds administrators too, and the directory's owner may still change the
// list back.
class LockedDirectory {
  public:
    explicit LockedDirectory(const std::string& dir) : m_dir(dir) {
        if (UnderWine()) {
            m_unixPath = UnixPathOf(dir);
            if (m_unixPath.empty() || !Chattr("+i")) return;
        } else if (!DenyAdding()) {
            return;
        }
        m_changed = true;
        // The handle of a Linux program does not tell when it has ended: look for the effect.
        m_locked = WaitFor([&] { return !CanCreateFileIn(m_dir); }, 5000);
    }
    ~LockedDirectory() {
        if (m_changed && (UnderWine() ? Chattr("-i") : RestoreAccess())) {
            WaitFor([&] { return CanCreateFileIn(m_dir); });
        }
        ::LocalFree(m_oldDescriptor);
    }
    LockedDirectory(const LockedDirectory&) = delete;
    LockedDirectory& operator=(const LockedDirectory&) = delete;

    bool locked() const { return m_locked; }

  private:
    bool Chattr(const char* change) {
        return StartLinuxProgram("Z:\\usr\\bin\\chattr", std::string("/usr/bin/chattr ") + change +
                                                             " \"" + m_unixPath + "\"");
    }

    bool DenyAdding() {
        PACL old = nullptr;
        if (::GetNamedSecurityInfoA(m_dir.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &old, nullptr,
                                    &m_oldDescriptor) != ERROR_SUCCESS) {
            return false;
        }
        m_oldAccess = old;
        BYTE everyone[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof everyone;
        if (!::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size)) return false;
        EXPLICIT_ACCESSA deny = {};
        deny.grfAccessPermissions = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
        deny.grfAccessMode = DENY_ACCESS;
        deny.grfInheritance = NO_INHERITANCE;  // the folders already in it stay writable
        deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        deny.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        deny.Trustee.ptstrName = reinterpret_cast<LPSTR>(everyone);
        PACL denying = nullptr;
        if (::SetEntriesInAclA(1, &deny, old, &denying) != ERROR_SUCCESS) return false;
        bool set = SetAccess(denying);
        ::LocalFree(denying);
        return set;
    }
    bool RestoreAccess() { return SetAccess(m_oldAccess); }
    bool SetAccess(PACL access) {
        return ::SetNamedSecurityInfoA(&m_dir[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, access, nullptr) == ERROR_SUCCESS;
    }

    std::string m_dir;
    std::string m_unixPath;
    PSECURITY_DESCRIPTOR m_oldDescriptor = nullptr;  // holds m_oldAccess
    PACL m_oldAccess = nullptr;
    bool m_changed = false;
    bool m_locked = false;
};

// Makes "known.dat" in a directory, for as long as it lives, a file that
// opens but whose every read waits for good, as one on a drive that stopped
// answering does: a named pipe that a Linux program holds open and never
// writes. Where Wine runs the test only.
class SilentListFile {
  public:
    explicit SilentListFile(const std::string& dir) : m_dir(dir) {
        std::string unix = UnixPathOf(dir);
        if (unix.empty()) return;
        // Held until the test leaves "stop" beside it, two minutes at most.
        std::string script = "exec </dev/null >/dev/null 2>&1; cd '" + unix +
                             "' && mkfifo known.dat && exec 3<>known.dat && : >held && n=0 && "
                             "while [ ! -e stop ] && [ $((n += 1)) -lt 600 ]; do sleep 0.2; done; "
                             "rm -f known.dat held stop";
        m_held = StartLinuxProgram("Z:\\bin\\sh", "/bin/sh -c \"" + script + "\"") &&
                 WaitFor([&] { return FileExists(dir + "\\held"); }, 5000);
    }
    ~SilentListFile() {
        if (!m_held) return;
        std::ofstream(m_dir + "\\stop").put('\n');
        WaitFor([&] { return !FileExists(m_dir + "\\known.dat"); }, 5000);
    }
    SilentListFile(const SilentListFile&) = delete;
    SilentListFile& operator=(const SilentListFile&) = delete;

    bool held() const { return m_held; }

  private:
    std::string m_dir;
    bool m_held = false;
};

// The caption of the notice that says the trusted programs are not saved.
constexpr char kNoticeCaption[] = "Vardion: trusted programs not saved";
// What the notice says at Exit, when programs trusted in the run were not saved.
constexpr char kNotSavedAtExit[] = "will not be trusted when Vardion starts again";

// The image path of a program the test started, as the system reports it.
inline std::string ImagePathOf(HANDLE process) {
    char path[1024];
    DWORD length = ::GetProcessImageFileNameA(process, path, sizeof path);
    return std::string(path, length);
}

// One run of Vardion in a working directory of its own, and the small
// programs a test starts beside it.
class Vardion : public ::testing::Test {
  protected:
    void SetUp() override {
        onFault = [](const std::string& what) { ADD_FAILURE() << what; };
        ASSERT_TRUE(MakeFreshDirectory("vardion-e2e", dir)) << dir;
    }

    void TearDown() override {
        if (HasFailure()) SaveScreenOfFailure();
        for (PROCESS_INFORMATION& program : programs) EndProcess(program);
        programs.clear();
        EndProcess(vardion);
    }

    //! The screen as the failed test leaves it, with Vardion's windows still up,
    //! as <suite>.<test>.bmp in the folder VARDION_SCREENSHOTS names, if any.
    void SaveScreenOfFailure() {
        char folder[MAX_PATH];
        DWORD length = ::GetEnvironmentVariableA("VARDION_SCREENSHOTS", folder, sizeof folder);
        if (length == 0 || length >= sizeof folder) return;
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        std::replace(name.begin(), name.end(), '/', '-');
        SaveScreen(std::string(folder) + "\\" + name + ".bmp");
    }

    std::string File(const std::string& name) const { return dir + "\\" + name; }
    std::wstring File(const std::wstring& name) const { return Wide(dir) + L"\\" + name; }

    //! Starts Vardion.exe in the test's directory, after a run that has
    //! ended, and waits for its main window.
    void Start() {
        if (vardion.hProcess) {
            ASSERT_FALSE(Running()) << "the last run still runs";
            ::CloseHandle(vardion.hProcess);
            ::CloseHandle(vardion.hThread);
        }
        std::string exe = BesideThisProgram("Vardion.exe");
        vardion = Launch(exe, dir);
        ASSERT_TRUE(vardion.hProcess) << exe;
        // Vardion's windows take the foreground as they show. Wine lets every
        // program take it; Windows lets a process take it only when the
        // foreground process started it or allowed it (SetForegroundWindow's
        // rules), so this driver passes on whatever right it has.
        ::AllowSetForegroundWindow(vardion.dwProcessId);
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
        return StartProgramAt(Wide(dir + "\\" + folder + "\\" + name));
    }

    //! Starts the small program copied to `path`, a name in any script, in a
    //! folder made for it; a copy there already is started as it is. With
    //! `dacl`, its process grants only the access that gives (see Launch).
    DWORD StartProgramAt(const std::wstring& path, const char* dacl = nullptr) {
        ::CreateDirectoryW(path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            EXPECT_TRUE(
                ::CopyFileW(Wide(BesideThisProgram("sleeper.exe")).c_str(), path.c_str(), FALSE))
                << Narrow(path);
        }
        PROCESS_INFORMATION program = Launch(path, Wide(dir), dacl);
        EXPECT_TRUE(program.hProcess) << Narrow(path);
        programs.push_back(program);
        return program.dwProcessId;
    }

    void EndProgram(DWORD processId) {
        for (auto it = programs.begin(); it != programs.end(); ++it) {
            if (it->dwProcessId != processId) continue;
            EndProcess(*it);
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

    //! Waits until the program has handled every message posted to it so far
    //! and then run a whole tick, so that a check that something did not
    //! happen has given it the chance to happen.
    void Settle() {
        // A row that no running program has: only a tick's reconciliation of
        // "Running Processes:" deletes it. A timer message is handled only
        // when no posted one waits, and the row is added between two ticks or
        // during a tick's call to the shell, which comes after that tick's
        // reconciliation: the tick that deletes it runs whole afterwards.
        const wchar_t marker[] = L"(settling: no such program)";
        LRESULT row = Ask(runningList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(marker));
        ASSERT_GE(row, 0) << "the marker row could not be added";
        ASSERT_TRUE(WaitFor([&] { return !Contains(ReadList(runningList), Narrow(marker)); }))
            << "no tick ran";
    }

    //! Waits for the alert of a first run and answers it with Ignore.
    void IgnoreFirstAlert() {
        ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
        Click(alert, kIgnore);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(alert); }));
    }

    //! Starts Vardion and answers the alert of its first run with Ignore.
    void StartAndIgnore() {
        Start();
        IgnoreFirstAlert();
    }
    //! As StartAndIgnore, then trusts every program of the session.
    void StartTrustingAll() {
        StartAndIgnore();
        TrustAll();
    }

    //! Trusts every program listed as untrusted now.
    void TrustAll() {
        ASSERT_TRUE(WaitFor([&] { return !ReadList(untrustedList).empty(); }));
        Ask(untrustedList, LB_SETSEL, TRUE, -1);
        Click(main, kAdd);
        ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList).empty(); }));
    }

    //! Trusts every program listed as untrusted while a folder stands where a
    //! save's lock is taken, so that the additions stay unsaved (the notice says
    //! so), and then takes the folder away: only a later save can write them.
    void TrustAllUnsaved() {
        std::string lock = File("known.dat.lock");
        ASSERT_TRUE(::CreateDirectoryA(lock.c_str(), nullptr));
        TrustAll();
        ASSERT_NE(WaitForNotice(), nullptr);
        ASSERT_TRUE(::RemoveDirectoryA(lock.c_str()));
    }

    //! The files a save writes beside "known.dat" that are still there: none
    //! once every save has ended.
    Rows SaveLeftovers() {
        Rows names;
        WIN32_FIND_DATAA found;
        HANDLE search = ::FindFirstFileA(File("known.dat.*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            // The pattern also matches "known.dat" itself, of an empty extension.
            if (std::string(found.cFileName) != "known.dat") names.push_back(found.cFileName);
        } while (::FindNextFileA(search, &found));
        ::FindClose(search);
        return names;
    }

    //! Whether a window of Vardion's has come up in front: shown, the active
    //! window of its thread, and the foreground window where it may take it.
    //! Windows refuses the foreground to a process that neither the foreground
    //! process started nor allowed, and flashes its taskbar button instead: a
    //! window that asks for it, as a message box with MB_SETFOREGROUND does in
    //! WM_INITDIALOG, has asked by the time it shows and is active. Wine
    //! grants every request, after the window shows.
    bool InFront(HWND window) {
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        return ::IsWindowVisible(window) &&
               ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui) &&
               gui.hwndActive == window && (::GetForegroundWindow() == window || !UnderWine());
    }

    //! Waits for the failed-save notice to show in front: it takes the foreground as it
    //! shows, which closes a menu opened a moment before.
    HWND WaitForNotice() {
        HWND box = nullptr;
        EXPECT_TRUE(WaitFor([&] {
            box = FindTopLevel(vardion.dwProcessId, kNoticeCaption);
            return box && InFront(box);
        })) << "no notice in front";
        return box;
    }

    //! Selects the untrusted row of one program alone, once it is listed, and
    //! clicks "<< Add"; returns once the click's handler has ended.
    void Add(const std::string& name) {
        Rows rows;
        ASSERT_TRUE(WaitFor([&] { return Contains(rows = ReadList(untrustedList), name); }))
            << name;
        Ask(untrustedList, LB_SETSEL, FALSE, -1);
        Ask(untrustedList, LB_SETSEL, TRUE,
            std::find(rows.begin(), rows.end(), name) - rows.begin());
        Click(main, kAdd);
        ASSERT_TRUE(WaitFor([&] { return !Contains(ReadList(untrustedList), name); })) << name;
        Ask(main, WM_NULL, 0, 0);  // the click's handler has ended
    }

    //! Writes "known.dat" in place, as an editor saves: truncated and written again.
    void WriteKnown(const std::string& bytes) {
        std::ofstream out(File("known.dat"), std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    //! Opens the tray icon's menu as a right click does; nullptr when none shows.
    //! A posted message is no click: Vardion's SetForegroundWindow before
    //! TrackPopupMenu succeeds only with the right this driver passes on. The
    //! menu shows either way (without the foreground it only stays open on a
    //! click elsewhere), and its loop takes the keys posted to its thread.
    HWND OpenTrayMenu() {
        ::AllowSetForegroundWindow(vardion.dwProcessId);
        Tray(WM_RBUTTONDOWN);
        HWND menu = nullptr;
        bool shown = WaitFor([&] { return (menu = FindShown(vardion.dwProcessId, "#32768")); });
        return shown ? menu : nullptr;
    }

    //! Chooses Exit in the open tray menu and waits for the program to end. Where
    //! something could not be saved, it says so last and ends once that notice is
    //! closed: its text is kept in `exitNotice`, and OK pressed.
    void ChooseExit(HWND menu) {
        Key(menu, VK_DOWN);
        Key(menu, VK_RETURN);
        HWND last = nullptr;
        ASSERT_TRUE(WaitFor(
            [&] {
                last = FindTopLevel(vardion.dwProcessId, kNoticeCaption);
                return !Running() ||
                       (last && ::IsWindowVisible(last) &&
                        WindowText(::GetDlgItem(last, 0xFFFF)).find(kNotSavedAtExit) !=
                            std::string::npos);
            },
            10000))
            << "still running";
        if (Running()) {
            exitNotice = WindowText(::GetDlgItem(last, 0xFFFF));
            ::PostMessageA(last, WM_COMMAND, IDOK, 0);
        }
        ASSERT_EQ(::WaitForSingleObject(vardion.hProcess, 10000), WAIT_OBJECT_0) << "still running";
    }

    //! Ends the program the way a user does: Exit from the tray icon's menu.
    void ExitByTrayMenu() {
        HWND menu = OpenTrayMenu();
        ASSERT_TRUE(menu) << "no tray menu";
        ChooseExit(menu);
    }

    //! The save notices that Vardion shows now.
    std::vector<HWND> Notices() {
        std::vector<HWND> found;
        HWND window = nullptr;
        while ((window = ::FindWindowExA(nullptr, window, "#32770", kNoticeCaption)) != nullptr) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == vardion.dwProcessId && ::IsWindowVisible(window)) found.push_back(window);
        }
        return found;
    }
    //! Waits for the one notice to show in front and returns the text it shows.
    std::string NoticeText() {
        std::vector<HWND> shown;
        if (!WaitFor([&] { return (shown = Notices()).size() == 1 && InFront(shown[0]); }))
            return "no notice";
        return WindowText(::GetDlgItem(shown[0], 0xFFFF));  // a message box's text
    }
    std::string PathOf(DWORD programId) {
        for (PROCESS_INFORMATION& program : programs) {
            if (program.dwProcessId == programId) return ImagePathOf(program.hProcess);
        }
        return {};
    }

    //! Exits as ExitByTrayMenu does; "known.dat" as the run left it.
    std::string ExitAndReadKnown() {
        ExitByTrayMenu();
        return ReadFile(File("known.dat"));
    }

    bool Running() { return ::WaitForSingleObject(vardion.hProcess, 0) == WAIT_TIMEOUT; }

    //! Rests the real pointer on the middle of a row of a list box.
    void PointAt(HWND list, int row) {
        RECT client;
        ::GetClientRect(list, &client);
        LRESULT top = Ask(list, LB_GETTOPINDEX);
        LRESULT height = Ask(list, LB_GETITEMHEIGHT);
        POINT at = {client.right / 2, static_cast<LONG>((row - top) * height + height / 2)};
        ::ClientToScreen(list, &at);
        if (::WindowFromPoint(at) != list) {
            // Raised above whatever covers it (on Windows, say, a console
            // window), as z-order may be changed without the foreground.
            HWND window = ::GetAncestor(list, GA_ROOT);
            for (HWND band : {HWND_TOPMOST, HWND_NOTOPMOST}) {
                ::SetWindowPos(window, band, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            }
        }
        PointTo(at);
        EXPECT_EQ(::WindowFromPoint(at), list) << "row " << row << " is covered";
    }

    void PointTo(POINT at) { EXPECT_TRUE(RestPointer(at)) << at.x << ", " << at.y; }

    //! The text of the tip that Vardion shows now; empty when it shows none.
    std::string TipText() {
        HWND tip = ShownTip(vardion.dwProcessId);
        return tip ? WindowText(tip) : std::string();
    }

    ::testing::AssertionResult TipShows(const std::string& text) {
        if (WaitFor([&] { return TipText() == text; }, 5000)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the tip shows \"" << TipText() << "\"";
    }
    //! Rests the pointer on a row and waits for the tip to show `text`.
    ::testing::AssertionResult TipAt(HWND list, int row, const std::string& text) {
        PointAt(list, row);
        return TipShows(text);
    }

    std::string dir;
    //! What Vardion said at Exit of the programs it could not save; empty when it saved all.
    std::string exitNotice;
    PROCESS_INFORMATION vardion = {};
    std::vector<PROCESS_INFORMATION> programs;
    HWND main = nullptr;
    HWND alert = nullptr;
    HWND untrustedList = nullptr;
    HWND runningList = nullptr;
    HWND alertList = nullptr;
};

}  // namespace e2e
