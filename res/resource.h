// Resource identifiers. Plain numbers with no Windows header, so that the
// portable core, the resource script and the window code share one list.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_VARDION_DIALOG 102
#define IDD_ALERT 103

// Strings
#define IDS_ABOUTBOX 101

// Icon groups
#define IDR_MAINFRAME 128
#define IDI_TRAY_NORMAL 130
#define IDI_TRAY_ALERT 132

// Controls of the main dialog ("<< Add" is IDOK, 1)
#define IDC_UNTRUSTED_LIST 1002
#define IDC_RUNNING_LIST 1003

// Controls of the alert window
#define IDC_VIEW 1005
#define IDC_IGNORE 1006
#define IDC_ALERT_LIST 1008

// Commands
#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_EXIT 32771
