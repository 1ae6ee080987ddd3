// The About box, opened from the main window's system menu.
#pragma once

#include "framework/framework.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
  public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
