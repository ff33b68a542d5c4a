// The folder scan's walk: a folder and, on request, its subfolders, into the scan list.
#ifndef TARVEL_FOLDER_WALK_H
#define TARVEL_FOLDER_WALK_H

// Adds the files of folder (zero-terminated, Windows codes of the current locale) that pass
// extensionFilter (see MatchesExtensionFilter) to the scan list, in the order the search
// delivers them; with subfolders, descends into each subfolder (hidden ones included) where it
// stands. Hidden files are left out, and so are "." and "..".
//   - Each entry is folder as given, "\" unless it ends with one, the path below it, and the
//     name: in the locale's Windows codes when they hold it, else by the short name Windows
//     keeps, else with kUnfitCharacter for each character that does not fit.
//   - A folder that does not exist or cannot be read adds nothing. A folder whose search
//     pattern (path, "\", "*.*") would pass 259 characters of UTF-16 is not read: the file
//     functions reach no longer path.
//   - A linked folder (a junction or symbolic link) is walked like any other, unless it leads
//     to the folder the walk started in or to a folder on the way down to it: that would
//     repeat the walk without end.
//   - Every few hundred entries the walk lets the host's windows repaint; after about a
//     second it shows a progress window whose Cancel stops it (see scan_progress.h).
// Returns false when the walk stopped early: the list could not take an entry, or the user
// cancelled. The entries appended until then stay. Otherwise true, whatever was found.
bool WalkFolder(const char *folder, const char *extensionFilter, bool subfolders);

#endif
