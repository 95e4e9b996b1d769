#pragma once
// The test dialog for window localisation.

#define IDD_LANG_TEST 500
#define IDC_LANG_STATIC 1001
#define IDC_LANG_GROUP 1002
#define IDC_LANG_EDIT 1003
#define IDC_LANG_PARENT 1004
#define IDC_LANG_GRANDCHILD 1005
