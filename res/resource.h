// Resource and control identifiers. The numbers are fixed: other code, the
// tray menu and the registry-free parts of the program rely on them.
#pragma once

// Icons
#define IDR_MAINFRAME 128 // application icon
#define IDI_TRAY 129      // 16 x 16, 16-colour tray icon

// Dialogs
#define IDD_LOOKUP_DIALOG 102
#define IDD_CONFIGURE_DIALOG 132
#define IDD_ABOUTBOX 280

// Menus
#define IDR_TRAY_MENU 140

// Strings
#define IDS_ABOUTBOX 101
#define IDS_SOCKETS_INIT_FAILED 103

// Main dialog controls and commands
#define IDC_CONFIGURE 3
#define IDC_MORE_SOFTWARE 4
#define IDM_ABOUTBOX 16
#define ID_TRAY_RESTORE 135
#define ID_TRAY_EXIT 136
#define IDC_LOOKUP 1001
#define IDC_RESULT 1002
#define IDC_CONVERT_TO_IP 1004
#define IDC_INPUT_GROUP 1005
#define IDC_TRAY 1006
#define IDC_QUERY 1007
#define IDC_HEADING 1008

// Configure dialog
#define IDC_SERVER_LIST 1009
