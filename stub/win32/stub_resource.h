// Resource ids of the package stub: dialog templates, icons and the
// controls of the five windows. Shared by ombrstub.rc and the C++ code, so
// plain #defines only.
#pragma once

// Dialog templates.
#define IDD_PROGRESS 102
#define IDD_LICENCE 2001
#define IDD_FOLDER 2002
#define IDD_OVERWRITE 2003
#define IDD_PASSWORD 2004

// Icons: the program's own, then one for each prompt.
#define IDI_PROGRAM 101
#define IDI_FOLDER 104
#define IDI_LICENCE 105
#define IDI_OVERWRITE 106
#define IDI_PASSWORD 107

// Progress window.
#define IDC_PROGRESS_BAR 101
#define IDC_PROGRESS_CANCEL 103
#define IDC_PROGRESS_PAUSE 104
#define IDC_PROGRESS_STATUS 105
#define IDC_PROGRESS_ANIMATION 109
#define IDC_PROGRESS_NAME 111

// Licence window; its buttons are IDYES and IDNO.
#define IDC_LICENCE_HEADING 31
#define IDC_LICENCE_QUESTION 32
#define IDC_LICENCE_TEXT 2100

// Folder and password prompts: the prompt text and the edit share their
// ids; the buttons are IDOK and IDCANCEL.
#define IDC_ENTRY 2101
#define IDC_BROWSE 2102
#define IDC_PROMPT 2108

// Overwrite question.
#define IDC_OVERWRITE_FILE 10
#define IDC_OVERWRITE_HEADING 33
#define IDC_OVERWRITE_YES 5
#define IDC_OVERWRITE_YES_ALL 6
#define IDC_OVERWRITE_NO 7
#define IDC_OVERWRITE_NO_ALL 8
#define IDC_OVERWRITE_CANCEL 9

// The longest folder or password the prompts take, in characters.
#define STUB_ENTRY_LIMIT 260
