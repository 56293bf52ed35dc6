// Resource ids of the framework tests' own dialog.
#pragma once

#define IDD_FW_TEST 900
#define IDC_TEST_EDIT 901
#define IDC_TEST_COMBO 902
#define IDC_TEST_CHECK 903
#define IDC_TEST_LABEL 904
#define IDC_TEST_GO 905
