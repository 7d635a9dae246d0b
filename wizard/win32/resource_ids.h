// SPDX-License-Identifier: MIT
// Resource and control numbers shared by the resource script and the pages.
// Plain macros, because the resource compiler reads this file too.
#pragma once

// The icon group of the version resource every program of ours carries.
#define QUENDLE_ICON 1
#define QUENDLE_MANIFEST 1

#define IDD_WELCOME 107
#define IDD_SOURCE 108
#define IDD_OUTPUT 109
#define IDD_COMPLETION 110
#define IDD_PROGRESS 111
#define IDD_COMMAND_LINE 112

// String table: header titles and subtitles of pages 2 to 4.
#define IDS_SOURCE_TITLE 1
#define IDS_SOURCE_SUBTITLE 2
#define IDS_OUTPUT_TITLE 3
#define IDS_OUTPUT_SUBTITLE 4
#define IDS_PROGRESS_TITLE 5
#define IDS_PROGRESS_SUBTITLE 6

// Controls of more than one page.
#define IDC_TITLE 1000
#define IDC_HELP_BUTTON 1041

// Welcome page.
#define IDC_WELCOME_TEXT 1001

// Source page.
#define IDC_SOURCE_NAME 200
#define IDC_SOURCE_BROWSE 1012
#define IDC_OEM 1022
#define IDC_PREVIEW 1031
#define IDC_ENCODING 1032
#define IDC_PREVIEW_NOTE 1033

// Output page.
#define IDC_OVERWRITE_FILE 1018
#define IDC_OVERWRITE_TABLE 1019
#define IDC_OUTPUT_BROWSE 1021
#define IDC_OUTPUT_NAME 1022
#define IDC_DELIMITER 1030
#define IDC_ALL_CHARACTER 1033
#define IDC_TYPES_IN_FILE 1034
#define IDC_NUMERIC 1035
#define IDC_BOOLEAN 1036
#define IDC_WORKBOOK_TYPE 1038
#define IDC_DATE_FORMAT 1039
#define IDC_DECIMAL 1040

// Progress page.
#define IDC_PROGRESS_BAR 1016
#define IDC_FILES 1021
#define IDC_TIME 1022

// Completion page.
#define IDC_RESULT 1019
#define IDC_SHEET 1023
#define IDC_OPEN 1020
#define IDC_SAVE 1021
#define IDC_COMMAND_LINE 1034

// Command-line box.
#define IDC_COMMAND_TEXT 1050
#define IDC_COPY_NOTE 1051
#define IDC_COPY 1052
