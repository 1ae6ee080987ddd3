// The look at "known.dat"'s stamp, made from a thread of its own rather than
// on the window's ticks: a program that does nothing else, so that what it
// costs the machine at rest is that look and the thread's waking alone.
// footprint-wine.sh measures it (VARDION_FOOTPRINT_STAMP=1) beside the
// snapshot floor.
//
//   stamp_thread.exe <milliseconds> [missing]   looks every so many milliseconds
//   stamp_thread.exe notify [missing]           looks whenever a change
//                                               notification of the folder fires
//
// It writes a small "known.dat" into the current folder first, unless told
// that the file is missing. A hidden window's thread waits for messages, as
// the program's does. Ends when its session does.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

DWORD g_period = 0;  // 0: on change notifications

void LookAtStamp() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    ::GetFileAttributesExA("known.dat", GetFileExInfoStandard, &data);
}

DWORD WINAPI Watch(void*) {
    // Never set: the thread waits on it as one that can be stopped would.
    HANDLE stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (g_period) {
        while (::WaitForSingleObject(stop, g_period) == WAIT_TIMEOUT) LookAtStamp();
        return 0;
    }
    HANDLE change = ::FindFirstChangeNotificationA(
        ".", FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE) return 1;
    HANDLE waits[] = {stop, change};
    while (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        LookAtStamp();
        if (!::FindNextChangeNotification(change)) break;
    }
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 2;
    g_period = std::strcmp(__argv[1], "notify") == 0 ? 0 : std::strtoul(__argv[1], nullptr, 10);
    if (g_period == 0 && std::strcmp(__argv[1], "notify") != 0) return 2;
    if (__argc < 3 || std::strcmp(__argv[2], "missing") != 0) {
        HANDLE file =
            ::CreateFileA("known.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const char line[] = "\\Device\\HarddiskVolume1\\Tools\\tool.exe\r\n";
        DWORD written = 0;
        ::WriteFile(file, line, sizeof line - 1, &written, nullptr);
        ::CloseHandle(file);
    }
    ::CreateWindowExA(0, "STATIC", "stamp thread", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                      nullptr);
    HANDLE thread = ::CreateThread(nullptr, 0, &Watch, nullptr, 0, nullptr);
    if (!thread) return 1;
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) ::DispatchMessageA(&msg);
    return 0;
}
