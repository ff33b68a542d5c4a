// The folder scan's external functions: Tarv-UseSubfolders, Tarv-SetFileFilter,
// Tarv-SetFolder (the walk, into the scan list) and Tarv-GetNextFilePath (the iterator).
#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
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

// The folder being read, twice: in UTF-16 for Windows (at most kScanPathCapacity - 1 units,
// the longest path the file functions take), and in Windows codes as its entries name it,
// with the separator that goes before a name. Each level of the walk appends its subfolder's
// name to both and cuts it off again when it returns.
static WCHAR scanFolder[kScanPathCapacity];
static size_t scanFolderLength;
static char scanPrefix[kTextCapacity];
static size_t scanPrefixLength;
// A found name in Windows codes as the host will get it, and its long name's own conversion
// (the one the extension test reads); used between the conversion and the use, never across
// a level of the walk.
static char scanName[kTextCapacity];
static char scanLongName[kTextCapacity];

void ResetExtensionFilter(void)
{
    memset(extensionFilter, 0, sizeof extensionFilter);
}

static bool IsDotOrDotDot(const WCHAR *name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Puts the name of a found entry into scanName as the host will get it: in the locale's
// Windows codes when every character fits (see WideNameToWindowsCodes), else by its short
// name when the volume keeps one that fits, else with kUnfitCharacter for each character that
// does not fit; and the long name's own conversion into scanLongName. Returns false when the
// name does not fit the buffers.
static bool ConvertFoundName(const WIN32_FIND_DATAW *entry)
{
    unsigned codePage = CurrentWindowsCodePage();
    const CodePageMaps *hostMaps = CurrentCodePageMaps();
    size_t written = 0;
    NameFit fit = WideNameToWindowsCodes(codePage, hostMaps, entry->cFileName,
                                         wcslen(entry->cFileName), scanLongName,
                                         sizeof scanLongName, &written);
    if (fit == kNameTooLong)
        return false;
    memcpy(scanName, scanLongName, written + 1);
    if (fit == kNameDoesNotFit && entry->cAlternateFileName[0] != 0) {
        char shortName[sizeof entry->cAlternateFileName * 2];
        if (WideNameToWindowsCodes(codePage, hostMaps, entry->cAlternateFileName,
                                   wcslen(entry->cAlternateFileName), shortName, sizeof shortName,
                                   &written) == kNameFits)
            memcpy(scanName, shortName, written + 1);
    }
    return true;
}

// Appends "\" (unless the folder ends with one) and a subfolder's name to scanFolder and
// scanPrefix. Returns false, changing nothing, when either would be too long.
static bool EnterSubfolder(const WCHAR *name, const char *codes)
{
    size_t nameLength = wcslen(name);
    size_t codesLength = strlen(codes);
    // scanFolder ends with its separator already (it is the prefix of the folder's entries'
    // paths); the subfolder's prefix needs one more after its name.
    if (nameLength + 1 > kScanPathCapacity - 1 - scanFolderLength ||
        codesLength + 1 > sizeof scanPrefix - 1 - scanPrefixLength)
        return false;
    memcpy(scanFolder + scanFolderLength, name, nameLength * sizeof(WCHAR));
    scanFolderLength += nameLength;
    scanFolder[scanFolderLength++] = L'\\';
    scanFolder[scanFolderLength] = 0;
    memcpy(scanPrefix + scanPrefixLength, codes, codesLength);
    scanPrefixLength += codesLength;
    scanPrefix[scanPrefixLength++] = '\\';
    scanPrefix[scanPrefixLength] = '\0';
    return true;
}

static void LeaveSubfolder(size_t folderLength, size_t prefixLength)
{
    scanFolderLength = folderLength;
    scanFolder[folderLength] = 0;
    scanPrefixLength = prefixLength;
    scanPrefix[prefixLength] = '\0';
}

// Adds the files of the folder in scanFolder that pass the extension filter to the scan list,
// in the order the search delivers them, descending into each subfolder (hidden ones
// included) where it stands when useSubfolders is 1. Hidden files are left out, and so are
// "." and "..". A folder that does not exist or cannot be read adds nothing. A folder whose
// search pattern, or a subfolder whose path, would not fit in kScanPathCapacity - 1
// characters is skipped: the file functions cannot reach it.
// Returns false when the list could not take an entry: the walk stops there, the entries
// appended so far stay. Otherwise true, whatever was found.
static bool ScanFolder(void)
{
    static const WCHAR kAllEntries[] = L"*.*";
    size_t folderLength = scanFolderLength;
    size_t prefixLength = scanPrefixLength;
    if (folderLength + 3 > kScanPathCapacity - 1)
        return true;
    memcpy(scanFolder + folderLength, kAllEntries, sizeof kAllEntries);
    WIN32_FIND_DATAW entry;
    memset(&entry, 0, sizeof entry);
    HANDLE search = FindFirstFileW(scanFolder, &entry);
    scanFolder[folderLength] = 0;
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool listGrows = true;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (useSubfolders == 1 && !IsDotOrDotDot(entry.cFileName) &&
                ConvertFoundName(&entry) &&
                EnterSubfolder(entry.cFileName, scanName)) {
                listGrows = ScanFolder();
                LeaveSubfolder(folderLength, prefixLength);
            }
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) {
            if (ConvertFoundName(&entry) && MatchesExtensionFilter(scanLongName, extensionFilter))
                listGrows = AppendScanEntry(scanPrefix, scanName);
        }
    } while (listGrows && FindNextFileW(search, &entry));
    FindClose(search);
    return listGrows;
}

// Starts the walk at the folder a script gave (Windows codes): its text goes unchanged into
// the path of every entry found in it. A folder whose path is longer than the file functions
// take is not read.
static bool ScanTopFolder(const char *folder)
{
    size_t length = strlen(folder);
    WCHAR wide[kTextCapacity];
    if (!WindowsCodesToWide(folder, CurrentWindowsCodePage(), wide, kTextCapacity))
        return true;
    size_t wideLength = wcslen(wide);
    bool separator = wideLength > 0 && wide[wideLength - 1] != L'\\';
    if (wideLength == 0 || wideLength + (separator ? 1 : 0) > kScanPathCapacity - 1 ||
        length + (separator ? 1 : 0) > sizeof scanPrefix - 1)
        return true;
    memcpy(scanFolder, wide, wideLength * sizeof(WCHAR));
    scanFolderLength = wideLength;
    memcpy(scanPrefix, folder, length);
    scanPrefixLength = length;
    if (separator) {
        scanFolder[scanFolderLength++] = L'\\';
        scanPrefix[scanPrefixLength++] = '\\';
    }
    scanFolder[scanFolderLength] = 0;
    scanPrefix[scanPrefixLength] = '\0';
    bool complete = ScanFolder();
    LeaveSubfolder(0, 0);
    return complete;
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
    bool complete = ScanTopFolder(folder);
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
