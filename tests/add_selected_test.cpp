// "<< Add": selected untrusted rows move into the trusted list.
#include "tests/scan_fixture.h"

namespace {

class AddTest : public WatchTest {
  protected:
    TempDir dir;  // the current directory, where "known.dat" is saved

    //! Lists n untrusted programs p0.exe ... by one tick.
    void ListUntrusted(int n) {
        for (int i = 0; i < n; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
        Tick();
        ASSERT_EQ(untrusted.GetCount(), n);
    }
    void Select(std::initializer_list<int> rows) {
        for (int row : rows) untrusted.SetSel(true, row);
    }
};

TEST_F(AddTest, NothingSelectedChangesNothing) {
    ListUntrusted(3);
    watch.AddSelected();
    EXPECT_EQ(untrusted.GetCount(), 3);
    EXPECT_TRUE(known.m_known.empty());
}

TEST_F(AddTest, OneRowMovesAndTheRestStayAligned) {
    ListUntrusted(4);
    Select({2});
    watch.AddSelected();
    EXPECT_EQ(known.m_known, (StringList{Path("p2.exe")}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"p0.exe", "p1.exe", "p3.exe"}));
    ExpectAligned();
}

TEST_F(AddTest, RowsZeroTwoAndFiveMoveInListOrder) {
    ListUntrusted(7);
    Select({5, 0, 2});
    watch.AddSelected();
    EXPECT_EQ(known.m_known, (StringList{Path("p0.exe"), Path("p2.exe"), Path("p5.exe")}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"p1.exe", "p3.exe", "p4.exe", "p6.exe"}));
    ExpectAligned();
}

TEST_F(AddTest, MoreThanOneQueryOfSelectionMovesAll) {
    ListUntrusted(75);
    for (int i = 0; i < 75; ++i) {
        if (i != 40) untrusted.SetSel(true, i);
    }
    watch.AddSelected();
    EXPECT_EQ(known.m_known.size(), 74u);
    EXPECT_EQ(known.m_known.back(), Path("p74.exe"));
    EXPECT_EQ(untrusted.Rows(), (Rows{"p40.exe"}));
    ExpectAligned();
}

TEST_F(AddTest, AllRowsSelectedEmptiesTheList) {
    ListUntrusted(5);
    untrusted.SetSel(true, -1);
    watch.AddSelected();
    EXPECT_EQ(untrusted.GetCount(), 0);
    EXPECT_TRUE(watch.m_untrusted.empty());
    EXPECT_EQ(known.m_known.size(), 5u);
}

TEST_F(AddTest, MovedProgramRunsAsTrustedFromTheNextTick) {
    ListUntrusted(2);
    Select({1});
    watch.AddSelected();
    alert.calls.clear();
    Tick();
    EXPECT_EQ(running.Rows(), (Rows{"p1.exe"}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"p0.exe"}));
    EXPECT_TRUE(alert.calls.empty());
    EXPECT_EQ(alert.list.Rows(), (Rows{"p0.exe", "p1.exe"}));  // the alert's list is left alone
}

TEST_F(AddTest, MovedProgramThatEndedIsTrustedButNotShownRunning) {
    uint32_t id = processes.Start(Path("brief.exe"));
    Tick();
    processes.End(id);
    Select({0});
    watch.AddSelected();
    Tick();
    EXPECT_EQ(known.m_known, (StringList{Path("brief.exe")}));
    EXPECT_EQ(running.GetCount(), 0);
}

TEST_F(AddTest, SameNameElsewhereIsNewOnceTheRowIsGone) {
    processes.Start(Path("tool.exe", "First"));
    Tick();
    processes.Start(Path("tool.exe", "Second"));
    Select({0});
    watch.AddSelected();
    alert.Ignore();
    Tick();
    EXPECT_EQ(watch.m_untrusted, (StringList{Path("tool.exe", "Second")}));
    EXPECT_TRUE(alert.visible);
    EXPECT_EQ(running.Rows(), (Rows{"tool.exe"}));
}

TEST_F(AddTest, SelectedRowWithoutPathIsRemovedSafely) {
    ListUntrusted(2);
    untrusted.AddString("stray.exe");  // a row with no path entry
    Select({2});
    watch.AddSelected();
    EXPECT_EQ(untrusted.Rows(), (Rows{"p0.exe", "p1.exe"}));
    EXPECT_TRUE(known.m_known.empty());
    ExpectAligned();
}

TEST_F(AddTest, SavesAtOnceExactlyWhenItMovedARow) {
    ListUntrusted(3);
    watch.AddSelected();               // nothing selected
    untrusted.AddString("stray.exe");  // a row with no path: removed, nothing trusted
    Select({3});
    watch.AddSelected();
    EXPECT_EQ(files.replaces, 0);
    EXPECT_FALSE(dir.Exists(kKnownFileName));

    Select({0, 2});
    watch.AddSelected();
    EXPECT_EQ(files.replaces, 1);
    EXPECT_EQ(dir.Read(kKnownFileName), Path("p0.exe") + "\r\n" + Path("p2.exe") + "\r\n");
}

TEST_F(AddTest, FailedSaveKeepsTheAdditionForTheNextSave) {
    ListUntrusted(2);
    files.failCreate = true;
    Select({0});
    watch.AddSelected();
    EXPECT_EQ(known.m_known, (StringList{Path("p0.exe")}));
    EXPECT_FALSE(dir.Exists(kKnownFileName));

    files.failCreate = false;
    Select({0});
    watch.AddSelected();
    EXPECT_EQ(dir.Read(kKnownFileName), Path("p0.exe") + "\r\n" + Path("p1.exe") + "\r\n");
}

// A list box that reports a selection it cannot delete: the operation must still end.
class StuckListBox : public ListBoxModel {
  public:
    using ListBoxModel::ListBoxModel;
    int DeleteString(int) override { return kError; }
};

// An answer without a backslash names no program file: the system's own
// processes ("Registry") answer so. Such a process is never listed.
TEST_F(AddTest, AnswerWithoutBackslashIsNeverListed) {
    processes.Start("bare.exe");        // no folder at all
    processes.Start("C:relative.exe");  // a drive but no backslash
    processes.Start(Path("bare.exe"));  // a program of the same name
    Tick(2);
    EXPECT_EQ(untrusted.Rows(), (Rows{"bare.exe"}));
    EXPECT_EQ(watch.m_untrusted, (StringList{Path("bare.exe")}));
    untrusted.SetSel(true, -1);
    watch.AddSelected();
    EXPECT_EQ(known.m_known, (StringList{Path("bare.exe")}));
    Tick();
    EXPECT_EQ(running.Rows(), (Rows{"bare.exe"}));
    EXPECT_EQ(untrusted.GetCount(), 0);
}

TEST_F(AddTest, ThousandsOfProcessesSortIntoTheRightLists) {
    // 6000 processes of 3000 programs, every third trusted, with names in two cases.
    for (int i = 0; i < 3000; ++i) {
        std::string name = (i % 2 ? "P" : "p") + std::to_string(i) + ".exe";
        if (i % 3 == 0) Trust(Path(name));
        processes.Start(Path(name));
        processes.Start(Path(name));
    }
    Tick(2);
    EXPECT_EQ(running.GetCount(), 1000);
    EXPECT_EQ(untrusted.GetCount(), 2000);
    ExpectAligned();
    EXPECT_EQ(processes.questions, 6000);  // each process once
    untrusted.SetSel(true, -1);
    watch.AddSelected();
    Tick(2);  // the second process of each program is a row for one tick
    EXPECT_EQ(running.GetCount(), 3000);
    EXPECT_EQ(untrusted.GetCount(), 0);
    EXPECT_EQ(known.m_known.size(), 3000u);
}

TEST(AddStuck, UndeletableSelectionDoesNotHangAndMovesNothing) {
    TempDir dir;
    ProcessTable processes;
    WatcherOf<StuckListBox> w{processes};
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    w.watch.ScanProcesses();
    w.untrusted.SetSel(true, 0);
    w.watch.AddSelected();
    // The row could not go, so its path stays with it: nothing trusted, nothing saved.
    EXPECT_TRUE(w.known.m_known.empty());
    EXPECT_EQ(w.watch.m_untrusted, (StringList{Path("a.exe"), Path("b.exe")}));
    EXPECT_EQ(w.untrusted.Rows(), (Rows{"a.exe", "b.exe"}));
    EXPECT_EQ(w.files.replaces, 0);
}

}  // namespace
