// WalkFolder: the folder scan's depth-first walk over the wide file functions, with exact
// names, a guard against linked folders that lead back up, and the host kept alive meanwhile.
#include "folder_walk.h"

#include <windows.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
#include "extension_filter.h"
#include "plugin/host_text.h"
#include "scan_list.h"
#include "scan_progress.h"

// Capacity in UTF-16 units of the walk's folder path and search pattern, terminator included:
// the file functions reach no longer path.
enum { kScanPathCapacity = 260 };
// Every level adds at least a name of one character and its separator.
enum { kMaxWalkDepth = kScanPathCapacity / 2 };
// Entries between two looks at the clock (and, when it is time, at the message queue).
enum { kEntriesPerProgressCheck = 64 };

// The folder being read, twice: in UTF-16 for Windows (at most kScanPathCapacity - 1 units,
// the longest path the file functions take), and in Windows codes as its entries name it.
// Both end with the separator that goes before a name. Each level of the walk appends its
// subfolder's name to both and cuts it off again when it returns.
static WCHAR walkFolder[kScanPathCapacity];
static size_t walkFolderLength;
static char walkPrefix[kTextCapacity];
static size_t walkPrefixLength;
// A found name in Windows codes as the host will get it, and its long name's own conversion
// (the one the extension test reads); used between the conversion and the use, never across
// a level of the walk.
static char foundName[kTextCapacity];
static char foundLongName[kTextCapacity];

// What the walk keeps fixed from its start: a call that arrives while it lets the host's
// windows repaint may change the settings, but not the walk in progress.
static const char *walkFilter;
static bool walkSubfolders;
static unsigned walkCodePage;
static CodePageMaps walkMaps;
static const CodePageMaps *walkHostMaps;  // &walkMaps, or NULL when no table is in force

// A folder itself, whatever name leads to it: its volume and its file index.
struct FolderIdentity {
    DWORD volume, indexHigh, indexLow;
};
enum IdentityState { kIdentityNotLooked, kIdentityKnown, kIdentityUnavailable };

// The folders on the way down, from the one the walk started in (level 0) to the one being
// read. Identities are looked up only when a linked folder is met.
struct WalkLevel {
    size_t folderLength;  // walkFolder's length at this level
    IdentityState state;
    FolderIdentity identity;
};
static WalkLevel walkLevels[kMaxWalkDepth];
static int walkDepth;
static WCHAR levelPath[kScanPathCapacity];

static unsigned long entriesSinceCheck;
static unsigned long filesFound;

static bool IsDotOrDotDot(const WCHAR *name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// The identity of the folder at path (a trailing separator is fine). false when it cannot be
// opened or asked.
static bool IdentityOfFolder(const WCHAR *path, FolderIdentity *identity)
{
    HANDLE folder = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    memset(&information, 0, sizeof information);
    bool known = GetFileInformationByHandle(folder, &information) != 0;
    CloseHandle(folder);
    if (known) {
        identity->volume = information.dwVolumeSerialNumber;
        identity->indexHigh = information.nFileIndexHigh;
        identity->indexLow = information.nFileIndexLow;
    }
    return known;
}

static bool SameFolder(const FolderIdentity *a, const FolderIdentity *b)
{
    return a->volume == b->volume && a->indexHigh == b->indexHigh && a->indexLow == b->indexLow;
}

// True when the linked folder now in walkFolder leads to a folder on the way down to it (the
// walk's start included), or cannot be identified: entering it could repeat the walk without
// end, so it is not entered.
static bool LeadsBackUp(void)
{
    FolderIdentity target;
    if (!IdentityOfFolder(walkFolder, &target))
        return true;
    for (int level = 0; level < walkDepth; level++) {
        WalkLevel *way = &walkLevels[level];
        if (way->state == kIdentityNotLooked) {
            memcpy(levelPath, walkFolder, way->folderLength * sizeof(WCHAR));
            levelPath[way->folderLength] = 0;
            way->state = IdentityOfFolder(levelPath, &way->identity) ? kIdentityKnown
                                                                    : kIdentityUnavailable;
        }
        if (way->state == kIdentityKnown && SameFolder(&way->identity, &target))
            return true;
    }
    return false;
}

// Puts the name of a found entry into foundName as the host will get it (see WalkFolder),
// and the long name's own conversion into foundLongName. Returns false when the name does not
// fit the buffers.
static bool ConvertFoundName(const WIN32_FIND_DATAW *entry)
{
    size_t written = 0;
    NameFit fit = WideNameToWindowsCodes(walkCodePage, walkHostMaps, entry->cFileName,
                                         wcslen(entry->cFileName), foundLongName,
                                         sizeof foundLongName, &written);
    if (fit == kNameTooLong)
        return false;
    memcpy(foundName, foundLongName, written + 1);
    if (fit == kNameDoesNotFit && entry->cAlternateFileName[0] != 0) {
        char shortName[sizeof entry->cAlternateFileName * 2];
        if (WideNameToWindowsCodes(walkCodePage, walkHostMaps, entry->cAlternateFileName,
                                   wcslen(entry->cAlternateFileName), shortName, sizeof shortName,
                                   &written) == kNameFits)
            memcpy(foundName, shortName, written + 1);
    }
    return true;
}

// Appends a subfolder's name and a separator to walkFolder and walkPrefix (codes: its name
// in Windows codes). Returns false, changing nothing, when either would be too long.
static bool EnterSubfolder(const WCHAR *name, const char *codes)
{
    size_t nameLength = wcslen(name);
    size_t codesLength = strlen(codes);
    if (nameLength + 1 > kScanPathCapacity - 1 - walkFolderLength ||
        codesLength + 1 > sizeof walkPrefix - 1 - walkPrefixLength)
        return false;
    memcpy(walkFolder + walkFolderLength, name, nameLength * sizeof(WCHAR));
    walkFolderLength += nameLength;
    walkFolder[walkFolderLength++] = L'\\';
    walkFolder[walkFolderLength] = 0;
    memcpy(walkPrefix + walkPrefixLength, codes, codesLength);
    walkPrefixLength += codesLength;
    walkPrefix[walkPrefixLength++] = '\\';
    walkPrefix[walkPrefixLength] = '\0';
    return true;
}

static void LeaveSubfolder(size_t folderLength, size_t prefixLength)
{
    walkFolderLength = folderLength;
    walkFolder[folderLength] = 0;
    walkPrefixLength = prefixLength;
    walkPrefix[prefixLength] = '\0';
}

// Counts an entry; every kEntriesPerProgressCheck entries lets the progress watch look at
// the clock. Returns false when the user has cancelled the scan.
static bool CountEntry(void)
{
    if (++entriesSinceCheck < kEntriesPerProgressCheck)
        return true;
    entriesSinceCheck = 0;
    return ScanProgressTick(walkFolder, filesFound);
}

// Walks the folder in walkFolder (see WalkFolder). Returns false when the walk must stop.
static bool ScanFolder(void)
{
    static const WCHAR kAllEntries[] = L"*.*";
    size_t folderLength = walkFolderLength;
    size_t prefixLength = walkPrefixLength;
    if (folderLength + 3 > kScanPathCapacity - 1 || walkDepth == kMaxWalkDepth)
        return true;
    memcpy(walkFolder + folderLength, kAllEntries, sizeof kAllEntries);
    WIN32_FIND_DATAW entry;
    memset(&entry, 0, sizeof entry);
    HANDLE search = FindFirstFileW(walkFolder, &entry);
    walkFolder[folderLength] = 0;
    if (search == INVALID_HANDLE_VALUE)
        return true;
    walkLevels[walkDepth].folderLength = folderLength;
    walkLevels[walkDepth].state = kIdentityNotLooked;
    walkDepth++;
    bool goOn = true;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if (walkSubfolders && !IsDotOrDotDot(entry.cFileName) && ConvertFoundName(&entry) &&
                EnterSubfolder(entry.cFileName, foundName)) {
                bool linked = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                if (!linked || !LeadsBackUp())
                    goOn = ScanFolder();
                LeaveSubfolder(folderLength, prefixLength);
            }
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) {
            if (ConvertFoundName(&entry) && MatchesExtensionFilter(foundLongName, walkFilter)) {
                goOn = AppendScanEntry(walkPrefix, foundName);
                if (goOn)
                    filesFound++;
            }
        }
        goOn = goOn && CountEntry();
    } while (goOn && FindNextFileW(search, &entry));
    FindClose(search);
    walkDepth--;
    return goOn;
}

bool WalkFolder(const char *folder, const char *extensionFilter, bool subfolders)
{
    walkFilter = extensionFilter;
    walkSubfolders = subfolders;
    walkCodePage = CurrentWindowsCodePage();
    walkHostMaps = NULL;
    if (CurrentCodePageMaps() != NULL) {
        walkMaps = *CurrentCodePageMaps();
        walkHostMaps = &walkMaps;
    }

    WCHAR wide[kTextCapacity];
    if (!WindowsCodesToWide(folder, walkCodePage, wide, kTextCapacity))
        return true;
    size_t wideLength = wcslen(wide);
    size_t length = strlen(folder);
    bool separator = wideLength > 0 && wide[wideLength - 1] != L'\\';
    if (wideLength == 0 || wideLength + (separator ? 1 : 0) > kScanPathCapacity - 1 ||
        length + (separator ? 1 : 0) > sizeof walkPrefix - 1)
        return true;
    memcpy(walkFolder, wide, wideLength * sizeof(WCHAR));
    walkFolderLength = wideLength;
    memcpy(walkPrefix, folder, length);
    walkPrefixLength = length;
    // The separator follows what the path ends with as text, not as a byte: in a double-byte
    // code page the last byte of a character may be the code of '\'.
    if (separator) {
        walkFolder[walkFolderLength++] = L'\\';
        walkPrefix[walkPrefixLength++] = '\\';
    }
    walkFolder[walkFolderLength] = 0;
    walkPrefix[walkPrefixLength] = '\0';

    walkDepth = 0;
    entriesSinceCheck = 0;
    filesFound = 0;
    BeginScanProgress();
    bool complete = ScanFolder();
    EndScanProgress();
    LeaveSubfolder(0, 0);
    return complete;
}
