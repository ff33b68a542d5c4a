// Taking the file name out of a path: the part after its last backslash.
#ifndef TARVEL_FILE_NAME_H
#define TARVEL_FILE_NAME_H

// Returns a pointer into path (zero-terminated): just after its last backslash, so the name
// is empty when the path ends in one; or path itself when no backslash stands after its
// first character. The first character is never taken as a separator, so "\" and
// "\report.txt" come back whole. Only '\' separates: '/' and ':' are ordinary characters.
// A NULL path gives NULL. Reads nothing past the terminator; writes nothing.
const char *FileNameOfPath(const char *path);

#endif
