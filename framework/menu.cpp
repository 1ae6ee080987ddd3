#include "framework/menu.h"

#include <map>
#include <memory>

#include "framework/wnd.h"

CMenu::~CMenu() {
    if (m_bOwned) DestroyMenu();
}

BOOL CMenu::Attach(HMENU hMenu) {
    if (hMenu != m_hMenu) DestroyMenu();
    m_hMenu = hMenu;
    return hMenu != nullptr;
}

BOOL CMenu::DestroyMenu() {
    if (!m_hMenu) return FALSE;
    BOOL destroyed = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    return destroyed;
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect) {
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd ? pWnd->m_hWnd : nullptr, lpRect);
}

CMenu* CMenu::FromHandle(HMENU hMenu) {
    if (!hMenu) return nullptr;
    // One lasting wrapper per handle, so that the pointer stays valid however
    // long the caller keeps it; a handle is wrapped once, whatever its menu.
    static std::map<HMENU, std::unique_ptr<CMenu>> wrappers;
    std::unique_ptr<CMenu>& wrapper = wrappers[hMenu];
    if (!wrapper) {
        wrapper = std::make_unique<CMenu>();
        wrapper->m_bOwned = false;
    }
    wrapper->m_hMenu = hMenu;  // again, in case DestroyMenu cleared it
    return wrapper.get();
}
