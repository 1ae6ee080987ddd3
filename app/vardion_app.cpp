// The application object: starts the framework and runs the main dialog
// modally for the whole life of the program.
#include "app/vardion_dlg.h"

#include <commctrl.h>

class CVardionApp : public CWinApp {
  public:
    CVardionApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override;
};

BOOL CVardionApp::InitInstance() {
    ::InitCommonControls();
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    SetRegistryKey("Local AppWizard-Generated Applications");

    CVardionDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    return FALSE;
}

CVardionApp theApp;
