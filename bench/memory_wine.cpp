// The most memory Vardion.exe holds with a large "known.dat": its private
// bytes, watched from outside every millisecond while it reads the list at
// start, saves an addition made with "<< Add", takes in the file changed by
// another writer, and ends by Exit. Prints one line per list:
//
//   memory: entries=N bytes=B peak_kib=K arch=A wine=W
//
// N and B are the lines and bytes of the file it starts on; A the build that
// ran, W the Wine as VARDION_WINE_VERSION names it. The lists: the one of a
// million lines (52 MB), one at both bounds (as many entries as are allowed,
// of the shortest lines that still fill the bytes allowed), and 64 MiB of
// one-letter lines, past the bound of entries.
//
//   memory_wine.exe <Vardion.exe> <sleeper.exe>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "tests/win/child_process.h"
#include "tests/win/fresh_directory.h"
#include "tests/win/remote_window.h"
#include "trust/known_file.h"

namespace {

using namespace e2e;

#ifdef _WIN64
constexpr char kArch[] = "win64";
#else
constexpr char kArch[] = "win32";
#endif

// Watches a process's private bytes on a thread of its own.
class PeakWatch {
  public:
    explicit PeakWatch(HANDLE process)
        : m_process(process), m_thread([this] {
              while (!m_stop.load()) {
                  Sample();
                  ::Sleep(1);
              }
          }) {}
    ~PeakWatch() { Stop(); }
    //! Stops watching; the most seen, or the system's own record of it if higher.
    size_t Stop() {
        if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
            Sample();
        }
        return m_peak;
    }

  private:
    void Sample() {
        PROCESS_MEMORY_COUNTERS_EX memory = {};
        memory.cb = sizeof memory;
        if (!::GetProcessMemoryInfo(m_process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                    sizeof memory)) {
            return;
        }
        m_peak = std::max({m_peak, static_cast<size_t>(memory.PrivateUsage),
                           static_cast<size_t>(memory.PeakPagefileUsage)});
    }

    HANDLE m_process;
    size_t m_peak = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

constexpr char kNotice[] = "Vardion: trusted programs not saved";

uint64_t SizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

struct Case {
    const char* what;
    size_t entries;
    size_t bytes;
};

// Writes "known.dat" of `entries` distinct lines, each ended by CR LF, as
// near `bytes` in all as lines of one length allow; the bytes written.
size_t WriteList(const std::string& path, size_t entries, size_t bytes, bool shortest) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string chunk;
    size_t written = 0;
    auto flush = [&] {
        DWORD put = 0;
        ::WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &put, nullptr);
        written += put;
        chunk.clear();
    };
    // The million-line list of the tick bench: program paths of some fifty bytes.
    // At the bounds: entries of the one or two lengths that fill `bytes` exactly.
    size_t longer = shortest ? bytes % entries : 0;
    size_t length = shortest ? bytes / entries - 2 : 0;
    for (size_t i = 0; i < entries; ++i) {
        std::string number = std::to_string(i);
        if (!shortest) {
            chunk += "\\Device\\HarddiskVolume9\\filler\\program" + number + ".exe\r\n";
        } else if (length <= 1) {
            chunk += "a\r\n";
        } else {
            size_t size = length + (i < longer ? 1 : 0);
            chunk += "C:\\" + std::string(size - 3 - number.size(), '_') + number + "\r\n";
        }
        if (chunk.size() > (1u << 20)) flush();
    }
    flush();
    ::CloseHandle(file);
    return written;
}

// Vardion on one list, from start to Exit; the peak of its private bytes.
size_t Run(const std::string& vardionExe, const std::string& sleeper, const std::string& dir) {
    std::string bin = dir + "\\bin";
    ::CreateDirectoryA(bin.c_str(), nullptr);
    PROCESS_INFORMATION marked = {}, byHand = {};
    for (auto [name, program] : {std::pair{"marker.exe", &marked}, {"by hand.exe", &byHand}}) {
        std::string path = bin + "\\" + name;
        ::CopyFileA(sleeper.c_str(), path.c_str(), FALSE);
        *program = Launch(path, dir);
    }
    char image[1024];
    DWORD length = ::GetProcessImageFileNameA(byHand.hProcess, image, sizeof image);
    std::string byHandPath(image, length);

    PROCESS_INFORMATION vardion = Launch(vardionExe, dir);
    size_t peak = 0;
    {
        PeakWatch watch(vardion.hProcess);
        HWND main = nullptr;
        WaitFor([&] { return (main = FindTopLevel(vardion.dwProcessId, "Vardion")) != nullptr; });
        HWND untrusted = ::GetDlgItem(main, kUntrusted);
        // Read: the two programs are listed once it is known what is trusted.
        DWORD began = ::GetTickCount();
        auto phase = [&](const char* what, bool done) {
            std::printf("#   %s%s after %lu ms\n", what, done ? "" : " NOT within a minute",
                        ::GetTickCount() - began);
        };
        phase("read",
              WaitFor(
                  [&] {
                      return ContainsAll(ReadList(untrusted), {"marker.exe", "by hand.exe"});
                  },
                  60000));
        // Saved: "<< Add" of one of them.
        Rows rows = ReadList(untrusted);
        LRESULT row = std::find(rows.begin(), rows.end(), "marker.exe") - rows.begin();
        Ask(untrusted, LB_SETSEL, TRUE, row);
        ::PostMessageA(main, WM_COMMAND, MAKEWPARAM(kAdd, BN_CLICKED), 0);
        std::string list = dir + "\\known.dat";
        uint64_t size = SizeOf(list);
        // A list past the bounds is never written, nor taken in: said once, in a notice.
        auto refused = [&] { return FindTopLevel(vardion.dwProcessId, kNotice) != nullptr; };
        phase("saved", WaitFor([&] { return SizeOf(list) > size || refused(); }, 60000));
        // Changed by another writer: the other program's path written at the end.
        std::ofstream(list, std::ios::binary | std::ios::app) << byHandPath << "\r\n";
        if (refused()) {
            ::Sleep(3000);  // the ticks look at it, and leave it
        } else {
            phase("change taken in",
                  WaitFor([&] { return !Contains(ReadList(untrusted), "by hand.exe"); }, 60000));
        }
        // Exit, from the tray icon's menu; a notice of what could not be saved is closed.
        ::PostMessageA(main, kTrayCallback, 0, WM_RBUTTONDOWN);
        HWND menu = nullptr;
        WaitFor([&] { return (menu = FindTopLevel(vardion.dwProcessId, nullptr, "#32768")); });
        if (menu) {
            ::PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 1);
            ::PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 1);
        }
        WaitFor([&] {
            if (HWND box = FindTopLevel(vardion.dwProcessId, kNotice)) {
                ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
            return ::WaitForSingleObject(vardion.hProcess, 0) == WAIT_OBJECT_0;
        });
        peak = watch.Stop();
    }
    EndProcess(vardion);
    EndProcess(marked);
    EndProcess(byHand);
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: memory_wine.exe <Vardion.exe> <sleeper.exe>\n");
        return 2;
    }
    const char* wine = std::getenv("VARDION_WINE_VERSION");
    // Two lines are left free at the bounds: the addition and the other writer's line.
    const Case cases[] = {
        {"the million-line list", 1049812, 0},
        {"at both bounds", kKnownMaxEntries - 2, kKnownMaxBytes - 512},
        {"one-letter lines past the bound of entries", kKnownMaxBytes / 3, kKnownMaxBytes / 3 * 3},
    };
    for (const Case& c : cases) {
        std::string dir;
        MakeFreshDirectory("vardion-memory", dir);
        size_t bytes = WriteList(dir + "\\known.dat", c.entries, c.bytes, c.bytes != 0);
        std::printf("# %s\n", c.what);
        size_t peak = Run(argv[1], argv[2], dir);
        std::printf("memory: entries=%zu bytes=%zu peak_kib=%zu arch=%s wine=%s\n", c.entries,
                    bytes, peak / 1024, kArch, wine && *wine ? wine : "unknown");
        std::fflush(stdout);
    }
    return 0;
}
