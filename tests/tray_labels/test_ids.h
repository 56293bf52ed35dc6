// Resources of the tray and label tests.
#pragma once

// A dialog with heading labels and read-only edit boxes.
#define IDD_T_LABELS 9401
#define IDC_T_HEADING_UNSET 9411
#define IDC_T_HEADING_SET 9412
#define IDC_T_HEADING_NARROW 9413
#define IDC_T_PLAIN_LABEL 9414
#define IDC_T_RESULT 9415
#define IDC_T_PLAIN_READONLY 9416

// A menu resource without a sub-menu.
#define IDR_T_FLAT_MENU 9420
