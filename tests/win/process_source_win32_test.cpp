// The Windows process system against the system's own answers: the snapshot's
// identifiers and creation times, and each answer by identifier and through a
// handle, for processes that grant every access, the least, or none.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/process_source_win32.h"
#include "tests/win/child_process.h"
#include "tests/win/fresh_directory.h"
#include "tests/win/handle_count.h"
#include "watch/ansi_path.h"
#include "watch/drive_table.h"

#ifndef SLEEPER_EXE
#error "SLEEPER_EXE names a small program to start under other names"
#endif

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
        std::string sleeper = SLEEPER_EXE;
        if (sleeper[0] == '/') sleeper = "Z:" + sleeper;
        path = dir + "\\" + name;
        EXPECT_TRUE(::CopyFileA(sleeper.c_str(), path.c_str(), FALSE));
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

}  // namespace
