#include "framework/wnd.h"

#include "framework/menu.h"

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

BOOL CWnd::GetWindowPlacement(WINDOWPLACEMENT* placement) const {
    // The system refuses a record whose length field is not set.
    placement->length = sizeof(WINDOWPLACEMENT);
    return ::GetWindowPlacement(m_hWnd, placement);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const {
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd || !::DestroyWindow(m_hWnd)) return FALSE;
    m_hWnd = nullptr;  // a dialog's own procedure has cleared it already
    return TRUE;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    LRESULT result = 0;
    if (!DispatchMessageMap(message, wParam, lParam, &result)) return FALSE;
    if (pResult) *pResult = result;
    return TRUE;
}

LRESULT CWnd::Default() {
    return DefaultProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}
