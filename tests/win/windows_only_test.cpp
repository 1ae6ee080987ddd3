// End-to-end checks that only Windows can answer, on its own desktop: its
// processes without a program file, its services that refuse to be opened,
// the drive letter of its system folder, and what 600 ticks among some 150
// processes cost. Wine's desktop has eight processes and none of these: under
// Wine every case is skipped, with the reason.
#include "tests/win/e2e_fixture.h"
#include "tests/win/handle_count.h"

namespace {

using namespace e2e;

class OnWindows : public Vardion {
  protected:
    void SetUp() override {
        SKIP_UNDER_WINE("its desktop has none of Windows' own processes");
        Vardion::SetUp();
    }

    //! Waits until at least `ticks` whole ticks have run.
    void Ticks(int ticks) {
        for (int i = 0; i < ticks; ++i) Settle();
    }

    //! The rows of every list of Vardion's: untrusted, running and the alert's.
    Rows AllRows() {
        Rows rows = ReadList(untrustedList);
        for (HWND list : {runningList, alertList}) {
            Rows more = ReadList(list);
            rows.insert(rows.end(), more.begin(), more.end());
        }
        return rows;
    }

    //! The row of `name` in "Untrusted Processes:", case ignored; -1 while none.
    int UntrustedRow(const std::string& name) {
        Rows rows = ReadList(untrustedList);
        for (size_t i = 0; i < rows.size(); ++i) {
            if (::lstrcmpiA(rows[i].c_str(), name.c_str()) == 0) return static_cast<int>(i);
        }
        return -1;
    }
};

// System Idle Process, System, Registry, Memory Compression and Secure System
// have no program file: nothing to list, to announce or to trust.
TEST_F(OnWindows, NoRowNamesAProcessWithoutAProgramFileOverThirtyTicks) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return UntrustedRow("Vardion.exe") >= 0; }));
    Ticks(30);
    for (const std::string& row : AllRows()) {
        for (const char* pseudo : {"System Idle Process", "System", "Registry", "MemCompression",
                                   "Memory Compression", "Secure System", ""}) {
            EXPECT_NE(::lstrcmpiA(row.c_str(), pseudo), 0) << "a row \"" << row << "\"";
        }
    }
}

// Services refuse an open for full query to a program that is not elevated,
// and some (services.exe, lsass.exe) to every program: each is listed by its
// path all the same, and the tip shows that path with its drive letter.
TEST_F(OnWindows, ServicesAreListedByTheirPathAndTheTipShowsItWithTheDriveLetter) {
    StartAndIgnore();
    for (const char* service : {"services.exe", "lsass.exe", "svchost.exe", "wininit.exe"}) {
        EXPECT_TRUE(WaitFor([&] { return UntrustedRow(service) >= 0; })) << service;
    }
    char system[MAX_PATH];
    ASSERT_GT(::GetSystemDirectoryA(system, sizeof system), 0u);
    const std::string expected = std::string(system) + "\\services.exe";  // C:\Windows\system32\...
    int row = UntrustedRow("services.exe");
    ASSERT_GE(row, 0);
    Ask(untrustedList, LB_SETTOPINDEX, row);
    PointAt(untrustedList, row);
    EXPECT_TRUE(
        WaitFor([&] { return ::lstrcmpiA(TipText().c_str(), expected.c_str()) == 0; }, 5000))
        << "the tip shows \"" << TipText() << "\", not " << expected;
}

// What the program holds stays flat while it watches a whole desktop: the
// kernel handles and the window system's objects (icons, menus, windows) no
// more, the private bytes no more than some heap growth.
TEST_F(OnWindows, KernelHandlesAndPrivateBytesStayFlatOverSixHundredTicks) {
    constexpr SIZE_T kSlackBytes = 128 * 1024;
    StartAndIgnore();
    Ticks(20);  // every process seen once, every path asked for
    auto privateBytes = [&] {
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        ::GetProcessMemoryInfo(vardion.hProcess,
                               reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
        return memory.PrivateUsage;
    };
    auto objects = [&] {
        return ::GetGuiResources(vardion.hProcess, GR_GDIOBJECTS) +
               ::GetGuiResources(vardion.hProcess, GR_USEROBJECTS);
    };
    const long handlesBefore = handle_count::Settled(vardion.dwProcessId);
    const SIZE_T bytesBefore = privateBytes();
    const DWORD objectsBefore = objects();
    ASSERT_GT(handlesBefore, 0);
    ASSERT_GT(bytesBefore, 0u);
    Ticks(600);
    const long handlesAfter = handle_count::Settled(vardion.dwProcessId);
    const SIZE_T bytesAfter = privateBytes();
    const DWORD objectsAfter = objects();
    std::printf(
        "over 600 ticks: kernel handles %ld -> %ld, window objects %lu -> %lu, private bytes %zu "
        "-> %zu\n",
        handlesBefore, handlesAfter, static_cast<unsigned long>(objectsBefore),
        static_cast<unsigned long>(objectsAfter), static_cast<size_t>(bytesBefore),
        static_cast<size_t>(bytesAfter));
    EXPECT_LE(handlesAfter, handlesBefore);
    EXPECT_LE(objectsAfter, objectsBefore);
    EXPECT_LE(bytesAfter, bytesBefore + kSlackBytes);
}

}  // namespace
