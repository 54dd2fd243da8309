// Resource identifiers of the program: templates, bitmap, icon and control ids.
#pragma once

#define IDR_MAINFRAME 1             // the program's icon
#define IDB_BANNER 129              // the banner across the top of every wizard page

#define IDD_WELCOME 102
#define IDD_SELECT_DIR 130
#define IDD_FINISH 131
#define IDD_ERROR 132
#define IDD_UNINSTALL 133
#define IDD_LICENCE 136
#define IDD_REPAIR 137
#define IDD_PROGRESS 138
#define IDD_UPDATE 139
#define IDD_LOAD_STATUS 140

#define IDC_BACK 1001
#define IDC_STATE_TEXT 1004         // repair and uninstall: the current-operation edit
#define IDC_USER_NAME 1004          // welcome page
#define IDC_COMPANY_NAME 1005
#define IDC_DETAILS 1006            // the details list of the long operations
#define IDC_PROGRESS 1008
#define IDC_BANNER 1009
#define IDC_HOLDERS 1011            // repair and uninstall: the list that stays empty
#define IDC_COMPONENTS 1011         // update: the component list
#define IDC_ACCEPT 1012             // licence page: the two radio buttons
#define IDC_DECLINE 1013
#define IDC_BROWSER 1014            // licence page: the browser control's placeholder
#define IDC_INSTALLED_NOTE 1000     // destination page: the existing-installation notice
#define IDC_DESTINATION 1004        // destination page: the folder edit
#define IDC_BROWSE 1005
#define IDC_DRIVES 1006
#define IDC_SIZE_TEXT 1007
#define IDC_HOLDER_LINES 1006       // load status: one line per process holding the module
#define IDC_END_PROCESSES 1015      // load status: "结束进程(&E)"
