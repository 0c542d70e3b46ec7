// Resource and control ids of the updater executable.
#pragma once

#define IDD_ABOUTBOX 100
#define IDD_UPDATER 102
#define IDI_UPDATER 128
#define IDB_SPLASH 130

#define IDS_ABOUTBOX 101
#define IDS_READY 102
#define IDS_LOCATE_KESTRIN 103
#define IDS_UPDATING 104
#define IDS_UPDATED 105
#define IDS_NOT_UPDATED 106
#define IDS_LOCATE_WMF 107
#define IDS_OLD_INSTALL 108
#define IDS_OLD_SHARED 109
#define IDS_NEW_INSTALL 110
#define IDS_MOVE_ERROR 111
#define IDS_QUIT 112
#define IDS_RESUME 113
#define IDS_MIGRATING 114
#define IDS_NOT_COMPLETED 115

#define IDC_PROGRESS 1000
#define IDC_CHANGE_FOLDER 1001
#define IDM_ABOUTBOX 16
