// The plug-in's texts and the wide (UTF-16) Windows functions: every path and name goes to
// Windows and comes back through these, so that no best-fit look-alike ever stands for a
// character that the code page lacks.
//
// Paths from the host are converted with the current table to Windows codes and read in the
// locale's own code page (its entry's in kLocaleEntries), or in the system's ANSI code page
// when no table is in force. Texts passed on unconverted (dialog titles, the dialog filter,
// the initial folder) are read in the system's ANSI code page, as the ANSI functions read
// them.
#ifndef TARVEL_WIDE_TEXT_H
#define TARVEL_WIDE_TEXT_H

#include <windows.h>
#include <stddef.h>

#include "encoding/codepage.h"
#include "encoding/lead_bytes.h"
#include "encoding/utf16_text.h"

// Reads text (zero-terminated) in Windows code page codePage (a locale's of kLocaleEntries;
// 0 for the system's ANSI code page) into out as UTF-16. Returns false, out empty, when it
// needs more than capacity - 1 units.
bool WindowsCodesToWide(const char *text, unsigned codePage, WCHAR *out, size_t capacity);

// Reads count bytes in the system's ANSI code page, zero bytes included, into the same number
// of places in out and more for multi-byte characters, and terminates them. For double-zero
// lists. Returns false, out empty, when they need more than capacity - 1 units.
bool AnsiBytesToWide(const char *bytes, size_t count, WCHAR *out, size_t capacity);

// Writes a name (length units, need not be terminated) in coding's code page into out
// (capacity bytes, terminator included); see Utf16ToSingleByte for when a character fits and
// what stands for one that does not, coding's table being the one the result will be
// converted with before it goes to the host. *written receives the bytes written without the
// terminator.
NameFit WideNameToWindowsCodes(const PathCoding *coding, const WCHAR *name, size_t length,
                               char *out, size_t capacity, size_t *written);

// Fills leads with the lead bytes of the system's ANSI code page and returns leads, when that
// code page is double-byte; otherwise returns NULL: every character is one byte.
const LeadBytes *AnsiLeadBytes(LeadBytes *leads);

// The lead bytes in which a host text is read: NULL (single bytes) while a table is in force,
// whose codes are single bytes; otherwise AnsiLeadBytes(leads).
const LeadBytes *HostTextLeadBytes(LeadBytes *leads);

#endif
