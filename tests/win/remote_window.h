// Vardion's windows seen from another process, as the window system and a
// user see them: found by caption, asked with messages that time out, their
// list boxes and texts read across processes. The end-to-end tests and the
// soak drive the program through these.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

using Rows = std::vector<std::string>;
constexpr int kAdd = 1;
constexpr int kUntrusted = 1002;
constexpr int kRunning = 1003;
constexpr int kView = 1005;
constexpr int kIgnore = 1006;
constexpr int kAlertList = 1008;
constexpr UINT kTrayCallback = WM_USER;

inline bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// A top-level window of one process by its caption, hidden ones included.
inline HWND FindTopLevel(DWORD processId, const char* caption, const char* windowClass = "#32770") {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, windowClass, caption)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

// A shown top-level window of one process by its class: Windows keeps hidden
// windows of a class such as the menus' (#32768) beside the one that shows.
inline HWND FindShown(DWORD processId, const char* windowClass) {
    HWND window = nullptr;
    while ((window = ::FindWindowExA(nullptr, window, windowClass, nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ::IsWindowVisible(window)) return window;
    }
    return nullptr;
}

inline std::string Narrow(const std::wstring& wide) {
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Where a fault found here is told: the program that drives sets it.
inline void (*onFault)(const std::string& what) = [](const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
};

// A message sent to a window of Vardion's, answered within ten seconds: a
// window thread that stays blocked fails the test that asked, naming the
// message, where a plain SendMessage would hang it until ctest's time limit
// and leave the blocked program to the tests after it. -1 when unanswered,
// 0 for a window that is gone.
inline LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 10000, &result)) {
        return static_cast<LRESULT>(result);
    }
    if (!::IsWindow(window)) return 0;  // as SendMessage answers for a window that is gone
    std::ostringstream what;
    what << "message 0x" << std::hex << message << " to window " << window
         << " was not answered within 10 s";
    onFault(what.str());
    return -1;
}

// The rows of a list box in another process. LB_GETTEXT must be sent in its
// wide form across processes: the 8-bit one hands back UTF-16 under Wine.
// LB_GETTEXT carries no size: a tick can move a longer row into place between
// the question of its length and that of its text. Every row is read into one
// buffer far larger than any row of Vardion's (a file name, at most 255
// characters, each at most 8 when written as <U+XXXX>).
inline Rows ReadList(HWND list) {
    constexpr size_t kRowBuffer = 1 << 16;
    Rows rows;
    std::wstring wide(kRowBuffer, L'\0');
    LRESULT count = Ask(list, LB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = Ask(list, LB_GETTEXTLEN, i);
        if (length < 0) continue;
        if (static_cast<size_t>(length) >= kRowBuffer / 2) {
            onFault("row " + std::to_string(i) + " is " + std::to_string(length) +
                    " characters long");
            continue;
        }
        LRESULT got = Ask(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&wide[0]));
        if (got < 0 || static_cast<size_t>(got) >= kRowBuffer) continue;
        rows.push_back(Narrow(wide.substr(0, static_cast<size_t>(got))));
    }
    return rows;
}

// The text of a window in another process; a tooltip's is the tip it shows.
inline std::string WindowText(HWND window) {
    LRESULT length = Ask(window, WM_GETTEXTLENGTH);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    LRESULT got = Ask(window, WM_GETTEXT, wide.size(), reinterpret_cast<LPARAM>(&wide[0]));
    wide.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return Narrow(wide);
}

inline bool Contains(const Rows& rows, const std::string& text) {
    return std::find(rows.begin(), rows.end(), text) != rows.end();
}
inline bool ContainsAll(const Rows& rows, const Rows& texts) {
    return std::all_of(texts.begin(), texts.end(),
                       [&](const auto& t) { return Contains(rows, t); });
}
inline Rows Sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The tip that a process shows now; nullptr when it shows none.
inline HWND ShownTip(DWORD processId) {
    HWND tip = nullptr;
    while ((tip = ::FindWindowExA(nullptr, tip, "tooltips_class32", nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(tip, &owner);
        if (owner == processId && ::IsWindowVisible(tip)) return tip;
    }
    return nullptr;
}

// Rests the real pointer at a point of the screen; false when it would not
// stay. Wine can report a pointer that a program set back where it was a
// moment before. Set twice, the second time a pixel beside the first, a late
// report of the first move falls where the pointer rests.
inline bool RestPointer(POINT at) {
    bool rests = true;
    for (POINT step : {at, POINT{at.x + 1, at.y}}) {
        POINT now = {};
        for (int attempt = 0; attempt < 10; ++attempt) {
            ::SetCursorPos(step.x, step.y);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (::GetCursorPos(&now) && now.x == step.x && now.y == step.y) break;
        }
        rests = rests && now.x == step.x && now.y == step.y;
    }
    return rests;
}

// The screen's pixels in a rectangle, read in one copy: 0x00RRGGBB, row by row from the top.
inline std::vector<DWORD> ReadScreen(const RECT& r) {
    LONG width = r.right - r.left, height = r.bottom - r.top;
    std::vector<DWORD> pixels(static_cast<size_t>(width > 0 && height > 0 ? width * height : 0));
    if (pixels.empty()) return pixels;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = ::GetDC(nullptr);
    HDC copy = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(copy, bitmap);
    ::BitBlt(copy, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(copy, old);
    ::GetDIBits(copy, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(copy);
    ::ReleaseDC(nullptr, screen);
    for (DWORD& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

// Writes the whole screen to a bitmap file at `path`; false when it cannot.
inline bool SaveScreen(const std::string& path) {
    RECT all = {::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    all.right = all.left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    all.bottom = all.top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    std::vector<DWORD> pixels = ReadScreen(all);
    if (pixels.empty()) return false;
    BITMAPINFOHEADER info = {
        sizeof info, all.right - all.left, -(all.bottom - all.top), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD bytes = static_cast<DWORD>(pixels.size() * sizeof(DWORD));
    const DWORD headers = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info);
    BITMAPFILEHEADER file = {0x4D42, headers + bytes, 0, 0, headers};  // "BM"
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(reinterpret_cast<const char*>(pixels.data()), bytes);
    return out.good();
}

}  // namespace e2e
