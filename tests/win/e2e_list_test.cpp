// End-to-end tests of "known.dat" as the file other programs and people also
// write: hand edits while Vardion runs, a second start in the same folder, a
// file held by another program, and a folder that cannot be written.
#include "tests/win/e2e_fixture.h"

namespace {

using namespace e2e;

const char kNoticeCaption[] = "Vardion: trusted programs not saved";

class KnownList : public Vardion {
  protected:
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
    //! Waits for the one notice and returns the text it shows.
    std::string NoticeText() {
        std::vector<HWND> shown;
        if (!WaitFor([&] { return (shown = Notices()).size() == 1; })) return "no notice";
        return WindowText(::GetDlgItem(shown[0], 0xFFFF));  // a message box's text
    }
    std::string PathOf(DWORD programId) {
        for (PROCESS_INFORMATION& program : programs) {
            if (program.dwProcessId == programId) return ImagePathOf(program.hProcess);
        }
        return {};
    }
};

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
    EXPECT_EQ(ReadFile(File("known.dat")), expected);
    ExitByTrayMenu();
    EXPECT_EQ(ReadFile(File("known.dat")), expected);
}

TEST_F(KnownList, SecondStartInTheFolderShowsTheFirstAndEnds) {
    std::string one = PathOf(StartProgram("one.exe"));
    StartAndIgnore();
    Add("one.exe");
    ::PostMessageA(main, WM_CLOSE, 0, 0);  // hidden, as after its close box
    ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(main); }));

    PROCESS_INFORMATION second = Launch(WindowsPath(VARDION_EXE), dir);
    ASSERT_TRUE(second.hProcess);
    DWORD ended = ::WaitForSingleObject(second.hProcess, 10000);
    EndProcess(second);
    ASSERT_EQ(ended, WAIT_OBJECT_0) << "the second run did not end";
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(main); }));
    EXPECT_TRUE(Running());

    std::string two = PathOf(StartProgram("two.exe"));
    Add("two.exe");
    ExitByTrayMenu();
    EXPECT_EQ(ReadFile(File("known.dat")), one + "\r\n" + two + "\r\n");
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
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
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
    ExitByTrayMenu();  // with the notice still open
    EXPECT_EQ(ReadFile(File("known.dat")), old);
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
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
    EXPECT_FALSE(FileExists(File("known.dat.tmp")));
}

}  // namespace
