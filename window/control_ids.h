#pragma once

// Ids of the main window's controls and of the input box, shared by the
// resource script and by tools that find the controls from outside, as
// automation does. Plain defines, so the resource compiler reads them too.

#define QUORVIX_WINDOW_CLASS L"QuorvixMain"

#define IDC_MAC 101
#define IDC_SN 102
#define IDC_UPDATE 103
#define IDC_EXIT 104
#define IDC_HINT 105

#define IDD_INPUT_BOX 200
#define IDC_INPUT_PROMPT 201
#define IDC_INPUT_TEXT 202

#define IDI_QUORVIX 1
#define IDA_MAIN 300
