// The application object: starts the framework and runs the main dialog
// modally for the whole life of the program.
#include "app/single_instance.h"
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

    // A second Vardion in this folder hands over to the first and ends.
    SingleInstance instance;
    if (!instance.Claim()) {
        instance.ShowFirst();
        return FALSE;
    }

    CVardionDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    return FALSE;
}

CVardionApp theApp;
