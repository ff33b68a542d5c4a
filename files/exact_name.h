// Names that Windows reads back as themselves. A name found on a disk can hold what a path
// cannot carry: NTFS keeps "report.txt." and "report.txt " (made through "\\?\" paths), and
// under Wine any Unix name reaches Windows as it is, "\", ":" and trailing dots included. Put
// into a path, such a name is rewritten (trailing dots and blanks dropped), split ("a\.." is
// a name and then the way back), or read as a device or a wildcard, so the path leads to
// another file or out of its folder.
#ifndef TARVEL_EXACT_NAME_H
#define TARVEL_EXACT_NAME_H

#include <stddef.h>

#include "encoding/utf16_text.h"

// True when the name (length units of UTF-16, need not be terminated), as the last name of a
// path, leads to the entry of that very name: it is not empty; holds none of \ / : * ? " < > |
// and no control character (U+0000 to U+001F); does not end in '.' or ' ' ("." and ".."
// included); and is no reserved device name (see DeviceNameBaseLength). Reads the name only.
bool NameReadsBackAsItself(const Utf16Unit *name, size_t length);

// The shortcut for the common name. When name (zero-terminated) is ASCII (units below 0x80)
// and reads back as itself (NameReadsBackAsItself), writes it into out (capacity bytes,
// terminator included), its length into *length, and returns true: such a name has these same
// codes in every code page names are given in, and they survive every host table's round trip
// (tables map only codes from 0x80 up), so the full conversion (WideNameToWindowsCodes) would
// give them too. Otherwise, or when the name needs more than capacity - 1 bytes (capacity 0
// included), returns false, with an unfinished text in out: the full conversion decides.
bool PlainNameToCodes(const Utf16Unit *name, char *out, size_t capacity, size_t *length);

// Writes kUnfitCharacter over every character that NameReadsBackAsItself objects to: each of
// the characters it names, every '.' and ' ' of the run that ends the name, and, in a
// reserved device name, the last character of its base ("NUL.txt" becomes "NU?.txt"). A name
// that read back as itself is left as it is. A masked name leads to no file at all.
void MaskRewrittenCharacters(Utf16Unit *name, size_t length);

#endif
