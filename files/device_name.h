// Names that lead to a device rather than to a file or folder on a disk.
#ifndef TARVEL_DEVICE_NAME_H
#define TARVEL_DEVICE_NAME_H

#include "encoding/utf16_text.h"

// True when path (zero-terminated UTF-16; NULL counts as empty) names a device:
//   - its last name (trailing '\' and '/' aside) is CON, PRN, AUX, NUL, COM1 to COM9,
//     LPT1 to LPT9 (the digit may also be a superscript 1, 2 or 3), CONIN$ or CONOUT$, in any
//     case of ASCII letters, with blanks after it, an extension or a ':' and whatever follows;
//     a folder or drive may stand in front ("C:\x\AUX.txt", "C:NUL");
//   - or it is in the device namespace: "\\.\" or "\\?\" (either slash) followed by anything
//     but a drive's folder ("C:\...") or "UNC\"; "\\.\C:" alone is the volume itself;
//   - or it is "\\.\" or "\\?\" with a "." or ".." name anywhere after it, which Windows
//     either resolves past the drive ("\\.\C:\..\GLOBALROOT\...") or passes on unread;
//   - or it is in the object manager's namespace, "\??\" (either slash), which Windows hands
//     on without reading it as a path at all ("\??\C:\..." included).
// Windows opens these as devices wherever they stand, so no dialog, shell call or existence
// test may take them for files.
bool IsDeviceName(const Utf16Unit *path);

// When the name (length units, need not be terminated) is one of the reserved device names
// above, as the last name of a path: the length of its base, the device's own name (the part
// before any '.' or ':', trailing blanks cut). Otherwise 0.
size_t DeviceNameBaseLength(const Utf16Unit *name, size_t length);

#endif
