// "known.dat" read and written on a thread of its own: the ticks go on while
// the file is slow, and what is added meanwhile is saved after.
#include <chrono>
#include <thread>

#include "tests/scan_fixture.h"

using Rows = std::vector<std::string>;
using namespace std::chrono_literals;

namespace {

class BackgroundFile : public WatchTest {
  protected:
    TrustedList slow{files, FileWork::kBackground};
    ProcessWatch watcher{processes, codePage, slow, running, untrusted, alert, tray};

    //! Lets the held read go, and waits until its result can be taken in.
    void LetGo() {
        files.LetGo();
        for (int i = 0; i < 5000 && slow.Working(); ++i) std::this_thread::sleep_for(1ms);
        ASSERT_FALSE(slow.Working());
    }
    void TickAll(int times = 1) {
        for (int i = 0; i < times; ++i) ASSERT_TRUE(watcher.ScanProcesses());
    }
    void Add(const std::string& name) {
        untrusted.SetSel(false, -1);
        ASSERT_EQ(untrusted.SetSel(true, untrusted.FindStringExact(-1, name.c_str())), 0);
        watcher.AddSelected();
    }
};

TEST_F(BackgroundFile, TicksGoOnWhileTheReadIsHeldAndListNothingBeforeIt) {
    workDir.Write(kKnownFileName, Path("a.exe") + "\r\n");
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    files.Hold();
    slow.LoadKnown();
    TickAll(3);
    EXPECT_FALSE(slow.Ready());
    EXPECT_TRUE(running.Rows().empty());
    EXPECT_TRUE(untrusted.Rows().empty());
    EXPECT_TRUE(alert.calls.empty());
    LetGo();
    TickAll();
    EXPECT_TRUE(slow.Ready());
    EXPECT_EQ(running.Rows(), (Rows{"a.exe"}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"b.exe"}));
}

TEST_F(BackgroundFile, AdditionsMadeWhileASaveIsHeldAreSavedAfterIt) {
    processes.Start(Path("b.exe"));
    processes.Start(Path("c.exe"));
    slow.LoadKnown();
    LetGo();
    TickAll();
    files.Hold();
    Add("b.exe");
    TickAll(2);
    Add("c.exe");  // while the save of b.exe waits
    TickAll(3);
    EXPECT_EQ(running.Rows(), (Rows{"b.exe", "c.exe"}));
    EXPECT_FALSE(workDir.Exists(kKnownFileName));
    LetGo();
    TickAll();  // takes in the save of b.exe and starts that of c.exe
    LetGo();
    TickAll();
    EXPECT_EQ(workDir.Read(kKnownFileName), Path("b.exe") + "\r\n" + Path("c.exe") + "\r\n");
    EXPECT_FALSE(slow.HasUnsaved());
    EXPECT_EQ(slow.TakeUntoldFailure(), SaveResult::kSaved);
}

TEST_F(BackgroundFile, SettleWaitsForTheSaveThatRunsAndWritesWhatWaits) {
    slow.LoadKnown();
    LetGo();
    files.Hold();
    slow.m_known.push_back(Path("x.exe"));
    EXPECT_EQ(slow.SaveKnown(), SaveResult::kStarted);
    slow.m_known.push_back(Path("y.exe"));  // as a failed save leaves it
    std::thread peer([this] {
        std::this_thread::sleep_for(50ms);
        files.LetGo();
    });
    slow.Settle();
    peer.join();
    EXPECT_FALSE(slow.Working());
    EXPECT_FALSE(slow.HasUnsaved());
    EXPECT_EQ(workDir.Read(kKnownFileName), Path("x.exe") + "\r\n" + Path("y.exe") + "\r\n");
}

}  // namespace
