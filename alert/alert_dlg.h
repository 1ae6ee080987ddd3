// The alert window: lists newly detected untrusted programs until the user
// answers with View or Ignore.
#pragma once

#include <string>
#include <vector>

#include "framework/framework.h"
#include "watch/ports.h"

//! Rewrites a top-level window's placement so that it comes up restored:
//! shown, and brought back from the taskbar if it was minimised.
void RewritePlacement(CWnd& window);

class alertDlg : public CDialog, public AlertWindow {
    DECLARE_DYNAMIC(alertDlg)

  public:
    explicit alertDlg(CWnd* pParent = nullptr);
    ~alertDlg() override;

    // What the scan asks of the window.
    void RewritePlacement() override;
    void AddAlertName(const std::string& name, const std::string& path) override;
    void ShowAlert() override;
    bool IsAlertVisible() const override;

    CListBox m_list;
    //! The main window, which "View" brings forward; set before the window is shown.
    CWnd* m_pMainDlg = nullptr;

    //! The path a row's name was announced with, empty for no such row.
    std::string PathOfRow(int row) const;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;

    //! Called when "Ignore" is clicked: the list is emptied and the window hidden.
    void OnIgnore();
    //! Called when "View" is clicked: as Ignore, then the main window is brought forward.
    void OnView();

    DECLARE_MESSAGE_MAP()

  private:
    void EmptyList();

    //! The paths of the names listed, in the order announced; each row keeps its index.
    std::vector<std::string> m_paths;
};
