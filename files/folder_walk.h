// The folder scan's walk: a folder and, on request, its subfolders, into the scan list.
#ifndef TARVEL_FOLDER_WALK_H
#define TARVEL_FOLDER_WALK_H

#include "encoding/codepage.h"

// Adds the files of folder (zero-terminated, Windows codes of coding, whose table, if any, is
// the one the list's paths go to the host in; it stays as it is until the walk ends) that pass
// extensionFilter (see MatchesExtensionFilter) to the scan list, in the order the folder lists
// them; with subfolders, descends into each subfolder (hidden ones included) where it stands.
// Hidden files are left out, and so are "." and "..".
//   - Each entry is the folder as Windows resolves it (the full path that ScriptPathToWide
//     gives, in codes as WidePathToExactCodes gives them: "sub" is the current folder's, for
//     good; as written where that is the full path, '/' aside), "\" unless it ends with one,
//     the path below it, and the name, each name as NameToCodes and InexactNameToCodes give
//     it: itself when it fits the code page and reads back as itself, else its proven short
//     name, else masked with kUnfitCharacter.
//   - A folder text that names no file by the rules of ScriptPathToWide (a lone lead byte of a
//     double-byte code page, a wildcard, a device or the object manager, a "\\?\" path with
//     a name ending in '.' or a blank) adds nothing, as does a folder that does not exist or
//     cannot be read. A folder whose search pattern (path, "\", "*.*") would pass
//     kShellPathUnits characters of UTF-16 is not read: the file functions reach no longer
//     path.
//   - A subfolder whose name does not read back as itself ("sub.", "a\.." under Wine) is
//     entered by its proven short name, or not at all.
//   - Each folder is walked once, whatever leads to it: a link, a link that a share shows as
//     a plain folder, a loop, or its own name. A folder met again comes no more, so its files
//     come once, under the first way found. But where the path length cut that way short (a
//     folder below it was too long to read), a shorter way walks it again, and its files that
//     the longer way could not reach come under the shorter way. Where Windows lacks the
//     handle listing (Windows 2000 and XP), only linked folders are told apart: a folder
//     reached by a link and by its own name comes under each way (see folder_listing.h).
//   - Before every Windows call that can wait on a disk or a server, the walk lets the
//     progress watch look at the clock, which now and then lets the host's windows repaint
//     and shows a progress window, whose Cancel stops the walk (see ScanProgressTick).
// Returns false when the walk stopped early: the list could not take an entry, the user
// cancelled, or the table of folders entered could not grow (files/folder_table.h).
// The entries appended until then stay. Otherwise true, whatever was found.
bool WalkFolder(const char *folder, const char *extensionFilter, bool subfolders,
                const PathCoding *coding);

#endif
