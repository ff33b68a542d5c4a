// A file's shell icon on the clipboard as a bitmap (with its palette), the icon's transparent
// area filled with the window colour.
#ifndef TARVEL_FILE_ICON_H
#define TARVEL_FILE_ICON_H

#include <windows.h>
#include "plugin/host_record.h"

enum IconSize {
    kLargeIcon,  // the shell's large icon (SHGFI_LARGEICON)
    kSmallIcon   // the shell's small icon (SHGFI_SMALLICON)
};

// Reads a path in host codes from parameter, takes the clipboard snapshot (whatever happens
// next), converts the path to Windows codes and puts the shell's icon of that file or folder
// on the clipboard: the icon's colour bitmap, its transparent pixels set to the window
// colour, as CF_BITMAP, and beside it CF_PALETTE with the bitmap's palette (a NULL handle for
// more than 8 bits per pixel). Writes status 0 into result on success, -1 on every failure:
// - an empty path or one of spaces only, a device name, no icon from the shell (no such file
//   or folder), an icon that can't be taken apart or has no colour bitmap, or no drawing
//   context: the clipboard is not touched;
// - the clipboard can't be opened (another window has it open) or emptied: not touched;
// - the clipboard refuses the bitmap: it is left emptied (the palette may be on it).
// Every GDI object and the icon are released on every path, except what the clipboard took.
void CopyFileIconToClipboard(HostHandle parameter, HostHandle result, IconSize size);

// A palette with the colour table of bitmap: 2 to the power of its depth entries for 8 bits
// per pixel or fewer, taken from the colour table where the bitmap has one (black where it
// can't be read). Returns NULL for deeper bitmaps or when the bitmap or a drawing context
// can't be had. The bitmap must not be selected into a device context. The caller owns the
// palette.
HPALETTE BuildBitmapPalette(HBITMAP bitmap);

#endif
