// The open-file dialog's file-type list: testing the list a script stores, and turning it
// into the double-zero form that the dialog takes.
//
// A stored list alternates descriptions and patterns, separated by ';' ("Text files;*.txt").
// Tokens are read with ReadToken through a buffer of kFilterTokenCapacity bytes, so a token
// longer than kFilterTokenCapacity - 1 bytes is cut to that length. The list is read by
// characters in its code page (leads: its lead bytes when double-byte, else NULL).
#ifndef TARVEL_DIALOG_FILTER_H
#define TARVEL_DIALOG_FILTER_H

#include <stddef.h>

#include "encoding/lead_bytes.h"

enum { kFilterTokenCapacity = 250 };  // bytes of one token, terminator included

// Room for the dialog form of any list of up to maxListLength characters: every ';' becomes a
// zero, the last token gets one of its own, and one more closes the list.
#define DIALOG_FILTER_CAPACITY(maxListLength) ((maxListLength) + 2)

// True when every description up to the first empty token has a non-empty pattern after it.
// A list whose first token is empty (an empty list, one of blanks only, one that begins with
// ';') is accepted; what follows the first empty description is never looked at.
// A NULL list counts as empty.
bool IsDialogFilterAccepted(const char *list, const LeadBytes *leads);

// Zero-fills filter (capacity bytes) and writes the dialog form of list into it: pairs of
// zero-terminated description and pattern strings, closed by one more zero byte.
//   - An empty (or NULL) list gives the single pair "All Files" / "*.*".
//   - Otherwise pairs are taken in order until a description is empty, has nothing after it
//     in the list, or has an empty pattern; none of them is written. A list whose first
//     token is empty gives an empty filter (just the closing zero).
//   - A pair that does not fit whole in capacity - 1 bytes ends the filter there, so the
//     closing zero always stays inside the buffer; with DIALOG_FILTER_CAPACITY of the list's
//     length every pair fits.
// Returns the number of pairs written. A NULL filter or a capacity of 0 writes nothing.
size_t BuildDialogFilter(const char *list, char *filter, size_t capacity, const LeadBytes *leads);

#endif
