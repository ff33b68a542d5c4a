// The gate that every path a script gives passes before a Windows call sees it: the path is
// judged as Windows resolves it, and Windows gets exactly that resolved path. A path that
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
    kPathForScan           // the folder walk: kShellPathUnits at most, and the walk's own bounds
};

enum {
    // The longest path the shell's calls and the file functions take whole: they read a path
    // into MAX_PATH units, terminator included, and go on with what fits (SHGetFileInfoW
    // answers for the first 259 units of a longer path).
    kShellPathUnits = MAX_PATH - 1,
    // Wine's open-file dialog dies with an access violation on a starting folder of 258
    // units or more (trailing separator aside, but measured here with it).
    kDialogFolderUnits = 257
};

// Reads path (zero-terminated Windows codes of coding: its table, if any, is the one whose
// codes the path goes back to the host in, when part of it is handed back, as the scan's paths
// begin with it) and resolves it as Win32 does, into out as UTF-16 (capacity units, terminator
// included): the full path that Windows acts on, for the caller to hand to Windows as it
// stands. GetFullPathNameW resolves every path against the current folder but one that begins
// "\\?\", which Win32 takes as it stands ("//?/" is no such path: Win32 normalises it).
// Returns false, out empty, when the path names no file:
//   - it is empty or blank, or does not read back as itself in the code page (a lone lead
//     byte reads as a character of its own, U+30FB in code page 932, and another file would
//     be reached), nor through coding's table;
//   - it or its resolved path holds '*' or '?', which the shell and the search read as
//     wildcards;
//   - it or its resolved path names a device or is in the device or object-manager namespace
//     (IsDeviceName): "C:\x\nul.txt\." resolves to "C:\x\nul.txt", a device;
//   - its resolved path does not resolve to itself again (Wine resolves "x\...\y" to
//     "x\..\y", which Windows would take a name further up);
//   - it begins "\\?\" and a name in it ends in '.' or a blank: Win32 takes such a name as it
//     stands, while the shell drops the dot ("x.txt." opens "x.txt", another file);
//   - its resolved path is longer than the use takes (PathUse), or than out.
// UNC paths, "\\?\C:\...", '/' for '\' and a trailing separator pass; out has each '/' as the
// '\' that Win32 reads it as, but in a "\\?\" path.
bool ScriptPathToWide(const char *path, const PathCoding *coding, PathUse use, WCHAR *out,
                      size_t capacity);

#endif
