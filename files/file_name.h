// Taking the file name out of a path: the part after its last backslash.
#ifndef TARVEL_FILE_NAME_H
#define TARVEL_FILE_NAME_H

#include "encoding/lead_bytes.h"

// Returns a pointer into path (zero-terminated): just after its last backslash, so the name
// is empty when the path ends in one; or path itself when no backslash stands after its
// first character. The first character is never taken as a separator, so "\" and
// "\report.txt" come back whole. Only '\' separates: '/' and ':' are ordinary characters.
// The path is read by characters (leads: its double-byte code page, NULL for a single-byte
// one), so the second byte of a double-byte character is never a backslash.
// A NULL path gives NULL. Reads nothing past the terminator; writes nothing.
const char *FileNameOfPath(const char *path, const LeadBytes *leads);

#endif
