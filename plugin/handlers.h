// The external functions by number, and where each one's handler is defined. Every handler
// reads its parameter, does its work and writes at most one result. The enum is the one home
// of the functions' count: the tests and the package check derive it from here.
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
    kExternalFunctionCount  // one more than the last number: every number below it is a function
};

void TarvVersion(HostHandle parameter, HostHandle result);            // plugin/version_text.cpp
void TarvSetDialogFilter(HostHandle parameter, HostHandle result);    // files/file_chooser.cpp
void TarvSetInitialFolder(HostHandle parameter, HostHandle result);   // files/file_chooser.cpp
void TarvGetFilePath(HostHandle parameter, HostHandle result);        // files/file_chooser.cpp
void TarvGetFileName(HostHandle parameter, HostHandle result);        // files/get_file_name.cpp
void TarvOpenFile(HostHandle parameter, HostHandle result);           // files/open_file.cpp
void TarvChooseFolder(HostHandle parameter, HostHandle result);       // files/folder_chooser.cpp
void TarvUseSubfolders(HostHandle parameter, HostHandle result);      // files/folder_scan.cpp
void TarvSetFolder(HostHandle parameter, HostHandle result);          // files/folder_scan.cpp
void TarvGetNextFilePath(HostHandle parameter, HostHandle result);    // files/folder_scan.cpp
void TarvSetFileFilter(HostHandle parameter, HostHandle result);      // files/folder_scan.cpp
void TarvCopyLargeFileIcon(HostHandle parameter, HostHandle result);  // clipboard/file_icon.cpp
void TarvCopySmallFileIcon(HostHandle parameter, HostHandle result);  // clipboard/file_icon.cpp
void TarvRestoreClipboard(HostHandle parameter, HostHandle result);   // clipboard/snapshot.cpp
void TarvSetLocale(HostHandle parameter, HostHandle result);          // encoding/set_locale.cpp

#endif
