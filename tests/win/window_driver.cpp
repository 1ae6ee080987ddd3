// Drives Vardion's windows from outside, for the screenshot script. Wine's
// virtual desktop is a single X window, so X tools cannot see its windows;
// this program finds them by caption, as another Windows program would.
//
//   window_driver front <caption> [seconds]  wait until the window is visible, bring
//                                            it to the front, let it paint; print
//                                            "x y width height"
//   window_driver syscommand <caption> <id>  post WM_SYSCOMMAND (0x10: the About item)
//   window_driver show <caption>             show a hidden window (SW_SHOW)
//   window_driver template <exe> <id>        show dialog template <id> of <exe> as it
//                                            stands, until killed
//   window_driver tip <caption> <list> <row> bring the window to the front, rest the
//                                            pointer on the row of list box <list>
//                                            whose text is <row> (row 0 if none),
//                                            wait for the tip; print the rectangle
//                                            of the window and the tip together and
//                                            the pointer's place in it, "x y width
//                                            height px py", and the tip's text on stderr
// Exit status: 0 done, 1 no such window, 2 bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "remote_window.h"

namespace {

HWND FindVisible(const char* caption) {
    HWND window = FindWindowA(nullptr, caption);
    while (window && !IsWindowVisible(window))
        window = FindWindowExA(nullptr, window, nullptr, caption);
    return window;
}

// Waits until the window is visible, brings it to the front and lets it paint.
HWND BringToFront(const char* caption, double seconds) {
    HWND window = nullptr;
    if (!e2e::WaitFor([&] { return (window = FindVisible(caption)) != nullptr; },
                      static_cast<int>(seconds * 1000))) {
        return nullptr;
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
    // A window is found by its caption before its controls exist: this returns
    // once its thread has painted everything, controls included.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return window;
}

int Front(const char* caption, double seconds) {
    HWND window = BringToFront(caption, seconds);
    if (!window) return 1;
    RECT r;
    GetWindowRect(window, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

// The row of a list box whose text is `text`; row 0 when there is none.
int FindRow(HWND list, const char* text) {
    e2e::Rows rows = e2e::ReadList(list);
    auto row = std::find(rows.begin(), rows.end(), text);
    if (row != rows.end()) return static_cast<int>(row - rows.begin());
    std::fprintf(stderr, "no row \"%s\": row 0 instead\n", text);
    return 0;
}

int Tip(const char* caption, int listId, const char* rowText) {
    HWND window = BringToFront(caption, 10);
    HWND list = window ? GetDlgItem(window, listId) : nullptr;
    if (!list) return 1;
    int row = FindRow(list, rowText);
    RECT rowRect;
    if (SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rowRect)) == LB_ERR) {
        return 1;
    }
    RECT client;
    GetClientRect(list, &client);
    if (rowRect.top < 0 || rowRect.bottom > client.bottom) {
        SendMessageW(list, LB_SETTOPINDEX, row, 0);  // scrolled into view: rows stay as they are
        SendMessageW(list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rowRect));
    }
    POINT at = {(rowRect.left + rowRect.right) / 2, (rowRect.top + rowRect.bottom) / 2};
    ClientToScreen(list, &at);
    e2e::RestPointer(at);

    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HWND tip = nullptr;
    if (!e2e::WaitFor([&] { return (tip = e2e::ShownTip(processId)) != nullptr; }, 5000)) return 1;
    std::fprintf(stderr, "tip over \"%s\": %s\n", rowText, e2e::WindowText(tip).c_str());

    RECT shown, tipRect;
    GetWindowRect(window, &shown);
    GetWindowRect(tip, &tipRect);
    UnionRect(&shown, &shown, &tipRect);
    std::printf("%ld %ld %ld %ld %ld %ld\n", shown.left, shown.top, shown.right - shown.left,
                shown.bottom - shown.top, at.x - shown.left, at.y - shown.top);
    return 0;
}

INT_PTR CALLBACK TemplateProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

int ShowTemplate(const char* exe, int id) {
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return 1;
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(id), nullptr, TemplateProc, 0);
    if (!dialog) return 1;
    ShowWindow(dialog, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageA(dialog, &msg)) DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "front") == 0) {
        return Front(argv[2], argc >= 4 ? std::atof(argv[3]) : 10);
    }
    if (argc == 4 && std::strcmp(argv[1], "syscommand") == 0) {
        HWND window = FindWindowA(nullptr, argv[2]);
        if (!window) return 1;
        PostMessageA(window, WM_SYSCOMMAND, std::strtoul(argv[3], nullptr, 0), 0);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "show") == 0) {
        HWND window = FindWindowA(nullptr, argv[2]);
        if (!window) return 1;
        ShowWindow(window, SW_SHOW);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "template") == 0) {
        return ShowTemplate(argv[2], std::atoi(argv[3]));
    }
    if (argc == 5 && std::strcmp(argv[1], "tip") == 0) {
        return Tip(argv[2], std::atoi(argv[3]), argv[4]);
    }
    std::fprintf(stderr, "usage: window_driver front|syscommand|show|template|tip ...\n");
    return 2;
}
