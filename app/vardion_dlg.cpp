#include "app/vardion_dlg.h"

#include "app/about_dlg.h"
#include "res/resource.h"

namespace {

constexpr UINT_PTR kTimerId = 0;
constexpr UINT kTickMilliseconds = 100;
constexpr DWORD kMessageFilterAllow = 1;  // MSGFLT_ALLOW
// The end of the program waits this long at most for the list to be saved, so
// that it ends within ten seconds whatever the drive does.
constexpr unsigned kCloseDownMilliseconds = 6000;

}  // namespace

BEGIN_MESSAGE_MAP(CVardionDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDOK, &CVardionDlg::OnAdd)
ON_WM_TIMER()
END_MESSAGE_MAP()

CVardionDlg::CVardionDlg(CWnd* pParent)
    : CDialog(IDD_VARDION_DIALOG, pParent),
      m_alert(nullptr),
      m_hIcon(::LoadIconA(AfxFindResourceHandle(MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON),
                          MAKEINTRESOURCEA(IDR_MAINFRAME))),
      m_tray(*this),
      m_runningPort(m_runningList),
      m_untrustedPort(m_untrustedList),
      m_trusted(WindowsFileSystem(), FileWork::kBackground, kProgramPace),
      m_watch(m_processSystem, m_pathSystem, m_trusted, m_runningPort, m_untrustedPort, m_alert,
              m_tray) {}

CVardionDlg::~CVardionDlg() = default;

void CVardionDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_RUNNING_LIST, m_runningList);
    DDX_Control(pDX, IDC_UNTRUSTED_LIST, m_untrustedList);
}

BOOL CVardionDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    if (HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
        std::string about = AfxLoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // Row i of the untrusted list is entry i of m_untrusted.
    m_untrustedTip.Create(m_untrustedList.m_hWnd, [this](int row) {
        const StringList& paths = m_watch.m_untrusted;
        return row >= 0 && static_cast<size_t>(row) < paths.size() ? paths[static_cast<size_t>(row)]
                                                                   : std::string();
    });

    // Read while the window answers; the ticks list nothing before it is in.
    m_trusted.LoadKnown();
    m_alert.Create(IDD_ALERT, nullptr);
    m_alert.m_pMainDlg = this;
    // In the alert the tip still shows the path after "<< Add" has moved the program.
    m_alertTip.Create(m_alert.m_list.m_hWnd, [this](int row) { return m_alert.PathOfRow(row); });
    ::SetTimer(m_hWnd, kTimerId, kTickMilliseconds, nullptr);
    m_taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    AllowTaskbarCreated();
    AddTrayIcon();
    return TRUE;
}

BOOL CVardionDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    switch (message) {
        case WM_USER:
            // The tray callback; the dialog manager's DM_GETDEFID has the same
            // number and is answered 0, which makes Enter send IDOK.
            m_tray.OnTrayNotify(lParam);
            return TRUE;
        case WM_CLOSE:
            // The close box, Alt+F4 and the system menu's Close only hide the window.
            if (::IsWindowVisible(m_hWnd)) ShowWindow(SW_HIDE);
            return TRUE;
        case WM_COMMAND:
            if (wParam == IDOK) return CDialog::OnWndMsg(message, wParam, lParam, pResult);
            if (wParam == ID_TRAY_EXIT) {
                // A menu opened inside a tick (its click handled during the
                // tick's call to the shell) closes down after that tick.
                if (m_watch.Scanning())
                    m_exitAfterTick = true;
                else
                    Exit();
            }
            // Every other command, Esc's IDCANCEL among them, is consumed.
            return TRUE;
        case WM_ENDSESSION:
            // Log-off or shut-down ends the process without Exit: save as Exit does.
            if (wParam) CloseDown(false);
            return TRUE;
        default:
            if (m_taskbarCreated != 0 && message == m_taskbarCreated) {
                if (!m_closedDown) AddTrayIcon();
                return TRUE;
            }
            return CDialog::OnWndMsg(message, wParam, lParam, pResult);
    }
}

void CVardionDlg::OnSysCommand(UINT nID, LPARAM) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
        return;
    }
    Default();
}

void CVardionDlg::OnPaint() {
    if (!::IsIconic(m_hWnd)) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(dc.m_hDC, x, y, m_hIcon);
}

HCURSOR CVardionDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CVardionDlg::OnTimer(UINT_PTR) {
    // After the end of the session the icon is gone: no tick calls the shell again.
    if (m_closedDown) return;
    // A tick inside another does nothing: the next timer message does the work.
    if (!m_watch.ScanProcesses()) return;
    // A list file found too large while it ticked, or a save that failed.
    m_notice.Show(m_trusted.TakeUntoldFailure());
    if (m_exitAfterTick) {
        m_exitAfterTick = false;
        Exit();
    }
}

void CVardionDlg::Exit() {
    CloseDown(true);
    ::PostMessageA(m_hWnd, WM_QUIT, 0, 0);
}

void CVardionDlg::AllowTaskbarCreated() {
    // The system keeps messages from a less privileged shell away from an
    // elevated window. Found by name: a system without the call has no such filter.
    using Allow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    FARPROC found = user32 ? ::GetProcAddress(user32, "ChangeWindowMessageFilterEx") : nullptr;
    if (!found) return;
    auto allow = reinterpret_cast<Allow>(reinterpret_cast<void (*)()>(found));
    allow(m_hWnd, m_taskbarCreated, kMessageFilterAllow, nullptr);
}

void CVardionDlg::OnAdd() {
    m_watch.AddSelected();
    m_notice.Show(m_trusted.TakeUntoldFailure());
}

void CVardionDlg::AddTrayIcon() {
    m_tray.AddTrayIcon();
    // The icon comes with the normal image; whatever it is to show now is sent
    // by the next tick.
    m_watch.TrayIconAdded();
}

void CVardionDlg::CloseDown(bool atExit) {
    // Once only: Exit and the end of the session may both ask for it.
    if (m_closedDown) return;
    m_closedDown = true;
    ::KillTimer(m_hWnd, kTimerId);
    // Every addition is saved when it is made: here the save that runs ends, and
    // what a failed save left is written, or not, if the drive does not answer.
    SaveResult left = m_trusted.Settle(kCloseDownMilliseconds);
    m_notice.Close();
    m_tray.RemoveTrayIcon();
    if (atExit && left != SaveResult::kSaved) SaveNotice::SayAtExit(left, m_trusted.Unsaved());
}
