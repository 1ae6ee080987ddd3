// One tick of the scan, and several, against the models; and "known.dat"
// changed on disk while the watcher runs.
#include "tests/scan_fixture.h"

#include <map>

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
    Tick();
    WriteList({"b.exe", "d.exe", "cc.exe"});  // written to the end: a.exe removed, d.exe added
    Tick(2);
    EXPECT_EQ(untrusted.Rows(), (Rows{"c.exe", "d.exe"}));  // still settling
    Tick();
    EXPECT_EQ(running.Rows(), (Rows{"b.exe", "d.exe"}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"c.exe", "a.exe"}));
    ExpectAligned();
    // Announced like any new program; the half-written file announced nothing.
    EXPECT_EQ(alert.calls, (Rows{"RewritePlacement", "AddAlertName a.exe", "ShowAlert"}));
    EXPECT_EQ(known.m_known, (StringList{Path("b.exe"), Path("d.exe"), Path("cc.exe")}));
}

}  // namespace
