#include "alert/alert_dlg.h"

#include "res/resource.h"

IMPLEMENT_DYNAMIC(alertDlg, CDialog)

BEGIN_MESSAGE_MAP(alertDlg, CDialog)
ON_BN_CLICKED(IDC_IGNORE, &alertDlg::OnIgnore)
ON_BN_CLICKED(IDC_VIEW, &alertDlg::OnView)
END_MESSAGE_MAP()

void RewritePlacement(CWnd& window) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    window.GetWindowPlacement(&placement);
    // SW_RESTORE shows the window and, when it is minimised, restores it.
    placement.showCmd = SW_RESTORE;
    window.SetWindowPlacement(&placement);
}

alertDlg::alertDlg(CWnd* pParent) : CDialog(IDD_ALERT, pParent) {}

alertDlg::~alertDlg() = default;

void alertDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ALERT_LIST, m_list);
}

void alertDlg::RewritePlacement() {
    ::RewritePlacement(*this);
}

void alertDlg::AddAlertName(const std::string& name, const std::string& path) {
    // The list is sorted, so rows move as names are added: each row keeps the
    // index of its path as its item data, which moves with it.
    m_paths.push_back(path);
    int row = m_list.AddString(name.c_str());
    if (row >= 0) m_list.SetItemData(row, m_paths.size() - 1);
}

std::string alertDlg::PathOfRow(int row) const {
    DWORD_PTR index = m_list.GetItemData(row);
    return index < m_paths.size() ? m_paths[index] : std::string();
}

void alertDlg::ShowAlert() {
    ShowWindow(SW_SHOW);
}

bool alertDlg::IsAlertVisible() const {
    return m_hWnd && ::IsWindowVisible(m_hWnd);
}

void alertDlg::EmptyList() {
    while (m_list.GetCount() > 0) m_list.DeleteString(0);
    m_paths.clear();
}

void alertDlg::OnIgnore() {
    EmptyList();
    ShowWindow(SW_HIDE);
}

void alertDlg::OnView() {
    EmptyList();
    ShowWindow(SW_HIDE);
    m_pMainDlg->ShowWindow(SW_SHOW);
    ::RewritePlacement(*m_pMainDlg);
    m_pMainDlg->SetFocus();
}
