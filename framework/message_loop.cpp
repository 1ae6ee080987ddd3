#include "framework/message_loop.h"

#include <cstring>

namespace {

bool IsDialogWindow(HWND hWnd) {
    char name[16];
    return ::GetClassNameA(hWnd, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0;
}

}  // namespace

bool AfxPumpMessage(MSG& msg) {
    BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) return false;
    if (got == -1) {  // cannot happen without a window filter; end the loop rather than spin
        msg = MSG{};
        return false;
    }
    // The tick's timer message, ten a second, means nothing to the dialog
    // manager: it goes straight to its window, without the look for the dialog.
    if (msg.message == WM_TIMER) {
        ::DispatchMessageA(&msg);
        return true;
    }
    // Keys go to the control with the focus. Tab, Enter and Esc mean something
    // only to the dialog that holds that control, which need not be the dialog
    // whose loop runs: Esc in the modeless alert window must reach its OnCancel.
    HWND root = msg.hwnd ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && IsDialogWindow(root) && ::IsDialogMessageA(root, &msg)) return true;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
    return true;
}
