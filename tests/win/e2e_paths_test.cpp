// End-to-end: which paths are one program and which are two. A folder or a
// name with a letter outside the code page is another program than its
// look-alike; names of a double-byte code page are listed as they are; a
// program whose process refuses to be opened is seen by its identifier.
#include "tests/win/e2e_fixture.h"
#include "tests/win/handle_count.h"

namespace {

using namespace e2e;
using Paths = Vardion;

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
    StartProgramAt(File(L"ne t\u014Dols\\twin.exe"));
    StartProgramAt(File(L"om\\\u03A9mega.exe"));
    ASSERT_TRUE(WaitFor([&] {
        return Sorted(ReadList(untrustedList)) == Rows{"<U+03A9>mega.exe", "twin.exe"};
    })) << ReadList(untrustedList).size()
        << " rows";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_EQ(Sorted(ReadList(alertList)), (Rows{"<U+03A9>mega.exe", "twin.exe"}));
    EXPECT_TRUE(WaitFor([&] {
        return ContainsAll(ReadList(runningList), {"Omega.exe", "twin.exe"});
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

    Start();
    ASSERT_TRUE(WaitFor([&] {
        return ContainsAll(ReadList(runningList), {"twin.exe", "Omega.exe", "<U+03A9>mega.exe"});
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
    StartProgramAt(File(L"bin\\\u30BD\u30D5\u30C8.exe"));  // ソフト.exe: 83 5C ...
    StartProgramAt(File(L"bin\\\u8868.exe"));              // 表.exe: 95 5C
    StartProgramAt(File(L"bin\\\u5341.exe"));              // 十.exe: 8F 5C
    Rows expected = Sorted({"\x83\x5C\x83\x74\x83\x67.exe", "\x95\x5C.exe", "\x8F\x5C.exe"});
    ASSERT_TRUE(WaitFor([&] { return Sorted(ReadList(untrustedList)) == expected; }))
        << ReadList(untrustedList).size() << " rows";
    EXPECT_EQ(Sorted(ReadList(alertList)), expected);
    TrustAll();
    EXPECT_TRUE(WaitFor([&] { return ContainsAll(ReadList(runningList), expected); }))
        << ReadList(runningList).size() << " running rows";
}

// A process that grants nobody access, as a service's does to an ordinary
// user on Windows, is listed, announced and trusted by its path all the same.
TEST_F(Paths, ProgramWhoseProcessRefusesToBeOpenedIsClassifiedByItsPath) {
    if (!SystemNamesProcessesByIdentifier()) {
        GTEST_SKIP() << "this Wine lacks the path query by identifier "
                        "(NtQuerySystemInformation class 88, SystemProcessIdInformation)";
    }
    StartTrustingAll();
    std::wstring guarded = File(L"svc\\guarded.exe");
    DWORD refusing = StartProgramAt(guarded, "D:");
    HANDLE probe = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, refusing);
    ASSERT_EQ(probe, nullptr) << "the guarded process could be opened";

    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList) == Rows{"guarded.exe"}; }));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_EQ(ReadList(alertList), (Rows{"guarded.exe"}));
    ::SetWindowPos(alert, nullptr, 600, 450, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_TRUE(TipAt(untrustedList, 0, File("svc\\guarded.exe")));

    Add("guarded.exe");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "guarded.exe"); }));
    // An openable run of the same file: its path as the system gives it
    // through a handle is the one "<< Add" wrote.
    DWORD openable = StartProgramAt(guarded);
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, openable);
    ASSERT_NE(process, nullptr);
    std::string devicePath = ImagePathOf(process);
    ::CloseHandle(process);
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_EQ(saved.substr(saved.rfind("\r\n", saved.size() - 3) + 2), devicePath + "\r\n");
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
    StartProgramAt(File(L"svc\\open first.exe"), "D:");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "open first.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "open first.exe"));
}

}  // namespace
