#include "framework/app.h"

#include "framework/message_loop.h"

namespace {

CWinApp* theApplication = nullptr;

}  // namespace

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(lpszAppName) {
    if (!theApplication) theApplication = this;
}

CWinApp::~CWinApp() {
    if (theApplication == this) theApplication = nullptr;
}

int CWinApp::Run() {
    MSG msg;
    while (AfxPumpMessage(msg)) {
    }
    m_nExitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

CWinApp* AfxGetApp() {
    return theApplication;
}

CWnd* AfxGetMainWnd() {
    return theApplication ? theApplication->m_pMainWnd : nullptr;
}

HINSTANCE AfxFindResourceHandle(LPCSTR, LPCSTR) {
    return ::GetModuleHandleA(nullptr);
}

std::string AfxLoadString(UINT nID) {
    HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(nID / 16 + 1), RT_STRING);
    // LoadStringA cuts a string that does not fit and tells only how much it
    // copied: a result that fills the buffer means "maybe more", so try larger.
    std::string text(256, '\0');
    for (;;) {
        int length = ::LoadStringA(module, nID, &text[0], static_cast<int>(text.size()));
        if (length <= 0) return std::string();
        if (length < static_cast<int>(text.size()) - 1 || text.size() >= (1u << 20)) {
            text.resize(static_cast<size_t>(length));
            return text;
        }
        text.resize(text.size() * 2);
    }
}
