// Thin wrappers of a list box control and of a paint context.
#pragma once

#include <cassert>

#include "framework/wnd.h"

//! A list box bound to a dialog's control; each call sends one list-box message.
class CListBox : public CWnd {
  public:
    int GetCount() const { return Send(LB_GETCOUNT, 0, 0); }
    int GetTextLen(int nIndex) const { return Send(LB_GETTEXTLEN, nIndex, 0); }
    //! Copies row nIndex into a buffer of GetTextLen(nIndex) + 1 characters; its length.
    int GetText(int nIndex, LPSTR lpszBuffer) const {
        return Send(LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(lpszBuffer));
    }
    //! The first row after nIndexStart, wrapping round, whose whole text matches, case ignored.
    int FindStringExact(int nIndexStart, LPCSTR lpszFind) const {
        return Send(LB_FINDSTRINGEXACT, nIndexStart, reinterpret_cast<LPARAM>(lpszFind));
    }
    int AddString(LPCSTR lpszItem) {
        return Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(lpszItem));
    }
    int DeleteString(UINT nIndex) { return Send(LB_DELETESTRING, nIndex, 0); }
    //! The selected rows of a multiple-selection list box, lowest first.
    int GetSelItems(int nMaxItems, LPINT rgIndex) const {
        return Send(LB_GETSELITEMS, nMaxItems, reinterpret_cast<LPARAM>(rgIndex));
    }
    //! The value kept with row nIndex; LB_ERR when there is no such row.
    DWORD_PTR GetItemData(int nIndex) const {
        assert(::IsWindow(m_hWnd));
        return static_cast<DWORD_PTR>(::SendMessageA(m_hWnd, LB_GETITEMDATA, nIndex, 0));
    }
    int SetItemData(int nIndex, DWORD_PTR dwItemData) {
        return Send(LB_SETITEMDATA, nIndex, static_cast<LPARAM>(dwItemData));
    }
    int SetSel(int nIndex, BOOL bSelect = TRUE) { return Send(LB_SETSEL, bSelect, nIndex); }

  private:
    int Send(UINT message, WPARAM wParam, LPARAM lParam) const {
        assert(::IsWindow(m_hWnd));
        return static_cast<int>(::SendMessageA(m_hWnd, message, wParam, lParam));
    }
};

//! The paint context of one WM_PAINT: BeginPaint when made, EndPaint when gone.
class CPaintDC {
  public:
    explicit CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd), m_hDC(::BeginPaint(m_hWnd, &m_ps)) {}
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
    HDC m_hDC;
};
