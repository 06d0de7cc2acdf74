// Dialog, control and resource IDs. The resource script includes this file too, so it holds
// plain #defines only.
#pragma once

#define IDD_MAIN 1000
#define IDC_MAKE_DEF 1001
#define IDC_DLL_PATH 1002
#define IDC_DEF_PATH 1003
#define IDC_MAKE_LIB 1004
#define IDC_LOG 1005
#define IDC_WEB_LINK 1006
#define IDC_CREDIT 1007
#define IDC_NAMES_ONLY 1008
#define IDB_LINK 100
#define IDR_USAGE_NOTE 101
#define IDI_MAIN 32512
