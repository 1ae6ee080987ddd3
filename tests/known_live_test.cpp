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
