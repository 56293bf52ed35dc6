// Resources of the Windows user-interface tests.
#pragma once

// A template with the About box's placeholders among look-alikes.
#define IDD_TEST_PLACEHOLDERS 9281

#define IDC_T_PRODUCT 9301
#define IDC_T_PRODUCT_AGAIN 9302
#define IDC_T_COPYRIGHT 9303
#define IDC_T_COBRAND 9304
#define IDC_T_VERSION 9305
#define IDC_T_LOWER_PRODUCT 9306
#define IDC_T_UPPER_COPYRIGHT 9307
#define IDC_T_PADDED_COBRAND 9308
#define IDC_T_BUTTON_PRODUCT 9309
#define IDC_T_EDIT_COPYRIGHT 9310
#define IDC_T_LOOKALIKE_VERSION 9311
#define IDC_T_OTHER_TEXT 9312
#define IDC_T_UPPER_CLASS_COBRAND 9313

// A window class of the test's own whose name only starts like "Static".
#define TEST_LOOKALIKE_CLASS "StaticLabel"
