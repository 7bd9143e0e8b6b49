// Resource and command ids, shared by the resource script and the front end.
// IDI_ICON1 and MYMENU are resource names, not numbers, so they are not
// defined here.
#pragma once

#define IDD_SIZE 102
#define IDD_ABOUT 103

#define IDB_BOARD4 107
#define IDB_BOARD3 108
#define IDB_BOARD5 115
#define IDB_BOARD6 116

#define IDC_SIZE_PROMPT 1000
#define IDC_SIZE3 1002
#define IDC_SIZE4 1003
#define IDC_SIZE5 1004
#define IDC_SIZE6 1005

#define IDM_NEW 40001
#define IDM_SIZE 40002
#define IDM_EXIT 40003
#define IDM_ABOUT 40005
