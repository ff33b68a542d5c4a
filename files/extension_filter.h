// The folder scan's extension test: does a file name end in one of the filter's extensions?
#ifndef TARVEL_EXTENSION_FILTER_H
#define TARVEL_EXTENSION_FILTER_H

#include "encoding/lead_bytes.h"

// Longest extension token that is compared, in characters; longer tokens are cut to it.
enum { kExtensionTokenCapacity = 256 };

// Tests a file name against a ';'-separated extension filter (both zero-terminated; NULL
// counts as empty).
//   - "." and ".." always fail.
//   - An empty filter passes every other name.
//   - Tokens are read in order with ReadToken. The first empty token (an empty item, one of
//     blanks only, or the end of the list) fails the name; so does the first token without a
//     '.', and the tokens after it are not looked at.
//   - A token that is exactly "*.*" passes every name.
//   - Otherwise the token's extension part runs from its first '.' to its end; the name
//     passes when it ends in that part, compared without regard to the case of ASCII letters.
//     '*' and '?' are plain characters there, and trailing blanks belong to the part.
// Tokens longer than kExtensionTokenCapacity - 1 bytes are cut to that length.
// Name and filter are read by characters (leads: their double-byte code page, NULL for a
// single-byte one): the part must end the name in whole characters, and only single-byte
// letters are taken without regard to case.
bool MatchesExtensionFilter(const char *name, const char *filter, const LeadBytes *leads);

#endif
