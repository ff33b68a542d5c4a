// WalkFolder: the folder scan's depth-first walk over the wide file functions, with exact
// names, each folder walked once whatever leads to it, and the host kept alive meanwhile.
#include "files/folder_walk.h"

#include <windows.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
#include "files/exact_name.h"
#include "files/exact_path.h"
#include "files/extension_filter.h"
#include "files/file_identity.h"
#include "files/folder_listing.h"
#include "files/folder_table.h"
#include "files/scan_list.h"
#include "files/scan_progress.h"
#include "files/script_path.h"
#include "plugin/host_text.h"

// Capacity in UTF-16 units of the walk's folder path and search pattern, terminator included:
// the file functions reach no longer path.
enum { kScanPathCapacity = kShellPathUnits + 1 };
// The levels the walk can reach: a folder is read while its path, with the search pattern's
// "*.*", fits kScanPathCapacity; the walk starts at a path of one unit or more, and every
// level adds at least a name of one character and its separator.
enum { kMaxWalkDepth = (kScanPathCapacity - 1 - 3 - 1) / 2 + 1 };

enum IdentityState {
    kIdentityKnown,        // key tells the folder from every other
    kIdentityNotLooked,    // read by a search: looked up when a linked folder needs it
    kIdentityUnavailable   // cannot be told: walked wherever it is met
};

// A folder on the way down.
struct WalkLevel {
    size_t folderLength;  // the walk's folder length at this level
    FolderListing listing;
    IdentityState state;
    FolderKey key;  // kIdentityKnown: what it is
    // The walk's folder length at which this folder was read before in this scan, by a longer
    // way whose walk was cut short (its files are listed already); 0 when it was not.
    size_t readBeforeAt;
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
    // is not exact, the name as the host will get it (see InexactNameToCodes); used between the
    // conversion and the use, never across a level of the walk. Here rather than on the stack
    // because the walk recurses once per level; so is a folder's path on the way down, when
    // it is looked up.
    char foundLongName[kTextUnits];
    char foundName[kTextUnits];
    WCHAR levelPath[kScanPathCapacity];

    // The settings, fixed from the start.
    const char *filter;
    bool subfolders;
    const PathCoding *coding;  // the caller's, which no call changes while a walk runs
    LeadBytes leadBytes;
    const LeadBytes *leads;  // &leadBytes when names are in a double-byte code page

    // The folders on the way down, from the one the walk started in (level 0) to the one
    // being read. Every folder entered is also in the table of folders entered
    // (files/folder_table.cpp), which keeps a folder that any way leads to again, loops
    // included, from being walked twice.
    WalkLevel levels[kMaxWalkDepth];
    int depth;
    // The table of folders entered could not grow: the walk stops, as when the list cannot.
    bool tableFull;

    unsigned long filesFound;
};
static WalkState walk;

static bool IsDotOrDotDot(const WCHAR *name)
{
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

// Notes the folder of key, which the table does not know, as entered at the walk's folder
// length folderLength; false, setting walk.tableFull, when the table cannot grow.
static bool NoteEnteredFolder(const FolderKey *key, size_t folderLength)
{
    if (AddEnteredFolder(key, folderLength))
        return true;
    walk.tableFull = true;
    return false;
}

// Looks up what each folder on the way down is that was read by a search (Windows 2000 and
// XP), and notes it as entered, so that a linked folder that leads back up is known as one.
// Each look-up opens a folder, which a slow disk can make slow: the clock is looked at before
// every call (IdentityOfPath). Returns false when the walk must stop: the user cancelled, or
// the table cannot grow.
static bool KnowTheWayDown(void)
{
    for (int level = 0; level < walk.depth; level++) {
        WalkLevel *way = &walk.levels[level];
        if (way->state != kIdentityNotLooked)
            continue;
        memcpy(walk.levelPath, walk.folder, way->folderLength * sizeof(WCHAR));
        walk.levelPath[way->folderLength] = 0;
        way->state = kIdentityUnavailable;
        if (IdentityOfPath(walk.levelPath, &way->key.identity)) {
            way->state = kIdentityKnown;
            if (FindEnteredFolder(&way->key) == NULL &&
                !NoteEnteredFolder(&way->key, way->folderLength))
                return false;
        }
        if (!ScanProgressTick())
            return false;
    }
    return true;
}

// Learns what the folder just opened at level is (level->key and level->state). linked: a
// linked folder's entry led there; parent: the level above, NULL at the walk's start.
//   - Read through a handle: its listing's "." entry gives its file index at no cost, and the
//     volume is its parent's (SameFolder compares the listings too). The start is asked for
//     its volume (IdentityOfOpenFile), and so is a folder whose parent could not be told, and
//     one whose listing has no "." entry for its file index.
//   - Read by a search (Windows 2000 and XP): a linked folder is asked at once, and the
//     others only when a linked folder needs to know the way down (KnowTheWayDown).
static void IdentifyFolder(WalkLevel *level, const WalkLevel *parent, bool linked)
{
    FileIdentity *identity = &level->key.identity;
    ULONGLONG ownIndex = level->listing.ownIndex;
    memset(&level->key, 0, sizeof level->key);
    level->key.fingerprint = level->listing.fingerprint;
    level->state = kIdentityUnavailable;
    if (level->listing.bySearch) {
        if (!linked)
            level->state = kIdentityNotLooked;
        else if (IdentityOfPath(walk.folder, identity))
            level->state = kIdentityKnown;
        return;
    }
    bool onParentsVolume = parent != NULL && parent->state == kIdentityKnown;
    if (onParentsVolume && ownIndex != 0)
        identity->volume = parent->key.identity.volume;
    else if (!IdentityOfOpenFile(level->listing.handle, identity))
        return;
    if (ownIndex != 0) {
        identity->indexHigh = (DWORD)(ownIndex >> 32);
        identity->indexLow = (DWORD)ownIndex;
    }
    level->state = kIdentityKnown;
}

// Notes that a folder below the one being read is not read, its path being too long: no
// folder on the way down was walked whole, and a shorter way to any of them walks it again.
static void NoteCutShort(void)
{
    for (int level = 0; level < walk.depth; level++) {
        WalkLevel *way = &walk.levels[level];
        EnteredFolder *entered = way->state == kIdentityKnown ? FindEnteredFolder(&way->key) : NULL;
        if (entered != NULL)
            entered->cutShort = true;
    }
}

// Puts the found entry's own name (length units), converted, into walk.foundLongName, and
// says whether the host can have it as it stands (NameToCodes).
static NameForm ConvertFoundName(const WIN32_FIND_DATAW *entry, size_t length, size_t *written)
{
    return NameToCodes(entry->cFileName, length, kNamesAsFound, walk.coding, walk.foundLongName,
                       sizeof walk.foundLongName, written);
}

// For an entry whose name cannot be given as it stands: its proven short name, or the name
// masked, into walk.foundName (see InexactNameToCodes).
static NameForm ConvertInexactName(const WIN32_FIND_DATAW *entry, size_t length, size_t *written)
{
    return InexactNameToCodes(walk.folder, entry->cFileName, length, entry->cAlternateFileName,
                              kNamesAsFound, walk.coding, walk.foundName, sizeof walk.foundName,
                              written);
}

// The name by which the walk enters a subfolder, with its codes for the paths below it in
// *codes; NULL when it is not entered. A name that reads back as itself leads there (with
// kUnfitCharacter in its codes where the code page lacks a character), when no other entry
// has that very name (twins of Wine's would lead both to the first); any other name only
// through its proven short name: as it stands, it could lead anywhere ("a\..", "sub."). NULL
// also when the user cancelled while the name was proven.
static const WCHAR *SubfolderEntryName(const WIN32_FIND_DATAW *entry, const char **codes)
{
    size_t length = wcslen(entry->cFileName), written = 0;
    NameForm form = ConvertFoundName(entry, length, &written);
    *codes = walk.foundLongName;
    if (form != kMaskedNameForm)
        return form == kLongNameForm ? entry->cFileName : NULL;
    *codes = walk.foundName;
    form = ConvertInexactName(entry, length, &written);
    if (!ScanProgressTick())
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

// The name of a file found, as the host will get it, with its length in *handedLength, when it
// passes the extension filter (which reads the name's own conversion); NULL when it does not,
// when it does not fit the buffers, or when the user cancelled while it was proven. Most names
// are plain ASCII, taken in one pass (PlainNameToCodes) with nothing measured again; any other
// goes the full way.
static const char *MatchingFileName(const WIN32_FIND_DATAW *entry, size_t *handedLength)
{
    if (PlainNameToCodes(entry->cFileName, walk.foundLongName, sizeof walk.foundLongName,
                         handedLength))
        return MatchesExtensionFilter(walk.foundLongName, walk.filter, walk.leads)
                   ? walk.foundLongName
                   : NULL;
    size_t length = wcslen(entry->cFileName);
    NameForm form = ConvertFoundName(entry, length, handedLength);
    if (form == kNameTooLongForm ||
        !MatchesExtensionFilter(walk.foundLongName, walk.filter, walk.leads))
        return NULL;
    if (form == kLongNameForm)
        return walk.foundLongName;
    return ConvertInexactName(entry, length, handedLength) != kNameTooLongForm && ScanProgressTick()
               ? walk.foundName
               : NULL;
}

// Appends name (nameLength units) and codes (its Windows codes, codesLength bytes), each with
// a separator unless it is empty or ends in one, to walk.folder and walk.prefix. Returns
// false, changing nothing, when either would be too long.
static bool AppendToWalkPaths(const WCHAR *name, size_t nameLength, const char *codes,
                              size_t codesLength)
{
    // The separator follows what the path ends with as text, not as a byte: in a double-byte
    // code page the last byte of a character may be the code of '\\'.
    bool separator = nameLength > 0 && name[nameLength - 1] != L'\\';
    if (nameLength + separator > kScanPathCapacity - 1 - walk.folderLength ||
        codesLength + separator > sizeof walk.prefix - 1 - walk.prefixLength)
        return false;
    memcpy(walk.folder + walk.folderLength, name, nameLength * sizeof(WCHAR));
    walk.folderLength += nameLength;
    memcpy(walk.prefix + walk.prefixLength, codes, codesLength);
    walk.prefixLength += codesLength;
    if (separator) {
        walk.folder[walk.folderLength++] = L'\\';
        walk.prefix[walk.prefixLength++] = '\\';
    }
    walk.folder[walk.folderLength] = 0;
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

static bool ScanFolder(bool linked, size_t readBeforeAt);

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
    if (!AppendToWalkPaths(name, wcslen(name), codes, strlen(codes))) {
        NoteCutShort();
        return true;
    }
    // Read before where its parent was, at its parent's length then and one name more.
    size_t readBeforeAt =
        level->readBeforeAt != 0 ? level->readBeforeAt + walk.folderLength - folderLength : 0;
    bool goOn = ScanFolder((entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0,
                           readBeforeAt);
    LeaveSubfolder(folderLength, prefixLength);
    return goOn;
}

// Whether the walk reads the folder that level has just opened, and whether it lists its
// files (level->readBeforeAt, from readBeforeAt for a folder it cannot tell apart). Not a
// folder entered before, by any way, unless the walk there was cut short by the path length
// and this way is shorter: it is then walked again, without its files, which the walk listed
// then. Returns false when it does not; also when the walk must stop (walk.tableFull, or the
// user cancelled while the way down was looked up).
static bool WalksOpenedFolder(WalkLevel *level, bool linked, size_t readBeforeAt)
{
    IdentifyFolder(level, walk.depth > 0 ? &walk.levels[walk.depth - 1] : NULL, linked);
    if (linked && !KnowTheWayDown())
        return false;
    // Read before only where its search pattern fitted then.
    level->readBeforeAt = readBeforeAt + 3 <= kScanPathCapacity - 1 ? readBeforeAt : 0;
    if (level->state != kIdentityKnown)
        return true;
    EnteredFolder *before = FindEnteredFolder(&level->key);
    if (before == NULL) {
        level->readBeforeAt = 0;
        return NoteEnteredFolder(&level->key, level->folderLength);
    }
    if (!before->cutShort || level->folderLength >= before->folderLength)
        return false;
    level->readBeforeAt = before->folderLength;
    before->folderLength = (unsigned short)level->folderLength;
    before->cutShort = false;  // until this way is cut short too
    return true;
}

// Walks the folder in walk.folder (see WalkFolder). linked: a linked folder's entry led there.
// readBeforeAt: the folder length at which it was read before in this scan (walked again from
// a shorter way), whose files are not listed again, for a folder the walk cannot tell apart
// from others; 0 for none. Returns false when the walk must stop.
static bool ScanFolder(bool linked, size_t readBeforeAt)
{
    size_t folderLength = walk.folderLength;
    if (folderLength + 3 > kScanPathCapacity - 1) {
        NoteCutShort();
        return true;
    }
    WalkLevel *level = &walk.levels[walk.depth];
    level->folderLength = folderLength;
    if (!OpenFolderListing(walk.folder, folderLength, &level->listing))
        return ScanProgressTick();  // a folder that cannot be read is left out
    bool goOn = true;
    if (WalksOpenedFolder(level, linked, readBeforeAt)) {
        walk.depth++;
        WIN32_FIND_DATAW entry;
        while (goOn && NextListedEntry(&level->listing, &entry)) {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                goOn = ScanSubfolder(&entry, level);
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0 &&
                       level->readBeforeAt == 0) {
                size_t nameLength = 0;
                const char *name = MatchingFileName(&entry, &nameLength);
                if (name != NULL) {
                    goOn = AppendScanEntry(walk.prefix, walk.prefixLength, name, nameLength);
                    if (goOn)
                        walk.filesFound++;
                }
            }
            goOn = goOn && ScanProgressTick();
        }
        walk.depth--;
    }
    CloseFolderListing(&level->listing);
    return goOn && !walk.tableFull && ScanProgressTick();
}

// True when written (a script's folder) is resolved (the full path Windows resolves it to, in
// the same codes) but that it may have '/' for '\\', which Win32 reads alike: a full path
// without a name that Windows would rewrite ("x.", "..").
static bool IsResolvedAsWritten(const char *written, const char *resolved)
{
    for (; *written != '\0'; written++, resolved++) {
        if (*written != *resolved && !(*written == '/' && *resolved == '\\'))
            return false;
    }
    return *resolved == '\0';
}

bool WalkFolder(const char *folder, const char *extensionFilter, bool subfolders,
                const PathCoding *coding)
{
    walk.filter = extensionFilter;
    walk.subfolders = subfolders;
    walk.coding = coding;
    walk.leads = coding->codePage == 0 ? AnsiLeadBytes(&walk.leadBytes) : NULL;
    LeaveSubfolder(0, 0);

    // The walk reads the folder as Windows resolves it, and the paths handed out begin with
    // that full path, so that each still names its file when the current folder has changed
    // (in the host, opening a file through a dialog changes it): as the script wrote it when
    // it wrote that path. A folder that names no file is taken for one that does not exist.
    WCHAR wide[kTextUnits];
    char codes[kTextUnits];
    if (!ScriptPathToWide(folder, coding, kPathForScan, wide, kTextUnits) ||
        !WidePathToExactCodes(wide, kNamesAsGiven, coding, codes, sizeof codes))
        return true;
    if (IsResolvedAsWritten(folder, codes))
        memcpy(codes, folder, strlen(folder));
    if (!AppendToWalkPaths(wide, wcslen(wide), codes, strlen(codes)))
        return true;

    walk.depth = 0;
    walk.filesFound = 0;
    walk.tableFull = false;
    BeginFolderListings();
    if (!BeginFolderTable())
        return false;
    BeginScanProgress(walk.folder, &walk.filesFound);
    bool complete = ScanFolder(false, 0);
    EndScanProgress();
    EndFolderTable();
    LeaveSubfolder(0, 0);
    return complete;
}
