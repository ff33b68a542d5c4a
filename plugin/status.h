// Status results: the codes every setter and action answers with, and their texts.
#ifndef TARVEL_STATUS_H
#define TARVEL_STATUS_H

#include <stddef.h>
#include <stdint.h>

enum StatusCode {
    kStatusOk = 0,
    kStatusIncorrectOption = -1,
    kStatusDirectoryNotFound = -2,
    kStatusCannotIterateDirectory = -3,
    kStatusFileNotFound = -4,
    kStatusErrorLaunchingFile = -5,
    kStatusCannotCopyIcon = -6,
    kStatusCannotRestoreClipboard = -7
};

// Capacity of a status text buffer; the longest text is 39 characters.
enum { kStatusTextCapacity = 256 };

// Formats "%.03d (%s)" for code into out (capacity bytes, terminator included, at least 1).
// Returns false, leaving out as an empty text, when the code's magnitude is 8 or more or the
// code is the most negative 32-bit value: such codes have no text.
bool FormatStatusResult(int32_t code, char *out, size_t capacity);

#endif
