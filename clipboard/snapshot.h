// The clipboard snapshot: one format of the clipboard's content, saved before the first icon
// copy and put back by Tarv-RestoreClipboard (clipboard/snapshot.cpp, declared in
// plugin/handlers.h). One snapshot at a time; while it holds data no new one is taken, so a
// restore brings back what was there before the first of several copies.
#ifndef TARVEL_CLIPBOARD_SNAPSHOT_H
#define TARVEL_CLIPBOARD_SNAPSHOT_H

// Saves one format of the clipboard's content, unless the snapshot already holds data (then
// the clipboard is not even opened). The format saved is a metafile picture or a DIB when
// that is the first standard format on the clipboard, otherwise Unicode text when the
// clipboard offers it, otherwise the standard format that follows the first one. Reports
// nothing: a clipboard that can't be opened, no standard format, a format whose data is a GDI
// object, or a failed allocation all leave nothing saved. The clipboard is closed again on
// every path that opened it, and the user's clipboard is never changed.
void TakeClipboardSnapshot(void);

#endif
