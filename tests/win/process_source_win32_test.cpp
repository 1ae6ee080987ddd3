// The Windows process source against the system's own answers: the snapshot's
// identifiers and creation times, and paths from memory equal to those read anew.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/process_source_win32.h"
#include "tests/win/fresh_directory.h"
#include "watch/ansi_path.h"

#ifndef SLEEPER_EXE
#error "SLEEPER_EXE names a small program to start under other names"
#endif

namespace {

// The path as the scan reads it; empty when the process can't be examined.
std::u16string PathOf(ProcessSource& source, uint32_t id) {
    ProcessHandle process = source.OpenProcess(kProcessQueryVmRead, false, id);
    if (!process) return {};
    char16_t path[1024];
    uint32_t length = source.GetProcessImageFileNameW(process, path, 1024);
    source.CloseHandle(process);
    return std::u16string(path, length < 1024 ? length : 0);
}

std::vector<uint32_t> Enumerate(ProcessSource& source) {
    std::vector<uint32_t> ids(4096);
    uint32_t bytes = 0;
    if (!source.EnumProcesses(ids.data(), static_cast<uint32_t>(ids.size() * 4), &bytes)) return {};
    ids.resize(bytes / 4);
    return ids;
}

uint64_t CreateTimeOf(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!::GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
    return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

TEST(NtProcessSnapshot, ListsWhatEnumProcessesListsWithTheirCreationTimes) {
    NtProcessSnapshot snapshot;
    PsapiProcessSource psapi;
    std::vector<ProcessStamp> stamps;
    std::vector<uint32_t> listed, enumerated;
    // Processes of the session may come or go between the two calls.
    for (int attempt = 0; attempt < 5 && (listed.empty() || listed != enumerated); ++attempt) {
        ASSERT_TRUE(snapshot.TakeSnapshot(stamps));
        enumerated = Enumerate(psapi);
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

TEST(Win32ProcessSource, AnswersAsTheSystemDoesAndForgetsWhatEnded) {
    std::string dir;
    ASSERT_TRUE(MakeFreshDirectory("vardion-source", dir));
    std::string sleeper = SLEEPER_EXE;
    if (sleeper[0] == '/') sleeper = "Z:" + sleeper;
    std::string copy = dir + "\\watched program.exe";
    ASSERT_TRUE(::CopyFileA(sleeper.c_str(), copy.c_str(), FALSE));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    std::string command = "\"" + copy + "\"";
    ASSERT_TRUE(::CreateProcessA(copy.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &child));

    Win32ProcessSource source;
    PsapiProcessSource psapi;
    // Wine may start or end processes of its own meanwhile: only the child's
    // own entry is looked at.
    for (int round = 0; round < 3; ++round) {  // read, then twice from memory
        for (uint32_t id : Enumerate(source)) EXPECT_EQ(PathOf(source, id), PathOf(psapi, id));
        EXPECT_TRUE(source.Remembers(child.dwProcessId)) << "round " << round;
    }
    std::u16string childPath = PathOf(source, child.dwProcessId);
    EXPECT_NE(childPath.find(u"\\watched program.exe"), std::u16string::npos);

    ::TerminateProcess(child.hProcess, 0);
    ::WaitForSingleObject(child.hProcess, 5000);
    ::CloseHandle(child.hProcess);
    ::CloseHandle(child.hThread);
    for (uint32_t id : Enumerate(source)) EXPECT_EQ(PathOf(source, id), PathOf(psapi, id));
    EXPECT_FALSE(source.Remembers(child.dwProcessId));
}

// The system's own answers to the two new questions: the code page's and the
// path by identifier, which names one file as the handle's path does.
TEST(Win32PathSystem, MakesThePathOfTheSystemsOwnCallsWithoutLoss) {
    Win32PathSystem text;
    if (::GetACP() == 1252) {
        std::u16string path = u"\\om\\caf\u00E9\\\u03A9mega.exe";
        EXPECT_EQ(AnsiPath(path.data(), path.size(), text), "\\om\\caf\xE9\\<U+03A9>mega.exe");
    }
    wchar_t wide[1024];
    DWORD length = ::GetProcessImageFileNameW(::GetCurrentProcess(), wide, 1024);
    char narrow[1024];
    DWORD narrowLength = ::GetProcessImageFileNameA(::GetCurrentProcess(), narrow, sizeof narrow);
    ASSERT_GT(length, 0u);
    // The build's path is ASCII: both forms are one path.
    std::string exact = AnsiPath(reinterpret_cast<const char16_t*>(wide), length, text);
    EXPECT_EQ(exact, std::string(narrow, narrowLength));
    DriveDevices drives(text);
    EXPECT_EQ(drives.DeviceForm("\\??\\C:\\x.exe"), text.DeviceOfDrive('C') + "\\x.exe");

    PsapiProcessSource psapi;
    char16_t buffer[1024];
    ImageName name;
    name.maximumLength = 8;  // too small for any path
    name.buffer = buffer;
    int32_t status = psapi.QueryProcessIdImage(::GetCurrentProcessId(), name);
    if (status == kStatusInvalidInfoClass) {
        GTEST_SKIP() << "this system lacks the path query by identifier "
                        "(SystemProcessIdInformation, class 88)";
    }
    EXPECT_EQ(status, kStatusInfoLengthMismatch);
    name = ImageName{};
    name.maximumLength = sizeof buffer;
    name.buffer = buffer;
    ASSERT_EQ(psapi.QueryProcessIdImage(::GetCurrentProcessId(), name), kStatusSuccess);
    std::string byId = drives.DeviceForm(AnsiPath(buffer, name.length / 2, text));
    EXPECT_EQ(byId, exact);
}

}  // namespace
