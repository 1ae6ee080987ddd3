// "known.dat" changed on disk while the watcher runs: the next ticks take it in.
#include "tests/scan_fixture.h"
#include "tests/temp_dir.h"

using Rows = std::vector<std::string>;

namespace {

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
    watch.LoadKnown();
    processes.Start(Path("a.exe"));
    processes.Start(Path("b.exe"));
    processes.Start(Path("c.exe"));
    processes.Start(Path("d.exe"));
    Tick();
    ASSERT_EQ(running.Rows(), (Rows{"a.exe", "b.exe"}));
    ASSERT_EQ(untrusted.Rows(), (Rows{"c.exe", "d.exe"}));
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
    EXPECT_EQ(watch.m_known, (StringList{Path("b.exe"), Path("d.exe"), Path("cc.exe")}));
}

TEST_F(LiveList, TickOnWhichNothingChangedReadsNoFile) {
    WriteList({"a.exe"});
    watch.LoadKnown();
    processes.Start(Path("a.exe"));
    int reads = files.reads;
    Tick(5);
    EXPECT_EQ(running.Rows(), (Rows{"a.exe"}));
    EXPECT_EQ(files.reads, reads);
}

TEST_F(LiveList, UnsavedAdditionOutlivesAnEditAndIsSavedAfterIt) {
    WriteList({"a.exe"});
    watch.LoadKnown();
    processes.Start(Path("b.exe"));
    processes.Start(Path("c.exe"));
    Tick();
    files.failCreate = true;  // the save of "<< Add" fails
    untrusted.SetSel(true, 0);
    watch.AddSelected();
    ASSERT_EQ(watch.TakeUntoldFailure(), SaveResult::kUnwritable);
    files.failCreate = false;

    WriteList({"a.exe", "z.exe"});  // meanwhile, a line added by hand
    Tick(3);
    EXPECT_EQ(watch.m_known, (StringList{Path("a.exe"), Path("z.exe"), Path("b.exe")}));
    EXPECT_EQ(running.Rows(), (Rows{"b.exe"}));
    untrusted.SetSel(true, 0);
    watch.AddSelected();
    EXPECT_EQ(dir.Read(kKnownFileName), Path("a.exe") + "\r\n" + Path("z.exe") + "\r\n" +
                                            Path("b.exe") + "\r\n" + Path("c.exe") + "\r\n");
    EXPECT_FALSE(watch.HasUnsaved());
}

}  // namespace
