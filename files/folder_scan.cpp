// The folder scan's external functions: Tarv-UseSubfolders, Tarv-SetFileFilter,
// Tarv-SetFolder (the walk, into the scan list) and Tarv-GetNextFilePath (the iterator).
#include <io.h>
#include <stdint.h>
#include <string.h>

#include "encoding/codepage.h"
#include "extension_filter.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/portable.h"
#include "plugin/status.h"
#include "scan_list.h"
#include "scan_path.h"

enum { kSubfolderOptionCapacity = 24 };

// 1: the scan descends into subfolders. Set from load on; init leaves it alone.
static int32_t useSubfolders = 1;
// ';'-separated extension tokens; empty lets every file pass. Zero-filled at init.
static char extensionFilter[kTextCapacity];

void ResetExtensionFilter(void)
{
    memset(extensionFilter, 0, sizeof extensionFilter);
}

// Adds the files of folderPath that pass the extension filter to the scan list, in the order
// the runtime's search delivers them, descending into each subfolder (hidden ones included)
// where it stands when useSubfolders is 1. Hidden files are left out, and so are "." and "..".
// A folder that does not exist or cannot be read adds nothing. A folder whose search pattern,
// or a subfolder whose path, would not fit in kScanPathCapacity - 1 characters is skipped: the
// ANSI file functions cannot reach it.
// Returns false when the list could not take an entry: the walk stops there, the entries
// appended so far stay. Otherwise true, whatever was found.
static bool ScanFolder(const char *folderPath)
{
    if (folderPath[0] == '\0')
        return true;
    char pattern[kScanPathCapacity];
    if (!JoinScanPath(folderPath, "*.*", pattern, sizeof pattern))
        return true;
    struct _finddata32_t entry;
    memset(&entry, 0, sizeof entry);
    intptr_t search = _findfirst32(pattern, &entry);
    if (search == -1)
        return true;
    bool listGrows = true;
    do {
        if ((entry.attrib & _A_SUBDIR) != 0) {
            if (useSubfolders == 1 && strcmp(entry.name, ".") != 0 &&
                strcmp(entry.name, "..") != 0) {
                char subfolderPath[kScanPathCapacity];
                if (JoinScanPath(folderPath, entry.name, subfolderPath, sizeof subfolderPath))
                    listGrows = ScanFolder(subfolderPath);
            }
        } else if ((entry.attrib & _A_HIDDEN) == 0 &&
                   MatchesExtensionFilter(entry.name, extensionFilter)) {
            listGrows = AppendScanEntry(folderPath, entry.name);
        }
    } while (listGrows && _findnext32(search, &entry) == 0);
    _findclose(search);
    return listGrows;
}

// "on" or "off", in any case and without blanks: 000 (OK). Anything else, the empty text
// included: -001 (Incorrect option), and the option keeps its value.
void TarvUseSubfolders(HostHandle parameter, HostHandle result)
{
    char option[kSubfolderOptionCapacity];
    ReadTextParameter(parameter, option, sizeof option);
    int32_t status = kStatusOk;
    if (_stricmp(option, "on") == 0)
        useSubfolders = 1;
    else if (_stricmp(option, "off") == 0)
        useSubfolders = 0;
    else
        status = kStatusIncorrectOption;
    WriteStatusResult(result, status);
}

// Stores the extension filter for the following scans, unchecked and unconverted; an empty
// parameter stores "*.*". Always 000 (OK).
void TarvSetFileFilter(HostHandle parameter, HostHandle result)
{
    int32_t size = ReadTextParameter(parameter, extensionFilter, sizeof extensionFilter);
    if (size == 0)
        strcpy(extensionFilter, "*.*");
    WriteStatusResult(result, kStatusOk);
}

// Scans the folder named by the parameter (host codes) into a new scan list and puts the
// iterator on its first entry. An empty parameter changes nothing: 000 (OK), and an iteration
// in progress goes on. Otherwise the previous list is discarded first; a folder that does not
// exist or holds no matching file leaves no list, and 000 (OK). When the list cannot be
// created or grown, the walk stops, the entries found so far stay for iteration, and the
// answer is -003 (Cannot iterate directory), not a success.
void TarvSetFolder(HostHandle parameter, HostHandle result)
{
    char folder[kTextCapacity];
    ReadTextParameter(parameter, folder, sizeof folder);
    if (folder[0] == '\0') {
        WriteStatusResult(result, kStatusOk);
        return;
    }
    ConvertHostToWindows(folder);
    ReleaseScanList();
    bool complete = ScanFolder(folder);
    StartScanIteration();
    WriteStatusResult(result, complete ? kStatusOk : kStatusCannotIterateDirectory);
}

// Writes the next found path, in host codes, and moves on. The parameter is not read. With no
// path left (or no scan yet) nothing is written. A path whose writing fails at the host is
// skipped all the same.
void TarvGetNextFilePath(HostHandle parameter, HostHandle result)
{
    (void)parameter;
    char *entry = TakeNextScanEntry();
    if (entry == NULL)
        return;
    // In place: each entry is handed out once.
    ConvertWindowsToHost(entry);
    WriteTextResult(result, entry);
}
