/* The identifiers of the program's resources and of the dialog's controls,
   shared by setup.rc and the code. */
#pragma once

#define IDR_CONFIGURATION 103 /* the stored configuration, RT_RCDATA */
#define IDD_INSTALLER 102     /* the installer dialog's template */
#define IDI_SETUP 201         /* the program's icon group */
#define IDB_PICTURE 202       /* the dialog's background picture */
/* RT_RCDATA "1": only the stored configuration is read, never a setup.xml
   beside the program. Absent in a plain build; setup-pack writes it. */
#define IDR_STORED_ONLY 110
/* RT_RCDATA holding SETUP_MARK_TEXT: tells setup-pack that a file is this
   program, whatever its branding. */
#define IDR_MARK 111
#define SETUP_MARK_TEXT "Yolvane Setup bootstrapper"

#define IDC_PICTURE 1001
#define IDC_MESSAGE 1002
#define IDC_COMPONENTS 1003 /* the check list */
#define IDC_SELECTOR 1004   /* a selection box that stays hidden and empty */

#define IDD_DOWNLOAD 104 /* the download window's template */
/* Its controls; Start is IDOK and Cancel IDCANCEL. */
#define IDC_DOWNLOAD_MESSAGE 1101
#define IDC_DOWNLOAD_BAR 1102
#define IDC_DOWNLOAD_STATUS 1103
