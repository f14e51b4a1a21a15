// Resource ids shared by ravelo.rc and the Win32 code.
#pragma once

#define IDS_APP_CLASS 109
#define IDR_MAINMENU 109
#define IDR_ACCELERATORS 109
#define IDD_SERVER 129
#define IDD_ABOUT 103
#define IDI_LARGE 132
#define IDI_SMALL 133
#define IDC_LOG 1001
#define IDC_START 1002
#define IDC_PASSWORD 1003
#define IDC_RUN_ON_STARTUP 1005
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_FAST_ANSWERS 106
#define IDM_START_AT_LOGIN 150
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
