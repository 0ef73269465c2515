/* The identifiers of the program's resources and of the dialog's controls,
   shared by setup.rc and the code. */
#pragma once

#define IDR_CONFIGURATION 103 /* the stored configuration, RT_RCDATA */
#define IDD_INSTALLER 102     /* the installer dialog's template */
#define IDI_SETUP 201         /* the program's icon group */
#define IDB_PICTURE 202       /* the dialog's background picture */

#define IDC_PICTURE 1001
#define IDC_MESSAGE 1002
#define IDC_COMPONENTS 1003 /* the check list */
#define IDC_SELECTOR 1004   /* a selection box that stays hidden and empty */

#define IDD_DOWNLOAD 104 /* the download window's template */
/* Its controls; Start is IDOK and Cancel IDCANCEL. */
#define IDC_DOWNLOAD_MESSAGE 1101
#define IDC_DOWNLOAD_BAR 1102
#define IDC_DOWNLOAD_STATUS 1103
