// WalkFolder: the folder scan's depth-first walk over the wide file functions, with exact
// names, a guard against linked folders that lead back up, and the host kept alive meanwhile.
#include "folder_walk.h"

#include <windows.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
#include "exact_name.h"
#include "exact_path.h"
#include "extension_filter.h"
#include "plugin/host_text.h"
#include "scan_list.h"
#include "scan_progress.h"

// Capacity in UTF-16 units of the walk's folder path and search pattern, terminator included:
// the file functions reach no longer path.
enum { kScanPathCapacity = 260 };
// Every level adds at least a name of one character and its separator.
enum { kMaxWalkDepth = kScanPathCapacity / 2 };
// Slots of the table of linked folders entered; it takes at most kMaxEnteredLinks of them, so
// that a search always meets an empty slot.
enum { kEnteredLinkSlots = 16384, kMaxEnteredLinks = kEnteredLinkSlots / 4 * 3 };

// The folder being read, twice: in UTF-16 for Windows (at most kScanPathCapacity - 1 units,
// the longest path the file functions take), and in Windows codes as its entries name it.
// Both end with the separator that goes before a name. Each level of the walk appends its
// subfolder's name to both and cuts it off again when it returns.
static WCHAR walkFolder[kScanPathCapacity];
static size_t walkFolderLength;
static char walkPrefix[kTextCapacity];
static size_t walkPrefixLength;
// A found name's own conversion (the one the extension test reads), and, for a name that is
// not exact, the name as the host will get it (see FoundNameToCodes); used between the
// conversion and the use, never across a level of the walk.
static char foundLongName[kTextCapacity];
static char foundName[kTextCapacity];

// What the walk keeps fixed from its start: a call that arrives while it lets the host's
// windows repaint may change the settings, but not the walk in progress.
static const char *walkFilter;
static bool walkSubfolders;
static unsigned walkCodePage;
static CodePageMaps walkMaps;
static const CodePageMaps *walkHostMaps;  // &walkMaps, or NULL when no table is in force
static LeadBytes walkLeadBytes;
static const LeadBytes *walkLeads;  // &walkLeadBytes when names are in a double-byte code page

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

// The folders that linked folders led the walk into, so far in this scan, by identity: a link
// that leads to one of them again is not entered. Without it, links that fan out (two links at
// each level to the same next folder) make the walk exponential in the depth. Open addressing;
// only a link met fills a slot, so trees without links never touch it.
static FolderIdentity enteredLinks[kEnteredLinkSlots];
static bool enteredLinkUsed[kEnteredLinkSlots];
static unsigned enteredLinkCount;
// More linked folders than the table takes: the walk stops, as when the list cannot grow.
static bool enteredLinksFull;

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

// True when target is a folder on the way down to the folder being read (the walk's start
// included): entering it would repeat the walk without end.
static bool LeadsBackUp(const FolderIdentity *target)
{
    for (int level = 0; level < walkDepth; level++) {
        WalkLevel *way = &walkLevels[level];
        if (way->state == kIdentityNotLooked) {
            memcpy(levelPath, walkFolder, way->folderLength * sizeof(WCHAR));
            levelPath[way->folderLength] = 0;
            way->state = IdentityOfFolder(levelPath, &way->identity) ? kIdentityKnown
                                                                    : kIdentityUnavailable;
        }
        if (way->state == kIdentityKnown && SameFolder(&way->identity, target))
            return true;
    }
    return false;
}

static unsigned EnteredLinkSlot(const FolderIdentity *identity)
{
    unsigned hash = identity->indexLow * 2654435761u;
    hash ^= identity->indexHigh * 40503u + identity->volume;
    return (hash ^ (hash >> 15)) % kEnteredLinkSlots;
}

// Notes target as entered through a link. Returns false when a link entered it before.
// Sets enteredLinksFull, noting nothing, when the table takes no more.
static bool NoteEnteredLink(const FolderIdentity *target)
{
    unsigned slot = EnteredLinkSlot(target);
    while (enteredLinkUsed[slot]) {
        if (SameFolder(&enteredLinks[slot], target))
            return false;
        slot = (slot + 1) % kEnteredLinkSlots;
    }
    if (enteredLinkCount == kMaxEnteredLinks) {
        enteredLinksFull = true;
        return false;
    }
    enteredLinkUsed[slot] = true;
    enteredLinks[slot] = *target;
    enteredLinkCount++;
    return true;
}

// True when the walk may enter the linked folder now in walkFolder: it can be identified, it
// does not lead back up, and no link led the walk into it before in this scan (a folder reached
// by several links is walked once, under the first way found).
static bool MayEnterLink(void)
{
    FolderIdentity target;
    return IdentityOfFolder(walkFolder, &target) && !LeadsBackUp(&target) &&
           NoteEnteredLink(&target);
}

// Puts the found entry's own name (length units), converted, into foundLongName. Returns
// false when it does not fit the buffer; *exact tells whether it came back whole and reads
// back as itself, so that the host can have it as it is.
static bool ConvertLongName(const WIN32_FIND_DATAW *entry, size_t length, bool *exact)
{
    size_t written = 0;
    NameFit fit = WideNameToWindowsCodes(walkCodePage, walkHostMaps, entry->cFileName, length,
                                         foundLongName, sizeof foundLongName, &written);
    *exact = fit == kNameFits && NameReadsBackAsItself(entry->cFileName, length);
    return fit != kNameTooLong;
}

// For an entry whose name is not exact: its proven short name, or the name masked, into
// foundName (see FoundNameToCodes).
static NameForm ConvertInexactName(const WIN32_FIND_DATAW *entry, size_t length)
{
    size_t written = 0;
    return FoundNameToCodes(walkFolder, entry->cFileName, length, entry->cAlternateFileName,
                            kNamesAsFound, walkCodePage, walkHostMaps, foundName,
                            sizeof foundName, &written);
}

// The name by which the walk enters a subfolder, with its codes for the paths below it in
// *codes; NULL when it is not entered. A name that reads back as itself leads there (with
// kUnfitCharacter in its codes where the code page lacks a character); any other name only
// through its proven short name: as it stands, it could lead anywhere ("a\..", "sub.").
static const WCHAR *SubfolderEntryName(const WIN32_FIND_DATAW *entry, const char **codes)
{
    size_t length = wcslen(entry->cFileName);
    bool exact = false;
    if (!ConvertLongName(entry, length, &exact))
        return NULL;
    *codes = foundLongName;
    if (exact)
        return entry->cFileName;
    *codes = foundName;
    switch (ConvertInexactName(entry, length)) {
    case kShortNameForm:
        return entry->cAlternateFileName;
    case kMaskedNameForm:
        return NameReadsBackAsItself(entry->cFileName, length) ? entry->cFileName : NULL;
    default:
        return NULL;
    }
}

// For a file that passes the extension filter: its name as the host will get it, or NULL
// when it does not fit the buffers.
static const char *HandedFileName(const WIN32_FIND_DATAW *entry)
{
    size_t length = wcslen(entry->cFileName);
    bool exact = false;
    if (!ConvertLongName(entry, length, &exact) ||
        !MatchesExtensionFilter(foundLongName, walkFilter, walkLeads))
        return NULL;
    if (exact)
        return foundLongName;
    return ConvertInexactName(entry, length) == kNameTooLongForm ? NULL : foundName;
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

// After every entry and every folder opened: the progress watch looks at the clock (a read of
// memory the system keeps up to date), so that the host's queue is looked at about every tenth
// of a second of work however the entries are spread over folders. Returns false when the
// user has cancelled the scan.
static bool KeepHostAlive(void)
{
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
        return KeepHostAlive();
    walkLevels[walkDepth].folderLength = folderLength;
    walkLevels[walkDepth].state = kIdentityNotLooked;
    walkDepth++;
    bool goOn = true;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            const char *codes = NULL;
            const WCHAR *name = NULL;
            if (walkSubfolders && !IsDotOrDotDot(entry.cFileName) &&
                (name = SubfolderEntryName(&entry, &codes)) != NULL &&
                EnterSubfolder(name, codes)) {
                bool linked = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                if (!linked || MayEnterLink())
                    goOn = ScanFolder();
                goOn = goOn && !enteredLinksFull;
                LeaveSubfolder(folderLength, prefixLength);
            }
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) {
            const char *name = HandedFileName(&entry);
            if (name != NULL) {
                goOn = AppendScanEntry(walkPrefix, name);
                if (goOn)
                    filesFound++;
            }
        }
        goOn = goOn && KeepHostAlive();
    } while (goOn && FindNextFileW(search, &entry));
    FindClose(search);
    walkDepth--;
    return goOn;
}

bool WalkFolder(const char *folder, const char *extensionFilter, bool subfolders,
                unsigned codePage, const CodePageMaps *hostMaps)
{
    walkFilter = extensionFilter;
    walkSubfolders = subfolders;
    walkCodePage = codePage;
    walkHostMaps = NULL;
    if (hostMaps != NULL) {
        walkMaps = *hostMaps;
        walkHostMaps = &walkMaps;
    }
    walkLeads = codePage == 0 ? AnsiLeadBytes(&walkLeadBytes) : NULL;

    WCHAR wide[kTextCapacity];
    if (!WindowsCodesToWide(folder, walkCodePage, wide, kTextCapacity))
        return true;
    size_t wideLength = wcslen(wide);
    size_t length = strlen(folder);
    // The paths handed out begin with the folder's own bytes, so they must be what the walk
    // reads: a text that does not read back as itself (a lone lead byte, which reads as a
    // character of its own) names another folder, and is taken for one that does not exist.
    char readBack[kTextCapacity];
    size_t readBackLength = 0;
    if (WideNameToWindowsCodes(walkCodePage, walkHostMaps, wide, wideLength, readBack,
                               sizeof readBack, &readBackLength) != kNameFits ||
        readBackLength != length || memcmp(readBack, folder, length) != 0)
        return true;
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
    filesFound = 0;
    memset(enteredLinkUsed, 0, sizeof enteredLinkUsed);
    enteredLinkCount = 0;
    enteredLinksFull = false;
    BeginScanProgress();
    bool complete = ScanFolder();
    EndScanProgress();
    LeaveSubfolder(0, 0);
    return complete;
}
