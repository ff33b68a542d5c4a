// Texts in a single-byte Windows code page and in UTF-16, both ways, with the plug-in's own
// tables: what Windows' conversion does for these code pages, minus its best-fit mapping.
// A character that has no code of its own is never replaced by a look-alike; the caller learns
// that it did not fit.
#ifndef TARVEL_UTF16_TEXT_H
#define TARVEL_UTF16_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include "encoding/codepage.h"

// A UTF-16 code unit: the type of the wide Windows functions' texts, and a 16-bit character
// type of the same size in the native build.
#ifdef _WIN32
typedef wchar_t Utf16Unit;
#else
typedef char16_t Utf16Unit;
#endif

// The character that stands for one that a name's code page lacks. No Windows file name holds
// it, so a path with it names no file.
enum { kUnfitCharacter = '?' };

// How a name came out of the conversion to a code page.
enum NameFit {
    kNameFits,        // every character has its own code, and comes back to itself
    kNameDoesNotFit,  // written with kUnfitCharacter for each character that does not fit
    kNameTooLong      // does not fit the buffer: nothing written (out is the empty text)
};

// The upper half (codes 0x80 to 0xFF) as UTF-16 of the Windows code page of a locale in
// kLocaleEntries; NULL for any other code page, 0 included.
const uint16_t *WindowsCodePageUpperHalf(unsigned codePage);

// Reads text (zero-terminated, in the code page whose upper half is upperHalf) into out as
// UTF-16, terminator included (capacity in units). Every byte has a character. Returns the
// number of units written without the terminator; when the text needs more than
// capacity - 1 units, returns -1 and leaves out the empty text (capacity 0: nothing written).
long SingleByteToUtf16(const uint16_t *upperHalf, const char *text, Utf16Unit *out,
                       size_t capacity);

// Writes name (length units of UTF-16, need not be terminated) in the code page's codes into
// out, terminator included (capacity in bytes). A character fits when the code page has a
// code for it and, with hostMaps given (the current table's maps), that code comes back to
// itself when converted to host codes and back: a name handed to the host must name the same
// file when the host hands it back. A character that does not fit (a surrogate pair counts as
// one character, a lone surrogate as one) becomes kUnfitCharacter. *written, when given,
// receives the bytes written without the terminator.
NameFit Utf16ToSingleByte(const uint16_t *upperHalf, const CodePageMaps *hostMaps,
                          const Utf16Unit *name, size_t length, char *out, size_t capacity,
                          size_t *written);

// The halves of a surrogate pair, which together stand for one character beyond U+FFFF.
inline bool IsHighSurrogate(uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// True when the byte, a code of the Windows code page, comes back to itself through the
// conversion to host codes and back with maps. NULL maps: always true.
bool SurvivesHostRoundTrip(const CodePageMaps *maps, unsigned char code);

#endif
