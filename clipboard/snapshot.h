// The clipboard snapshot: one format of the clipboard's content, saved before the first icon
// copy and put back by Tarv-RestoreClipboard. One snapshot at a time; while it holds data no
// new one is taken, so a restore brings back what was there before the first of several copies.
#ifndef TARVEL_CLIPBOARD_SNAPSHOT_H
#define TARVEL_CLIPBOARD_SNAPSHOT_H

#include <windows.h>
#include <stdint.h>
#include "plugin/host_record.h"

// Formats 1 (CF_TEXT) to 17 (CF_DIBV5) are the standard ones; everything else (display,
// private, GDI-object and application-defined formats) is passed over.
enum { kLastStandardClipboardFormat = 17 };

// All fields are zero at load. The snapshot holds data when copyAddress or metafileBits is
// set; never both.
struct ClipboardSnapshot {
    uint32_t savedFormat;       // format last chosen by a snapshot that opened the clipboard; 0 = none
    METAFILEPICT picture;       // mapping mode and extents of a saved metafile picture
    uint32_t metafileBitsSize;  // bytes at metafileBits
    void *metafileBits;         // locked GMEM_MOVEABLE|GMEM_ZEROINIT block with the metafile's bits, or NULL
    HGLOBAL copyBlock;          // unlocked GMEM_MOVEABLE copy of the saved format's data, or NULL
    void *copyAddress;          // non-NULL once copyBlock holds a complete copy
};

extern ClipboardSnapshot clipboardSnapshot;

// True when the snapshot holds saved data.
bool ClipboardSnapshotHoldsData(void);

// Saves one format of the clipboard's content, unless the snapshot already holds data (then
// the clipboard is not even opened). The format saved is a metafile picture or a DIB when
// that is the first standard format on the clipboard, otherwise Unicode text when the
// clipboard offers it, otherwise the standard format that follows the first one. Reports
// nothing: a clipboard that can't be opened, no standard format, a format whose data is a GDI
// object, or a failed allocation all leave nothing saved. The clipboard is closed again on
// every path that opened it, and the user's clipboard is never changed.
void TakeClipboardSnapshot(void);

// Empties the clipboard and puts the saved format back, then releases the saved data.
// Writes status 0 into result when the data is back on the clipboard, otherwise -7:
// - no data held: the clipboard is left alone (not even opened);
// - the clipboard can't be opened or emptied: the snapshot is kept for a later attempt;
// - the clipboard refuses the data: the snapshot is released all the same.
void RestoreClipboardSnapshot(HostHandle result);

#endif
