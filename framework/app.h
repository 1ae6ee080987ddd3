// CWinApp, the one application object, and the framework's few free functions.
#pragma once

#include <string>

#include "framework/wnd.h"

//! The application: one global object, whose InitInstance the entry point calls.
class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)

  public:
    //! The first application object constructed becomes the application.
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    //! Called once by the entry point. TRUE: run the message loop (Run);
    //! FALSE: end the program at once.
    virtual BOOL InitInstance() { return TRUE; }
    //! The message loop, until WM_QUIT; the quit code.
    virtual int Run();
    //! Called when the program ends; the exit code.
    virtual int ExitInstance() { return m_nExitCode; }

    //! Remembers the registry key for the application's settings; writes nothing.
    void SetRegistryKey(LPCSTR lpszRegistryKey) {
        m_registryKey = lpszRegistryKey ? lpszRegistryKey : "";
    }
    //! Called for ID_HELP: the program has no help file, so nothing happens.
    void OnHelp() {}

    LPCSTR m_pszAppName;
    std::string m_registryKey;
    //! The main window: the owner of dialogs opened without a parent.
    CWnd* m_pMainWnd = nullptr;

  protected:
    int m_nExitCode = 0;

    DECLARE_MESSAGE_MAP()
};

//! The application object; null when the program has none.
CWinApp* AfxGetApp();
//! The application's main window; null when there is none.
CWnd* AfxGetMainWnd();

//! The module holding the resource: the program's own, the only one it has.
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);
//! The text of string resource nID, empty when there is none.
std::string AfxLoadString(UINT nID);
//! Would let dialogs host ActiveX controls; the program hosts none.
inline void AfxEnableControlContainer() {}
