// Paths from Windows back to the plug-in's codes, name by name, each naming the very file or
// folder it named in UTF-16: never a best-fit look-alike.
#ifndef TARVEL_EXACT_PATH_H
#define TARVEL_EXACT_PATH_H

#include <windows.h>
#include <stddef.h>

#include "encoding/codepage.h"

// Writes path (zero-terminated UTF-16) in code page codePage (0: the system's ANSI code page)
// into out (capacity bytes, terminator included), one name at a time; '\' and '/' are copied.
// A name with a character that does not fit (see WideNameToWindowsCodes; hostMaps is the
// table the result is converted with before it reaches the host, or NULL) is replaced by its
// short 8.3 name, which names the same file, when the volume keeps one and it fits;
// otherwise each character that does not fit is written as kUnfitCharacter, so the path
// names no file at all. Returns false, out empty, when the result needs more than
// capacity - 1 bytes.
bool WidePathToExactCodes(const WCHAR *path, unsigned codePage, const CodePageMaps *hostMaps,
                          char *out, size_t capacity);

#endif
