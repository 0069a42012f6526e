// Identifiers of the program's resources: the dialog, its controls, the icon and the strings.
#pragma once

#define IDD_MAIN 103
#define IDI_MAIN 115

#define IDC_RUN 1012
#define IDC_RESULT_LIST 1071
#define IDC_OS_LABEL 1073

#define IDS_TITLE 1
#define IDS_FILE_ERROR 2
#define IDS_REGISTRY_ERROR 3
#define IDS_DONE 4
#define IDS_DONE_RESTART 5
#define IDS_PARTIAL_FAILURE 8
#define IDS_DIR_NOT_FOUND 9
#define IDS_BUFFER_ERROR 10
#define IDS_COL_ITEM 11
#define IDS_COL_STATUS 12
#define IDS_ST_ERROR 13
#define IDS_ST_DELETED 14
#define IDS_ST_NO_FILE 15
#define IDS_ST_NO_FOLDER 16
#define IDS_ST_DELETE_AT_RESTART 17
#define IDS_ST_NO_KEY 18
#define IDS_ST_NO_VALUE 19
#define IDS_ST_DETECT_ERROR 20
#define IDS_HDR_FILES 21
#define IDS_HDR_REGISTRY 22
#define IDS_INSTALL_FOLDER 23
#define IDS_NEEDS_ADMINISTRATOR 24
