#pragma once

// Resource identifiers of the source's dialog, shared by scan_dialog.rc and
// the code. The Scan and Cancel buttons are IDOK and IDCANCEL.
#define IDD_SCAN 100
#define IDC_SETTINGS 101
