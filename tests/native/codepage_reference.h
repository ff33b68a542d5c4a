// The reference for the code-page conversion: converts one byte by walking the table text as
// the conversion was first written, without any map. For every table row, the wanted field is
// found by counting separators from the start of the text and read through a 100-byte scratch
// buffer. Slow on purpose (about a hundred thousand character steps per upper-half byte with
// the western table); the tests, the fuzzers and the benchmark compare the maps with it.
#ifndef TARVEL_CODEPAGE_REFERENCE_H
#define TARVEL_CODEPAGE_REFERENCE_H

#include <limits.h>
#include <stdlib.h>
#include <string.h>

enum { kReferenceEndOfTable = -1000 };

// atoi, with values beyond the range of int held at the nearest limit (strtol saturates).
inline int ReferenceAtoi(const char *text)
{
    long value = strtol(text, NULL, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return (int)value;
}

// Value of field (1 to 3) of row (from 0) of a zero-terminated table text, or -1000 when the
// text ends before that field.
inline int ReferenceReadField(const char *table, int row, int field)
{
    int separators = 3 * row + field - 1;  // separators that precede the field
    const char *position = table;
    for (int seen = 0; seen < separators; position++) {
        if (*position == '\0')
            return kReferenceEndOfTable;
        if (*position == '|')
            seen++;
    }
    char scratch[100];
    memset(scratch, 0, sizeof scratch);
    for (size_t i = 0; i < sizeof scratch - 1 && position[i] != '\0' && position[i] != '|'; i++)
        scratch[i] = position[i];
    return ReferenceAtoi(scratch);
}

// One byte converted with the table: host to Windows compares the second field of each row
// and answers the low 8 bits of its third; Windows to host the other way round. The first
// matching row decides; a compared field of -1000 (the end of the table) leaves the byte as it
// is, and so does a matching row whose other field reads -1000.
inline unsigned char ReferenceConvertByte(const char *table, unsigned char byte, bool hostToWindows)
{
    if (table[0] == '\0' || byte < 0x80)
        return byte;
    int signedCode = byte - 256;
    int compared = hostToWindows ? 2 : 3;
    int other = hostToWindows ? 3 : 2;
    for (int row = 0;; row++) {
        int value = ReferenceReadField(table, row, compared);
        if (value == kReferenceEndOfTable)
            return byte;
        if (value == signedCode) {
            int result = ReferenceReadField(table, row, other);
            return result == kReferenceEndOfTable ? byte : (unsigned char)result;
        }
    }
}

// A text converted in place with ReferenceConvertByte, up to its terminator.
inline void ReferenceConvertText(const char *table, char *text, bool hostToWindows)
{
    for (char *position = text; *position != '\0'; position++)
        *position = (char)ReferenceConvertByte(table, (unsigned char)*position, hostToWindows);
}

#endif
