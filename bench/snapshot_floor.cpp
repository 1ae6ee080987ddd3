// The floor of a watcher's tick: a program that does nothing but take the
// snapshot of the running processes ten times a second, from a window
// timer, as Vardion does. footprint-wine.sh measures it beside Vardion at
// rest: what it costs is what enumerating the processes costs on that system,
// whatever else a tick does or leaves undone. Ends when its session does.
//
//   snapshot_floor.exe [thread]
//
// With "thread", it starts a thread first and waits for its end, as a program
// does that works on a thread of its own (Vardion reads known.dat so): under
// Debian 13's 32-bit Wine, every later system call of such a process that may
// wait takes the kernel's slow entry, which on some virtual machines costs
// several times what the snapshot does.
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

DWORD WINAPI Nothing(void*) {
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc > 1 && std::strcmp(__argv[1], "thread") == 0) {
        HANDLE thread = ::CreateThread(nullptr, 0, &Nothing, nullptr, 0, nullptr);
        if (!thread) return 1;
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    FARPROC proc = ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(proc));
    if (!query) return 1;
    std::vector<unsigned char> buffer(64 * 1024);
    // A hidden window owns the timer, as a tray program's does: a thread with
    // a window also looks at the display's events whenever it waits.
    HWND window = ::CreateWindowExA(0, "STATIC", "snapshot floor", WS_POPUP, 0, 0, 0, 0, nullptr,
                                    nullptr, nullptr, nullptr);
    ::SetTimer(window, 1, 100, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message != WM_TIMER) continue;
        ULONG needed = 0;
        // SystemProcessInformation; the buffer grows while the system asks for more.
        while (query(5, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) ==
                   static_cast<LONG>(0xC0000004) &&
               buffer.size() < (64u << 20)) {
            buffer.resize(buffer.size() * 2);
        }
    }
    return 0;
}
