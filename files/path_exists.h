// The existence test shared by the file chooser and file opening.
#ifndef TARVEL_PATH_EXISTS_H
#define TARVEL_PATH_EXISTS_H

#include <windows.h>

// True when GetFileAttributesW answers for path (zero-terminated UTF-16): a file or a folder
// of that name exists. No attribute is looked at. Windows answers for a device as for a file,
// so a path from a script passes ScriptPathToWide first, which refuses devices.
bool PathExists(const WCHAR *path);

#endif
