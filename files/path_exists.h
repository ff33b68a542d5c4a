// The existence test shared by the file chooser and file opening.
#ifndef TARVEL_PATH_EXISTS_H
#define TARVEL_PATH_EXISTS_H

#include <windows.h>

// True when path (zero-terminated UTF-16) leads to a file or a folder on a disk: it names no
// device (see IsDeviceName), and GetFileAttributesW gives anything but
// INVALID_FILE_ATTRIBUTES. No attribute is looked at. An empty path does not exist.
bool PathExists(const WCHAR *path);

#endif
