// NameToCodes, InexactNameToCodes and WidePathToExactCodes: names and paths found on a disk or
// chosen in a dialog, in the plug-in's codes, with a proven short name (or kUnfitCharacter) for
// every name that the code page cannot hold or that Windows would not read back as itself.
#include "files/exact_path.h"

#include <string.h>

#include "encoding/wide_text.h"
#include "files/exact_name.h"
#include "files/file_identity.h"
#include "files/scan_progress.h"
#include "plugin/host_text.h"

bool IsPathSeparator(WCHAR unit) { return unit == L'\\' || unit == L'/'; }

// True when the units [a, a + aLength) and [b, b + bLength) are the same text without regard
// to case, as Windows compares names.
static bool SameNameIgnoringCase(const WCHAR *a, size_t aLength, const WCHAR *b, size_t bLength)
{
    if (aLength != bLength || aLength > MAX_PATH)
        return false;
    WCHAR upperA[MAX_PATH], upperB[MAX_PATH];
    memcpy(upperA, a, aLength * sizeof(WCHAR));
    memcpy(upperB, b, bLength * sizeof(WCHAR));
    CharUpperBuffW(upperA, (DWORD)aLength);
    CharUpperBuffW(upperB, (DWORD)bLength);
    return memcmp(upperA, upperB, aLength * sizeof(WCHAR)) == 0;
}

// How an entry answers to a name.
enum Answering {
    kByEitherNameInAnyCase,  // its name or its short name, without regard to case, as Windows opens
    kByItsVeryName           // its name, unit for unit: twins that Wine reads alike
};

// True when, of the entries of the folder in pattern (folderLength units, room for
// kTextUnits), only the one whose name is exactly name (length units) answers to answer
// (answerLength units). One search for every entry whose name or short name begins with
// answer: every entry that opening answer could reach is among them, and a search with a
// wildcard lists them all (without one, Wine answers with a single entry, not always the one
// it opens). During a scan the host's queue is looked at before the search, each next entry
// and the close (ScanProgressTick).
static bool OnlyTheEntryAnswersTo(WCHAR *pattern, size_t folderLength, const WCHAR *answer,
                                  size_t answerLength, Answering answering, const WCHAR *name,
                                  size_t length)
{
    if (folderLength + answerLength + 1 > kTextUnits - 1)
        return false;
    memcpy(pattern + folderLength, answer, answerLength * sizeof(WCHAR));
    pattern[folderLength + answerLength] = L'*';
    pattern[folderLength + answerLength + 1] = 0;
    WIN32_FIND_DATAW found;
    memset(&found, 0, sizeof found);
    if (!ScanProgressTick())
        return false;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    int entry = 0, others = 0;
    do {
        found.cFileName[MAX_PATH - 1] = 0;
        found.cAlternateFileName[13] = 0;
        size_t foundLength = wcslen(found.cFileName);
        bool answers =
            answering == kByItsVeryName
                ? foundLength == answerLength &&
                      memcmp(found.cFileName, answer, answerLength * sizeof(WCHAR)) == 0
                : SameNameIgnoringCase(found.cFileName, foundLength, answer, answerLength) ||
                      SameNameIgnoringCase(found.cAlternateFileName,
                                           wcslen(found.cAlternateFileName), answer, answerLength);
        if (answers) {
            if (foundLength == length && memcmp(found.cFileName, name, length * sizeof(WCHAR)) == 0)
                entry++;
            else
                others++;
        }
    } while (entry <= 1 && others == 0 && ScanProgressTick() && FindNextFileW(search, &found));
    ScanProgressTick();
    FindClose(search);
    return entry == 1 && others == 0;
}

// True when shortName (zero-terminated) leads to the entry name (length units) in folder
// (zero-terminated, ending in a separator, its names all reading back as themselves), and to
// no other: the short name reads back as itself, no other entry of the folder answers to it
// (OnlyTheEntryAnswersTo), and, when the name reads back as itself and so opens a file, the
// short name opens that very file (SameIdentity). Short names can clash (Wine makes them from
// a hash of the long name, and opens the first entry it meets that has it; two Unix names can
// even reach Windows as one), so Windows' word is not taken for it, nor a plain search's, nor,
// alone, an identity that may repeat (a volume without a serial). During a scan the host's
// queue is looked at before each search and open (ScanProgressTick), and a cancel seen there
// leaves the name unproven.
static bool IsProvenShortName(const WCHAR *folder, const WCHAR *shortName, const WCHAR *name,
                              size_t length)
{
    WCHAR proofPath[kTextUnits];  // folder, then a name or a search pattern
    size_t shortLength = wcslen(shortName);
    // A short name that is itself no exact name could be read as a wildcard or a way back.
    if (!NameReadsBackAsItself(shortName, shortLength))
        return false;
    size_t folderLength = wcslen(folder);
    if (folderLength > kTextUnits - 1)
        return false;
    memcpy(proofPath, folder, folderLength * sizeof(WCHAR));
    if (!OnlyTheEntryAnswersTo(proofPath, folderLength, shortName, shortLength,
                               kByEitherNameInAnyCase, name, length))
        return false;
    if (!NameReadsBackAsItself(name, length))
        return true;
    if (folderLength + shortLength > kTextUnits - 1 || folderLength + length > kTextUnits - 1)
        return false;
    // The search has shown that no other entry answers to the short name; the identities
    // only cover the folder changing between that search and these opens (an entry renamed,
    // made or removed meanwhile).
    FileIdentity byShortName, byName;
    memcpy(proofPath + folderLength, shortName, (shortLength + 1) * sizeof(WCHAR));
    if (!IdentityOfPath(proofPath, &byShortName))
        return false;
    memcpy(proofPath + folderLength, name, length * sizeof(WCHAR));
    proofPath[folderLength + length] = 0;
    return IdentityOfPath(proofPath, &byName) && SameIdentity(&byShortName, &byName);
}

bool OnlyTheEntryIsNamed(const WCHAR *folder, const WCHAR *name, size_t length)
{
    WCHAR pattern[kTextUnits];
    size_t folderLength = wcslen(folder);
    if (folderLength > kTextUnits - 1)
        return false;
    memcpy(pattern, folder, folderLength * sizeof(WCHAR));
    return OnlyTheEntryAnswersTo(pattern, folderLength, name, length, kByItsVeryName, name, length);
}

NameForm NameToCodes(const WCHAR *name, size_t length, NameRule rule, const PathCoding *coding,
                     char *out, size_t capacity, size_t *written)
{
    NameFit fit = WideNameToWindowsCodes(coding, name, length, out, capacity, written);
    if (fit == kNameTooLong)
        return kNameTooLongForm;
    bool exact = fit == kNameFits && (rule == kNamesAsGiven || NameReadsBackAsItself(name, length));
    return exact ? kLongNameForm : kMaskedNameForm;
}

NameForm InexactNameToCodes(const WCHAR *folder, const WCHAR *name, size_t length,
                            const WCHAR *shortName, NameRule rule, const PathCoding *coding,
                            char *out, size_t capacity, size_t *written)
{
    if (shortName != NULL && shortName[0] != 0) {
        char shortCodes[MAX_PATH];
        size_t shortWritten = 0;
        if (WideNameToWindowsCodes(coding, shortName, wcslen(shortName), shortCodes,
                                   sizeof shortCodes, &shortWritten) == kNameFits &&
            IsProvenShortName(folder, shortName, name, length)) {
            if (shortWritten > capacity - 1) {
                out[0] = '\0';
                *written = 0;
                return kNameTooLongForm;
            }
            memcpy(out, shortCodes, shortWritten + 1);
            *written = shortWritten;
            return kShortNameForm;
        }
    }
    WCHAR masked[MAX_PATH];
    const WCHAR *given = name;
    if (rule == kNamesAsFound && !NameReadsBackAsItself(name, length)) {
        if (length > MAX_PATH) {
            out[0] = '\0';
            *written = 0;
            return kNameTooLongForm;
        }
        memcpy(masked, name, length * sizeof(WCHAR));
        MaskRewrittenCharacters(masked, length);
        given = masked;
    }
    // The conversion puts kUnfitCharacter in for each character that does not fit.
    NameFit fit = WideNameToWindowsCodes(coding, given, length, out, capacity, written);
    return fit == kNameTooLong ? kNameTooLongForm : kMaskedNameForm;
}

// Units of the path's root, which names no entry of a folder: "C:", or "\\server\share" (and
// "\\?\C:"); 0 for a path that starts otherwise.
static size_t PathRootLength(const WCHAR *path)
{
    if (path[0] != 0 && path[1] == L':')
        return 2;
    if (!IsPathSeparator(path[0]) || !IsPathSeparator(path[1]))
        return 0;
    size_t end = 2;
    for (int names = 0; path[end] != 0; end++) {
        if (IsPathSeparator(path[end]) && ++names == 2)
            break;
    }
    return end;
}

// The short name that Windows gives for the name (length units) after the folder in prefix
// (folderLength units; room for kTextUnits), or NULL when it gives none. The name is
// put after the folder in prefix for the question, and cut off again. Points into shortPath
// (kTextUnits), which receives the whole short path.
static const WCHAR *ShortNameOf(WCHAR *prefix, size_t folderLength, const WCHAR *name,
                                size_t length, WCHAR *shortPath)
{
    if (folderLength + length > kTextUnits - 1)
        return NULL;
    memcpy(prefix + folderLength, name, length * sizeof(WCHAR));
    prefix[folderLength + length] = 0;
    memset(shortPath, 0, kTextUnits * sizeof(WCHAR));
    DWORD shortLength = GetShortPathNameW(prefix, shortPath, kTextUnits);
    prefix[folderLength] = 0;
    if (shortLength == 0 || shortLength >= kTextUnits)
        return NULL;
    while (shortLength > 0 && IsPathSeparator(shortPath[shortLength - 1]))
        shortPath[--shortLength] = 0;
    size_t nameStart = shortLength;
    while (nameStart > 0 && !IsPathSeparator(shortPath[nameStart - 1]))
        nameStart--;
    return nameStart < shortLength ? shortPath + nameStart : NULL;
}

bool WidePathToExactCodes(const WCHAR *path, NameRule rule, const PathCoding *coding, char *out,
                          size_t capacity)
{
    if (out == NULL || capacity == 0)
        return false;
    // The path so far in the forms its names came back in (the folder each next name is
    // proven in), and the short path Windows gives for a name that needs one.
    WCHAR exactPrefix[kTextUnits];
    WCHAR shortPath[kTextUnits];
    memset(out, 0, capacity);
    size_t used = 0;
    size_t prefixLength = 0;
    // False once a name has come back masked: the path names no file from there on.
    bool namesAFile = true;
    size_t root = rule == kNamesAsFound ? PathRootLength(path) : 0;
    if (root > 0) {
        size_t written = 0;
        NameFit fit = WideNameToWindowsCodes(coding, path, root, out, capacity, &written);
        if (fit == kNameTooLong || root > kTextUnits - 1)
            goto tooLong;
        namesAFile = fit == kNameFits;
        used = written;
        memcpy(exactPrefix, path, root * sizeof(WCHAR));
        prefixLength = root;
    }
    for (size_t i = root; path[i] != 0;) {
        if (IsPathSeparator(path[i])) {
            if (used == capacity - 1 || prefixLength == kTextUnits - 1)
                goto tooLong;
            out[used++] = (char)path[i];
            exactPrefix[prefixLength++] = path[i++];
            continue;
        }
        size_t start = i;
        while (path[i] != 0 && !IsPathSeparator(path[i]))
            i++;
        const WCHAR *name = path + start;
        size_t length = i - start;
        exactPrefix[prefixLength] = 0;
        size_t written = 0;
        NameForm form =
            NameToCodes(name, length, rule, coding, out + used, capacity - used, &written);
        // Windows is asked for a short name only for a name that needs one, and none is
        // looked for once the path names no file.
        const WCHAR *shortName = NULL;
        if (form == kMaskedNameForm) {
            if (namesAFile)
                shortName = ShortNameOf(exactPrefix, prefixLength, name, length, shortPath);
            form = InexactNameToCodes(exactPrefix, name, length, shortName, rule, coding,
                                      out + used, capacity - used, &written);
        }
        if (form == kNameTooLongForm)
            goto tooLong;
        used += written;
        if (form == kMaskedNameForm)
            namesAFile = false;
        const WCHAR *formName = form == kShortNameForm ? shortName : name;
        size_t formLength = form == kShortNameForm ? wcslen(shortName) : length;
        if (formLength > kTextUnits - 1 - prefixLength)
            goto tooLong;
        memcpy(exactPrefix + prefixLength, formName, formLength * sizeof(WCHAR));
        prefixLength += formLength;
    }
    out[used] = '\0';
    return true;

tooLong:
    memset(out, 0, capacity);
    return false;
}
