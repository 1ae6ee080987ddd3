// A watcher wired to models of the process table, the two list boxes, the
// alert window and the tray icon.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/models/process_table.h"
#include "tests/models/watcher.h"  // with the models of the rest
#include "tests/temp_dir.h"
#include "watch/ansi_path.h"

using Rows = std::vector<std::string>;

inline std::string Path(const std::string& name, const std::string& folder = "Tools") {
    return "\\Device\\HarddiskVolume1\\" + folder + "\\" + name;
}

class WatchTest : public ::testing::Test {
  protected:
    WatchTest() { g_blinkPhase = false; }

    // The current directory, where the watcher looks for "known.dat" on every tick.
    TempDir workDir;
    ProcessTable processes;
    CodePageModel codePage;
    ListBoxModel running{ListBoxModel::Order::Sorted};
    ListBoxModel untrusted{ListBoxModel::Order::Unsorted, ListBoxModel::Selection::Extended};
    AlertModel alert;
    TrayModel tray;
    FaultyFileSystem files;  // "<< Add" saves: its tests run in a directory of their own
    TrustedList known{files};
    ProcessWatch watch{processes, codePage, known, running, untrusted, alert, tray};

    void Trust(const std::string& path) { known.m_known.push_back(path); }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) watch.ScanProcesses();
    }
    //! Row i of the untrusted list box and entry i of the untrusted paths describe one process.
    void ExpectAligned() {
        std::vector<std::string> rows = untrusted.Rows();
        ASSERT_EQ(rows.size(), watch.m_untrusted.size());
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i], BaseName(watch.m_untrusted[i], codePage));
    }
};
