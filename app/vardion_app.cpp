// The application object. For now it shows the main dialog's template and
// ends when that is closed; the application proper takes its place.
#include "framework/framework.h"
#include "res/resource.h"

//! The program: runs the main dialog modally, then ends.
class CVardionApp : public CWinApp {
  public:
    BOOL InitInstance() override;
};

CVardionApp theApp;

BOOL CVardionApp::InitInstance() {
    CWinApp::InitInstance();
    CDialog dialog(IDD_VARDION_DIALOG);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
