// The folder scan's external functions: Tarv-UseSubfolders, Tarv-SetFileFilter,
// Tarv-SetFolder (the walk, into the scan list) and Tarv-GetNextFilePath (the iterator).
//
// While a walk runs, the host's windows repaint, and the host may call the plug-in again from
// there. Those four functions then do nothing and write no result: the list and the settings
// are the walk's until it ends. A shutdown, and an init's reset of the extension filter, that
// arrive then are carried out when it ends.
#include "files/folder_scan.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
#include "files/exact_path.h"
#include "files/folder_walk.h"
#include "files/scan_list.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/portable.h"
#include "plugin/status.h"

enum { kSubfolderOptionCapacity = 24 };

// The scan's settings and what a walk in progress defers. A nested call (from the host's loop
// inside a walk) changes only the deferred flags, through init and shutdown; the scan
// functions themselves do nothing then.
struct FolderScanState {
    // The scan descends into subfolders. Set from load on; init leaves it alone.
    bool useSubfolders;
    // ';'-separated extension tokens; empty lets every file pass. Zero-filled at init.
    char extensionFilter[kTextUnits];
    // A walk is in progress (and the host may be calling from inside it).
    bool walking;
    // A shutdown came during the walk: the list goes when the walk ends.
    bool releaseAfterWalk;
    // An init came during the walk: the extension filter is emptied when the walk ends.
    bool resetFilterAfterWalk;
    // What the list's paths mean: the coding in force when they were found.
    PathCoding listCoding;
};
static FolderScanState folderScan = {true, {0}, false, false, false, PathCoding()};

void ResetExtensionFilter(void)
{
    if (folderScan.walking)
        folderScan.resetFilterAfterWalk = true;
    else
        memset(folderScan.extensionFilter, 0, sizeof folderScan.extensionFilter);
}

void ShutDownFolderScan(void)
{
    if (folderScan.walking)
        folderScan.releaseAfterWalk = true;
    else
        ReleaseScanList();
}

// "on" or "off", in any case and without blanks: 000 (OK). Anything else, the empty text
// included: -001 (Incorrect option), and the option keeps its value.
void TarvUseSubfolders(HostHandle parameter, HostHandle result)
{
    if (folderScan.walking)
        return;
    char option[kSubfolderOptionCapacity];
    ReadTextParameter(parameter, option, sizeof option);
    int32_t status = kStatusOk;
    if (_stricmp(option, "on") == 0)
        folderScan.useSubfolders = true;
    else if (_stricmp(option, "off") == 0)
        folderScan.useSubfolders = false;
    else
        status = kStatusIncorrectOption;
    WriteStatusResult(result, status);
}

// Stores the extension filter for the following scans, unchecked and unconverted; an empty
// parameter stores "*.*". Always 000 (OK).
void TarvSetFileFilter(HostHandle parameter, HostHandle result)
{
    if (folderScan.walking)
        return;
    int32_t size = ReadTextParameter(parameter, folderScan.extensionFilter,
                                     sizeof folderScan.extensionFilter);
    if (size == 0)
        strcpy(folderScan.extensionFilter, "*.*");
    WriteStatusResult(result, kStatusOk);
}

// Scans the folder named by the parameter (host codes) into a new scan list and puts the
// iterator on its first entry. An empty parameter changes nothing: 000 (OK), and an iteration
// in progress goes on. Otherwise the previous list is discarded first; a folder that does not
// exist or holds no matching file leaves no list, and 000 (OK). When the list cannot be
// created or grown, the user cancels the scan in its progress window, a quit arrives, or the
// walk meets more linked folders than it can keep track of, the walk stops, the entries found
// so far stay for iteration, and the answer is -003 (Cannot iterate directory), not a success.
void TarvSetFolder(HostHandle parameter, HostHandle result)
{
    if (folderScan.walking)
        return;
    char folder[kTextUnits];
    ReadTextParameter(parameter, folder, sizeof folder);
    if (folder[0] == '\0') {
        WriteStatusResult(result, kStatusOk);
        return;
    }
    ConvertHostToWindows(folder);
    ReleaseScanList();
    folderScan.listCoding = *CurrentPathCoding();
    folderScan.walking = true;
    bool complete = WalkFolder(folder, folderScan.extensionFilter, folderScan.useSubfolders,
                               &folderScan.listCoding);
    folderScan.walking = false;
    if (folderScan.releaseAfterWalk) {
        folderScan.releaseAfterWalk = false;
        ReleaseScanList();
    }
    if (folderScan.resetFilterAfterWalk) {
        folderScan.resetFilterAfterWalk = false;
        ResetExtensionFilter();
    }
    StartScanIteration();
    WriteStatusResult(result, complete ? kStatusOk : kStatusCannotIterateDirectory);
}

// Writes the next found path, in host codes, and moves on. The parameter is not read. With no
// path left (or no scan yet) nothing is written. A path whose writing fails at the host is
// skipped all the same.
// Under another table than the scan's (Tarv-SetLocale came between), the path is read in the
// scan's code page and given again under the table in force: a name that the table cannot
// hold comes back by its proven short name or with kUnfitCharacter, never as a look-alike.
void TarvGetNextFilePath(HostHandle parameter, HostHandle result)
{
    (void)parameter;
    if (folderScan.walking)
        return;
    char entry[kTextUnits];
    if (!TakeNextScanEntry(entry, sizeof entry))
        return;
    if (SamePathCoding(CurrentPathCoding(), &folderScan.listCoding)) {
        ConvertWindowsToHost(entry);
        WriteTextResult(result, entry);
        return;
    }
    WCHAR wide[kTextUnits];
    char path[kTextUnits];
    if (!WindowsCodesToWide(entry, folderScan.listCoding.codePage, wide, kTextUnits) ||
        !WidePathToExactCodes(wide, kNamesAsGiven, CurrentPathCoding(), path, sizeof path))
        memset(path, 0, sizeof path);  // cannot be given whole: the empty text, not a part
    ConvertWindowsToHost(path);
    WriteTextResult(result, path);
}
