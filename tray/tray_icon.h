// The program's notification-area icon: added at start, its image set by the
// ticks, its menu offering Exit, removed at close-down.
#pragma once

#include <windows.h>

#include "framework/framework.h"
#include "watch/ports.h"

//! Sets the image of the window's icon 0 to icon resource `iconId`; tip and
//! callback stay. False when the shell did not take it.
bool SetTrayIconImage(HWND window, unsigned iconId);

//! The one icon, identifier 0 of the window that receives its callbacks.
class NotifyIcon : public TrayIcon {
  public:
    //! `owner` receives the callbacks and the menu's command; its window is
    //! read when the icon is added.
    explicit NotifyIcon(CWnd& owner) : m_owner(owner) {}

    //! Adds the icon, with its tip and the normal image; again after the shell
    //! has restarted and lost it.
    void AddTrayIcon();
    //! Sets the image, unless the icon has been removed for good.
    bool SetTrayImage(unsigned iconId) override;
    //! Removes the icon; no later call touches the shell.
    void RemoveTrayIcon();
    //! Called for every callback message, with the mouse message in lParam:
    //! a left press shows a hidden owner, a right press opens the menu.
    void OnTrayNotify(LPARAM lParam);

    //! The menu of the last right press.
    CMenu m_popupMenu;

  private:
    CWnd& m_owner;
    bool m_removed = false;
    //! The menu is being tracked: a second press must not open another.
    bool m_menuOpen = false;
};
