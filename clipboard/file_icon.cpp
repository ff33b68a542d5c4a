// Tarv-CopyLargeFileIcon and Tarv-CopySmallFileIcon: the shell's icon of a file as a bitmap on
// the clipboard, and the palette builder for that bitmap.
#include <windows.h>
#include <shellapi.h>
#include <stddef.h>
#include <string.h>
#include "clipboard/icon_pixels.h"
#include "clipboard/snapshot.h"
#include "encoding/codepage.h"
#include "files/script_path.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/host_window.h"
#include "plugin/shell_apartment.h"
#include "plugin/status.h"

enum { kMaxPaletteEntries = 256 };

enum IconSize {
    kLargeIcon,  // the shell's large icon (SHGFI_LARGEICON)
    kSmallIcon   // the shell's small icon (SHGFI_SMALLICON)
};

// Sets every transparent pixel of the colour bitmap in colourDc (mask white, colour black)
// to the window colour; every other pixel keeps its value. The mask bitmap is in maskDc.
static void FillTransparentPixels(HDC colourDc, HDC maskDc, LONG width, LONG height)
{
    for (LONG x = 0; x < width; x++) {
        for (LONG y = 0; y < height; y++) {
            COLORREF colour = GetPixel(colourDc, x, y);
            COLORREF mask = GetPixel(maskDc, x, y);
            if (IsTransparentIconPixel(colour, mask))
                SetPixel(colourDc, x, y, GetSysColor(COLOR_WINDOW));
        }
    }
}

// A palette with the colour table of bitmap: 2 to the power of its depth entries for 8 bits
// per pixel or fewer, taken from the colour table where the bitmap has one (black where it
// can't be read). Returns NULL for deeper bitmaps or when the bitmap or a drawing context
// can't be had. The bitmap must not be selected into a device context. The caller owns the
// palette.
static HPALETTE BuildBitmapPalette(HBITMAP bitmap)
{
    BITMAP description;
    // The colour table, with room for the most entries any depth up to 8 bits can have;
    // entries that GetDIBits does not supply stay zero, which is black.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[kMaxPaletteEntries];
    } table;
    // The LOGPALETTE with all its entries, built in place: the structure declares only one.
    union {
        LOGPALETTE header;
        BYTE bytes[offsetof(LOGPALETTE, palPalEntry) + kMaxPaletteEntries * sizeof(PALETTEENTRY)];
    } logical;
    HDC dc = NULL;
    HPALETTE palette = NULL;

    memset(&description, 0, sizeof description);
    if (GetObjectA(bitmap, sizeof description, &description) == 0)
        return NULL;
    uint32_t count = PaletteEntryCount((uint16_t)description.bmPlanes,
                                       (uint16_t)description.bmBitsPixel);
    if (count == 0)
        return NULL;
    dc = CreateCompatibleDC(NULL);
    if (dc == NULL)
        return NULL;

    // GetDIBits gives the colour table of a DIB section and of a device-dependent bitmap
    // alike, where GetDIBColorTable would give nothing for the latter.
    memset(&table, 0, sizeof table);
    table.header.biSize = sizeof table.header;
    table.header.biWidth = description.bmWidth;
    table.header.biHeight = description.bmHeight;
    table.header.biPlanes = 1;
    table.header.biBitCount = (WORD)(description.bmPlanes * description.bmBitsPixel);
    table.header.biCompression = BI_RGB;
    if (GetDIBits(dc, bitmap, 0, 0, NULL, (BITMAPINFO *)&table, DIB_RGB_COLORS) == 0)
        memset(table.colours, 0, sizeof table.colours);

    memset(&logical, 0, sizeof logical);
    logical.header.palVersion = 0x300;
    logical.header.palNumEntries = (WORD)count;
    PALETTEENTRY *entries = (PALETTEENTRY *)(logical.bytes + offsetof(LOGPALETTE, palPalEntry));
    for (uint32_t i = 0; i < count; i++) {
        entries[i].peRed = table.colours[i].rgbRed;
        entries[i].peGreen = table.colours[i].rgbGreen;
        entries[i].peBlue = table.colours[i].rgbBlue;
        entries[i].peFlags = 0;
    }
    palette = CreatePalette(&logical.header);
    DeleteDC(dc);
    return palette;
}

// Reads a path in host codes from parameter, takes the clipboard snapshot (whatever happens
// next), converts the path to Windows codes and puts the shell's icon of that file or folder
// on the clipboard: the icon's colour bitmap, its transparent pixels set to the window
// colour, as CF_BITMAP, and beside it CF_PALETTE with the bitmap's palette (a NULL handle for
// more than 8 bits per pixel). Writes status 0 into result on success, -1 on every failure:
// - a path that names no file by the rules of ScriptPathToWide (empty or blank, a device, a
//   wildcard, more than the shell reads, ...), no icon from the shell (no such file or
//   folder), an icon that can't be taken apart or has no colour bitmap, or no drawing
//   context: the clipboard is not touched;
// - the clipboard can't be opened (another window has it open) or emptied: not touched;
// - the clipboard refuses the bitmap: it is left emptied (the palette may be on it).
// Every GDI object and the icon are released on every path, except what the clipboard took.
static void CopyFileIconToClipboard(HostHandle parameter, HostHandle result, IconSize size)
{
    char iconPath[kTextUnits];  // in host codes, then converted in place
    SHFILEINFOW shellInfo;
    WCHAR widePath[kTextUnits];
    ICONINFO parts;
    BITMAP colourDescription;
    HDC colourDc = NULL;
    HDC maskDc = NULL;
    HGDIOBJ colourDcBitmap = NULL;  // what each context held before the icon's bitmap went in
    HGDIOBJ maskDcBitmap = NULL;
    HPALETTE palette = NULL;
    bool opened = false;
    int32_t status = kStatusIncorrectOption;

    memset(&parts, 0, sizeof parts);
    memset(&shellInfo, 0, sizeof shellInfo);
    ReadTextParameter(parameter, iconPath, kTextUnits);
    // Before anything can fail, so that a later restore has what the clipboard held.
    TakeClipboardSnapshot();
    ConvertHostToWindows(iconPath);
    bool pathAdmitted = ScriptPathToWide(iconPath, CurrentCodePageAlone(), kPathForShell,
                                         widePath, kTextUnits);

    ShellApartment apartment = EnterShellApartment();
    UINT flags = SHGFI_ICON | (size == kSmallIcon ? SHGFI_SMALLICON : SHGFI_LARGEICON);
    if (!pathAdmitted ||
        SHGetFileInfoW(widePath, 0, &shellInfo, sizeof shellInfo, flags) == 0)
        goto done;

    // The bitmap is rendered before the clipboard is opened, so that a failure here leaves
    // the user's clipboard as it was.
    if (!GetIconInfo(shellInfo.hIcon, &parts))
        goto done;
    if (parts.hbmColor == NULL)  // a monochrome icon: nothing to put on the clipboard
        goto done;
    memset(&colourDescription, 0, sizeof colourDescription);
    if (GetObjectA(parts.hbmColor, sizeof colourDescription, &colourDescription) == 0)
        goto done;
    colourDc = CreateCompatibleDC(NULL);
    if (colourDc == NULL)
        goto done;
    maskDc = CreateCompatibleDC(NULL);
    if (maskDc == NULL)
        goto done;
    colourDcBitmap = SelectObject(colourDc, parts.hbmColor);
    if (colourDcBitmap == NULL)
        goto done;
    maskDcBitmap = SelectObject(maskDc, parts.hbmMask);
    if (maskDcBitmap == NULL)
        goto done;
    FillTransparentPixels(colourDc, maskDc, colourDescription.bmWidth, colourDescription.bmHeight);
    // The palette builder and the clipboard both need the bitmap out of every context.
    SelectObject(colourDc, colourDcBitmap);
    colourDcBitmap = NULL;
    palette = BuildBitmapPalette(parts.hbmColor);

    if (!OpenClipboard(FindHostWindow()))
        goto done;
    opened = true;
    if (!EmptyClipboard())
        goto done;
    // Set also without a palette; whether it is taken does not decide the request.
    if (SetClipboardData(CF_PALETTE, palette) != NULL)
        palette = NULL;
    if (SetClipboardData(CF_BITMAP, parts.hbmColor) == NULL)
        goto done;
    parts.hbmColor = NULL;  // the clipboard's now
    status = kStatusOk;

done:
    if (opened)
        CloseClipboard();
    if (maskDcBitmap != NULL)
        SelectObject(maskDc, maskDcBitmap);
    if (colourDcBitmap != NULL)
        SelectObject(colourDc, colourDcBitmap);
    if (maskDc != NULL)
        DeleteDC(maskDc);
    if (colourDc != NULL)
        DeleteDC(colourDc);
    if (palette != NULL)
        DeleteObject(palette);
    if (parts.hbmColor != NULL)
        DeleteObject(parts.hbmColor);
    if (parts.hbmMask != NULL)
        DeleteObject(parts.hbmMask);
    if (shellInfo.hIcon != NULL)
        DestroyIcon(shellInfo.hIcon);
    LeaveShellApartment(apartment);
    WriteStatusResult(result, status);
}

void TarvCopyLargeFileIcon(HostHandle parameter, HostHandle result)
{
    CopyFileIconToClipboard(parameter, result, kLargeIcon);
}

void TarvCopySmallFileIcon(HostHandle parameter, HostHandle result)
{
    CopyFileIconToClipboard(parameter, result, kSmallIcon);
}
