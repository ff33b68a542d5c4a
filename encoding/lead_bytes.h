// Texts in a double-byte code page (932, 936, 949, 950), read by characters: the second byte
// of a character may have the code of '\' or of an ASCII letter, and must never be taken
// for one.
#ifndef TARVEL_LEAD_BYTES_H
#define TARVEL_LEAD_BYTES_H

#include <stddef.h>

// The bytes that open a two-byte character in one code page.
struct LeadBytes {
    bool isLead[256];
};

// Bytes of the character that starts at text (which must not be at its terminator): 2 for a
// lead byte with a non-zero byte after it, as Windows reads it, else 1. NULL leads stand for
// a single-byte code page, where every character is one byte.
inline size_t CharacterSize(const LeadBytes *leads, const char *text)
{
    return (leads != NULL && leads->isLead[(unsigned char)text[0]] && text[1] != '\0') ? 2 : 1;
}

#endif
