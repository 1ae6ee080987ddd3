// The main dialog: owns the program's parts, the watch with its lists, the
// alert window and the tray icon, and routes the window messages to them.
#pragma once

#include "alert/alert_dlg.h"
#include "app/file_system_win32.h"
#include "app/list_box_port.h"
#include "app/list_tip.h"
#include "app/process_source_win32.h"
#include "app/save_notice.h"
#include "framework/framework.h"
#include "tray/tray_icon.h"
#include "watch/process_watch.h"

class CVardionDlg : public CDialog {
  public:
    explicit CVardionDlg(CWnd* pParent = nullptr);
    ~CVardionDlg() override;

    //! Called when the program ends by Exit or with the session: stops the ticks, saves what
    //! is unsaved of the trusted list, for a few seconds at most, closes the save notices and
    //! removes the icon. At Exit, where a user sees it, what could not be saved is said last.
    void CloseDown(bool atExit);

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
    // Constructed in this order: each part is handed those before it.
    Win32ProcessSystem m_processSystem;
    Win32PathSystem m_pathSystem;
    alertDlg m_alert;
    HICON m_hIcon;
    CListBox m_runningList;
    CListBox m_untrustedList;
    NotifyIcon m_tray;
    ListBoxPort m_runningPort;
    ListBoxPort m_untrustedPort;
    //! The trusted list and "known.dat", read and written on a thread of its own.
    TrustedList m_trusted;
    //! The untrusted paths and the scan.
    ProcessWatch m_watch;
    //! Show the full path of the untrusted row, and of the alert's row, under the pointer.
    ListTip m_untrustedTip{m_pathSystem};
    ListTip m_alertTip{m_pathSystem};
    //! Says that the list could not be read or saved.
    SaveNotice m_notice;
    //! Broadcast by the shell when it starts again, having lost every icon.
    UINT m_taskbarCreated = 0;
    bool m_closedDown = false;
    //! Exit was chosen inside a tick: the tick ends first.
    bool m_exitAfterTick = false;

    //! Adds the tray icon; the next tick sends the image it is to show.
    void AddTrayIcon();
    //! Saves, removes the icon and ends the modal loop.
    void Exit();
    //! Lets "TaskbarCreated" through to a Vardion that runs elevated.
    void AllowTaskbarCreated();
};
