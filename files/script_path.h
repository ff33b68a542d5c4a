// The gate that every path a script gives passes before a Windows call sees it: a path that
// could reach another file than it names, a device or the object manager, or that the call
// would read only in part, names no file.
#ifndef TARVEL_SCRIPT_PATH_H
#define TARVEL_SCRIPT_PATH_H

#include <windows.h>
#include <stddef.h>

#include "encoding/codepage.h"

// The Windows call a script's path goes to, which decides how long it may be.
enum PathUse {
    kPathForShell,         // ShellExecuteW, SHGetFileInfoW: kShellPathUnits at most
    kPathForDialogFolder,  // the open-file dialog's starting folder: kDialogFolderUnits at most
    kPathForScan           // the folder walk, which bounds its own paths
};

enum {
    // The shell's calls read a path into MAX_PATH units, terminator included, and go on with
    // what fits: SHGetFileInfoW answers for the first 259 units of a longer path.
    kShellPathUnits = MAX_PATH - 1,
    // Wine's open-file dialog dies with an access violation on a starting folder of 258
    // units or more (trailing separator aside, but measured here with it).
    kDialogFolderUnits = 257
};

// Reads path (zero-terminated Windows codes of codePage: 1250, 1251, 1252, or 0 for the
// system's ANSI code page) into out as UTF-16 (capacity units, terminator included), when it
// may reach Windows as the very file or folder it names. hostMaps: the table whose codes the
// path goes back to the host in, when part of it is handed back (the scan's paths begin with
// it); NULL otherwise. Returns false, out empty, when the path names no file:
//   - it is empty, does not fit out, or does not read back as itself in the code page (a lone
//     lead byte reads as a character of its own, U+30FB in code page 932, and another file
//     would be reached), nor, given hostMaps, through that table;
//   - it holds '*' or '?', which the shell and the search read as wildcards;
//   - it names a device or is in the device or object-manager namespace (IsDeviceName);
//   - for kPathForShell and kPathForDialogFolder: it, or the full path that Windows makes of
//     it (a relative path is read from the current folder), is longer than the call takes.
// '/' and '\' alike, "\\?\C:\...", UNC paths and a trailing separator pass. For kPathForShell,
// out has '\' for each '/', as Win32 reads the path (but in a "\\?\" path, which it takes as
// it stands).
bool ScriptPathToWide(const char *path, unsigned codePage, const CodePageMaps *hostMaps,
                      PathUse use, WCHAR *out, size_t capacity);

#endif
