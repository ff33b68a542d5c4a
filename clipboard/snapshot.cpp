// The clipboard snapshot taken before an icon copy, and Tarv-RestoreClipboard, which puts it
// back. Only one format is saved, never the clipboard's whole set of formats.
#include "clipboard/snapshot.h"
#include <windows.h>
#include <stdint.h>
#include <string.h>
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/host_window.h"
#include "plugin/status.h"

// Formats 1 (CF_TEXT) to 17 (CF_DIBV5) are the standard ones; everything else (display,
// private, GDI-object and application-defined formats) is passed over.
enum { kLastStandardClipboardFormat = 17 };

// The saved format: process-wide, all zero at load. It holds data when copyBlock or
// metafileBits is set; never both. A nested call (the host calling the plug-in again while
// an icon copy waits on the shell) may take or restore it: an icon copy takes its snapshot
// before it asks the shell for the icon, and looks at it no more after that; the snapshot's
// own procedures run no message loop.
struct ClipboardSnapshot {
    uint32_t savedFormat;  // format last chosen by a snapshot that opened the clipboard; 0 = none
    METAFILEPICT picture;  // mapping mode and extents of a saved metafile picture
    uint32_t metafileBitsSize;  // bytes at metafileBits
    // The metafile's bits in a GMEM_MOVEABLE|GMEM_ZEROINIT block, locked until the restore;
    // or NULL.
    void *metafileBits;
    // A complete copy of the saved format's data in an unlocked GMEM_MOVEABLE block, or NULL.
    HGLOBAL copyBlock;
};

static ClipboardSnapshot clipboardSnapshot;

static bool ClipboardSnapshotHoldsData(void)
{
    return clipboardSnapshot.copyBlock != NULL || clipboardSnapshot.metafileBits != NULL;
}

static bool IsStandardClipboardFormat(UINT format)
{
    return format != 0 && format <= kLastStandardClipboardFormat;
}

// Formats whose clipboard data is a GDI object rather than a global block: they have no
// bytes to copy, and the object itself goes when the clipboard is emptied.
static bool IsGdiObjectFormat(UINT format)
{
    return format == CF_BITMAP || format == CF_PALETTE || format == CF_ENHMETAFILE;
}

// Continues the clipboard's format enumeration after format (0 starts it) up to the next
// standard format, recording each number seen in savedFormat. Returns that format, or 0 when
// the enumeration ends first. The clipboard must be open.
static UINT NextStandardFormat(UINT format)
{
    do {
        format = EnumClipboardFormats(format);
        clipboardSnapshot.savedFormat = format;
    } while (format != 0 && !IsStandardClipboardFormat(format));
    return format;
}

// Saves the clipboard's metafile picture: its record into picture, and the metafile's bits
// into a block that stays locked until the restore. The metafile itself belongs to the
// clipboard and is deleted when the clipboard is emptied, so only its bits can be kept.
// Ends with metafileBits set, or with nothing held when the record is missing or short, the
// metafile is empty or unreadable, or the block can't be had. The clipboard must be open.
static void SaveMetafilePicture(void)
{
    HANDLE data = GetClipboardData(CF_METAFILEPICT);
    const METAFILEPICT *record = NULL;
    HGLOBAL bitsBlock = NULL;
    void *bits = NULL;
    UINT size = 0;

    memset(&clipboardSnapshot.picture, 0, sizeof clipboardSnapshot.picture);
    clipboardSnapshot.metafileBitsSize = 0;
    // The record is read only as far as the block's own size reaches.
    if (data == NULL || GlobalSize(data) < sizeof(METAFILEPICT))
        goto done;
    record = (const METAFILEPICT *)GlobalLock(data);
    if (record == NULL)
        goto done;
    clipboardSnapshot.picture.mm = record->mm;
    clipboardSnapshot.picture.xExt = record->xExt;
    clipboardSnapshot.picture.yExt = record->yExt;
    clipboardSnapshot.picture.hMF = record->hMF;

    size = GetMetaFileBitsEx(record->hMF, 0, NULL);
    if (size == 0)
        goto done;
    bitsBlock = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (bitsBlock == NULL)
        goto done;
    bits = GlobalLock(bitsBlock);
    if (bits == NULL)
        goto done;
    if (GetMetaFileBitsEx(record->hMF, size, bits) != size)
        goto done;
    // The block now belongs to the snapshot, locked, and is found again from its address.
    clipboardSnapshot.metafileBitsSize = size;
    clipboardSnapshot.metafileBits = bits;
    bits = NULL;
    bitsBlock = NULL;

done:
    if (bits != NULL)
        GlobalUnlock(bitsBlock);
    if (bitsBlock != NULL)
        GlobalFree(bitsBlock);
    if (record != NULL)
        GlobalUnlock(data);
}

// Saves a byte-for-byte copy of the clipboard's data for format into copyBlock. Ends with
// copyBlock set, or with nothing held when the clipboard has no block for
// the format, the block is empty or can't be locked, or the copy can't be allocated. The
// clipboard must be open; no copy may be held yet.
static void SaveCopy(UINT format)
{
    HANDLE data = GetClipboardData(format);
    const void *source = NULL;
    HGLOBAL block = NULL;
    void *copy = NULL;
    SIZE_T size = 0;

    if (data == NULL)
        goto done;
    size = GlobalSize(data);
    if (size == 0)
        goto done;
    source = GlobalLock(data);
    if (source == NULL)
        goto done;
    block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (block == NULL)
        goto done;
    copy = GlobalLock(block);
    if (copy == NULL)
        goto done;
    memcpy(copy, source, size);
    GlobalUnlock(block);
    // The copy is complete: the block, unlocked, is the snapshot's now.
    clipboardSnapshot.copyBlock = block;
    block = NULL;

done:
    if (block != NULL)
        GlobalFree(block);
    if (source != NULL)
        GlobalUnlock(data);
}

void TakeClipboardSnapshot(void)
{
    if (ClipboardSnapshotHoldsData())
        return;
    if (!OpenClipboard(FindHostWindow()))
        return;

    UINT chosen = NextStandardFormat(0);
    // A metafile picture or a DIB is saved as it is; for any other first standard format
    // Unicode text is preferred, else the standard format that follows it.
    if (chosen != 0 && chosen != CF_METAFILEPICT && chosen != CF_DIB) {
        if (IsClipboardFormatAvailable(CF_UNICODETEXT)) {
            chosen = CF_UNICODETEXT;
            clipboardSnapshot.savedFormat = chosen;
        } else {
            chosen = NextStandardFormat(chosen);
        }
    }
    // A metafile picture reached after another format is saved by its bits as well: a byte
    // copy of its record would name a metafile that emptying the clipboard deletes.
    if (chosen == CF_METAFILEPICT)
        SaveMetafilePicture();
    else if (chosen != 0 && !IsGdiObjectFormat(chosen))
        SaveCopy(chosen);

    CloseClipboard();
}

// Puts the saved metafile picture on the clipboard: a new metafile made from the saved bits,
// in a new record with the saved mapping mode and extents. Returns true when the clipboard
// took the record (and with it the metafile); otherwise releases both and returns false.
// The clipboard must be open and emptied.
static bool PlaceMetafilePicture(void)
{
    HMETAFILE metafile = SetMetaFileBitsEx(clipboardSnapshot.metafileBitsSize,
                                           (const BYTE *)clipboardSnapshot.metafileBits);
    HGLOBAL block = NULL;
    METAFILEPICT *record = NULL;
    bool placed = false;

    if (metafile == NULL)
        goto done;
    clipboardSnapshot.picture.hMF = metafile;
    block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    if (block == NULL)
        goto done;
    record = (METAFILEPICT *)GlobalLock(block);
    if (record == NULL)
        goto done;
    *record = clipboardSnapshot.picture;
    GlobalUnlock(block);
    if (SetClipboardData(CF_METAFILEPICT, block) == NULL)
        goto done;
    // The record and the metafile it names belong to the clipboard now.
    block = NULL;
    metafile = NULL;
    placed = true;

done:
    if (block != NULL)
        GlobalFree(block);
    if (metafile != NULL) {
        DeleteMetaFile(metafile);
        clipboardSnapshot.picture.hMF = NULL;
    }
    return placed;
}

// Hands the saved copy to the clipboard under savedFormat. Returns true when the clipboard
// took it (copyBlock is then cleared: the block is the clipboard's); false leaves it held.
// The clipboard must be open and emptied.
static bool PlaceCopy(void)
{
    if (SetClipboardData(clipboardSnapshot.savedFormat, clipboardSnapshot.copyBlock) == NULL)
        return false;
    clipboardSnapshot.copyBlock = NULL;
    return true;
}

// Frees whatever saved data is still the snapshot's and clears the fields that hold it.
// savedFormat and picture stay as they are until the next snapshot.
static void ReleaseSnapshotData(void)
{
    if (clipboardSnapshot.metafileBits != NULL) {
        HGLOBAL bitsBlock = GlobalHandle(clipboardSnapshot.metafileBits);
        if (bitsBlock != NULL) {
            GlobalUnlock(bitsBlock);
            GlobalFree(bitsBlock);
        }
    }
    if (clipboardSnapshot.copyBlock != NULL)
        GlobalFree(clipboardSnapshot.copyBlock);
    clipboardSnapshot.copyBlock = NULL;
    clipboardSnapshot.metafileBits = NULL;
    clipboardSnapshot.metafileBitsSize = 0;
}

// Tarv-RestoreClipboard: empties the clipboard and puts the saved format back, then releases
// the saved data. The parameter is not read. Writes status 0 into result when the data is
// back on the clipboard, otherwise -7:
// - no data held: the clipboard is left alone (not even opened);
// - the clipboard can't be opened or emptied: the snapshot is kept for a later attempt;
// - the clipboard refuses the data: the snapshot is released all the same.
void TarvRestoreClipboard(HostHandle parameter, HostHandle result)
{
    (void)parameter;  // the function takes no parameter; the handle is not even read
    bool opened = false;
    bool emptied = false;
    bool placed = false;

    // With nothing saved there is nothing to put back: the user's clipboard is left as it is.
    if (!ClipboardSnapshotHoldsData())
        goto done;
    if (!OpenClipboard(FindHostWindow()))
        goto done;
    opened = true;
    if (!EmptyClipboard())
        goto done;
    emptied = true;
    if (clipboardSnapshot.metafileBits != NULL)
        placed = PlaceMetafilePicture();
    else
        placed = PlaceCopy();

done:
    if (opened)
        CloseClipboard();
    // Once the clipboard was emptied the snapshot has had its one chance, placed or refused;
    // before that it is kept for a later attempt.
    if (emptied)
        ReleaseSnapshotData();
    WriteStatusResult(result, placed ? kStatusOk : kStatusCannotRestoreClipboard);
}
