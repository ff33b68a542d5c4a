// The version text: the module's own file version, "a.b.c.d", and Tarv-Version.
#ifndef TARVEL_VERSION_TEXT_H
#define TARVEL_VERSION_TEXT_H

#include <windows.h>
#include <stddef.h>

// Fills text (capacity bytes, already zero-filled by the caller) with the file version of
// the module's version resource, each of the four parts in plain decimal. The resource is
// read from the loaded module, not from its file. When it is missing or malformed, text is
// left as it was (empty).
void BuildVersionText(HINSTANCE module, char *text, size_t capacity);

#endif
