// WalkFolder: the folder scan's depth-first walk over the wide file functions, with exact
// names, linked folders entered once and never back up, and the host kept alive meanwhile.
#include "files/folder_walk.h"

#include <windows.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
#include "files/exact_name.h"
#include "files/exact_path.h"
#include "files/extension_filter.h"
#include "files/file_identity.h"
#include "files/scan_list.h"
#include "files/scan_progress.h"
#include "files/script_path.h"
#include "plugin/host_text.h"

// Capacity in UTF-16 units of the walk's folder path and search pattern, terminator included:
// the file functions reach no longer path.
enum { kScanPathCapacity = 260 };
// Every level adds at least a name of one character and its separator.
enum { kMaxWalkDepth = kScanPathCapacity / 2 };
// Slots of the table of linked folders entered; it takes at most kMaxEnteredLinks of them, so
// that a search always meets an empty slot.
enum { kEnteredLinkSlots = 16384, kMaxEnteredLinks = kEnteredLinkSlots / 4 * 3 };

enum IdentityState { kIdentityNotLooked, kIdentityKnown, kIdentityUnavailable };

// A folder on the way down. Its identity is looked up only when a linked folder is met.
struct WalkLevel {
    size_t folderLength;  // the walk's folder length at this level
    IdentityState state;
    FileIdentity identity;
    // The slot of walk.enteredLinks of the linked folder that this level is, or -1.
    int linkSlot;
    // The walk's folder length at which this folder was read before in this scan, by a longer
    // way through a link whose walk was cut short (its files are listed already); 0 when it
    // was not.
    size_t readBeforeAt;
};

// A folder that a link led the walk into.
struct EnteredLink {
    FileIdentity identity;
    size_t folderLength;  // the walk's folder length at which it was walked, the shortest so far
    bool cutShort;        // a folder below it was not read: its path would have been too long
};

// One walk, from WalkFolder's start to its end. The host may call the plug-in while the walk
// lets its windows repaint, but a nested call never changes this: the scan functions do
// nothing while a walk runs, and the settings are taken here at the start (the filter is the
// caller's text, which no call changes while a walk runs).
struct WalkState {
    // The folder being read, twice: in UTF-16 for Windows (at most kScanPathCapacity - 1
    // units, the longest path the file functions take), and in Windows codes as its entries
    // name it. Both end with the separator that goes before a name. Each level of the walk
    // appends its subfolder's name to both and cuts it off again when it returns.
    WCHAR folder[kScanPathCapacity];
    size_t folderLength;
    char prefix[kTextUnits];
    size_t prefixLength;
    // A found name's own conversion (the one the extension test reads), and, for a name that
    // is not exact, the name as the host will get it (see FoundNameToCodes); used between the
    // conversion and the use, never across a level of the walk. Here rather than on the stack
    // because the walk recurses once per level.
    char foundLongName[kTextUnits];
    char foundName[kTextUnits];

    // The settings, fixed from the start.
    const char *filter;
    bool subfolders;
    unsigned codePage;
    CodePageMaps maps;
    const CodePageMaps *hostMaps;  // &maps, or NULL when no table is in force
    LeadBytes leadBytes;
    const LeadBytes *leads;  // &leadBytes when names are in a double-byte code page

    // The folders on the way down, from the one the walk started in (level 0) to the one
    // being read.
    WalkLevel levels[kMaxWalkDepth];
    int depth;

    // The folders that linked folders led the walk into, by identity: a link that leads to
    // one of them again is not entered, unless the walk there was cut short and this way is
    // shorter. Without it, links that fan out (two links at each level to the same next
    // folder) make the walk exponential in the depth. Open addressing; only a link met fills
    // a slot, so trees without links never touch it.
    EnteredLink enteredLinks[kEnteredLinkSlots];
    bool enteredLinkUsed[kEnteredLinkSlots];
    unsigned enteredLinkCount;
    // More linked folders than the table takes: the walk stops, as when the list cannot grow.
    bool enteredLinksFull;

    unsigned long filesFound;
};
static WalkState walk;

static bool IsDotOrDotDot(const WCHAR *name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Before every Windows call that can block (a search, the next entry, an open), the progress
// watch looks at the clock, so that the host's queue is looked at about every tenth of a
// second however the work is spread, and only a single slow call holds it up. Returns false
// when the user has cancelled the scan.
static bool KeepHostAlive(void)
{
    return ScanProgressTick();
}

// True when target is a folder on the way down to the folder being read (the walk's start
// included): entering it would repeat the walk without end. Also true once the user has
// cancelled, so that nothing more is entered. Each look-up opens a folder, which a slow disk
// can make slow: the host is kept alive before each.
static bool LeadsBackUpOrCancelled(const FileIdentity *target)
{
    WCHAR levelPath[kScanPathCapacity];
    for (int level = 0; level < walk.depth; level++) {
        WalkLevel *way = &walk.levels[level];
        if (way->state == kIdentityNotLooked) {
            if (!KeepHostAlive())
                return true;
            memcpy(levelPath, walk.folder, way->folderLength * sizeof(WCHAR));
            levelPath[way->folderLength] = 0;
            way->state = IdentityOfPath(levelPath, &way->identity) ? kIdentityKnown
                                                                  : kIdentityUnavailable;
        }
        if (way->state == kIdentityKnown && SameIdentity(&way->identity, target))
            return true;
    }
    return false;
}

static unsigned EnteredLinkSlot(const FileIdentity *identity)
{
    unsigned hash = identity->indexLow * 2654435761u;
    hash ^= identity->indexHigh * 40503u + identity->volume;
    return (hash ^ (hash >> 15)) % kEnteredLinkSlots;
}

// Notes target as entered through a link, at the walk's folder length, and returns its slot;
// or, when a link entered it before, returns that slot with *before set. Returns -1, noting
// nothing and setting walk.enteredLinksFull, when the table takes no more.
static int NoteEnteredLink(const FileIdentity *target, bool *before)
{
    unsigned slot = EnteredLinkSlot(target);
    *before = false;
    while (walk.enteredLinkUsed[slot]) {
        if (SameIdentity(&walk.enteredLinks[slot].identity, target)) {
            *before = true;
            return (int)slot;
        }
        slot = (slot + 1) % kEnteredLinkSlots;
    }
    if (walk.enteredLinkCount == kMaxEnteredLinks) {
        walk.enteredLinksFull = true;
        return -1;
    }
    walk.enteredLinkUsed[slot] = true;
    walk.enteredLinks[slot].identity = *target;
    walk.enteredLinks[slot].folderLength = walk.folderLength;
    walk.enteredLinks[slot].cutShort = false;
    walk.enteredLinkCount++;
    return (int)slot;
}

// Whether and how the walk enters the linked folder now in walk.folder: returns its slot of
// walk.enteredLinks, or -1 when it is not entered: it cannot be identified, it leads back up,
// or a link led the walk into it before in this scan (a folder reached by several links is
// walked once, under the first way found), unless the walk there was cut short by the path
// length and this way is shorter: it is then walked again, and *readBeforeAt receives the
// folder length of the way before (its files are listed already). -1 also once the user has
// cancelled. The host is kept alive before every folder opened for an identity.
static int EnteredLinkSlotToWalk(size_t *readBeforeAt)
{
    FileIdentity target;
    *readBeforeAt = 0;
    if (!KeepHostAlive() || !IdentityOfPath(walk.folder, &target) ||
        LeadsBackUpOrCancelled(&target))
        return -1;
    bool before = false;
    int slot = NoteEnteredLink(&target, &before);
    if (slot < 0 || !before)
        return slot;
    EnteredLink *link = &walk.enteredLinks[slot];
    if (!link->cutShort || walk.folderLength >= link->folderLength)
        return -1;
    *readBeforeAt = link->folderLength;
    link->folderLength = walk.folderLength;
    link->cutShort = false;  // until this way is cut short too
    return slot;
}

// Notes that a folder below the one being read is not read, its path being too long: the
// linked folder the walk is in, if any, was not walked whole, and a shorter way to it will
// walk it again. Outside any linked folder there is no shorter way.
static void NoteCutShort(void)
{
    for (int level = walk.depth - 1; level >= 0; level--) {
        if (walk.levels[level].linkSlot >= 0) {
            walk.enteredLinks[walk.levels[level].linkSlot].cutShort = true;
            return;
        }
    }
}

// Puts the found entry's own name (length units), converted, into walk.foundLongName. Returns
// false when it does not fit the buffer; *exact tells whether it came back whole and reads
// back as itself, so that the host can have it as it is.
static bool ConvertLongName(const WIN32_FIND_DATAW *entry, size_t length, bool *exact)
{
    size_t written = 0;
    NameFit fit = WideNameToWindowsCodes(walk.codePage, walk.hostMaps, entry->cFileName, length,
                                         walk.foundLongName, sizeof walk.foundLongName, &written);
    *exact = fit == kNameFits && NameReadsBackAsItself(entry->cFileName, length);
    return fit != kNameTooLong;
}

// For an entry whose name is not exact: its proven short name, or the name masked, into
// walk.foundName (see FoundNameToCodes).
static NameForm ConvertInexactName(const WIN32_FIND_DATAW *entry, size_t length)
{
    size_t written = 0;
    return FoundNameToCodes(walk.folder, entry->cFileName, length, entry->cAlternateFileName,
                            kNamesAsFound, walk.codePage, walk.hostMaps, walk.foundName,
                            sizeof walk.foundName, &written);
}

// The name by which the walk enters a subfolder, with its codes for the paths below it in
// *codes; NULL when it is not entered. A name that reads back as itself leads there (with
// kUnfitCharacter in its codes where the code page lacks a character), when no other entry
// has that very name (twins of Wine's would lead both to the first); any other name only
// through its proven short name: as it stands, it could lead anywhere ("a\..", "sub."). NULL
// also when the user cancelled while the name was proven.
static const WCHAR *SubfolderEntryName(const WIN32_FIND_DATAW *entry, const char **codes)
{
    size_t length = wcslen(entry->cFileName);
    bool exact = false;
    if (!ConvertLongName(entry, length, &exact))
        return NULL;
    *codes = walk.foundLongName;
    if (exact)
        return entry->cFileName;
    *codes = walk.foundName;
    NameForm form = ConvertInexactName(entry, length);
    if (!KeepHostAlive())
        return NULL;
    switch (form) {
    case kShortNameForm:
        return entry->cAlternateFileName;
    case kMaskedNameForm:
        return NameReadsBackAsItself(entry->cFileName, length) &&
                       OnlyTheEntryIsNamed(walk.folder, entry->cFileName, length)
                   ? entry->cFileName
                   : NULL;
    default:
        return NULL;
    }
}

// For a file that passes the extension filter: its name as the host will get it, with its
// length in *handedLength; NULL when it does not fit the buffers, or the user cancelled while
// it was proven. Most names are plain ASCII, taken in one pass (PlainNameToCodes) with nothing
// measured again; any other goes the full way.
static const char *HandedFileName(const WIN32_FIND_DATAW *entry, size_t *handedLength)
{
    if (PlainNameToCodes(entry->cFileName, walk.foundLongName, sizeof walk.foundLongName,
                         handedLength))
        return MatchesExtensionFilter(walk.foundLongName, walk.filter, walk.leads)
                   ? walk.foundLongName
                   : NULL;
    size_t length = wcslen(entry->cFileName);
    bool exact = false;
    if (!ConvertLongName(entry, length, &exact) ||
        !MatchesExtensionFilter(walk.foundLongName, walk.filter, walk.leads))
        return NULL;
    const char *name = walk.foundLongName;
    if (!exact)
        name = ConvertInexactName(entry, length) == kNameTooLongForm || !KeepHostAlive()
                   ? NULL
                   : walk.foundName;
    if (name != NULL)
        *handedLength = strlen(name);
    return name;
}

// Appends a subfolder's name and a separator to walk.folder and walk.prefix (codes: its name
// in Windows codes). Returns false, changing nothing, when either would be too long.
static bool EnterSubfolder(const WCHAR *name, const char *codes)
{
    size_t nameLength = wcslen(name);
    size_t codesLength = strlen(codes);
    if (nameLength + 1 > kScanPathCapacity - 1 - walk.folderLength ||
        codesLength + 1 > sizeof walk.prefix - 1 - walk.prefixLength)
        return false;
    memcpy(walk.folder + walk.folderLength, name, nameLength * sizeof(WCHAR));
    walk.folderLength += nameLength;
    walk.folder[walk.folderLength++] = L'\\';
    walk.folder[walk.folderLength] = 0;
    memcpy(walk.prefix + walk.prefixLength, codes, codesLength);
    walk.prefixLength += codesLength;
    walk.prefix[walk.prefixLength++] = '\\';
    walk.prefix[walk.prefixLength] = '\0';
    return true;
}

static void LeaveSubfolder(size_t folderLength, size_t prefixLength)
{
    walk.folderLength = folderLength;
    walk.folder[folderLength] = 0;
    walk.prefixLength = prefixLength;
    walk.prefix[prefixLength] = '\0';
}

static bool ScanFolder(int linkSlot, size_t readBeforeAt);

// Reads the subfolder found as entry of the folder being read (level: that folder's), when
// the walk goes into subfolders and may enter it. Returns false when the walk must stop.
static bool ScanSubfolder(const WIN32_FIND_DATAW *entry, const WalkLevel *level)
{
    const char *codes = NULL;
    const WCHAR *name = NULL;
    if (!walk.subfolders || IsDotOrDotDot(entry->cFileName) ||
        (name = SubfolderEntryName(entry, &codes)) == NULL)
        return true;
    size_t folderLength = walk.folderLength, prefixLength = walk.prefixLength;
    if (!EnterSubfolder(name, codes)) {
        NoteCutShort();
        return true;
    }
    bool goOn = true;
    int linkSlot = -1;
    // Read before where its parent was, at its parent's length then and one name more.
    size_t readBeforeAt =
        level->readBeforeAt != 0 ? level->readBeforeAt + walk.folderLength - folderLength : 0;
    if ((entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        (linkSlot = EnteredLinkSlotToWalk(&readBeforeAt)) >= 0)
        goOn = ScanFolder(linkSlot, readBeforeAt);
    LeaveSubfolder(folderLength, prefixLength);
    return goOn && !walk.enteredLinksFull;
}

// Walks the folder in walk.folder (see WalkFolder). linkSlot: its slot of walk.enteredLinks
// when a link led the walk there, else -1. readBeforeAt: the folder length at which it was
// read before in this scan (walked again from a shorter way), whose files are not listed
// again; 0 for none. Returns false when the walk must stop.
static bool ScanFolder(int linkSlot, size_t readBeforeAt)
{
    static const WCHAR kAllEntries[] = L"*.*";
    size_t folderLength = walk.folderLength;
    if (walk.depth == kMaxWalkDepth)
        return true;
    WalkLevel *level = &walk.levels[walk.depth++];
    level->folderLength = folderLength;
    level->state = kIdentityNotLooked;
    level->linkSlot = linkSlot;
    // Read before only where its search pattern fitted then.
    level->readBeforeAt = readBeforeAt + 3 <= kScanPathCapacity - 1 ? readBeforeAt : 0;
    bool goOn = true;
    HANDLE search = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW entry;
    memset(&entry, 0, sizeof entry);
    if (folderLength + 3 > kScanPathCapacity - 1) {
        NoteCutShort();
    } else if ((goOn = KeepHostAlive())) {
        memcpy(walk.folder + folderLength, kAllEntries, sizeof kAllEntries);
        search = FindFirstFileW(walk.folder, &entry);
        walk.folder[folderLength] = 0;
    }
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                goOn = ScanSubfolder(&entry, level);
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0 &&
                       level->readBeforeAt == 0) {
                size_t nameLength = 0;
                const char *name = HandedFileName(&entry, &nameLength);
                if (name != NULL) {
                    goOn = AppendScanEntry(walk.prefix, walk.prefixLength, name, nameLength);
                    if (goOn)
                        walk.filesFound++;
                }
            }
            goOn = goOn && KeepHostAlive();
        } while (goOn && FindNextFileW(search, &entry));
        FindClose(search);
    }
    walk.depth--;
    return goOn;
}

bool WalkFolder(const char *folder, const char *extensionFilter, bool subfolders,
                unsigned codePage, const CodePageMaps *hostMaps)
{
    walk.filter = extensionFilter;
    walk.subfolders = subfolders;
    walk.codePage = codePage;
    walk.hostMaps = NULL;
    if (hostMaps != NULL) {
        walk.maps = *hostMaps;
        walk.hostMaps = &walk.maps;
    }
    walk.leads = codePage == 0 ? AnsiLeadBytes(&walk.leadBytes) : NULL;

    // The walk reads the folder as Windows resolves it, and the paths handed out begin with
    // that full path, so that each still names its file when the current folder has changed
    // (in the host, opening a file through a dialog changes it). A folder that names no file
    // is taken for one that does not exist.
    WCHAR wide[kTextUnits];
    if (!ScriptPathToWide(folder, walk.codePage, walk.hostMaps, kPathForScan, wide, kTextUnits) ||
        !WidePathToExactCodes(wide, kNamesAsGiven, walk.codePage, walk.hostMaps, walk.prefix,
                              sizeof walk.prefix))
        return true;
    size_t wideLength = wcslen(wide);
    size_t length = strlen(walk.prefix);
    bool separator = wide[wideLength - 1] != L'\\';
    if (wideLength + (separator ? 1 : 0) > kScanPathCapacity - 1 ||
        length + (separator ? 1 : 0) > sizeof walk.prefix - 1)
        return true;
    memcpy(walk.folder, wide, wideLength * sizeof(WCHAR));
    walk.folderLength = wideLength;
    walk.prefixLength = length;
    // The separator follows what the path ends with as text, not as a byte: in a double-byte
    // code page the last byte of a character may be the code of '\'.
    if (separator) {
        walk.folder[walk.folderLength++] = L'\\';
        walk.prefix[walk.prefixLength++] = '\\';
    }
    walk.folder[walk.folderLength] = 0;
    walk.prefix[walk.prefixLength] = '\0';

    walk.depth = 0;
    walk.filesFound = 0;
    memset(walk.enteredLinkUsed, 0, sizeof walk.enteredLinkUsed);
    walk.enteredLinkCount = 0;
    walk.enteredLinksFull = false;
    BeginScanProgress(walk.folder, &walk.filesFound);
    bool complete = ScanFolder(-1, 0);
    EndScanProgress();
    LeaveSubfolder(0, 0);
    return complete;
}
