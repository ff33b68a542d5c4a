// Text exchange with the host's handles: reading a function's parameter, writing its result.
// Host texts have exactly their block's size and no terminator; the plug-in's texts are
// zero-terminated. Neither operation converts character codes.
#ifndef TARVEL_HOST_TEXT_H
#define TARVEL_HOST_TEXT_H

#include <stdint.h>
#include "plugin/host_record.h"

// Capacity of every buffer that takes a path, filter, title or name, terminator included, in
// units of its text: bytes for host and Windows codes, UTF-16 units for the wide functions.
enum { kTextUnits = 4096 };

// Zero-fills buffer[0..capacity), then copies at most capacity - 1 bytes of the parameter,
// stopping early at a zero byte in the block. The handle is locked only around the copy.
// Returns the size the host reports for the handle, which may exceed the capacity.
// capacity must be at least 1.
int32_t ReadTextParameter(HostHandle parameter, char *buffer, int32_t capacity);

// Replaces the result handle's contents by text (without its terminator). The handle is
// resized, then locked only when the host reports no memory error and the block has the size
// asked for; otherwise nothing is written and the handle is not locked.
void WriteTextResult(HostHandle result, const char *text);

// Writes the status text of code (see FormatStatusResult in plugin/status.h) into the result
// handle as WriteTextResult does; a code without a text leaves the handle untouched.
void WriteStatusResult(HostHandle result, int32_t code);

#endif
