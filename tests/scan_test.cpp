// The watch against the models: one tick of the scan, and several; "known.dat"
// changed on disk while the watcher runs; "<< Add"; the scan's memory of each
// process's path; and the list box model itself against the expectations real
// list boxes are held to. Each part under a comment of its own.
#include "tests/list_box_contract.h"
#include "tests/scan_fixture.h"

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace {

TEST(BaseName, TextAfterTheLastBackslash) {
    CodePageModel codePage;
    EXPECT_EQ(BaseName("\\Device\\HarddiskVolume1\\Windows\\notepad.exe", codePage), "notepad.exe");
    EXPECT_EQ(BaseName("plain.exe", codePage), "plain.exe");  // no backslash: the whole text
    EXPECT_EQ(BaseName("\\Device\\dir\\", codePage), "");
}

TEST_F(WatchTest, FirstRunListsEveryDistinctNameOnceInEnumerationOrder) {
    processes.Start(Path("zeta.exe"));
    processes.Start(Path("Alpha.exe"));
    processes.Start(Path("alpha.exe", "Other"));  // same name, case ignored
    processes.Start(Path("zeta.exe"));            // a second process of one program
    processes.Start(Path("beta.exe"));
    Tick();

    EXPECT_EQ(untrusted.Rows(), (Rows{"zeta.exe", "Alpha.exe", "beta.exe"}));
    EXPECT_EQ(watch.m_untrusted,
              (StringList{Path("zeta.exe"), Path("Alpha.exe"), Path("beta.exe")}));
    EXPECT_EQ(alert.list.Rows(), (Rows{"Alpha.exe", "beta.exe", "zeta.exe"}));  // sorted
    EXPECT_EQ(alert.paths, watch.m_untrusted);  // each name with the path it was found at
    EXPECT_TRUE(alert.visible);
    EXPECT_EQ(running.GetCount(), 0);
    ExpectAligned();
}

TEST_F(WatchTest, NewUntrustedNameCallsTheAlertInOrder) {
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    Tick();
    EXPECT_EQ(alert.calls, (Rows{"RewritePlacement", "AddAlertName a.exe", "ShowAlert",
                                 "RewritePlacement", "AddAlertName b.exe", "ShowAlert"}));
}

TEST_F(WatchTest, ListedNameRaisesNoSecondAlertAfterIgnore) {
    processes.Start(Path("a.exe"));
    Tick();
    alert.Ignore();
    alert.calls.clear();
    processes.Start(Path("A.EXE", "Elsewhere"));
    Tick(3);
    EXPECT_TRUE(alert.calls.empty());
    EXPECT_FALSE(alert.visible);
    EXPECT_EQ(watch.m_untrusted, (StringList{Path("a.exe")}));

    processes.Start(Path("new.exe"));
    Tick();
    EXPECT_TRUE(alert.visible);
    EXPECT_EQ(alert.list.Rows(), (Rows{"new.exe"}));
}

// The running and untrusted lists through rounds: programs of the folder Tools
// trusted, started and ended, then the round's ticks.
struct Round {
    std::vector<std::string> trust, start, end;
    Rows running, untrusted;  // after the ticks
    int adds, deletes;        // rows added to and deleted from the running list so far
    int ticks = 1;
};
struct Rounds {
    const char* name;
    std::vector<Round> rounds;
};

void PrintTo(const Rounds& rounds, std::ostream* out) {
    *out << rounds.name;
}

class RunningList : public WatchTest, public ::testing::WithParamInterface<Rounds> {};

TEST_P(RunningList, FollowsTheProcessesRoundByRound) {
    std::multimap<std::string, uint32_t> ids;
    bool alerted = false;
    for (const Round& round : GetParam().rounds) {
        SCOPED_TRACE("round " + std::to_string(&round - GetParam().rounds.data() + 1));
        for (const std::string& name : round.trust) Trust(Path(name));
        for (const std::string& name : round.start) ids.emplace(name, processes.Start(Path(name)));
        for (const std::string& name : round.end) {
            processes.End(ids.find(name)->second);
            ids.erase(ids.find(name));
        }
        Tick(round.ticks);
        EXPECT_EQ(running.Rows(), round.running);
        EXPECT_EQ(untrusted.Rows(), round.untrusted);
        EXPECT_EQ(running.adds, round.adds);
        EXPECT_EQ(running.deletes, round.deletes);
        ExpectAligned();
        alerted = alerted || !round.untrusted.empty();
        EXPECT_EQ(alert.visible, alerted);
    }
}

// Each round: trusted, started, ended; then running, untrusted, adds, deletes, ticks.
const std::string kLong = std::string(3000, 'r') + ".exe";
const std::vector<std::string> kFour = {"a.exe", "b.exe", "c.exe", "d.exe"};
INSTANTIATE_TEST_SUITE_P(
    Scan, RunningList,
    ::testing::Values(
        Rounds{"UntrustedRowsStayAfterTheirProcessEnds",
               {{{}, {"gone.exe"}, {}, {}, {"gone.exe"}, 0, 0},
                {{}, {}, {"gone.exe"}, {}, {"gone.exe"}, 0, 0}}},
        Rounds{"TrustedProcessesFillTheRunningListSortedAndLeaveWhenTheyEnd",
               {{{"b.exe", "a.exe"}, {"b.exe", "a.exe"}, {}, {"a.exe", "b.exe"}, {}, 2, 0},
                {{}, {}, {"b.exe"}, {"a.exe"}, {}, 2, 1}}},
        Rounds{"StableRunningListIsNotRebuiltOnEveryTick",
               {{{"a.exe"}, {"a.exe"}, {}, {"a.exe"}, {}, 1, 0},
                {{}, {}, {}, {"a.exe"}, {}, 1, 0, 5}}},
        // Both new in one tick, then the first row consumes both.
        Rounds{"TwoProcessesOfOneTrustedProgramSettleToOneRow",
               {{{"twin.exe"}, {"twin.exe", "twin.exe"}, {}, {"twin.exe", "twin.exe"}, {}, 2, 0},
                {{}, {}, {}, {"twin.exe"}, {}, 2, 1},
                {{}, {}, {}, {"twin.exe"}, {}, 2, 1}}},
        Rounds{"SecondProcessOfAListedTrustedProgramAddsNoRow",
               {{{"one.exe"}, {"one.exe"}, {}, {"one.exe"}, {}, 1, 0},
                {{}, {"one.exe"}, {}, {"one.exe"}, {}, 1, 0}}},
        // Two neighbouring rows go in one tick.
        Rounds{"DeletionStepsBackSoNoRowIsSkipped",
               {{kFour, kFour, {}, kFour, {}, 4, 0},
                {{}, {}, {"a.exe", "b.exe", "d.exe"}, {"c.exe"}, {}, 4, 3}}},
        // Another path for the trusted list; two running names that differ in case are two rows.
        Rounds{"CaseOfNamesAndPaths",
               {{{"Tool.exe"}, {"Tool.exe", "tool.exe"}, {}, {"Tool.exe"}, {"tool.exe"}, 1, 0},
                {{"tool.exe"}, {}, {}, {"Tool.exe", "tool.exe"}, {"tool.exe"}, 2, 0}}},
        Rounds{"LongRunningNamesAreComparedWhole", {{{kLong}, {kLong}, {}, {kLong}, {}, 1, 0, 3}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(WatchTest, ProcessesThatCannotBeExaminedAreSkipped) {
    processes.noIdQuery = true;  // as a system that gives no path by identifier
    ProcessTable::Process locked;
    locked.path = Path("locked.exe");
    locked.opens = false;
    processes.Start(locked);
    ProcessTable::Process pathless;  // opens, but reports no path
    processes.Start(pathless);
    Tick();
    EXPECT_EQ(untrusted.GetCount(), 0);
    EXPECT_EQ(running.GetCount(), 0);
    EXPECT_FALSE(alert.visible);
}

// A process that refuses every access, or gives no path, is classified by the
// path the system gives for its identifier, in the device form of every other.
TEST_F(WatchTest, ProcessThatRefusesToOpenIsClassifiedByItsIdentifier) {
    struct Refusing {
        std::string path, idPath;
    } refusing[] = {
        {Path("service.exe"), ""},
        {Path("trusted service.exe"), ""},
        {Path("dos form.exe"), "\\??\\C:\\Tools\\dos form.exe"},  // as Wine answers
        {Path("trusted dos.exe"), "\\??\\c:\\Tools\\trusted dos.exe"},
        {"", "Registry"},  // a pseudo-process: a bare name, no program file
        {"", ""},          // an empty name
    };
    Trust(Path("trusted service.exe"));
    Trust(Path("trusted dos.exe"));
    for (const Refusing& r : refusing) {
        ProcessTable::Process p;
        p.path = r.path;
        p.idPath = r.idPath;
        p.opens = false;
        processes.Start(p);
    }
    ProcessTable::Process pathless;  // opens, but gives no path through its handle
    pathless.idPath = Path("pathless.exe");
    processes.Start(pathless);
    Tick();
    EXPECT_EQ(untrusted.Rows(), (Rows{"service.exe", "dos form.exe", "pathless.exe"}));
    EXPECT_EQ(watch.m_untrusted,
              (StringList{Path("service.exe"), Path("dos form.exe"), Path("pathless.exe")}));
    EXPECT_EQ(running.Rows(), (Rows{"trusted dos.exe", "trusted service.exe"}));
    EXPECT_TRUE(alert.visible);
    EXPECT_EQ(processes.questions, 7);
    EXPECT_EQ(codePage.deviceLookups, 1);  // one drive, asked once
}

TEST_F(WatchTest, NamesOfEveryCodePageAreListedAsTheFilesAre) {
    CodePageModel cp932(932);
    ListBoxModel rows{ListBoxModel::Order::Unsorted, ListBoxModel::Selection::Extended};
    ProcessWatch w{processes, cp932, known, running, rows, alert, tray};
    Trust(Path("twin.exe", "ne tools"));
    processes.Start(Path(u8"\u30BD\u30D5\u30C8.exe"));     // ソフト.exe
    processes.Start(Path(u8"\u8868.exe"));                 // 表.exe
    processes.Start(Path(u8"\u5341.exe"));                 // 十.exe
    processes.Start(Path("twin.exe", u8"ne t\u014Dols"));  // a look-alike folder
    processes.Start(Path("twin.exe", "ne tools"));
    processes.Start(Path(u8"\u03A9mega.exe"));  // one of 932's own letters
    w.ScanProcesses();
    EXPECT_EQ(rows.Rows(), (Rows{"\x83\x5C\x83\x74\x83\x67.exe", "\x95\x5C.exe", "\x8F\x5C.exe",
                                 "twin.exe", "\x83\xB6mega.exe"}));
    EXPECT_EQ(w.m_untrusted[3], Path("twin.exe", "ne t<U+014D>ols"));
    EXPECT_EQ(running.Rows(), (Rows{"twin.exe"}));

    // In 1252 a look-alike letter is no letter of the code page: Ω and O are two programs.
    Trust(Path("Omega.exe"));
    processes.EndAll();
    processes.Start(Path(u8"\u03A9mega.exe"));
    processes.Start(Path("Omega.exe"));
    Tick();
    EXPECT_EQ(untrusted.Rows(), (Rows{"<U+03A9>mega.exe"}));
    EXPECT_EQ(running.Rows(), (Rows{"Omega.exe"}));
}

// Exactly a full first buffer of processes, then more than one.
TEST_F(WatchTest, ProcessesBeyondTheFirst1024AreExamined) {
    int started = 0;
    for (int count : {1024, 3000}) {
        for (; started < count; ++started)
            processes.Start(Path("p" + std::to_string(started) + ".exe"));
        Tick();
        EXPECT_EQ(untrusted.GetCount(), count);
        EXPECT_EQ(untrusted.Rows().back(), "p" + std::to_string(count - 1) + ".exe");
        ExpectAligned();
    }
}

TEST_F(WatchTest, LongImagePathsAreReadWhole) {
    std::string longPath = Path(std::string(3000, 'd') + "\\deep.exe");
    std::string edge = "\\D\\" + std::string(1020, 'e');  // 1023 characters fit the first buffer
    Trust(longPath);
    processes.Start(longPath);
    processes.Start(edge);
    Tick();
    EXPECT_EQ(running.Rows(), (Rows{"deep.exe"}));
    EXPECT_EQ(watch.m_untrusted, (StringList{edge}));

    std::string limit = "\\" + std::string(32766, 'L');  // 32,767 units: the most there is
    processes.Start(limit);
    Tick();
    EXPECT_EQ(watch.m_untrusted, (StringList{edge, limit}));
}

TEST_F(WatchTest, FailedEnumerationEmptiesTheRunningListAndStillBlinks) {
    Trust(Path("a.exe"));
    processes.Start(Path("a.exe"));
    Tick();
    processes.failList = true;
    alert.visible = true;
    Tick(2);
    EXPECT_EQ(running.GetCount(), 0);
    EXPECT_EQ(tray.images, (std::vector<unsigned>{130, 132}));
}

// The image is sent when it changes, when the icon was added again, and again
// after the shell refused it; the blink goes on tick by tick while the alert shows.
TEST_F(WatchTest, TrayImageIsSentOnlyWhenItChanges) {
    struct Step {
        const char* what;
        bool visible;
        bool added;     // the icon added again before the tick
        bool refuse;    // the shell refuses the call
        unsigned sent;  // 0: nothing sent
    };
    const Step steps[] = {
        {"first tick: the icon's image is not known", false, false, false, 130},
        {"at rest", false, false, false, 0},
        {"still at rest", false, false, false, 0},
        {"alert shown on an even tick: normal image", true, false, false, 0},
        {"blink: alert image", true, false, false, 132},
        {"blink: normal image", true, false, false, 130},
        {"blink: alert image again", true, false, false, 132},
        {"dismissed: back to normal", false, false, false, 130},
        {"at rest after the alert", false, false, false, 0},
        {"icon added again", false, true, false, 130},
        {"at rest after the new icon", false, false, false, 0},
        {"alert shown again on an even tick", true, false, false, 0},
        {"blink refused by the shell", true, false, true, 132},
        {"image unknown after a refusal", true, false, false, 130},
        {"blink goes on", true, false, false, 132},
        {"icon added again while blinking", true, true, false, 130},
        {"blinking", true, false, false, 132},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        alert.visible = step.visible;
        tray.refuse = step.refuse;
        if (step.added) watch.TrayIconAdded();
        tray.images.clear();
        Tick();
        EXPECT_EQ(tray.images,
                  step.sent ? std::vector<unsigned>{step.sent} : std::vector<unsigned>{});
    }
}

TEST_F(WatchTest, TickInsideATickDoesNothing) {
    Trust(Path("a.exe"));
    processes.Start(Path("a.exe"));
    std::vector<bool> nested;
    // The shell's round trip runs a tick between reconciling and adding rows.
    tray.during = [&] { nested.push_back(watch.ScanProcesses()); };
    Tick();
    EXPECT_EQ(nested, (std::vector<bool>{false}));
    EXPECT_EQ(running.Rows(), (Rows{"a.exe"}));  // no second row from the inner tick
    EXPECT_TRUE(g_blinkPhase);                   // inverted once
    EXPECT_FALSE(watch.Scanning());
    tray.during = nullptr;
    EXPECT_TRUE(watch.ScanProcesses());
}

TEST_F(WatchTest, VisibilityIsAskedOnlyOnEveryOtherTick) {
    alert.visible = true;
    Tick(6);
    EXPECT_EQ(alert.visibilityQueries, 3);
    EXPECT_EQ(tray.images, (std::vector<unsigned>{132, 130, 132, 130, 132, 130}));
}

TEST_F(WatchTest, EmptyListsTouchNoRow) {
    Tick();
    EXPECT_EQ(running.adds, 0);
    EXPECT_EQ(running.deletes, 0);
    EXPECT_EQ(tray.images, (std::vector<unsigned>{130}));
}

// Once the lists show what runs, a tick counts the running rows, asks the
// list boxes nothing else and changes no row; each change is taken in by the
// next tick, a row put in by another hand too, and the lists are at rest
// again after it.
TEST_F(WatchTest, TickAtRestLeavesTheListBoxesAlone) {
    struct Step {
        const char* what;
        std::function<void()> change;
        Rows running, untrusted;
    };
    Trust(Path("a.exe"));
    Trust(Path("twin.exe"));
    uint32_t a = processes.Start(Path("a.exe"));
    processes.Start(Path("twin.exe"));
    processes.Start(Path("twin.exe"));  // two rows at first, one after the next tick
    processes.Start(Path("b.exe"));
    processes.Start(Path("B.EXE", "Other"));  // listed under b.exe's row
    const Step steps[] = {
        {"first ticks", [] {}, {"a.exe", "twin.exe"}, {"b.exe"}},
        {"an untrusted program starts",
         [&] { processes.Start(Path("c.exe")); },
         {"a.exe", "twin.exe"},
         {"b.exe", "c.exe"}},
        {"a trusted program ends", [&] { processes.End(a); }, {"twin.exe"}, {"b.exe", "c.exe"}},
        {"a row added from outside",
         [&] { running.AddString("stray.exe"); },
         {"twin.exe"},
         {"b.exe", "c.exe"}},
        {"b.exe's row moved by Add: B.EXE is new",
         [&] {
             untrusted.SetSel(true, 0);
             watch.AddSelected();
         },
         {"b.exe", "twin.exe"},
         {"c.exe", "B.EXE"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        Tick(3);
        EXPECT_EQ(running.Rows(), step.running);
        EXPECT_EQ(untrusted.Rows(), step.untrusted);
        ExpectAligned();
        int adds = running.adds + untrusted.adds, deletes = running.deletes + untrusted.deletes;
        running.reads = untrusted.reads = 0;
        Tick(5);
        EXPECT_EQ(running.reads, 5);
        EXPECT_EQ(untrusted.reads, 0);
        EXPECT_EQ(running.adds + untrusted.adds, adds);
        EXPECT_EQ(running.deletes + untrusted.deletes, deletes);
    }
}

// A list box that refuses new rows, as a real one does when out of memory.
class FullListBox : public ListBoxModel {
  public:
    using ListBoxModel::ListBoxModel;
    int AddString(const char*) override { return -2; }  // LB_ERRSPACE
};

TEST(WatchFullList, RowThatCannotBeAddedRecordsNoPath) {
    g_blinkPhase = false;
    ProcessTable processes;
    WatcherOf<FullListBox> w{processes};
    processes.Start(Path("a.exe"));
    w.watch.ScanProcesses();
    EXPECT_TRUE(w.watch.m_untrusted.empty());
    EXPECT_TRUE(w.alert.calls.empty());
}

// "known.dat" changed on disk while the watcher runs: the next ticks take it in.
class LiveList : public WatchTest {
  protected:
    TempDir dir;  // the current directory, where "known.dat" lies

    void WriteList(std::initializer_list<std::string> names, const std::string& cut = "") {
        std::string bytes;
        for (const std::string& name : names) bytes += Path(name) + "\r\n";
        dir.Write(kKnownFileName, bytes + cut);
    }
};

TEST_F(LiveList, LinesRemovedAndAddedByHandTakeEffectOnceTheFileHoldsStill) {
    WriteList({"a.exe", "b.exe"});
    known.LoadKnown();
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    processes.Start(Path("c.exe"));
    processes.Start(Path("d.exe"));
    int reads = files.reads;
    Tick(4);
    ASSERT_EQ(running.Rows(), (Rows{"a.exe", "b.exe"}));
    ASSERT_EQ(untrusted.Rows(), (Rows{"c.exe", "d.exe"}));
    EXPECT_EQ(files.reads, reads);  // ticks on which nothing changed read no file
    alert.calls.clear();

    WriteList({}, "\\Device\\Hard");  // caught half-written: no whole line yet
    // Written to the end while the look waits for it to hold still: a.exe removed, d.exe added.
    files.whilePaused = [&] { WriteList({"b.exe", "d.exe", "cc.exe"}); };
    Tick();
    EXPECT_EQ(running.Rows(), (Rows{"b.exe", "d.exe"}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"c.exe", "a.exe"}));
    ExpectAligned();
    // Announced like any new program; the half-written file announced nothing.
    EXPECT_EQ(alert.calls, (Rows{"RewritePlacement", "AddAlertName a.exe", "ShowAlert"}));
    EXPECT_EQ(known.m_known, (StringList{Path("b.exe"), Path("d.exe"), Path("cc.exe")}));
}

// "<< Add": selected untrusted rows move into the trusted list.
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

// The scan's memory of what each process gave as its path, against the
// process-table model: the same results as asking every tick, with one
// question per process in its life.
using PathCacheTest = WatchTest;

TEST_F(PathCacheTest, EachProcessIsAskedOnceInItsLife) {
    Trust(Path("a.exe"));
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    ProcessTable::Process locked;
    locked.path = Path("locked.exe");
    locked.opens = false;
    processes.Start(locked);
    processes.Start(ProcessTable::Process{});  // gives no path
    ProcessTable::Process timeless;            // the system gave no creation time
    timeless.path = Path("timeless.exe");
    timeless.createTime = 0;
    processes.Start(timeless);
    for (bool hasIdQuery : {true, false}) {
        processes.noIdQuery = !hasIdQuery;
        int questions = processes.questions;
        Tick(5);
        // Only timeless, which no snapshot names for good, is asked on each tick.
        EXPECT_EQ(processes.questions, questions + (hasIdQuery ? 4 + 5 : 5)) << hasIdQuery;
        EXPECT_EQ(running.Rows(), (Rows{"a.exe"}));
        EXPECT_EQ(untrusted.Rows(), (Rows{"b.exe", "locked.exe", "timeless.exe"}));
        EXPECT_EQ(watch.RememberedCount(), 4u);
    }
}

// A process that refuses to be opened costs the system nothing after its first
// tick, whether or not the system can name it by its identifier.
TEST_F(PathCacheTest, RefusalsAreAskedOnce) {
    for (bool hasIdQuery : {true, false}) {
        ProcessTable table;
        table.noIdQuery = !hasIdQuery;
        Watcher watcher{table};
        for (int i = 0; i < 100; ++i) {
            ProcessTable::Process p;
            p.path = Path("refusing" + std::to_string(i) + ".exe");
            p.opens = false;
            table.Start(p);
        }
        table.Start(Path("sentinel.exe"));
        watcher.watch.ScanProcesses();
        // The sentinel's row shows the tick went through every process.
        ASSERT_EQ(watcher.untrusted.Rows().back(), "sentinel.exe");
        EXPECT_EQ(watcher.untrusted.GetCount(), hasIdQuery ? 101 : 1);
        table.Start(Path("late.exe"));
        int questions = table.questions;
        for (int i = 0; i < 5; ++i) watcher.watch.ScanProcesses();
        ASSERT_EQ(watcher.untrusted.Rows().back(), "late.exe");
        EXPECT_EQ(table.questions, questions + 1) << hasIdQuery;  // late.exe alone
    }
}

// An identifier handed out again names another process: it is asked anew, and
// what ended is forgotten.
TEST_F(PathCacheTest, ReusedIdentifierIsAskedAgainAndEndedOnesAreForgotten) {
    Trust(Path("a.exe"));
    uint32_t id = processes.Start(Path("a.exe"));
    for (int i = 0; i < 200; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
    Tick();
    EXPECT_EQ(watch.RememberedCount(), 201u);

    processes.EndAll();
    ProcessTable::Process reused;
    reused.id = id;
    reused.path = Path("b.exe");
    processes.Start(reused);
    Tick(2);
    EXPECT_EQ(running.GetCount(), 0);
    EXPECT_EQ(watch.m_untrusted.back(), Path("b.exe"));
    EXPECT_EQ(watch.RememberedCount(), 1u);
    EXPECT_EQ(processes.questions, 202);

    processes.EndAll();
    Tick();
    EXPECT_EQ(watch.RememberedCount(), 0u);
}

TEST_F(PathCacheTest, WithoutASnapshotEveryProcessIsAskedEveryTick) {
    processes.noSnapshot = true;
    for (int i = 0; i < 1500; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
    Tick(2);
    EXPECT_EQ(processes.questions, 2 * 1500);
    EXPECT_EQ(watch.RememberedCount(), 0u);
    EXPECT_EQ(untrusted.GetCount(), 1500);

    processes.noSnapshot = false;
    Tick(2);
    EXPECT_EQ(processes.questions, 3 * 1500);
    EXPECT_EQ(untrusted.GetCount(), 1500);
}

// A Windows 11 desktop, one line a kind of process: its identifier where the
// system fixes it, what the system gives as its path (by identifier and
// through a handle alike), how many run, and whether a user who is not
// elevated may open it.
#define WIN "\\Device\\HarddiskVolume3\\Windows\\"
#define SYS32 WIN "System32\\"
#define APPS "\\Device\\HarddiskVolume3\\Program Files\\"
#define APPS86 "\\Device\\HarddiskVolume3\\Program Files (x86)\\"
#define LOCAL "\\Device\\HarddiskVolume3\\Users\\me\\AppData\\Local\\"
struct DesktopLine {
    uint32_t id;
    const char* path;
    int count;
    bool opens;
};
constexpr uint32_t kAny = ProcessTable::kNewId;
const DesktopLine kWindows11[] = {
    {0, "", 1, false},                   // System Idle Process: may not be asked at all
    {4, "", 1, false},                   // System: an empty path
    {kAny, "Registry", 1, false},        // the system's own, with a bare name
    {kAny, "MemCompression", 1, false},  // "Memory Compression"
    {kAny, "Secure System", 1, false},   // where virtualization-based security runs
    {kAny, SYS32 "smss.exe", 1, false},
    {kAny, SYS32 "csrss.exe", 2, false},
    {kAny, SYS32 "wininit.exe", 1, false},
    {kAny, SYS32 "winlogon.exe", 1, false},
    {kAny, SYS32 "services.exe", 1, false},
    {kAny, SYS32 "lsass.exe", 1, false},
    {kAny, SYS32 "svchost.exe", 72, false},
    {kAny, SYS32 "fontdrvhost.exe", 2, false},
    {kAny, SYS32 "dwm.exe", 1, false},
    {kAny, SYS32 "spoolsv.exe", 1, false},
    {kAny, SYS32 "SearchIndexer.exe", 1, false},
    {kAny, SYS32 "wbem\\WmiPrvSE.exe", 2, false},
    {kAny, SYS32 "audiodg.exe", 1, false},
    {kAny, SYS32 "WUDFHost.exe", 2, false},
    {kAny, SYS32 "lsaiso.exe", 1, false},
    {kAny,
     "\\Device\\HarddiskVolume3\\ProgramData\\Microsoft\\Windows Defender\\Platform\\"
     "4.18.24090.11-0\\MsMpEng.exe",
     1, false},
    {kAny, APPS "Windows Defender\\NisSrv.exe", 1, false},
    {kAny, SYS32 "SecurityHealthService.exe", 1, false},
    {kAny, SYS32 "sppsvc.exe", 1, false},
    {kAny, SYS32 "SgrmBroker.exe", 1, false},
    {kAny, SYS32 "AggregatorHost.exe", 1, false},
    {kAny, SYS32 "wbem\\unsecapp.exe", 1, false},
    {kAny, APPS "Common Files\\microsoft shared\\ClickToRun\\OfficeClickToRun.exe", 1, false},
    {kAny, SYS32 "sihost.exe", 1, true},
    {kAny, SYS32 "taskhostw.exe", 2, true},
    {kAny, SYS32 "ctfmon.exe", 1, true},
    {kAny, SYS32 "RuntimeBroker.exe", 7, true},
    {kAny, SYS32 "dllhost.exe", 3, true},
    {kAny, SYS32 "conhost.exe", 3, true},
    {kAny, SYS32 "smartscreen.exe", 1, true},
    {kAny, SYS32 "SecurityHealthSystray.exe", 1, true},
    {kAny, SYS32 "ApplicationFrameHost.exe", 1, true},
    {kAny, SYS32 "backgroundTaskHost.exe", 1, true},
    {kAny, SYS32 "notepad.exe", 1, true},
    {kAny, SYS32 "MoUsoCoreWorker.exe", 1, true},
    {kAny, SYS32 "CompPkgSrv.exe", 1, true},
    {kAny, SYS32 "ShellHost.exe", 1, true},
    {kAny, WIN "explorer.exe", 1, true},
    {kAny, WIN "SystemApps\\MicrosoftWindows.Client.CBS_cw5n1h2txyewy\\SearchHost.exe", 1, true},
    {kAny,
     WIN "SystemApps\\Microsoft.Windows.StartMenuExperienceHost_"
         "cw5n1h2txyewy\\StartMenuExperienceHost.exe",
     1, true},
    {kAny, WIN "SystemApps\\MicrosoftWindows.Client.CBS_cw5n1h2txyewy\\TextInputHost.exe", 1, true},
    {kAny, WIN "ImmersiveControlPanel\\SystemSettings.exe", 1, true},
    {kAny, APPS86 "Microsoft\\Edge\\Application\\msedge.exe", 12, true},  // 32-bit folder
    {kAny, APPS86 "Microsoft\\EdgeWebView\\Application\\130.0.2849.56\\msedgewebview2.exe", 6,
     true},
    {kAny, APPS86 "Steam\\steam.exe", 1, true},  // a 32-bit program
    {kAny, APPS86 "Steam\\bin\\cef\\cef.win7x64\\steamwebhelper.exe", 4, true},
    {kAny, LOCAL "Microsoft\\OneDrive\\OneDrive.exe", 1, true},
    {kAny, LOCAL "Programs\\Microsoft VS Code\\Code.exe", 8, true},
    {kAny, LOCAL "Discord\\app-1.0.9168\\Discord.exe", 5, true},
    {kAny,
     APPS "WindowsApps\\Microsoft.WindowsTerminal_1.21.2911.0_x64__8wekyb3d8bbwe\\"
          "WindowsTerminal.exe",
     1, true},
    {kAny,
     APPS "WindowsApps\\Microsoft.YourPhone_1.24092.211.0_x64__8wekyb3d8bbwe\\"
          "PhoneExperienceHost.exe",
     1, true},
    {kAny, APPS "Git\\usr\\bin\\bash.exe", 1, true},
    {kAny, APPS "NVIDIA Corporation\\NVIDIA app\\CEF\\NVIDIA Overlay.exe", 2, false},
    {kAny, APPS "Realtek\\Audio\\HDA\\RtkAudUService64.exe", 1, false},
    {kAny, APPS "Mozilla Firefox\\firefox.exe", 7, true},
    {kAny, LOCAL "Programs\\Python\\Python312\\python.exe", 1, true},
    {kAny, "\\Device\\HarddiskVolume3\\Users\\me\\Tools\\Vardion.exe", 1, true},
};
#undef WIN
#undef SYS32
#undef APPS
#undef APPS86
#undef LOCAL

// The path of the desktop's program with this base name.
std::string DesktopPath(const std::string& name) {
    for (const DesktopLine& line : kWindows11) {
        std::string path = line.path;
        if (path.size() > name.size() &&
            path.compare(path.size() - name.size(), name.size(), name) == 0)
            return path;
    }
    return {};
}

std::string LowerBaseName(const std::string& path) {
    std::string name = path.substr(path.rfind('\\') + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// The desktop over 50 ticks, as Windows answers a program that is not
// elevated and one that is, and as Wine before the query by identifier does:
// programs come and go, an identifier is handed out again. None of the
// system's own processes is ever listed, each untrusted name once, and each
// process is asked once in its life.
TEST(Windows11Desktop, PseudoProcessesAreNeverListedAndEachProcessIsAskedOnce) {
    struct Case {
        const char* what;
        bool hasIdQuery, elevated;
    } cases[] = {{"not elevated", true, false},
                 {"elevated", true, true},
                 {"no query by identifier", false, false},
                 {"no query by identifier, elevated", false, true}};
    const std::set<std::string> trusted = {DesktopPath("\\explorer.exe"),
                                           DesktopPath("\\msedge.exe")};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_blinkPhase = false;
        ProcessTable desktop;
        desktop.noIdQuery = !c.hasIdQuery;
        Watcher w{desktop};
        w.known.m_known = StringList(trusted.begin(), trusted.end());
        std::set<std::string> shown;  // the untrusted names the user is to see
        auto start = [&](uint32_t id, const std::string& path, bool opens) {
            ProcessTable::Process p;
            p.id = id;
            p.path = path;
            p.opens = opens || c.elevated;
            bool named = c.hasIdQuery || p.opens;
            if (path.find('\\') != std::string::npos && named && !trusted.count(path))
                shown.insert(LowerBaseName(path));
            return desktop.Start(p);
        };
        size_t processes = 0;
        for (const DesktopLine& line : kWindows11) {
            for (int i = 0; i < line.count; ++i, ++processes) start(line.id, line.path, line.opens);
        }
        ASSERT_GE(processes, 150u);
        ASSERT_GE(shown.size(), c.hasIdQuery || c.elevated ? 55u : 25u);

        uint32_t notepad = 0, reused = 0;
        std::vector<uint32_t> consoles;
        for (int tick = 0; tick < 50; ++tick) {
            if (tick % 5 == 0) consoles.push_back(start(kAny, DesktopPath("\\conhost.exe"), true));
            if (tick % 5 == 3) desktop.End(consoles[consoles.size() - 1]);
            if (tick == 10) notepad = start(kAny, DesktopPath("\\notepad.exe"), true);
            if (tick == 20) desktop.End(notepad);
            if (tick == 21) reused = start(notepad, DesktopPath("\\bash.exe"), true);
            w.watch.ScanProcesses();
        }
        ASSERT_EQ(reused, notepad);

        Rows rows = w.untrusted.Rows();
        std::set<std::string> listed;
        for (const std::string& row : rows) {
            EXPECT_TRUE(listed.insert(LowerBaseName(row)).second) << row << " listed twice";
            for (const char* pseudo : {"Registry", "MemCompression", "Secure System", ""})
                EXPECT_NE(row, pseudo);
        }
        EXPECT_EQ(listed, shown);
        EXPECT_EQ(w.running.Rows(), (Rows{"explorer.exe", "msedge.exe"}));
        for (const auto& [process, times] : desktop.asked) {
            EXPECT_NE(process.first, 0u) << "the idle process was asked";
            EXPECT_NE(process.first, 4u) << "System was asked";
            EXPECT_EQ(times, 1) << "process " << process.first;
        }
        // Every process but the idle one and System was asked: the reused
        // identifier twice, once for each of its two processes.
        int notepadPairs = 0;
        for (const auto& entry : desktop.asked) notepadPairs += entry.first.first == notepad;
        EXPECT_EQ(notepadPairs, 2);
        EXPECT_EQ(desktop.asked.size(), processes - 2 + 10 + 2);
    }
}

// Processes come and go at random, identifiers are reused, some refuse to
// open or give no path; after every tick the watcher that remembers shows
// exactly what one shows that is given no creation times, and so asks every
// process on every tick. Run with and without the query by identifier.
class PathCacheScript : public ::testing::TestWithParam<bool> {};

TEST_P(PathCacheScript, SameResultsTickForTickAsAskingEveryTick) {
    ProcessTable plain, table;
    plain.noSnapshot = true;
    plain.noIdQuery = table.noIdQuery = !GetParam();
    Watcher without(plain), with(table);
    std::mt19937 random(20261207);
    std::vector<uint32_t> live;
    std::vector<uint32_t> ended;

    for (int tick = 0; tick < 400; ++tick) {
        // An identifier may end and be handed out again between two ticks.
        if (!live.empty() && random() % 2 == 0) {
            size_t which = random() % live.size();
            plain.End(live[which]);
            table.End(live[which]);
            ended.push_back(live[which]);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(which));
        }
        int starts = static_cast<int>(random() % 4);
        for (int s = 0; s < starts; ++s) {
            ProcessTable::Process p;
            int program = static_cast<int>(random() % 40);
            p.path = Path("prog" + std::to_string(program % 25) + ".exe",
                          program < 25 ? "Tools" : "Other");
            if (program == 39) p.path = Path(std::string(2000, 'x') + "\\long.exe");
            if (program == 38) p.path.clear();
            if (program == 37) p.idPath = "Registry";
            p.opens = program != 36;
            if (!ended.empty() && random() % 3 == 0) {
                p.id = ended.back();
                ended.pop_back();
            }
            live.push_back(plain.Start(p));
            table.Start(p);
        }
        if (tick % 50 == 25) {
            std::string trusted = Path("prog" + std::to_string(tick / 50) + ".exe");
            without.known.m_known.push_back(trusted);
            with.known.m_known.push_back(trusted);
        }
        if (tick % 70 == 69) {
            without.alert.Ignore();
            with.alert.Ignore();
        }
        bool phase = g_blinkPhase;
        without.watch.ScanProcesses();
        g_blinkPhase = phase;
        with.watch.ScanProcesses();
        ASSERT_EQ(with.Seen(), without.Seen()) << "after tick " << tick;
    }
    EXPECT_LT(table.questions * 5, plain.questions);
}

INSTANTIATE_TEST_SUITE_P(ByIdentifier, PathCacheScript, ::testing::Values(false, true));

// The list box model against the expectations real list boxes are held to.
struct ModelFactory {
    std::vector<std::unique_ptr<ListBoxModel>> made;

    ListBox& Make(bool sorted) {
        made.push_back(std::make_unique<ListBoxModel>(
            sorted ? ListBoxModel::Order::Sorted : ListBoxModel::Order::Unsorted,
            sorted ? ListBoxModel::Selection::Single : ListBoxModel::Selection::Extended));
        return *made.back();
    }
    void Select(ListBox& list, int row) { static_cast<ListBoxModel&>(list).SetSel(true, row); }
};

using Factories = ::testing::Types<ModelFactory>;
INSTANTIATE_TYPED_TEST_SUITE_P(Model, ListBoxContract, Factories);

}  // namespace
