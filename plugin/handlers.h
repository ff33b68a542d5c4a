// The fifteen external functions and the lifecycle procedures of the subsystems.
// Every handler reads its parameter, does its work and writes at most one result.
#ifndef TARVEL_HANDLERS_H
#define TARVEL_HANDLERS_H

#include "plugin/host_record.h"

enum ExternalFunctionId {
    kTarvVersion = 0,
    kTarvSetDialogFilter = 1,
    kTarvSetInitialFolder = 2,
    kTarvGetFilePath = 3,
    kTarvGetFileName = 4,
    kTarvOpenFile = 5,
    kTarvChooseFolder = 6,
    kTarvUseSubfolders = 7,
    kTarvSetFolder = 8,
    kTarvGetNextFilePath = 9,
    kTarvSetFileFilter = 10,
    kTarvCopyLargeFileIcon = 11,
    kTarvCopySmallFileIcon = 12,
    kTarvRestoreClipboard = 13,
    kTarvSetLocale = 14,
    kExternalFunctionCount = 15
};

void TarvVersion(HostHandle parameter, HostHandle result);            // plugin/version_text.cpp
void TarvSetDialogFilter(HostHandle parameter, HostHandle result);    // files/
void TarvSetInitialFolder(HostHandle parameter, HostHandle result);   // files/
void TarvGetFilePath(HostHandle parameter, HostHandle result);        // files/
void TarvGetFileName(HostHandle parameter, HostHandle result);        // files/
void TarvOpenFile(HostHandle parameter, HostHandle result);           // files/
void TarvChooseFolder(HostHandle parameter, HostHandle result);       // files/
void TarvUseSubfolders(HostHandle parameter, HostHandle result);      // files/
void TarvSetFolder(HostHandle parameter, HostHandle result);          // files/
void TarvGetNextFilePath(HostHandle parameter, HostHandle result);    // files/
void TarvSetFileFilter(HostHandle parameter, HostHandle result);      // files/
void TarvCopyLargeFileIcon(HostHandle parameter, HostHandle result);  // clipboard/
void TarvCopySmallFileIcon(HostHandle parameter, HostHandle result);  // clipboard/
void TarvRestoreClipboard(HostHandle parameter, HostHandle result);   // clipboard/
void TarvSetLocale(HostHandle parameter, HostHandle result);          // encoding/

// Init: zero-fills the file-open dialog's filter list and initial folder.
void ResetFileChooserOptions(void);
// Init: zero-fills the folder scan's extension filter (not while a scan walks).
void ResetExtensionFilter(void);
// Init: makes the "western" code-page table current.
void SelectDefaultCodePageTable(void);
// Shutdown: destroys the scan's private heap and forgets the list and its position; when a
// scan is walking (the host called from inside it), when the walk ends.
void ShutDownFolderScan(void);
// Destroys the scan's private heap and forgets the list and its position.
void ReleaseScanList(void);

#endif
