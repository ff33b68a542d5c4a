// Keeping the host alive while a scan walks: its windows repaint every so often, and after a
// while (kShowAfterMs) a progress window shows the folder being read and the files found so
// far, with Cancel. The host runs every plug-in call on its one window thread, so without this a
// long scan would leave it frozen and marked as not responding.
#ifndef TARVEL_SCAN_PROGRESS_H
#define TARVEL_SCAN_PROGRESS_H

#include <windows.h>

// Notes the start of a scan, whose walk reads the folder in folder (zero-terminated; the window
// shows it as it changes) and has found *filesFound files so far; both stay valid until
// EndScanProgress. No window yet.
void BeginScanProgress(const WCHAR *folder, const unsigned long *filesFound);

// Called during a scan before every Windows call that can wait on a disk or a server (a
// folder's open, search or next batch of entries, a question about a file, a close), so that
// only a single slow call holds the host up. Only a
// read of the clock until kDispatchEveryMs have passed; then it dispatches what waits in the
// thread's queue (without letting keystrokes or clicks reach the host's windows), after
// kShowAfterMs shows the progress window (owned by the host's main window, which is disabled
// meanwhile), and every kUpdateEveryMs brings its text up to date. Returns false when the user
// has cancelled: Cancel, Esc, Enter on Cancel, or closing the window; or when a quit message
// arrived, which is posted again after the scan; from then on at once, without the clock.
// Outside a scan (the dialogs prove short names too) it does nothing and returns true.
bool ScanProgressTick(void);

// Ends the watch: the host's main window is enabled again and the progress window destroyed,
// whatever way the scan ended. A window that has shown for less than kShownAtLeastMs stays
// until it has (the host's queue moving meanwhile), unless the user cancels or the host quits.
void EndScanProgress(void);

#endif
