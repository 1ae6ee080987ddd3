// The main dialog: owns all of the program's state, starts the watch and
// routes the window messages to it, to the tray icon and to the alert window.
#pragma once

#include "alert/alert_dlg.h"
#include "app/list_box_port.h"
#include "app/list_tip.h"
#include "app/process_source_win32.h"
#include "app/save_notice.h"
#include "framework/framework.h"
#include "watch/process_watch.h"

class CVardionDlg : public CDialog, public ProcessWatch, private TrayIcon {
  public:
    explicit CVardionDlg(CWnd* pParent = nullptr);
    ~CVardionDlg() override;

    // The notification-area icon.
    void AddTrayIcon();
    bool SetTrayImage(unsigned iconId) override;
    void RemoveTrayIcon();
    //! Called for every tray callback message, with the mouse message in lParam.
    void OnTrayNotify(LPARAM lParam);

    //! Called when the program ends by Exit or with the session: stops the ticks, saves what
    //! is unsaved of the trusted list, removes the icon and closes the save notices.
    void CloseDown();

    alertDlg m_alert;
    HICON m_hIcon;
    CListBox m_runningList;
    CListBox m_untrustedList;
    CMenu m_popupMenu;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    BOOL OnInitDialog() override;

    //! Called for system-menu commands: the About item opens the About box.
    void OnSysCommand(UINT nID, LPARAM lParam);
    //! Called to paint; a minimised window shows its icon centred.
    void OnPaint();
    //! Called when the system drags the minimised window.
    HCURSOR OnQueryDragIcon();
    //! Called when "<< Add" is clicked: moves the selected rows and says a save that failed.
    void OnAdd();
    //! Called on every tick of the 100 ms timer.
    void OnTimer(UINT_PTR nIDEvent);

    DECLARE_MESSAGE_MAP()

  private:
    Win32ProcessSource m_processSource;
    ListBoxPort m_runningPort;
    ListBoxPort m_untrustedPort;
    //! Shows the full path of the untrusted row under the pointer.
    ListTip m_untrustedTip;
    //! Says that the list could not be read or saved.
    SaveNotice m_notice;
    //! Broadcast by the shell when it starts again, having lost every icon.
    UINT m_taskbarCreated = 0;
    bool m_closedDown = false;
    //! The tray menu is being tracked: a second press must not open another.
    bool m_menuOpen = false;
    //! Exit was chosen inside a tick: the tick ends first.
    bool m_exitAfterTick = false;

    //! Saves, removes the icon and ends the modal loop.
    void Exit();
    //! Lets "TaskbarCreated" through to a Vardion that runs elevated.
    void AllowTaskbarCreated();
};
