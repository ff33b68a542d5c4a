// Keeping the host alive while a scan walks: its windows repaint every so often, and after
// about a second a progress window shows the folder being read and the files found so far,
// with Cancel. The host runs every plug-in call on its one window thread, so without this a
// long scan would leave it frozen and marked as not responding.
#ifndef TARVEL_SCAN_PROGRESS_H
#define TARVEL_SCAN_PROGRESS_H

#include <windows.h>

// Notes the start of a scan. No window yet.
void BeginScanProgress(void);

// Called by the walk after every entry and every folder opened, with the folder being read
// and the number of files found so far. Looks at the clock; about every tenth of a second it dispatches what
// waits in the thread's queue (without letting keystrokes or clicks reach the host's
// windows), after about a second shows the progress window (owned by the host's main window,
// which is disabled meanwhile), and a few times a second brings its text up to date.
// Returns false when the user has cancelled: Cancel, Esc, Enter on Cancel, or closing the
// window; or when a quit message arrived, which is posted again after the scan.
bool ScanProgressTick(const WCHAR *folder, unsigned long filesFound);

// Ends the watch: the host's main window is enabled again and the progress window destroyed,
// whatever way the scan ended. A window that has shown for less than half a second stays until
// it has (the host's queue moving meanwhile), unless the user cancels or the host quits.
void EndScanProgress(void);

#endif
