// Reading ';'-separated lists: the dialog's file-type list and the scan's extension filter.
#ifndef TARVEL_TOKEN_H
#define TARVEL_TOKEN_H

#include <stddef.h>

#include "encoding/lead_bytes.h"

// Reads the token that starts at position (a place in a zero-terminated text, or NULL):
// blanks (spaces only) before it are skipped; it runs up to, not including, the next ';' or
// the end of the text; blanks inside and at its end belong to it.
//
// The caller zero-fills token (capacity bytes, terminator included) before every call; the
// token is copied without a terminator of its own, cut to capacity - 1 bytes when longer, so
// the zero fill always ends it. The text is read by characters (leads: its double-byte code
// page, NULL for a single-byte one): a cut never splits one.
//
// Returns the character after the ';' that ended the token when at least one more character
// follows that ';'; otherwise (end of text, ';' as the last character, NULL position or
// no buffer) returns NULL. An empty token, one of blanks only, and a read past the end all
// leave the token empty: callers take the first empty token as the end of the list.
const char *ReadToken(const char *position, char *token, size_t capacity, const LeadBytes *leads);

#endif
