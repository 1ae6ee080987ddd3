// End-to-end tests of the real Vardion.exe: the first run, the alert, "<< Add",
// the tips, the windows, the tray menu, Exit and the end of a session, and
// "known.dat" as each leaves it; then, each with a comment of its own above
// it: "known.dat" as others also write it, which paths are one program, and
// the tray icon as the shell draws it.
#include "tests/win/e2e_fixture.h"
#include "tests/win/handle_count.h"

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

    std::string known = ExitAndReadKnown();
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
    EXPECT_EQ(SaveLeftovers(), Rows{});

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

// The tip over an alert row shows the path its name was announced with: after
// a name inserted above has moved the row, and again after "<< Add".
TEST_F(Vardion, TipOverAnAlertRowShowsThePathItWasAnnouncedWithAlsoMovedAndAfterAdd) {
    StartTrustingAll();
    StartProgram("m tool.exe", "later");
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"m tool.exe"}; }));
    StartProgram("a tool.exe", "earlier");  // sorts above the row that stands
    ASSERT_TRUE(WaitFor([&] { return ReadList(alertList) == Rows{"a tool.exe", "m tool.exe"}; }));
    for (bool added : {false, true}) {
        SCOPED_TRACE(added ? "after Add" : "as announced");
        if (added) TrustAll();
        EXPECT_TRUE(TipAt(alertList, 1, File("later\\m tool.exe")));
        EXPECT_TRUE(TipAt(alertList, 0, File("earlier\\a tool.exe")));
    }
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
    std::string saved = ExitAndReadKnown();
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
    EXPECT_EQ(FindTopLevel(vardion.dwProcessId, kNoticeCaption), nullptr);

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
    // What was unsaved is saved now, by Exit.
    EXPECT_NE(ExitAndReadKnown().find("Vardion.exe\r\n"), std::string::npos);
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
    EXPECT_NE(WaitForNotice(), nullptr);
    EXPECT_EQ(ExitAndReadKnown(), old);
    // Said again at Exit, with what is lost now.
    EXPECT_NE(exitNotice.find("Vardion.exe"), std::string::npos) << exitNotice;
    EXPECT_EQ(SaveLeftovers(), Rows{});
    ::SetFileAttributesA(File("known.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Vardion, DirectoryInPlaceOfTheListFileLoadsNothingAndEndsCleanly) {
    ASSERT_TRUE(::CreateDirectoryA(File("known.dat").c_str(), nullptr));
    Start();
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    EXPECT_TRUE(ReadList(runningList).empty());
    ExitByTrayMenu();
    EXPECT_TRUE(::GetFileAttributesA(File("known.dat").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(SaveLeftovers(), Rows{});
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
        std::string saved = ExitAndReadKnown();
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
    std::string longName = "long" + std::to_string(::GetTickCount());
    longName += std::string(250 - 4 - longName.size(), 'n') + ".exe";
    ASSERT_EQ(longName.size(), 250u);
    const std::string longPath = "C:\\vl\\" + longName;

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
    std::string saved = ExitAndReadKnown();
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
    EXPECT_EQ(ExitAndReadKnown(), old);
    EXPECT_EQ(SaveLeftovers(), Rows{});
}

// "known.dat" as the file other programs and people also write: hand edits
// while Vardion runs, a second start in the same folder, a file held by
// another program, and a folder that cannot be written.
using KnownList = Vardion;

TEST_F(KnownList, LinesRemovedAndAddedByHandTakeEffectWhileVardionRuns) {
    std::string kept = PathOf(StartProgram("kept.exe"));
    std::string dropped = PathOf(StartProgram("dropped.exe"));
    std::string added = PathOf(StartProgram("added.exe"));
    WriteKnown(kept + "\r\n" + dropped + "\r\n");
    StartAndIgnore();
    ASSERT_TRUE(WaitFor([&] {
        Rows running = ReadList(runningList);
        return Contains(running, "kept.exe") && Contains(running, "dropped.exe") &&
               Contains(ReadList(untrustedList), "added.exe");
    }));

    WriteKnown(kept + "\r\n" + added + "\r\n");
    EXPECT_TRUE(WaitFor(
        [&] {
            Rows untrusted = ReadList(untrustedList);
            Rows running = ReadList(runningList);
            return Contains(untrusted, "dropped.exe") && !Contains(untrusted, "added.exe") &&
                   Contains(running, "added.exe") && !Contains(running, "dropped.exe");
        },
        3000));
    // Announced like any new program.
    EXPECT_TRUE(::IsWindowVisible(alert));
    EXPECT_EQ(ReadList(alertList), Rows{"dropped.exe"});
    EXPECT_EQ(ReadFile(File("known.dat")), kept + "\r\n" + added + "\r\n");  // nothing written
}

TEST_F(KnownList, HandEditStaysAfterAdd) {
    std::string first = PathOf(StartProgram("first.exe"));
    std::string later = PathOf(StartProgram("later.exe"));
    WriteKnown(first + "\r\n\r\n# notes\r\n");
    StartAndIgnore();
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "first.exe"); }));
    const std::string hand = "\\Device\\HarddiskVolume9\\by hand.exe";
    WriteKnown(first + "\r\n" + hand + "\r\n\r\n# notes\r\n");
    Add("later.exe");  // at once, before Vardion has read the edit
    const std::string expected = first + "\r\n" + hand + "\r\n" + later + "\r\n\r\n# notes\r\n";
    // Saved beside the window, a moment after the click.
    EXPECT_TRUE(WaitFor([&] { return ReadFile(File("known.dat")) == expected; }))
        << ReadFile(File("known.dat"));
    EXPECT_EQ(ExitAndReadKnown(), expected);
}

TEST_F(KnownList, SecondStartInTheFolderShowsTheFirstAndEnds) {
    std::string one = PathOf(StartProgram("one.exe"));
    StartAndIgnore();
    Add("one.exe");
    ::PostMessageA(main, WM_CLOSE, 0, 0);  // hidden, as after its close box
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main); }));

    PROCESS_INFORMATION second = Launch(BesideThisProgram("Vardion.exe"), dir);
    ASSERT_TRUE(second.hProcess);
    DWORD ended = ::WaitForSingleObject(second.hProcess, 10000);
    EndProcess(second);
    ASSERT_EQ(ended, WAIT_OBJECT_0) << "the second run did not end";
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(main); }));
    EXPECT_TRUE(Running());

    std::string two = PathOf(StartProgram("two.exe"));
    Add("two.exe");
    EXPECT_EQ(ExitAndReadKnown(), one + "\r\n" + two + "\r\n");
}

TEST_F(KnownList, FileHeldWithoutSharingAtStartIsLeftAsItWas) {
    const std::string old =
        "\\Device\\HarddiskVolume9\\a.exe\r\n\\Device\\HarddiskVolume9\\b.exe\r\n";
    WriteKnown(old);
    StartProgram("new.exe");
    HANDLE held = ::CreateFileA(File("known.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    StartAndIgnore();
    Add("new.exe");
    std::string text = NoticeText();
    EXPECT_NE(text.find("could not read"), std::string::npos) << text;
    EXPECT_NE(text.find(dir), std::string::npos) << text;
    ExitByTrayMenu();  // with the notice still open
    ::CloseHandle(held);
    EXPECT_EQ(ReadFile(File("known.dat")), old);
    EXPECT_EQ(SaveLeftovers(), Rows{});
}

TEST_F(KnownList, UnwritableFolderIsSaidOnceNamingTheFolder) {
    const std::string old = "\\Device\\HarddiskVolume9\\old.exe\r\n";
    WriteKnown(old);
    StartProgram("one.exe");  // the programs' folder exists before the lock
    LockedDirectory lock(dir);
    if (!lock.locked()) GTEST_SKIP() << "the directory could not be made unwritable here";
    StartAndIgnore();
    Add("one.exe");
    std::string text = NoticeText();
    EXPECT_NE(text.find("could not save"), std::string::npos) << text;
    EXPECT_NE(text.find(dir), std::string::npos) << text;

    StartProgram("two.exe");
    Add("two.exe");  // fails again: not said again
    Settle();
    EXPECT_EQ(Notices().size(), 1u);
    EXPECT_EQ(ExitAndReadKnown(), old);  // with the notice still open
    EXPECT_EQ(SaveLeftovers(), Rows{});
}

TEST_F(KnownList, HugeListFileIsLeftAloneWhileVardionAnswersAnnouncesAndExits) {
    std::string kept = PathOf(StartProgram("kept.exe"));
    WriteKnown(kept + "\r\n");
    Start();
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "kept.exe"); }));
    // Grown to 1.5 GB while Vardion runs, sparse, as a runaway writer or a damaged disk leaves it.
    HANDLE file = ::CreateFileA(File("known.dat").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER huge;
    huge.QuadPart = 1536ll << 20;
    EXPECT_TRUE(::SetFilePointerEx(file, huge, nullptr, FILE_BEGIN) && ::SetEndOfFile(file));
    ::CloseHandle(file);
    std::string text = NoticeText();
    EXPECT_NE(text.find("larger than 64 MB"), std::string::npos) << text;

    StartProgram("newcomer.exe");
    Add("newcomer.exe");  // the save cannot read the file: not said again
    EXPECT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "newcomer.exe"); }));
    EXPECT_TRUE(Contains(ReadList(runningList), "kept.exe"));  // the list in memory stays
    Settle();
    EXPECT_EQ(Notices().size(), 1u);
    ExitByTrayMenu();
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(::GetFileAttributesExA(File("known.dat").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ((static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
              huge.QuadPart);
    EXPECT_EQ(SaveLeftovers(), Rows{});
}

// A drive that stops answering, at start and while Vardion runs: the watch
// goes on with the list it has, the user is told, and Exit ends Vardion.
TEST_F(KnownList, ListFileThatNeverAnswersHoldsNeitherTheWatchNorExit) {
    StartProgram("first.exe");
    {
        SilentListFile silent(dir);
        if (!silent.held()) GTEST_SKIP() << "no file that never answers can be made here";
        Start();
        ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(untrustedList), "first.exe"); }, 10000))
            << "nothing announced while the read at start waits";
        std::string text = NoticeText();
        EXPECT_NE(text.find("does not answer"), std::string::npos) << text;
        ExitByTrayMenu();
        EXPECT_EQ(exitNotice, "");  // nothing was added, so nothing was lost
    }

    ::DeleteFileA(File("known.dat").c_str());
    StartAndIgnore();
    SilentListFile silent(dir);  // in place of the list while Vardion runs
    ASSERT_TRUE(silent.held());
    StartProgram("second.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    Add("second.exe");
    std::string text = NoticeText();
    EXPECT_NE(text.find("does not answer"), std::string::npos) << text;
    ExitByTrayMenu();
    EXPECT_NE(exitNotice.find(PathOf(programs.back().dwProcessId)), std::string::npos)
        << exitNotice;
}

// Which paths are one program and which are two. A folder or a name with a
// letter outside the code page is another program than its look-alike; names
// of a double-byte code page are listed as they are; a program whose process
// refuses to be opened is seen by its identifier.
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
    std::string saved = ExitAndReadKnown();
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
    StartProgramAt(File(L"svc\\open first.exe"), "D:");
    ASSERT_TRUE(WaitFor([&] { return Contains(ReadList(runningList), "open first.exe"); }));
    EXPECT_FALSE(Contains(ReadList(untrustedList), "open first.exe"));
}

// The tray icon as the shell draws it, read from the screen, and the tray
// menu; the tip over a row that moved in the alert's sorted list.
using Pixel = std::function<bool(DWORD)>;  // 0x00RRGGBB

size_t Count(const RECT& r, const Pixel& test) {
    std::vector<DWORD> pixels = ReadScreen(r);
    return static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), test));
}

// The lamp of the normal image is red, that of the alert image blue.
bool Red(DWORD p) {
    return (p >> 16) > 160 && ((p >> 8) & 0xFF) < 80 && (p & 0xFF) < 80;
}
bool Blue(DWORD p) {
    return (p & 0xFF) > 160 && (p >> 16) < 80 && ((p >> 8) & 0xFF) < 80;
}

class TrayTest : public Vardion {
  protected:
    // A colour of each test process's own, in neither of Vardion's images.
    const DWORD mark = 0x20D000 | (::GetCurrentProcessId() % 200 + 40);

    //! Gives Vardion's icon a plain image of the mark's colour, as another
    //! program may: the shell shows it until Vardion sends an image.
    bool Mark() {
        std::vector<BYTE> opaque(32 * 32 / 8, 0);
        std::vector<DWORD> colour(32 * 32, mark);
        HICON icon = ::CreateIcon(nullptr, 32, 32, 1, 32, opaque.data(),
                                  reinterpret_cast<const BYTE*>(colour.data()));
        NOTIFYICONDATAA data = {};
        data.cbSize = NOTIFYICONDATAA_V1_SIZE;
        data.hWnd = main;
        data.uFlags = NIF_ICON;
        data.hIcon = icon;
        bool marked = ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
        ::DestroyIcon(icon);
        return marked;
    }

    //! Where the shell draws the mark; empty while it draws none.
    RECT MarkedIcon() {
        RECT tray = {}, found = {LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
        ::GetWindowRect(::FindWindowA("Shell_TrayWnd", nullptr), &tray);
        std::vector<DWORD> pixels = ReadScreen(tray);
        LONG width = tray.right - tray.left;
        for (size_t i = 0; i < pixels.size(); ++i) {
            if (pixels[i] != mark) continue;
            LONG x = tray.left + static_cast<LONG>(i) % width,
                 y = tray.top + static_cast<LONG>(i) / width;
            found = {std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
                     std::max(found.bottom, y + 1)};
        }
        return found.left == LONG_MAX ? RECT{} : found;
    }
};

TEST_F(TrayTest, AtRestNoImageReachesTheShellAndWhileTheAlertShowsTheIconBlinks) {
    StartTrustingAll();
    Settle();  // the image of the dismissed alert has been sent

    ASSERT_TRUE(Mark());
    RECT icon = {};
    bool onScreen = WaitFor([&] {
        icon = MarkedIcon();
        return icon.right > icon.left;
    });
    // Windows puts a new program's icon among the hidden ones, behind the
    // taskbar's arrow, until the user moves it out; Wine shows every icon.
    if (!onScreen && !UnderWine()) GTEST_SKIP() << "the shell keeps the icon off the taskbar";
    ASSERT_TRUE(onScreen) << "the marked icon is not on the screen";
    // For more than a second, each round a whole tick: the mark stays.
    int ticks = 0;
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1200);
         std::chrono::steady_clock::now() < end; ++ticks) {
        Settle();
    }
    EXPECT_GE(ticks, 3);
    EXPECT_GT(Count(icon, [&](DWORD p) { return p == mark; }), 0u) << "an image was sent at rest";

    // A new program raises the alert: red and blue take turns where the mark was.
    StartProgram("blinking.exe");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowVisible(alert); }));
    bool red = false, blue = false;
    WaitFor(
        [&] {
            size_t reds = Count(icon, Red), blues = Count(icon, Blue);
            red = red || (reds > 0 && blues == 0);
            blue = blue || (blues > 0 && reds == 0);
            return red && blue;
        },
        5000);
    EXPECT_TRUE(red) << "the normal image was not seen while the alert showed";
    EXPECT_TRUE(blue) << "the alert image was not seen while the alert showed";

    // Dismissed, the icon comes to rest on the normal image.
    Click(alert, kIgnore);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(alert); }));
    EXPECT_TRUE(WaitFor([&] { return Count(icon, Red) > 0 && Count(icon, Blue) == 0; }, 2000));
}

TEST_F(TrayTest, SecondPressWhileTheMenuIsOpenIsIgnoredAndExitStillEnds) {
    StartAndIgnore();
    HWND menu = OpenTrayMenu();
    ASSERT_TRUE(menu) << "no tray menu";
    Tray(WM_RBUTTONDOWN);  // handled by the open menu's loop
    Settle();
    EXPECT_TRUE(::IsWindow(menu) && ::IsWindowVisible(menu)) << "the open menu was closed";
    ChooseExit(menu);
}

// Stands in for the shell's notification area while it lives: Vardion's next
// call to the shell that modifies its icon reaches it, and `during` runs while
// Vardion waits for the answer, inside a tick.
class StandInShell {
  public:
    explicit StandInShell(std::function<void()> during) {
        s_during = std::move(during);
        WNDCLASSA type = {};
        type.lpfnWndProc = Proc;
        type.hInstance = ::GetModuleHandleA(nullptr);
        type.lpszClassName = "Shell_TrayWnd";
        ::RegisterClassA(&type);
        // Topmost and new: the first of its class that a search finds.
        m_window =
            ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, 0,
                              1, 1, nullptr, nullptr, type.hInstance, nullptr);
    }
    ~StandInShell() { ::DestroyWindow(m_window); }

    //! Handles messages until `during` has run; false if it did not in time.
    bool Serve(int milliseconds) {
        for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
             s_during && std::chrono::steady_clock::now() < end;) {
            MSG message;
            while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return !s_during;
    }

  private:
    // Which call of Shell_NotifyIcon reached the shell. Neither system
    // documents the message: Wine's shell32 passes the call as the data's
    // number; Windows' passes 1 there, and the call after a signature that
    // begins the data.
    static DWORD NotifyCall(const COPYDATASTRUCT& data) {
        constexpr DWORD kSignature = 0x34753423;
        DWORD head[2] = {};
        if (data.cbData >= sizeof head) std::memcpy(head, data.lpData, sizeof head);
        return head[0] == kSignature ? head[1] : static_cast<DWORD>(data.dwData);
    }

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_COPYDATA) return ::DefWindowProcA(window, message, wParam, lParam);
        if (NotifyCall(*reinterpret_cast<const COPYDATASTRUCT*>(lParam)) == NIM_MODIFY &&
            s_during) {
            std::function<void()> during = std::move(s_during);
            s_during = nullptr;
            during();
        }
        return TRUE;
    }
    static std::function<void()> s_during;
    HWND m_window;
};
std::function<void()> StandInShell::s_during;

TEST_F(TrayTest, MenuOpenedInsideATickRunsNoTickThereAndExitStillEnds) {
    StartAndIgnore();
    const wchar_t marker[] = L"(a tick inside a tick deletes this)";
    bool menuShown = false, markerKept = false;
    {
        StandInShell shell([&] {
            // A right click that reaches Vardion while it waits for the shell.
            ::SendNotifyMessageA(main, kTrayCallback, 0, WM_RBUTTONDOWN);
            HWND menu = nullptr;
            menuShown = WaitFor([&] { return (menu = FindShown(vardion.dwProcessId, "#32768")); });
            if (!menuShown) return;
            // The menu's loop runs: it answers, and ticks are due.
            Ask(runningList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(marker));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            markerKept = Contains(ReadList(runningList), Narrow(marker));
            Key(menu, VK_DOWN);
            Key(menu, VK_RETURN);  // Exit
            WaitFor([&] { return !::IsWindowVisible(menu); });
        });
        // Added again, the icon's image is sent by the next tick, to the stand-in.
        ::PostMessageA(main, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        ASSERT_TRUE(shell.Serve(10000)) << "no modify call reached the stand-in shell";
    }  // gone before Vardion's close-down removes its icon
    EXPECT_TRUE(menuShown);
    EXPECT_TRUE(markerKept) << "ticks ran inside the tick";
    EXPECT_EQ(::WaitForSingleObject(vardion.hProcess, 10000), WAIT_OBJECT_0) << "still running";
    // Ended by its own close-down: a crash would leave an exception code.
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_TRUE(::GetExitCodeProcess(vardion.hProcess, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
