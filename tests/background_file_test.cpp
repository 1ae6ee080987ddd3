// "known.dat" read and written on a thread of its own: the ticks go on while
// the file is slow or does not answer, what is added meanwhile is saved after,
// and the end of the program waits for it only so long.
#include <chrono>
#include <thread>

#include "tests/scan_fixture.h"

using namespace std::chrono_literals;

namespace {

class BackgroundFile : public WatchTest {
  protected:
    // Work that makes no progress for a tenth of a second has not answered. The
    // host tells of no change of the folder, so a look waits its whole minute,
    // unless a save, or the end, wakes it.
    TrustedList slow{files, FileWork::kBackground, FilePace{100, 60000}};
    ProcessWatch watcher{processes, codePage, slow, running, untrusted, alert, tray};

    //! Ticks until `done` holds, for five seconds at most.
    template <typename Done>
    void TickUntil(Done done) {
        for (int i = 0; i < 5000 && !done(); ++i) {
            ASSERT_TRUE(watcher.ScanProcesses());
            std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(done());
    }
    //! Lets the held read go, and ticks until its work is taken in.
    void LetGo() {
        files.LetGo();
        TickUntil([&] { return !slow.Working(); });
        TickAll();
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
    EXPECT_TRUE(slow.Ready());
    EXPECT_EQ(running.Rows(), (Rows{"a.exe"}));
    EXPECT_EQ(untrusted.Rows(), (Rows{"b.exe"}));
}

TEST_F(BackgroundFile, AdditionsMadeWhileASaveIsHeldAreSavedAfterIt) {
    processes.Start(Path("b.exe"));
    processes.Start(Path("c.exe"));
    slow.LoadKnown();
    LetGo();
    files.Hold();
    Add("b.exe");
    TickAll(2);
    Add("c.exe");  // while the save of b.exe waits
    TickAll(3);
    EXPECT_EQ(running.Rows(), (Rows{"b.exe", "c.exe"}));
    EXPECT_FALSE(workDir.Exists(kKnownFileName));
    LetGo();  // takes in the save of b.exe and starts that of c.exe
    TickUntil([&] { return !slow.HasUnsaved(); });
    EXPECT_EQ(workDir.Read(kKnownFileName), Path("b.exe") + "\r\n" + Path("c.exe") + "\r\n");
    EXPECT_EQ(slow.TakeUntoldFailure(), SaveResult::kSaved);
}

TEST_F(BackgroundFile, SettleWaitsForTheSaveThatRunsAndThenSavesWhatWaits) {
    slow.LoadKnown();
    LetGo();
    files.Hold();
    slow.m_known.push_back(Path("x.exe"));
    EXPECT_EQ(slow.SaveKnown(), SaveResult::kStarted);
    slow.m_known.push_back(Path("y.exe"));  // after the save began: Settle saves it itself
    std::thread peer([this] {
        std::this_thread::sleep_for(50ms);
        files.LetGo();
    });
    EXPECT_EQ(slow.Settle(5000), SaveResult::kSaved);
    peer.join();
    EXPECT_FALSE(slow.Working());
    EXPECT_FALSE(slow.HasUnsaved());
    EXPECT_EQ(workDir.Read(kKnownFileName), Path("x.exe") + "\r\n" + Path("y.exe") + "\r\n");
}

// A drive that stops answering (a network share that is away) holds one
// thread, never the window: every program is announced meanwhile, it is said
// once, the end waits for it only so long, and its list counts once it answers.
TEST_F(BackgroundFile, ReadThatDoesNotAnswerIsGivenUpOnAndTakenInWhenItDoes) {
    workDir.Write(kKnownFileName, Path("a.exe") + "\r\n");
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    files.Hold();
    slow.LoadKnown();
    TickUntil([&] { return slow.Ready(); });
    TickAll();
    EXPECT_EQ(untrusted.Rows(), (Rows{"a.exe", "b.exe"}));
    EXPECT_EQ(slow.TakeUntoldFailure(), SaveResult::kNoAnswer);
    Add("b.exe");
    TickAll(20);
    EXPECT_EQ(files.reads, 0);  // no second read beside the one that waits
    EXPECT_EQ(slow.TakeUntoldFailure(), SaveResult::kSaved);  // said once

    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(slow.Settle(5000), SaveResult::kNoAnswer);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);

    LetGo();
    TickUntil([&] { return !slow.HasUnsaved(); });
    EXPECT_EQ(untrusted.Rows(), Rows{});
    EXPECT_EQ(running.Rows(), (Rows{"a.exe", "b.exe"}));
    EXPECT_EQ(workDir.Read(kKnownFileName), Path("a.exe") + "\r\n" + Path("b.exe") + "\r\n");
}

}  // namespace
