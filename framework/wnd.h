// CWnd: a window seen through its handle, with the one dispatch path of the
// windows the framework creates.
#pragma once

#include "framework/message_map.h"

class CMenu;

//! A window by its handle: a dialog the framework created, or a control bound to one.
class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)

  public:
    HWND m_hWnd = nullptr;

    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    //! Gives the window the keyboard focus; the window that had it before.
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    BOOL GetWindowPlacement(WINDOWPLACEMENT* placement) const;
    BOOL SetWindowPlacement(const WINDOWPLACEMENT* placement) {
        return ::SetWindowPlacement(m_hWnd, placement);
    }
    //! The window's system menu, not owned by the wrapper; null when it has none.
    CMenu* GetSystemMenu(BOOL bRevert) const;
    //! Destroys the window; the object stays and can get a new window later.
    virtual BOOL DestroyWindow();

    //! The first look at every message of the window: true when handled, the
    //! result in *pResult. This one runs the message maps and returns false
    //! when no entry takes the message, which then gets the default processing.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    //! The default processing of the message being handled; its result.
    LRESULT Default();

  protected:
    //! The default processing of a message.
    virtual LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

    //! Called for WM_PAINT by ON_WM_PAINT; paints nothing of its own.
    void OnPaint() { Default(); }

    //! The message that the window procedure is handling, for Default.
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    Message m_current{};

    DECLARE_MESSAGE_MAP()
};
