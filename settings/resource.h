// Resource identifiers of the settings program.
#pragma once

#define IDD_HALVERN_DIALOG 102
#define IDR_MAINFRAME 131
#define IDC_VERSION_TEXT 1005
#define IDC_PREVENT_SLEEP 1022

#define IDS_VERSION_KEY 1
#define IDS_VERSION_VALUE 2
#define IDS_VERSION_FORMAT 3
#define IDS_UNKNOWN 4
#define IDS_RUN_AS_ADMINISTRATOR 8
#define IDS_UPDATE_FAILED 15
#define IDS_NOT_INSTALLED 16
