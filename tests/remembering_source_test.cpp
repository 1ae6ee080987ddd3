// The scan over a source that remembers paths, against the process-table model
// with creation times: the same results as without the memory, with fewer calls.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/models/alert_model.h"
#include "tests/models/code_page_model.h"
#include "tests/models/list_box_model.h"
#include "tests/models/process_table.h"
#include "tests/scan_fixture.h"
#include "watch/remembering_source.h"

namespace {

using Rows = std::vector<std::string>;

// A watcher with list boxes, an alert window and a tray icon of its own.
struct Watcher {
    explicit Watcher(ProcessSource& source)
        : watch{source, codePage, running, untrusted, alert, tray} {}

    //! Everything the scan leaves for the user to see, in one string.
    std::string Seen() const {
        std::string seen;
        for (const Rows& rows : {running.Rows(), untrusted.Rows(), alert.list.Rows(),
                                 Rows(watch.m_untrusted.begin(), watch.m_untrusted.end())}) {
            for (const std::string& row : rows) seen += row + "|";
            seen += "\n";
        }
        for (unsigned image : tray.images) seen += std::to_string(image) + " ";
        return seen + (alert.visible ? "visible" : "hidden");
    }

    CodePageModel codePage;
    ListBoxModel running{ListBoxModel::Order::Sorted};
    ListBoxModel untrusted{ListBoxModel::Order::Unsorted, ListBoxModel::Selection::Extended};
    AlertModel alert;
    TrayModel tray;
    ProcessWatch watch;
};

class RememberingTest : public ::testing::Test {
  protected:
    RememberingTest() { g_blinkPhase = false; }

    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) w.watch.ScanProcesses();
    }

    ProcessTable processes;
    RememberingProcessSource source{processes, processes};
    Watcher w{source};
};

TEST_F(RememberingTest, OnlyProcessesNotReadWholeBeforeAreAskedAgain) {
    w.watch.m_known.push_back(Path("a.exe"));
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    processes.Start(Path(std::string(3000, 'd') + "\\deep.exe"));  // read in a larger buffer
    Tick();
    int opens = processes.opens;
    Tick(3);
    EXPECT_EQ(processes.opens, opens);  // nothing changed: no open at all
    EXPECT_EQ(w.running.Rows(), (Rows{"a.exe"}));
    EXPECT_EQ(w.untrusted.Rows(), (Rows{"b.exe", "deep.exe"}));

    ProcessTable::Process locked;
    locked.path = Path("locked.exe");
    locked.openFull = locked.openLimited = false;
    processes.Start(locked);
    ProcessTable::Process pathless;
    processes.Start(pathless);
    ProcessTable::Process timeless;  // the system gave no creation time
    timeless.path = Path("timeless.exe");
    timeless.createTime = 0;
    processes.Start(timeless);
    Tick();
    size_t asked = processes.accessAsked.size();
    opens = processes.opens;
    int idQueries = processes.idQueries;
    Tick(4);
    // Locked and pathless are answered by identifier once; only timeless,
    // which no snapshot names for good, is opened on each tick.
    EXPECT_EQ(processes.accessAsked.size(), asked + 4);
    EXPECT_EQ(processes.opens, opens + 4);
    EXPECT_EQ(processes.idQueries, idQueries);
    EXPECT_EQ(source.RememberedCount(), 5u);
    EXPECT_EQ(w.untrusted.Rows(), (Rows{"b.exe", "deep.exe", "locked.exe", "timeless.exe"}));
    EXPECT_EQ(processes.openHandles(), 0);
}

// A process that refuses to be opened costs the system nothing after its first
// tick, whether or not the system can name it by its identifier.
TEST_F(RememberingTest, RefusalsAreRememberedAndAMissingQueryIsAskedOnce) {
    for (bool hasIdQuery : {true, false}) {
        ProcessTable table;
        table.noIdQuery = !hasIdQuery;
        RememberingProcessSource remembering{table, table};
        Watcher watcher{remembering};
        for (int i = 0; i < 100; ++i) {
            ProcessTable::Process p;
            p.path = Path("refusing" + std::to_string(i) + ".exe");
            p.openFull = p.openLimited = false;
            table.Start(p);
        }
        table.Start(Path("sentinel.exe"));
        watcher.watch.ScanProcesses();
        // The sentinel's row shows the tick went through every process.
        ASSERT_EQ(watcher.untrusted.Rows().back(), "sentinel.exe");
        EXPECT_EQ(watcher.untrusted.GetCount(), hasIdQuery ? 101 : 1);
        EXPECT_EQ(table.idQueries, hasIdQuery ? 100 : 1);
        size_t asked = table.accessAsked.size();
        int queries = table.idQueries;
        table.Start(Path("late.exe"));
        for (int i = 0; i < 5; ++i) watcher.watch.ScanProcesses();
        ASSERT_EQ(watcher.untrusted.Rows().back(), "late.exe");
        EXPECT_EQ(table.accessAsked.size(), asked + 1) << hasIdQuery;  // late.exe alone
        EXPECT_EQ(table.idQueries, queries) << hasIdQuery;
    }
}

// The system may answer by identifier for a process that has just ended: the
// answer goes with the pair it was given for, and none is kept without a snapshot.
TEST_F(RememberingTest, AnswerByIdentifierIsKeptOnlyForAPairOfTheSnapshot) {
    processes.answersEnded = true;
    ProcessTable::Process p;
    p.path = Path("first.exe");
    p.openFull = p.openLimited = false;
    uint32_t id = processes.Start(p);
    Tick();
    EXPECT_EQ(source.RememberedCount(), 1u);

    processes.End(id);  // still answered for, but no longer listed
    Tick();
    EXPECT_EQ(source.RememberedCount(), 0u);

    p.id = id;  // the identifier handed out again, to another program
    p.path = Path("second.exe");
    processes.Start(p);
    int queries = processes.idQueries;
    Tick(2);
    EXPECT_EQ(processes.idQueries, queries + 1);
    EXPECT_EQ(w.watch.m_untrusted, (StringList{Path("first.exe"), Path("second.exe")}));

    processes.failSnapshot = true;
    queries = processes.idQueries;
    Tick(3);
    EXPECT_EQ(source.RememberedCount(), 0u);
    EXPECT_EQ(processes.idQueries, queries + 3);
    EXPECT_EQ(w.watch.m_untrusted.size(), 2u);
}

// Given the drive names, a new process is asked for by identifier first: the
// watcher shows what it shows over the plain table, a process the system
// names is never opened, and a drive of "\??\X:" answers is asked for once.
TEST(RememberingByIdentifier, NewProcessesAreNamedWithoutAHandleAsThroughOne) {
    struct Case {
        bool hasIdQuery;
        int opens, idQueries, driveLookups;
    } cases[] = {{true, 1, 5, 1}, {false, 5, 1, 0}};
    for (const Case& c : cases) {
        ProcessTable plain, table;
        CodePageModel drives;
        RememberingProcessSource source{table, table, &drives};
        Watcher without(plain), with(source);
        without.watch.m_known.push_back(Path("trusted.exe"));
        with.watch.m_known = without.watch.m_known;
        ProcessTable::Process started[4];
        started[0].path = Path("trusted.exe");
        started[0].idPath = "\\??\\C:\\Tools\\trusted.exe";  // as Wine answers
        started[1].path = Path("other.exe");                 // as Windows answers
        started[2].path = Path("refusing.exe");
        started[2].openFull = started[2].openLimited = false;
        // started[3]: no path either way, as the system's own process
        for (ProcessTable* t : {&plain, &table}) {
            t->noIdQuery = !c.hasIdQuery;
            for (const ProcessTable::Process& p : started) t->Start(p);
        }
        for (int tick = 0; tick < 3; ++tick) {
            bool phase = g_blinkPhase;
            without.watch.ScanProcesses();
            g_blinkPhase = phase;
            with.watch.ScanProcesses();
            ASSERT_EQ(with.Seen(), without.Seen()) << "after tick " << tick;
        }
        EXPECT_EQ(with.running.Rows(), (Rows{"trusted.exe"}));
        EXPECT_EQ(table.opens, c.opens) << c.hasIdQuery;
        EXPECT_EQ(table.idQueries, c.idQueries) << c.hasIdQuery;
        EXPECT_EQ(drives.deviceLookups, c.driveLookups) << c.hasIdQuery;
        EXPECT_EQ(table.openHandles(), 0);
    }
}

TEST_F(RememberingTest, ReusedIdentifierReadsTheNewProcessAndEndedOnesAreForgotten) {
    w.watch.m_known.push_back(Path("a.exe"));
    uint32_t id = processes.Start(Path("a.exe"));
    for (int i = 0; i < 200; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
    Tick();
    EXPECT_EQ(source.RememberedCount(), 201u);

    processes.EndAll();
    ProcessTable::Process reused;
    reused.id = id;
    reused.path = Path("b.exe");
    processes.Start(reused);
    Tick();
    EXPECT_EQ(w.running.GetCount(), 0);
    EXPECT_EQ(w.watch.m_untrusted.back(), Path("b.exe"));
    EXPECT_EQ(source.RememberedCount(), 1u);

    processes.EndAll();
    Tick();
    EXPECT_EQ(source.RememberedCount(), 0u);
}

TEST_F(RememberingTest, WithoutASnapshotEveryProcessIsAskedEveryTick) {
    processes.failSnapshot = true;
    for (int i = 0; i < 1500; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
    Tick();
    int opens = processes.opens;
    Tick();
    EXPECT_EQ(processes.opens, 2 * opens);
    EXPECT_EQ(opens, 1500);  // past a full first buffer, as the system's enumeration gives
    EXPECT_EQ(source.RememberedCount(), 0u);
    EXPECT_EQ(w.untrusted.GetCount(), 1500);

    processes.failSnapshot = false;
    Tick(2);
    EXPECT_EQ(processes.opens, 3 * opens);
    EXPECT_EQ(w.untrusted.GetCount(), 1500);
}

// Processes come and go at random, identifiers are reused, some refuse to
// open or give no path; after every tick the watcher over the remembering
// source shows exactly what the one over the plain table shows.
// Run twice: opening each new process first, and asking for it by identifier first.
class RememberingScript : public ::testing::TestWithParam<bool> {};

TEST_P(RememberingScript, SameResultsTickForTickAsWithoutMemory) {
    ProcessTable plain, table;
    CodePageModel drives;
    RememberingProcessSource source{table, table, GetParam() ? &drives : nullptr};
    Watcher without(plain), with(source);
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
            p.openFull = program != 37;
            p.openLimited = program != 36 && program != 37;
            if (!ended.empty() && random() % 3 == 0) {
                p.id = ended.back();
                ended.pop_back();
            }
            live.push_back(plain.Start(p));
            table.Start(p);
        }
        if (tick % 50 == 25) {
            std::string trusted = Path("prog" + std::to_string(tick / 50) + ".exe");
            without.watch.m_known.push_back(trusted);
            with.watch.m_known.push_back(trusted);
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
    EXPECT_EQ(table.openHandles(), 0);
    EXPECT_LT(table.opens * 5, plain.opens);
}

INSTANTIATE_TEST_SUITE_P(FirstQuestion, RememberingScript, ::testing::Values(false, true));

}  // namespace
