// Time of one steady tick against the models, and beside it the same tick's
// calls into the models alone, so that the share of the scan's own logic shows;
// then the look at an unchanged "known.dat" that each tick makes, beside a
// read of the whole file.
//
// Half the processes run trusted programs, half untrusted ones whose names are
// listed already: the tick adds and deletes nothing, as on most ticks.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/models/alert_model.h"
#include "tests/models/code_page_model.h"
#include "tests/models/list_box_model.h"
#include "tests/models/process_table.h"
#include "tests/models/watcher.h"
#include "trust/file_system_posix.h"
#include "watch/ansi_path.h"
#include "watch/process_watch.h"

namespace {

std::string PathOf(const char* kind, int i) {
    return "\\Device\\HarddiskVolume1\\Program Files\\Vendor " + std::to_string(i) + "\\" + kind +
           std::to_string(i) + ".exe";
}

struct Setup {
    ProcessTable processes;
    Watcher watcher{processes};
    CodePageModel& codePage = watcher.codePage;
    ListBoxModel& running = watcher.running;
    ListBoxModel& untrusted = watcher.untrusted;
    AlertModel& alert = watcher.alert;
    TrayModel& tray = watcher.tray;
    TrustedList& known = watcher.known;
    ProcessWatch& watch = watcher.watch;
    std::vector<bool> isTrusted;  // by process, in enumeration order
    std::vector<std::string> names;

    Setup(int processCount, int trustedEntries) {
        for (int i = 0; i < trustedEntries; ++i) known.m_known.push_back(PathOf("trusted", i));
        for (int i = 0; i < processCount; ++i) {
            bool trusted = (i % 2 == 0) && i / 2 < trustedEntries;
            // Trusted processes run the programs at the end of the list: the searches go far.
            int program = trustedEntries - 1 - i / 2;
            std::string path = trusted ? PathOf("trusted", program) : PathOf("other", i);
            processes.Start(path);
            isTrusted.push_back(trusted);
            names.push_back(BaseName(path, codePage));
        }
        watch.ScanProcesses();  // lists everything once
        watch.ScanProcesses();
        alert.visible = false;
        tray.images.clear();
    }
};

void WholeTick(benchmark::State& state) {
    Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        setup.watch.ScanProcesses();
        setup.tray.images.clear();
    }
    state.counters["rows"] = setup.running.GetCount() + setup.untrusted.GetCount();
}

// The calls one tick makes into the models, in the same order, with no logic between them.
void ModelCallsOnly(benchmark::State& state) {
    Setup setup(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<ProcessStamp> processes;
    std::vector<char> text(1024);
    for (auto _ : state) {
        // Every process was asked on the first tick: a tick at rest asks none.
        setup.processes.ListProcesses(processes);
        for (size_t i = 0; i < processes.size(); ++i) {
            if (!setup.isTrusted[i]) setup.untrusted.FindStringExact(0, setup.names[i].c_str());
        }
        for (int j = 0; j < setup.running.GetCount(); ++j) {
            setup.running.GetTextLen(j);
            setup.running.GetText(j, text.data());
        }
        setup.tray.SetTrayImage(130);
        setup.tray.images.clear();
        benchmark::DoNotOptimize(text.data());
    }
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Args({200, 100})
        ->Args({1024, 1000})
        ->Args({4096, 10000})
        ->ArgNames({"processes", "trusted"});
    b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(WholeTick)->Apply(Sizes);
BENCHMARK(ModelCallsOnly)->Apply(Sizes);

// "known.dat" of `entries` lines in a directory of its own, the current one while it lives.
struct ListFile {
    explicit ListFile(int entries) {
        char pattern[] = "/tmp/vardion-bench-XXXXXX";
        folder = mkdtemp(pattern) ? pattern : "/tmp";
        if (chdir(folder.c_str()) != 0) std::perror("chdir");
        StringList known;
        for (int i = 0; i < entries; ++i) known.push_back(PathOf("trusted", i));
        std::FILE* file = std::fopen(kKnownFileName, "wb");
        std::string bytes = FormatKnown(known, "");
        if (file) std::fwrite(bytes.data(), 1, bytes.size(), file);
        if (file) std::fclose(file);
    }
    ~ListFile() {
        std::remove(kKnownFileName);
        if (chdir("/") == 0) rmdir(folder.c_str());
    }
    std::string folder;
};

// The look at "known.dat" that every tick makes when nothing changed, beside
// what reading the file on every tick would cost.
void UnchangedListCheck(benchmark::State& state) {
    ListFile file(static_cast<int>(state.range(0)));
    TrustedList list{HostFileSystem()};
    list.LoadKnown();
    for (auto _ : state) benchmark::DoNotOptimize(list.RefreshKnown());
}

void ListRead(benchmark::State& state) {
    ListFile file(static_cast<int>(state.range(0)));
    std::string bytes;
    for (auto _ : state) {
        HostFileSystem().Read(kKnownFileName, bytes, kKnownMaxBytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}

BENCHMARK(UnchangedListCheck)->Arg(1000)->ArgName("entries")->Unit(benchmark::kMicrosecond);
BENCHMARK(ListRead)->Arg(1000)->ArgName("entries")->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
