// CMenu: a menu handle, destroyed with the object that holds it.
#pragma once

#include <windows.h>

class CWnd;

//! A menu, owned and destroyed by the object unless it came from FromHandle.
class CMenu {
  public:
    CMenu() = default;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;
    ~CMenu();

    HMENU m_hMenu = nullptr;
    HMENU GetSafeHmenu() const { return m_hMenu; }

    //! Takes the menu over; a different menu held before is destroyed.
    BOOL Attach(HMENU hMenu);
    //! Destroys the menu held, if any.
    BOOL DestroyMenu();

    //! Shows the popup menu at (x, y) and returns when it closes; a chosen
    //! item reaches pWnd as WM_COMMAND.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr);

    //! A wrapper that does not own the menu (a window's system menu); null
    //! for no menu. The wrapper lives as long as the program.
    static CMenu* FromHandle(HMENU hMenu);

  private:
    bool m_bOwned = true;
};
