#include "app/list_tip.h"

#include <commctrl.h>
#include <windowsx.h>

#include "watch/display_path.h"

namespace {

// A long path takes longer to read than the tooltip's default five seconds.
constexpr WORD kShowMilliseconds = 30000;

// The tip's one tool stands for one row. Each row has an identifier of its
// own, so that the tooltip takes a move to another row as a move to another
// tool: the old tip goes at once and the new one shows after the usual pause.
UINT_PTR ToolId(int row) {
    return static_cast<UINT_PTR>(row) + 1;
}

TTTOOLINFOA Tool(HWND list, int row) {
    TTTOOLINFOA tool = {};
    // The size that every version of the common controls takes: the program
    // has no manifest, so Windows gives it version 5, which refuses a larger record.
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.hwnd = list;
    tool.uId = ToolId(row);
    return tool;
}

}  // namespace

ListTip::~ListTip() {
    // The list may outlive its tip (a dialog's window goes after the objects
    // that hold it): it must not call into this object once it is gone.
    if (!m_list) return;
    HWND tip = m_tip;
    Detach();
    ::DestroyWindow(tip);
}

bool ListTip::Create(HWND list, RowPath rowPath) {
    if (m_list || !list) return false;
    // Owned by the dialog, so that the system destroys it with the dialog.
    // TTS_ALWAYSTIP: the tip shows while another window is active too;
    // TTS_NOPREFIX: an ampersand in a path is shown, not taken as a mnemonic.
    m_tip = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, ::GetParent(list), nullptr,
                              ::GetModuleHandleA(nullptr), nullptr);
    if (!m_tip) return false;
    // A long path wraps within half the screen rather than running off it.
    ::SendMessageA(m_tip, TTM_SETMAXTIPWIDTH, 0, ::GetSystemMetrics(SM_CXSCREEN) / 2);
    ::SendMessageA(m_tip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kShowMilliseconds, 0));
    m_list = list;
    m_rowPath = std::move(rowPath);
    m_listProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(list, GWLP_WNDPROC));
    ::SetWindowLongPtrA(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListProc));
    return true;
}

LRESULT CALLBACK ListTip::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ListTip*>(::GetWindowLongPtrA(list, GWLP_USERDATA));
    if (!self) return ::DefWindowProcA(list, message, wParam, lParam);  // set before this procedure
    WNDPROC listProc = self->m_listProc;
    LRESULT result = 0;
    // Nothing may unwind through the system's frames. The tip is an aid
    // only: when it fails, the list goes on as before.
    try {
        if (self->BeforeList(message, wParam, lParam, &result)) return result;
    } catch (...) {
    }
    result = ::CallWindowProcA(listProc, list, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        self->Detach();
        return result;
    }
    try {
        self->AfterList(message, wParam, result);
    } catch (...) {
    }
    return result;
}

bool ListTip::BeforeList(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (message >= WM_MOUSEFIRST && message <= WM_MBUTTONDBLCLK) {
        if (message == WM_MOUSEMOVE) {
            if (!m_trackingLeave) {
                TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, m_list, 0};
                m_trackingLeave = ::TrackMouseEvent(&track) != FALSE;
            }
            SetRow(RowAt({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
        }
        // The tooltip learns of the pointer only from what is relayed to it.
        MSG relayed = {};
        relayed.hwnd = m_list;
        relayed.message = message;
        relayed.wParam = wParam;
        relayed.lParam = lParam;
        relayed.time = static_cast<DWORD>(::GetMessageTime());
        DWORD position = ::GetMessagePos();
        relayed.pt = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
        ::SendMessageA(m_tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
        return false;
    }
    switch (message) {
        case WM_MOUSELEAVE:
            m_trackingLeave = false;
            SetRow(-1);
            return false;
        case WM_NOTIFYFORMAT:
            // The tooltip asks, as each tool is added, which form of its notifications we take.
            if (reinterpret_cast<HWND>(wParam) != m_tip || lParam != NF_QUERY) return false;
            *result = NFR_ANSI;
            return true;
        case WM_NOTIFY: {
            auto* info = reinterpret_cast<NMTTDISPINFOA*>(lParam);
            if (info->hdr.hwndFrom != m_tip || info->hdr.code != TTN_GETDISPINFOA) return false;
            int row = static_cast<int>(info->hdr.idFrom) - 1;
            // The drives as they stand now: one added or taken away since is shown so.
            DriveTable drives(m_pathSystem);
            m_text = DisplayPath(m_rowPath(row), drives, m_pathSystem);
            // The tooltip copies the text as soon as this returns.
            info->lpszText = &m_text[0];
            info->hinst = nullptr;
            *result = 0;
            return true;
        }
        default:
            return false;
    }
}

void ListTip::AfterList(UINT message, WPARAM wParam, LRESULT result) {
    if (m_row < 0) return;
    switch (message) {
        // A row added or removed at or above the one under the pointer moves
        // it: the tip would name another program. The next move shows the right one.
        case LB_ADDSTRING:
        case LB_INSERTSTRING:
            if (result >= 0 && result <= m_row) SetRow(-1);
            break;
        case LB_DELETESTRING:
            if (static_cast<int>(wParam) <= m_row) SetRow(-1);
            break;
        // So do emptying and scrolling; a key takes the tip away, as in any list.
        case LB_RESETCONTENT:
        case LB_SETTOPINDEX:
        case WM_VSCROLL:
        case WM_MOUSEWHEEL:
        case WM_KEYDOWN:
            SetRow(-1);
            break;
        default:
            break;
    }
}

int ListTip::RowAt(POINT point) const {
    LRESULT hit = ::SendMessageA(m_list, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    if (HIWORD(hit) != 0) return -1;  // below the last row, or no rows at all
    // The index comes in 16 bits: the row must also be the one under the point.
    int row = LOWORD(hit);
    RECT rect;
    if (::SendMessageA(m_list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect)) == LB_ERR ||
        !::PtInRect(&rect, point)) {
        return -1;
    }
    return row;
}

void ListTip::SetRow(int row) {
    if (row == m_row) return;
    if (m_row >= 0) {
        TTTOOLINFOA old = Tool(m_list, m_row);
        ::SendMessageA(m_tip, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&old));
    }
    m_row = row;
    if (row < 0) return;
    TTTOOLINFOA tool = Tool(m_list, row);
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    ::SendMessageA(m_list, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&tool.rect));
    ::SendMessageA(m_tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void ListTip::Detach() {
    ::SetWindowLongPtrA(m_list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_listProc));
    ::SetWindowLongPtrA(m_list, GWLP_USERDATA, 0);
    m_list = nullptr;
    m_tip = nullptr;  // owned by the dialog: the system destroys it with the dialog
    m_row = -1;
}
