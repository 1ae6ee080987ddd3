// The scan's memory of what each process gave as its path, against the
// process-table model: the same results as asking every tick, with one
// question per process in its life.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/scan_fixture.h"

namespace {

class PathCacheTest : public ::testing::Test {
  protected:
    PathCacheTest() { g_blinkPhase = false; }

    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) w.watch.ScanProcesses();
    }

    ProcessTable processes;
    Watcher w{processes};
};

TEST_F(PathCacheTest, EachProcessIsAskedOnceInItsLife) {
    w.known.m_known.push_back(Path("a.exe"));
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
        EXPECT_EQ(w.running.Rows(), (Rows{"a.exe"}));
        EXPECT_EQ(w.untrusted.Rows(), (Rows{"b.exe", "locked.exe", "timeless.exe"}));
        EXPECT_EQ(w.watch.RememberedCount(), 4u);
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
    w.known.m_known.push_back(Path("a.exe"));
    uint32_t id = processes.Start(Path("a.exe"));
    for (int i = 0; i < 200; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
    Tick();
    EXPECT_EQ(w.watch.RememberedCount(), 201u);

    processes.EndAll();
    ProcessTable::Process reused;
    reused.id = id;
    reused.path = Path("b.exe");
    processes.Start(reused);
    Tick(2);
    EXPECT_EQ(w.running.GetCount(), 0);
    EXPECT_EQ(w.watch.m_untrusted.back(), Path("b.exe"));
    EXPECT_EQ(w.watch.RememberedCount(), 1u);
    EXPECT_EQ(processes.questions, 202);

    processes.EndAll();
    Tick();
    EXPECT_EQ(w.watch.RememberedCount(), 0u);
}

TEST_F(PathCacheTest, WithoutASnapshotEveryProcessIsAskedEveryTick) {
    processes.noSnapshot = true;
    for (int i = 0; i < 1500; ++i) processes.Start(Path("p" + std::to_string(i) + ".exe"));
    Tick(2);
    EXPECT_EQ(processes.questions, 2 * 1500);
    EXPECT_EQ(w.watch.RememberedCount(), 0u);
    EXPECT_EQ(w.untrusted.GetCount(), 1500);

    processes.noSnapshot = false;
    Tick(2);
    EXPECT_EQ(processes.questions, 3 * 1500);
    EXPECT_EQ(w.untrusted.GetCount(), 1500);
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

}  // namespace
