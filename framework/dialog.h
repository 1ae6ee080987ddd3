// CDialog: a dialog built from a template, run modally in the framework's own
// message loop or created modeless; and the binding of its controls.
#pragma once

#include <vector>

#include "framework/wnd.h"

class CDialog;

//! What DoDataExchange is working on: the dialog whose controls it binds.
struct CDataExchange {
    CDialog* m_pDlgWnd;
};

//! Binds the dialog's control `nIDC` to `rControl`, unless that object is bound already.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

//! A dialog from a template of the program's module.
class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

  public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParent = nullptr)
        : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParent) {}
    //! Destroys the window if it still exists.
    ~CDialog() override;

    //! Creates the dialog, disables its owner, runs the modal loop until
    //! EndDialog or a WM_QUIT, destroys the window; the EndDialog result, or
    //! -1 when the dialog could not be created or a WM_QUIT ended it.
    virtual INT_PTR DoModal();
    //! Creates the dialog modeless; it shows at once only if the template says so.
    BOOL Create(UINT nIDTemplate, CWnd* pParent = nullptr);
    //! Ends a modal dialog with the result. A modeless dialog is only hidden.
    void EndDialog(int nResult);

    //! Called for WM_INITDIALOG: the first DoDataExchange. TRUE: the system
    //! gives the focus to the first control.
    virtual BOOL OnInitDialog();

  protected:
    //! Binds controls to members (DDX_Control); nothing by default.
    virtual void DoDataExchange(CDataExchange*) {}
    //! Called for IDOK (the default button, Enter): ends the dialog with IDOK.
    virtual void OnOK() { EndDialog(IDOK); }
    //! Called for IDCANCEL (Esc, the close box): ends the dialog with IDCANCEL.
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

  private:
    friend void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }
    HWND ModalOwner() const;
    void RunModalLoop();
    //! The window is gone: the object and its bound controls let go of their handles.
    void Unbind();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_bModal = false;     //!< DoModal is running
    bool m_bEndModal = false;  //!< EndDialog has ended the modal loop
    INT_PTR m_nModalResult = -1;
    //! The message that Default is passing to the system's dialog procedure.
    bool m_bDefaultPending = false;
    Message m_default{};
    //! The controls DDX_Control bound to this dialog's window.
    std::vector<CWnd*> m_controls;
};
