// The program's adapters to Windows against the system itself: the process
// system against the system's own answers (the snapshot's identifiers and
// creation times, and each answer by identifier and through a handle, for
// processes that grant every access, the least, or none, and on Windows for a
// protected one), and the file system, with the trusted list saved and loaded
// through it.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/file_system_win32.h"
#include "app/process_source_win32.h"
#include "tests/win/child_process.h"
#include "tests/win/fresh_directory.h"
#include "tests/win/handle_count.h"
#include "tests/win/wine.h"
#include "watch/ansi_path.h"
#include "trust/trusted_list.h"
#include "watch/drive_table.h"

namespace {

uint64_t CreateTimeOf(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!::GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

std::u16string OwnPath() {
    wchar_t path[1024];
    DWORD length = ::GetProcessImageFileNameW(::GetCurrentProcess(), path, 1024);
    return std::u16string(reinterpret_cast<const char16_t*>(path), length);
}

// A copy of the small program, started under `name`, whose process grants the
// access that `dacl` (in the security descriptor language) gives; every
// access without one.
class Child {
  public:
    explicit Child(const std::string& name, const char* dacl = nullptr) {
        std::string dir;
        EXPECT_TRUE(MakeFreshDirectory("vardion-source", dir));
        path = dir + "\\" + name;
        EXPECT_TRUE(::CopyFileA(BesideThisProgram("sleeper.exe").c_str(), path.c_str(), FALSE));
        m_process = Launch(path, {}, dacl);
        EXPECT_TRUE(m_process.hProcess) << path;
        stamp = {m_process.dwProcessId, CreateTimeOf(m_process.hProcess)};
    }
    ~Child() { EndProcess(m_process); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::string path;
    ProcessStamp stamp;

  private:
    PROCESS_INFORMATION m_process = {};
};

TEST(Win32ProcessSystem, ListsWhatEnumProcessesListsWithTheirCreationTimes) {
    Win32ProcessSystem system;
    std::vector<ProcessStamp> stamps;
    std::vector<uint32_t> listed, enumerated;
    // Processes of the session may come or go between the two calls.
    for (int attempt = 0; attempt < 5 && (listed.empty() || listed != enumerated); ++attempt) {
        ASSERT_TRUE(system.ListProcesses(stamps));
        DWORD ids[4096];
        DWORD bytes = 0;
        ASSERT_TRUE(::EnumProcesses(ids, sizeof ids, &bytes));
        enumerated.assign(ids, ids + bytes / sizeof(DWORD));
        listed.clear();
        for (const ProcessStamp& s : stamps) listed.push_back(s.id);
        std::sort(listed.begin(), listed.end());
        std::sort(enumerated.begin(), enumerated.end());
    }
    EXPECT_EQ(listed, enumerated);

    auto self = std::find_if(stamps.begin(), stamps.end(),
                             [](const ProcessStamp& s) { return s.id == ::GetCurrentProcessId(); });
    ASSERT_NE(self, stamps.end());
    EXPECT_EQ(self->createTime, CreateTimeOf(::GetCurrentProcess()));
    EXPECT_NE(self->createTime, 0u);
}

// Each process as the system answers for it, by identifier and through a
// handle: the same path either way, in the device form once the drive is
// read; a process that refuses every access is named only by identifier.
TEST(Win32ProcessSystem, AnswersByIdentifierAndThroughAHandleAlike) {
    const bool hasQueryById = SystemNamesProcessesByIdentifier();
    Child open("watched program.exe");
    Child limited("limited.exe", "D:(A;;0x1000;;;WD)");  // the least access there is
    Child refusing("refusing.exe", "D:");                // no access at all
    Win32PathSystem text;
    struct Case {
        const Child& child;
        bool named;  // through a handle
    } cases[] = {{open, true}, {limited, true}, {refusing, false}};
    for (bool askById : {true, false}) {
        Win32ProcessSystem system(askById);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.child.path + (askById ? ", by identifier" : ", through a handle"));
            ImageAnswer answer = system.ImageOf(c.child.stamp);
            if (!c.named && !(askById && hasQueryById)) {
                EXPECT_EQ(answer.kind, ImageAnswer::Kind::Refused);
                continue;
            }
            ASSERT_EQ(answer.kind, ImageAnswer::Kind::Path);
            DriveTable drives(text);
            std::string path =
                drives.DeviceForm(AnsiPath(answer.path.data(), answer.path.size(), text));
            std::string file = c.child.path.substr(c.child.path.rfind('\\'));
            EXPECT_EQ(path.substr(0, 8), "\\Device\\");
            EXPECT_EQ(path.substr(path.size() - file.size()), file);
        }
        DriveTable drives(text);
        ImageAnswer own = system.ImageOf({::GetCurrentProcessId(), 0});
        EXPECT_EQ(drives.DeviceForm(AnsiPath(own.path.data(), own.path.size(), text)),
                  AnsiPath(OwnPath().data(), OwnPath().size(), text));
    }
}

// The identifier of the first process whose program is named `name`; 0 when none runs.
DWORD ProcessNamed(const wchar_t* name) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found;
         more = ::Process32NextW(snapshot, &entry)) {
        if (::lstrcmpiW(entry.szExeFile, name) == 0) found = entry.th32ProcessID;
    }
    ::CloseHandle(snapshot);
    return found;
}

// csrss.exe is a protected process: it refuses an open for full query even to
// an administrator. Only the question by identifier names it, and in a 32-bit
// build on 64-bit Windows that question passes through WOW64.
TEST(Win32ProcessSystem, NamesAProtectedProcessByIdentifierInTheDeviceForm) {
    SKIP_UNDER_WINE("Wine has no csrss.exe, no protected process and no WOW64 layer");
    const DWORD csrss = ProcessNamed(L"csrss.exe");
    ASSERT_NE(csrss, 0u) << "no csrss.exe runs";
    HANDLE full = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, csrss);
    std::printf("csrss.exe (%lu) %s an open for full query\n", static_cast<unsigned long>(csrss),
                full ? "grants" : "refuses");
    if (full) ::CloseHandle(full);

    std::wstring path;
    LONG status = ImagePathByIdentifier(csrss, path);
    ASSERT_EQ(status, 0) << std::hex << "no path for csrss.exe by identifier, status 0x" << status
                         << (sizeof(void*) == 4 ? ", through WOW64: without it the 32-bit build "
                                                  "on 64-bit Windows cannot name such processes "
                                                  "at all"
                                                : "");
    const std::wstring file = L"\\csrss.exe";
    ASSERT_GT(path.size(), file.size());
    EXPECT_EQ(path.compare(0, 8, L"\\Device\\"), 0) << path;
    EXPECT_EQ(::lstrcmpiW(path.c_str() + path.size() - file.size(), file.c_str()), 0) << path;
    // The program's own adapter asks the same question and gets the same answer.
    ImageAnswer answer = Win32ProcessSystem().ImageOf({csrss, 0});
    ASSERT_EQ(answer.kind, ImageAnswer::Kind::Path);
    EXPECT_TRUE(answer.path == std::u16string(path.begin(), path.end())) << path;
}

TEST(Win32ProcessSystem, EveryHandleIsClosed) {
    Child refusing("refusing.exe", "D:");
    Win32ProcessSystem system(false);  // every answer through a handle
    std::vector<ProcessStamp> stamps;
    ASSERT_TRUE(system.ListProcesses(stamps));
    long before = handle_count::Of(::GetCurrentProcessId());
    ASSERT_GT(before, 0);
    for (int round = 0; round < 20; ++round) {
        for (const ProcessStamp& stamp : stamps) system.ImageOf(stamp);
    }
    EXPECT_EQ(handle_count::Of(::GetCurrentProcessId()), before);
}

// The code page's and the drives' answers: the 8-bit form of the path names
// the same file as the system's own 8-bit call.
TEST(Win32PathSystem, MakesThePathOfTheSystemsOwnCallsWithoutLoss) {
    Win32PathSystem text;
    if (::GetACP() == 1252) {
        std::u16string path = u"\\om\\caf\u00E9\\\u03A9mega.exe";
        EXPECT_EQ(AnsiPath(path.data(), path.size(), text), "\\om\\caf\xE9\\<U+03A9>mega.exe");
    }
    char narrow[1024];
    DWORD narrowLength = ::GetProcessImageFileNameA(::GetCurrentProcess(), narrow, sizeof narrow);
    ASSERT_GT(narrowLength, 0u);
    // The build's path is ASCII: both forms are one path.
    std::u16string wide = OwnPath();
    EXPECT_EQ(AnsiPath(wide.data(), wide.size(), text), std::string(narrow, narrowLength));
    DriveTable drives(text);
    EXPECT_EQ(drives.DeviceForm("\\??\\C:\\x.exe"), text.DeviceOfDrive('C') + "\\x.exe");
    EXPECT_EQ(drives.LetterForm(text.DeviceOfDrive('C') + "\\x.exe"), "C:\\x.exe");
}

// The program's file system on Windows, and the trusted list saved and loaded through it.
// A fresh folder under the system's temporary folder, removed with its files
// at the end, and made the current folder meanwhile ("known.dat" is relative).
class FileSystemWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(MakeFreshDirectory("vardion-test", dir)) << dir;
        char current[MAX_PATH];
        GetCurrentDirectoryA(sizeof current, current);
        previous = current;
        ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous.c_str());
        for (const char* name : {"a", "b", "known.dat", "known.dat.tmp"}) {
            DeleteFileA((dir + "\\" + name).c_str());
        }
        RemoveDirectoryA((dir + "\\sub").c_str());
        RemoveDirectoryA(dir.c_str());
    }
    std::string Read(const std::string& name) {
        std::string bytes = "untouched";
        EXPECT_EQ(files.Read(name, bytes, UINT64_MAX), FileSystem::ReadResult::kRead);
        return bytes;
    }
    bool Write(const std::string& name, const std::string& bytes) {
        files.Remove(name);
        return files.WriteNew(name, bytes);
    }

    FileSystem& files = WindowsFileSystem();
    std::string dir;
    std::string previous;
};

using Read = FileSystem::ReadResult;
using Replace = FileSystem::ReplaceResult;

TEST_F(FileSystemWin32, WritesAndReadsBytesExactly) {
    // No text mode: CR LF, a lone LF, NUL and bytes above 127 stay as they are.
    std::string bytes("one\r\ntwo\nthree\r\n\0\xe9\xff", 19);
    ASSERT_TRUE(Write("a", bytes));
    EXPECT_EQ(Read("a"), bytes);

    std::string big(200000, 'x');  // more than one read
    big[150000] = 'y';
    EXPECT_FALSE(files.WriteNew("a", big));  // only ever a new file
    ASSERT_TRUE(Write("a", big));
    EXPECT_EQ(Read("a"), big);

    ASSERT_TRUE(Write("a", ""));
    EXPECT_EQ(Read("a"), "");

    // A file larger than the reader's limit is not read, however large it is.
    ASSERT_TRUE(Write("a", "0123456789"));
    std::string limited = "untouched";
    EXPECT_EQ(files.Read("a", limited, 9), Read::kTooLarge);
    EXPECT_EQ(limited, "untouched");
    EXPECT_EQ(files.Read("a", limited, 10), Read::kRead);
    EXPECT_EQ(limited, "0123456789");
    HANDLE sparse = CreateFileA("a", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER huge;
    huge.QuadPart = 3ll << 30;
    EXPECT_TRUE(SetFilePointerEx(sparse, huge, nullptr, FILE_BEGIN) && SetEndOfFile(sparse));
    CloseHandle(sparse);
    EXPECT_EQ(files.Read("a", limited, 64u << 20), Read::kTooLarge);
}

TEST_F(FileSystemWin32, WhatIsNoFileOrCannotBeReadIsToldApartFromMissing) {
    std::string bytes = "untouched";
    EXPECT_EQ(files.Read("missing", bytes, UINT64_MAX), Read::kMissing);
    EXPECT_EQ(files.Read("nowhere\\missing", bytes, UINT64_MAX), Read::kMissing);
    ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
    EXPECT_EQ(files.Read("sub", bytes, UINT64_MAX), Read::kFailed);
    EXPECT_EQ(bytes, "untouched");
    EXPECT_FALSE(files.WriteNew("sub", "x"));
    EXPECT_FALSE(files.WriteNew("nowhere\\a", "x"));

    ASSERT_TRUE(Write("a", "held"));
    HANDLE writer = CreateFileA("a", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Read("a"), "held");  // an editor that shares reading does not stop a read
    CloseHandle(writer);
}

TEST_F(FileSystemWin32, ReplacePutsOneFileInThePlaceOfAnother) {
    ASSERT_TRUE(Write("a", "new"));
    ASSERT_TRUE(Write("b", "old"));
    EXPECT_EQ(files.Replace("a", "b"), Replace::kReplaced);
    EXPECT_EQ(Read("b"), "new");
    std::string gone;
    EXPECT_EQ(files.Read("a", gone, UINT64_MAX), Read::kMissing);
    EXPECT_EQ(files.Replace("a", "b"), Replace::kFailed);  // nothing to move: the target stays
    EXPECT_EQ(Read("b"), "new");

    ASSERT_TRUE(Write("a", "newer"));
    HANDLE holder =
        CreateFileA("b", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(files.Replace("a", "b"), Replace::kBusy);  // worth a retry
    CloseHandle(holder);
    EXPECT_EQ(files.Replace("a", "b"), Replace::kReplaced);
    EXPECT_EQ(Read("b"), "newer");

    ASSERT_TRUE(Write("a", "newest"));
    ASSERT_TRUE(SetFileAttributesA("b", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(files.Replace("a", "b"), Replace::kFailed);  // not replaced, and no use waiting
    EXPECT_EQ(Read("b"), "newer");

    files.Remove("b");
    EXPECT_EQ(files.Read("b", gone, UINT64_MAX), Read::kMissing);
    files.Remove("b");  // removing what is not there is no failure
}

TEST_F(FileSystemWin32, StaleFileOfAnyAttributesIsRemoved) {
    ASSERT_TRUE(Write("a", "stale"));
    ASSERT_TRUE(SetFileAttributesA(
        "a", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    files.Remove("a");
    EXPECT_EQ(GetFileAttributesA("a"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(files.WriteNew("a", "fresh"));
}

TEST_F(FileSystemWin32, TheTrustedListRoundTripsThroughKnownDat) {
    TrustedList saved{WindowsFileSystem()};
    saved.m_known = {"\\Device\\HarddiskVolume1\\windows\\notepad.exe",
                     "\\Device\\HarddiskVolume2\\opt\\Tool.EXE"};
    saved.SaveKnown();
    EXPECT_EQ(Read("known.dat"),
              "\\Device\\HarddiskVolume1\\windows\\notepad.exe\r\n"
              "\\Device\\HarddiskVolume2\\opt\\Tool.EXE\r\n");
    TrustedList loaded{WindowsFileSystem()};
    loaded.LoadKnown();
    EXPECT_EQ(loaded.m_known, saved.m_known);
}

}  // namespace
