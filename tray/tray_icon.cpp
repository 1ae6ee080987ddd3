#include "tray/tray_icon.h"

#include <cstring>

#include "res/resource.h"

namespace {

constexpr UINT kTrayCallback = WM_USER;
constexpr UINT kTrayId = 0;
constexpr char kTip[] = "Process Alert";

// The first version of the record, which every shell understands: 88 bytes on
// Win32, 104 on Win64, where the window and icon handles are 8 bytes each.
NOTIFYICONDATAA Record(HWND window) {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = window;
    data.uID = kTrayId;
    return data;
}

HICON TrayImage(unsigned iconId) {
    return ::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(iconId), RT_GROUP_ICON),
                       MAKEINTRESOURCEA(iconId));
}

}  // namespace

static_assert(NOTIFYICONDATAA_V1_SIZE == (sizeof(void*) == 8 ? 104 : 88),
              "the first version of the record is 88 bytes on Win32 and 104 on Win64");

void NotifyIcon::AddTrayIcon() {
    if (m_removed) return;
    NOTIFYICONDATAA data = Record(m_owner.m_hWnd);
    static_assert(sizeof kTip <= 64, "the first version's tip holds 64 bytes");
    std::memcpy(data.szTip, kTip, sizeof kTip);
    data.hIcon = TrayImage(IDI_TRAY_NORMAL);
    data.uCallbackMessage = kTrayCallback;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    ::Shell_NotifyIconA(NIM_ADD, &data);
}

bool SetTrayIconImage(HWND window, unsigned iconId) {
    NOTIFYICONDATAA data = Record(window);
    data.hIcon = TrayImage(iconId);
    data.uFlags = NIF_ICON;
    return ::Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

bool NotifyIcon::SetTrayImage(unsigned iconId) {
    // Once removed the icon is gone, and the shell may be ending with the session.
    if (m_removed) return true;
    return SetTrayIconImage(m_owner.m_hWnd, iconId);
}

void NotifyIcon::RemoveTrayIcon() {
    if (m_removed) return;
    m_removed = true;
    NOTIFYICONDATAA data = Record(m_owner.m_hWnd);
    ::Shell_NotifyIconA(NIM_DELETE, &data);
}

void NotifyIcon::OnTrayNotify(LPARAM lParam) {
    HWND owner = m_owner.m_hWnd;
    switch (lParam) {
        case WM_LBUTTONDOWN:
            if (!::IsWindowVisible(owner)) {
                m_owner.ShowWindow(SW_SHOW);
                ::SetForegroundWindow(owner);
            }
            break;
        case WM_RBUTTONDOWN: {
            // A second press while the menu is open (its loop handles the
            // messages meanwhile) must not destroy the menu being tracked.
            if (m_menuOpen) break;
            m_menuOpen = true;
            m_popupMenu.DestroyMenu();
            m_popupMenu.Attach(::CreatePopupMenu());
            ::AppendMenuA(m_popupMenu.GetSafeHmenu(), MF_STRING, ID_TRAY_EXIT, "&Exit");
            POINT cursor = {};
            ::GetCursorPos(&cursor);
            // Without the foreground the menu would not close when the user
            // clicks elsewhere; the posted message lets it end cleanly.
            ::SetForegroundWindow(owner);
            m_popupMenu.TrackPopupMenu(0, cursor.x, cursor.y, &m_owner);
            ::PostMessageA(owner, WM_NULL, 0, 0);
            m_menuOpen = false;
            break;
        }
        default:
            break;
    }
}
