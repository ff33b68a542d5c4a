// Identifiers of the plug-in's resources, shared by the resource script and the code.
#ifndef TARVEL_RESOURCE_IDS_H
#define TARVEL_RESOURCE_IDS_H

// Strings the host reads: name, description, options, and function names from 144 on.
#define IDS_PLUGIN_NAME 128
#define IDS_PLUGIN_DESCRIPTION 129
#define IDS_PLUGIN_OPTIONS 131
#define IDS_FIRST_FUNCTION_NAME 144

#define IDD_INFORMATION 101
#define IDD_SCAN_PROGRESS 102
#define IDB_LOGO_UPPER 121
#define IDB_LOGO_LOWER 122
#define IDC_HEADING 1001
#define IDC_LOGO_UPPER 1004  // the logo halves, set by the dialog's code (see info_dialog.cpp)
#define IDC_LOGO_LOWER 1005
#define IDC_VERSION_VALUE 147
#define IDC_SCAN_FOLDER 1002
#define IDC_SCAN_COUNT 1003

#endif
