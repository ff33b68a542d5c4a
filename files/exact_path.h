// Paths and names from Windows back to the plug-in's codes, each naming the very file or
// folder it named in UTF-16, or no file at all: never a best-fit look-alike, never a name that
// Windows would rewrite, never a short name that leads to another file.
#ifndef TARVEL_EXACT_PATH_H
#define TARVEL_EXACT_PATH_H

#include <windows.h>
#include <stddef.h>

#include "encoding/codepage.h"

// Which names of a path must read back as themselves (see NameReadsBackAsItself).
enum NameRule {
    kNamesAsFound,  // names that came from the disk or a dialog: all of them
    kNamesAsGiven   // a path the plug-in built or a script gave: none; only the code page counts
};

// How a name comes back.
enum NameForm {
    kLongNameForm,    // the name itself
    kShortNameForm,   // its short name, proven to lead back to it
    kMaskedNameForm,  // kUnfitCharacter wherever it cannot be given: it names no file
    kNameTooLongForm  // it does not fit the buffer: out is the empty text
};

// Writes the name (length units) in coding (see WideNameToWindowsCodes) into out (capacity
// bytes, terminator included) and returns kLongNameForm, when it can be given as it stands: it
// fits the code page and, under kNamesAsFound, reads back as itself. Otherwise out holds the
// name with kUnfitCharacter for each character that does not fit, and the answer is
// kMaskedNameForm: not yet a form to give (see InexactNameToCodes); or kNameTooLongForm, out
// empty. Cheap: no Windows call. *written receives the bytes written without the terminator.
NameForm NameToCodes(const WCHAR *name, size_t length, NameRule rule, const PathCoding *coding,
                     char *out, size_t capacity, size_t *written);

// For the name (length units) of an entry of folder (zero-terminated, ending in a separator,
// its names all reading back as themselves) that NameToCodes cannot give as it stands, writes
// into out (capacity bytes, terminator included):
//   - shortName (zero-terminated; NULL or empty when there is none) when it fits and is
//     proven to lead to this entry and no other: it reads back as itself, no other entry of
//     folder answers to it, and it opens the very file the name opens, unless the name cannot
//     be opened as it stands (short names can clash: Wine makes them from a hash of the long
//     name, so Windows' word is not taken for it);
//   - else the name with kUnfitCharacter for each character that does not fit and, under
//     kNamesAsFound, each that MaskRewrittenCharacters masks.
// Or kNameTooLongForm, out empty. *written receives the bytes written without the terminator.
NameForm InexactNameToCodes(const WCHAR *folder, const WCHAR *name, size_t length,
                            const WCHAR *shortName, NameRule rule, const PathCoding *coding,
                            char *out, size_t capacity, size_t *written);

// True when, of the entries of folder (zero-terminated, ending in a separator), exactly one
// has the name (length units, reading back as itself), in this case: opening the name leads
// to that entry. Under Wine two Unix names can reach Windows as one (invalid UTF-8 in each
// becomes U+FFFD), and the name then opens the first of them. One search, with a look at the
// host's queue before it, each next entry and the close during a scan (ScanProgressTick).
bool OnlyTheEntryIsNamed(const WCHAR *folder, const WCHAR *name, size_t length);

// True for '\\' and '/', both of which Windows reads as a separator in a path.
bool IsPathSeparator(WCHAR unit);

// Writes path (zero-terminated UTF-16, a full path) in coding into out (capacity bytes,
// terminator included) one name at a time with NameToCodes and, for a name that it cannot give
// as it stands, InexactNameToCodes with the short name that Windows gives for it
// (GetShortPathNameW); '\' and '/' are copied. The path's root (a
// drive "C:" or a share "\\server\share") is only converted. Once a name has come back
// masked, the rest of the path names no file, and no short name is looked for after it.
// Returns false, out empty, when the result needs more than capacity - 1 bytes.
bool WidePathToExactCodes(const WCHAR *path, NameRule rule, const PathCoding *coding, char *out,
                          size_t capacity);

#endif
