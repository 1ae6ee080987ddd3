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
// Exit status: 0 done, 1 no such window, 2 bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND FindVisible(const char* caption) {
    HWND window = FindWindowA(nullptr, caption);
    while (window && !IsWindowVisible(window))
        window = FindWindowExA(nullptr, window, nullptr, caption);
    return window;
}

int Front(const char* caption, double seconds) {
    DWORD start = GetTickCount();
    HWND window;
    while (!(window = FindVisible(caption))) {
        if (GetTickCount() - start > seconds * 1000) return 1;
        Sleep(20);
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window);
    // A window is found by its caption before its controls exist: this returns
    // once its thread has painted everything, controls included.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r;
    GetWindowRect(window, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
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
    std::fprintf(stderr, "usage: window_driver front|syscommand|show|template ...\n");
    return 2;
}
