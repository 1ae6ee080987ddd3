// End-to-end: which paths are one program and which are two. A folder or a
// name with a letter outside the code page is another program than its
// look-alike; names of a double-byte code page are listed as they are; a
// program whose process refuses to be opened is seen by its identifier.
#include <aclapi.h>

#include "tests/win/e2e_fixture.h"
#include "tests/win/query_by_id.h"

namespace {

using e2e::Contains;
using e2e::ReadFile;
using e2e::ReadList;
using e2e::Rows;
using e2e::WaitFor;

std::wstring Wide(const std::string& text) {
    int units = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units > 0 ? units - 1 : 0));
    return wide;
}

Rows Sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

class Paths : public e2e::Vardion {
  protected:
    //! Starts the small program copied to `path`, a name in any script; with
    //! `refuse`, its process grants nobody any access (a DACL with no entries).
    DWORD StartWide(const std::wstring& path, bool refuse = false) {
        std::wstring folder = path.substr(0, path.rfind(L'\\'));
        ::CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring sleeper = Wide(e2e::WindowsPath(SLEEPER_EXE));
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            EXPECT_TRUE(::CopyFileW(sleeper.c_str(), path.c_str(), FALSE));
        }
        SECURITY_DESCRIPTOR descriptor;
        ACL empty;
        ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
        ::InitializeAcl(&empty, sizeof empty, ACL_REVISION);
        ::SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE);
        SECURITY_ATTRIBUTES guarded = {sizeof guarded, &descriptor, FALSE};
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION program = {};
        std::wstring command = L"\"" + path + L"\"";
        EXPECT_TRUE(::CreateProcessW(path.c_str(), &command[0], refuse ? &guarded : nullptr,
                                     nullptr, FALSE, 0, nullptr, nullptr, &startup, &program));
        programs.push_back(program);
        return program.dwProcessId;
    }

    std::wstring WideFile(const std::wstring& name) const { return Wide(dir) + L"\\" + name; }

    //! Selects the untrusted row of `name` alone and presses "<< Add".
    void Add(const std::string& name) {
        Rows rows = ReadList(untrustedList);
        auto row = std::find(rows.begin(), rows.end(), name);
        ASSERT_NE(row, rows.end()) << name;
        e2e::Ask(untrustedList, LB_SETSEL, FALSE, -1);
        e2e::Ask(untrustedList, LB_SETSEL, TRUE, row - rows.begin());
        Click(main, e2e::kAdd);
        ASSERT_TRUE(WaitFor([&] { return !Contains(ReadList(untrustedList), name); }));
    }
};

TEST_F(Paths, LookAlikeFolderAndLookAlikeNameAreOtherProgramsEachTrustedOnTheNextRun) {
    StartTrustingAll();
    StartProgram("twin.exe", "ne tools");
    StartProgram("Omega.exe", "om");
    ASSERT_TRUE(WaitFor([&] {
        return Sorted(ReadList(untrustedList)) == Rows{"Omega.exe", "twin.exe"};
    }));
    TrustAll();
    IgnoreFirstAlert();
    // ō and Ω are no letters of the code page: the 8-bit calls read "o" and "O".
    StartWide(WideFile(L"ne t\u014Dols\\twin.exe"));
    StartWide(WideFile(L"om\\\u03A9mega.exe"));
    ASSERT_TRUE(WaitFor([&] {
        return Sorted(ReadList(untrustedList)) == Rows{"<U+03A9>mega.exe", "twin.exe"};
    })) << ReadList(untrustedList).size()
        << " rows";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_EQ(Sorted(ReadList(alertList)), (Rows{"<U+03A9>mega.exe", "twin.exe"}));
    EXPECT_TRUE(WaitFor([&] {
        Rows trusted = ReadList(runningList);
        return Contains(trusted, "Omega.exe") && Contains(trusted, "twin.exe");
    })) << ::testing::PrintToString(ReadList(runningList));

    Add("<U+03A9>mega.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "<U+03A9>mega.exe"); }));
    EXPECT_EQ(ReadList(untrustedList), (Rows{"twin.exe"}));  // the look-alike folder's
    Add("twin.exe");
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    for (const char* line : {"\\ne tools\\twin.exe\r\n", "\\ne t<U+014D>ols\\twin.exe\r\n",
                             "\\om\\Omega.exe\r\n", "\\om\\<U+03A9>mega.exe\r\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;
    }
    ForgetEndedRun();

    Start();
    ASSERT_TRUE(WaitFor([&] {
        Rows running = ReadList(runningList);
        return Contains(running, "twin.exe") && Contains(running, "Omega.exe") &&
               Contains(running, "<U+03A9>mega.exe");
    }));
    EXPECT_TRUE(ReadList(untrustedList).empty());
    Settle();
    EXPECT_FALSE(::IsWindowVisible(alert));
}

// Run with LC_ALL=ja_JP.UTF-8, which gives Wine code page 932.
TEST_F(Paths, DoubleByteNamesWhoseSecondByteIsABackslashAreThreeNames) {
    if (::GetACP() != 932) {
        GTEST_SKIP() << "the ANSI code page is " << ::GetACP() << " here, not 932";
    }
    StartTrustingAll();
    StartWide(WideFile(L"bin\\\u30BD\u30D5\u30C8.exe"));  // ソフト.exe: 83 5C ...
    StartWide(WideFile(L"bin\\\u8868.exe"));              // 表.exe: 95 5C
    StartWide(WideFile(L"bin\\\u5341.exe"));              // 十.exe: 8F 5C
    Rows expected = Sorted({"\x83\x5C\x83\x74\x83\x67.exe", "\x95\x5C.exe", "\x8F\x5C.exe"});
    ASSERT_TRUE(WaitFor([&] { return Sorted(ReadList(untrustedList)) == expected; }))
        << ReadList(untrustedList).size() << " rows";
    EXPECT_EQ(Sorted(ReadList(alertList)), expected);
    TrustAll();
    EXPECT_TRUE(WaitFor([&] {
        Rows running = ReadList(runningList);
        return std::all_of(expected.begin(), expected.end(),
                           [&](const std::string& name) { return Contains(running, name); });
    })) << ReadList(runningList).size()
        << " running rows";
}

// A process that grants nobody access, as a service's does to an ordinary
// user on Windows, is listed, announced and trusted by its path all the same.
TEST_F(Paths, ProgramWhoseProcessRefusesToBeOpenedIsClassifiedByItsPath) {
    if (!SystemNamesProcessesByIdentifier()) {
        GTEST_SKIP() << "this Wine lacks the path query by identifier "
                        "(NtQuerySystemInformation class 88, SystemProcessIdInformation)";
    }
    StartTrustingAll();
    std::wstring guarded = WideFile(L"svc\\guarded.exe");
    DWORD refusing = StartWide(guarded, true);
    HANDLE probe = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, refusing);
    ASSERT_EQ(probe, nullptr) << "the guarded process could be opened";

    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList) == Rows{"guarded.exe"}; }));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_EQ(ReadList(alertList), (Rows{"guarded.exe"}));
    ::SetWindowPos(alert, nullptr, 600, 450, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PointAt(untrustedList, 0);
    EXPECT_TRUE(TipShows(File("svc\\guarded.exe")));

    Add("guarded.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "guarded.exe"); }));
    // An openable run of the same file: its path as the system gives it
    // through a handle is the one "<< Add" wrote.
    DWORD openable = StartWide(guarded);
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, openable);
    ASSERT_NE(process, nullptr);
    std::string devicePath = e2e::ImagePathOf(process);
    ::CloseHandle(process);
    std::string saved;
    EXPECT_TRUE(WaitFor([&] {
        saved = ReadFile(File("known.dat"));
        return saved.size() > 2 &&
               saved.substr(saved.rfind("\r\n", saved.size() - 3) + 2) == devicePath + "\r\n";
    })) << saved;
    EndProgram(refusing);
    StartProgram("sentinel.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), "sentinel.exe"); }));
    EXPECT_TRUE(Contains(ReadList(runningList), "guarded.exe"));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "guarded.exe"));

    // Trusted while it could be opened, then run refusing: trusted all the same.
    StartProgram("open first.exe", "svc");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), "open first.exe"); }));
    Add("open first.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "open first.exe"); }));
    EndProgram(programs.back().dwProcessId);
    ASSERT_TRUE(WaitFor([&] { return !Contains(ReadList(runningList), "open first.exe"); }));
    StartWide(WideFile(L"svc\\open first.exe"), true);
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "open first.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "open first.exe"));
}

}  // namespace
