// End-to-end tests of the real Vardion.exe: the first run, the alert, "<< Add",
// the tips, the windows, the tray menu, Exit and the end of a session, and
// "known.dat" as each leaves it.
#include "tests/win/e2e_fixture.h"

namespace {

using namespace e2e;

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
    EXPECT_FALSE(FileExists(File("known.dat")));  // nothing was added: nothing to save
}

TEST_F(Vardion, NewUntrustedProgramRaisesTheAlertWithOnlyItsName) {
    StartTrustingAll();
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
    StartTrustingAll();
    StartProgram("one.exe");
    StartProgram("two.exe");
    StartProgram("three.exe");
    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList).size() == 3; }));
    Rows listed = ReadList(untrustedList);  // in the order they were found
    Ask(untrustedList, LB_SETSEL, TRUE, 0);
    Ask(untrustedList, LB_SETSEL, TRUE, 2);
    Click(main, kAdd);
    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList) == Rows{listed[1]}; }));
    ASSERT_TRUE(WaitFor([&] {
        return ContainsAll(ReadList(runningList), {listed[0], listed[2]});
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
    StartAndIgnore();
    StartProgram("kept tool.exe", "my tools");
    Rows rows;
    ASSERT_TRUE(WaitFor([&] { return Contains(rows = ReadList(untrustedList), "kept tool.exe"); }));
    Click(main, kAdd);  // nothing selected
    Settle();
    EXPECT_FALSE(FileExists(File("known.dat")));

    auto row = std::find(rows.begin(), rows.end(), "kept tool.exe") - rows.begin();
    Ask(untrustedList, LB_SETSEL, TRUE, row);
    Click(main, kAdd);
    const std::string saved = ImagePathOf(programs.back().hProcess) + "\r\n";
    EXPECT_TRUE(WaitFor([&] { return ReadFile(File("known.dat")) == saved; }));
    ::TerminateProcess(vardion.hProcess, 1);
    ASSERT_EQ(::WaitForSingleObject(vardion.hProcess, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(ReadFile(File("known.dat")), saved);
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));

    Start();
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "kept tool.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "kept tool.exe"));
}

TEST_F(Vardion, TipShowsTheWholePathOfTheUntrustedRowUnderThePointer) {
    StartTrustingAll();
    StartProgram("first tool.exe", "my tools");
    StartProgram("second.exe", "my tools");
    Rows rows;
    ASSERT_TRUE(WaitFor([&] { return (rows = ReadList(untrustedList)).size() == 2; }));
    // The alert they raised is the active window, moved off the list.
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    ::SetWindowPos(alert, nullptr, 600, 450, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_NE(::GetForegroundWindow(), main);

    EXPECT_TRUE(TipAt(untrustedList, 0, File("my tools\\" + rows[0])));
    EXPECT_TRUE(TipAt(untrustedList, 1, File("my tools\\" + rows[1])));
    EXPECT_TRUE(TipAt(untrustedList, 4, ""));  // below the last row
    EXPECT_TRUE(TipAt(untrustedList, 0, File("my tools\\" + rows[0])));
    RECT add;
    ::GetWindowRect(::GetDlgItem(main, kAdd), &add);
    PointTo({(add.left + add.right) / 2, (add.top + add.bottom) / 2});
    EXPECT_TRUE(TipShows(""));
}

TEST_F(Vardion, TipOverAnAlertRowShowsThePathItWasAnnouncedWithAlsoAfterAdd) {
    StartTrustingAll();
    StartProgram("b tool.exe", "my tools");
    StartProgram("a tool.exe", "other tools");
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"a tool.exe", "b tool.exe"}; }));
    TrustAll();

    EXPECT_TRUE(TipAt(alertList, 0, File("other tools\\a tool.exe")));
    EXPECT_TRUE(TipAt(alertList, 1, File("my tools\\b tool.exe")));
}

TEST_F(Vardion, EnterActsAsAddAndEscDoesNothing) {
    StartTrustingAll();
    StartProgram("keyed.exe");
    ASSERT_TRUE(WaitFor([&] { return ReadList(untrustedList) == Rows{"keyed.exe"}; }));

    Key(untrustedList, VK_ESCAPE);
    Settle();
    EXPECT_TRUE(::IsWindowVisible(main));
    EXPECT_TRUE(Running());
    EXPECT_EQ(ReadList(untrustedList), (Rows{"keyed.exe"}));

    Ask(untrustedList, LB_SETSEL, TRUE, 0);
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
    StartAndIgnore();
    ::PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main); }));
    StartProgram("unseen.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_TRUE(Contains(ReadList(untrustedList), "unseen.exe"));
    EXPECT_FALSE(::IsWindowVisible(main));
}

TEST_F(Vardion, AboutBoxOpensFromTheSystemMenuAndTicksGoOnMeanwhile) {
    StartAndIgnore();
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
    EXPECT_FALSE(FileExists(File("known.dat")));  // nothing was added: nothing to save
}

TEST_F(Vardion, DismissedTrayMenuDoesNothing) {
    Start();
    HWND menu = OpenTrayMenu();
    ASSERT_TRUE(menu);
    Key(menu, VK_ESCAPE);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(menu); }));
    Settle();
    EXPECT_TRUE(Running());
    EXPECT_FALSE(FileExists(File("known.dat")));
}

TEST_F(Vardion, SecondRunTrustsWhatTheFirstSaved) {
    std::string hand = "\\Device\\HarddiskVolume9\\by-hand.exe\r\n\r\n# kept below the list\r\n";
    WriteKnown(hand);
    StartProgram("steady.exe");
    StartTrustingAll();
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_EQ(saved.rfind("\\Device\\HarddiskVolume9\\by-hand.exe\r\n", 0), 0u);
    EXPECT_NE(saved.find("\\bin\\steady.exe\r\n"), std::string::npos);
    const std::string kept = "\r\n\r\n# kept below the list\r\n";  // after the list, as it stood
    ASSERT_GT(saved.size(), kept.size());
    EXPECT_EQ(saved.substr(saved.size() - kept.size()), kept);

    Start();
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "steady.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "steady.exe"));
    Settle();
    EXPECT_FALSE(::IsWindowVisible(alert));
}

TEST_F(Vardion, EndOfSessionSavesTheListOnce) {
    StartAndIgnore();
    TrustAllUnsaved();
    ASSERT_FALSE(FileExists(File("known.dat")));
    Ask(main, WM_QUERYENDSESSION, 0, 0);
    Ask(main, WM_ENDSESSION, TRUE, 0);
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_NE(saved.find("Vardion.exe\r\n"), std::string::npos);
    // The notice is closed before the session's end is answered.
    EXPECT_EQ(FindTopLevel(vardion.dwProcessId, "Vardion: trusted programs not saved"), nullptr);

    ::DeleteFileA(File("known.dat").c_str());
    Ask(main, WM_ENDSESSION, TRUE, 0);
    EXPECT_FALSE(FileExists(File("known.dat")));
}

TEST_F(Vardion, EndOfSessionThatWasCancelledSavesNothing) {
    StartAndIgnore();
    TrustAllUnsaved();
    Ask(main, WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(FileExists(File("known.dat")));
    EXPECT_TRUE(Running());
    ExitByTrayMenu();  // what was unsaved is saved now
    EXPECT_NE(ReadFile(File("known.dat")).find("Vardion.exe\r\n"), std::string::npos);
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

TEST_F(Vardion, ReadOnlyListFileIsLeftAsItIsAndTheFailedSaveIsSaid) {
    const std::string old = "\\Device\\HarddiskVolume9\\old.exe\r\n";
    WriteKnown(old);
    ::SetFileAttributesA(File("known.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    StartTrustingAll();
    // The read-only file refuses the replace; the user is told, not left believing it saved.
    EXPECT_TRUE(WaitFor([&] {
        return FindTopLevel(vardion.dwProcessId, "Vardion: trusted programs not saved") != nullptr;
    }));
    ExitByTrayMenu();
    EXPECT_EQ(ReadFile(File("known.dat")), old);
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

// A list of a hundred thousand lines, then one of fifty megabytes, each
// ending with the path of a running program: each search walks the whole list.
TEST_F(Vardion, HundredThousandLineAndFiftyMegabyteListsLoadRunAndSaveWhole) {
    StartProgram("deep-in-the-list.exe");
    std::string trusted;
    ASSERT_TRUE(
        WaitFor([&] { return !(trusted = ImagePathOf(programs.back().hProcess)).empty(); }));
    for (size_t bytes : {size_t{0}, size_t{50} << 20}) {
        SCOPED_TRACE(bytes ? "fifty megabytes" : "a hundred thousand lines");
        std::string big;
        big.reserve(bytes + (8u << 20));
        for (int i = 0; i < 100000 || big.size() < bytes; ++i) {
            big += "\\Device\\HarddiskVolume9\\many\\program" + std::to_string(i) + ".exe\r\n";
        }
        big += trusted + "\r\n";
        WriteKnown(big);
        Start();
        ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "deep-in-the-list.exe"); },
                            30000));
        EXPECT_FALSE(Contains(ReadList(untrustedList), "deep-in-the-list.exe"));
        std::string amid = bytes ? "amid-fifty.exe" : "amid-many.exe";
        StartProgram(amid);
        ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), amid); }));
        ExitByTrayMenu();
        std::string saved = ReadFile(File("known.dat"));
        EXPECT_EQ(saved.size(), big.size());
        EXPECT_TRUE(saved == big);  // not printed: up to fifty megabytes
    }
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
    const std::string longPath = shortFolder + "\\" + longName;

    StartTrustingAll();
    StartProgram(spaced);
    StartProgram(accented);
    DWORD longOne = StartProgramAt(Wide(longPath));
    Rows expected = Sorted({spaced, accented, longName});
    ASSERT_TRUE(WaitFor([&] { return Sorted(ReadList(untrustedList)) == expected; }))
        << ReadList(untrustedList).size() << " rows";
    ASSERT_TRUE(WaitFor([&] { return Sorted(ReadList(alertList)) == expected; }));
    TrustAll();
    ASSERT_TRUE(WaitFor([&] { return ContainsAll(ReadList(runningList), expected); }));
    ExitByTrayMenu();
    std::string saved = ReadFile(File("known.dat"));
    EXPECT_NE(saved.find("\\bin\\" + spaced + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\\bin\\" + accented + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\\vl\\" + longName + "\r\n"), std::string::npos);

    Start();
    ASSERT_TRUE(WaitFor([&] { return ContainsAll(ReadList(runningList), expected); }));
    EXPECT_TRUE(ReadList(untrustedList).empty());
    Settle();
    EXPECT_FALSE(::IsWindowVisible(alert));
    EndProgram(longOne);
    EXPECT_TRUE(::DeleteFileA(longPath.c_str()));
}

TEST_F(Vardion, UnwritableWorkingDirectoryRunsEndsByExitAndLeavesTheListAsItWas) {
    const std::string old = "\\Device\\HarddiskVolume9\\old.exe\r\n";
    WriteKnown(old);
    LockedDirectory lock(dir);
    if (!lock.locked()) GTEST_SKIP() << "the directory could not be made unwritable here";
    StartTrustingAll();
    ExitByTrayMenu();
    EXPECT_EQ(ReadFile(File("known.dat")), old);
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
}

}  // namespace
