#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/message_loop.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd) return;
    CDialog* dialog = pDX->m_pDlgWnd;
    HWND control = ::GetDlgItem(dialog->m_hWnd, nIDC);
    if (!control) return;
    rControl.m_hWnd = control;
    dialog->m_controls.push_back(&rControl);
}

CDialog::~CDialog() {
    // The derived parts, bound controls among them, are gone already: the
    // window's last messages get the system's processing only.
    m_controls.clear();
    if (!m_hWnd) return;
    HWND hWnd = m_hWnd;
    Unbind();
    ::DestroyWindow(hWnd);
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd || m_bModal) return -1;
    HWND owner = ModalOwner();
    // Disabled before the dialog exists, so that no input reaches the owner meanwhile.
    bool disabledOwner = owner && ::IsWindowEnabled(owner);
    if (disabledOwner) ::EnableWindow(owner, FALSE);

    m_bModal = true;
    m_bEndModal = false;
    m_nModalResult = -1;
    LPCSTR name = MAKEINTRESOURCEA(m_nIDTemplate);
    ::CreateDialogParamA(AfxFindResourceHandle(name, RT_DIALOG), name, owner, DialogProc,
                         reinterpret_cast<LPARAM>(this));
    if (m_hWnd && !m_bEndModal) {
        // A template without WS_VISIBLE is shown here, as the system's modal dialogs are.
        if (!::IsWindowVisible(m_hWnd)) ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
        RunModalLoop();
    }

    if (disabledOwner) ::EnableWindow(owner, TRUE);
    if (m_hWnd) {
        // Hidden while the owner is enabled again, so that the activation
        // passes to the owner rather than to some other program's window.
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (owner && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
        DestroyWindow();
    }
    m_bModal = false;
    return m_nModalResult;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParent) {
    if (m_hWnd) return FALSE;
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParent;
    LPCSTR name = MAKEINTRESOURCEA(nIDTemplate);
    ::CreateDialogParamA(AfxFindResourceHandle(name, RT_DIALOG), name,
                         pParent ? pParent->m_hWnd : nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
    return m_hWnd != nullptr;
}

void CDialog::EndDialog(int nResult) {
    if (m_bModal) {
        m_nModalResult = nResult;
        m_bEndModal = true;
    }
    // Hides the window: a modal loop ends with it, a modeless dialog stays, hidden.
    if (m_hWnd) ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::OnInitDialog() {
    CDataExchange exchange{this};
    DoDataExchange(&exchange);
    return TRUE;
}

LRESULT CDialog::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // The system's dialog procedure first asks ours about the message. That
    // one question is answered "not handled", so that the system goes on to
    // its own processing; messages it sends meanwhile reach the object as usual.
    m_bDefaultPending = true;
    m_default = {message, wParam, lParam};
    LRESULT result = ::DefDlgProcA(m_hWnd, message, wParam, lParam);
    m_bDefaultPending = false;
    return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The object arrives with WM_INITDIALOG, the first message after
    // WM_SETFONT, as the creation parameter; the window keeps it in DWLP_USER.
    if (message == WM_INITDIALOG) {
        reinterpret_cast<CDialog*>(lParam)->m_hWnd = hWnd;
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (!dialog) return FALSE;
    if (dialog->m_bDefaultPending && dialog->m_default.message == message &&
        dialog->m_default.wParam == wParam && dialog->m_default.lParam == lParam) {
        dialog->m_bDefaultPending = false;
        return FALSE;
    }

    Message outer = dialog->m_current;
    dialog->m_current = {message, wParam, lParam};
    LRESULT result = 0;
    BOOL handled = FALSE;
    try {
        handled = dialog->OnWndMsg(message, wParam, lParam, &result);
    } catch (...) {
        // i686 MinGW unwinds with DWARF tables, which cannot cross user32's
        // frames: an exception goes no further, and the message gets the default.
        handled = FALSE;
    }
    dialog->m_current = outer;
    if (message == WM_NCDESTROY) dialog->Unbind();
    if (!handled) return FALSE;

    switch (message) {
        // These few return their result from the dialog procedure itself.
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
        case WM_CHARTOITEM:
        case WM_VKEYTOITEM:
        case WM_COMPAREITEM:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
            return TRUE;
    }
}

HWND CDialog::ModalOwner() const {
    // Without a parent the application's main window owns the dialog, so that
    // a box opened from it (the About box) disables it while it runs.
    const CWnd* parent = m_pParentWnd ? m_pParentWnd : AfxGetMainWnd();
    if (!parent || parent == this || !parent->m_hWnd) return nullptr;
    return ::GetAncestor(parent->m_hWnd, GA_ROOT);  // only a top-level window can own one
}

void CDialog::RunModalLoop() {
    MSG msg;
    while (!m_bEndModal && m_hWnd) {
        if (!AfxPumpMessage(msg)) {
            // WM_QUIT ends this loop and is posted again, so that the loop
            // around this one (the main dialog's, around the About box) ends too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
    }
}

void CDialog::Unbind() {
    ::SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
    m_hWnd = nullptr;
    for (CWnd* control : m_controls) control->m_hWnd = nullptr;
    m_controls.clear();
}
