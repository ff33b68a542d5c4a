// The search for the host's main window, owner of the plug-in's dialogs and of the clipboard.
#ifndef TARVEL_HOST_WINDOW_H
#define TARVEL_HOST_WINDOW_H

#include <windows.h>

// The first top-level window of this process whose class name is the host's (see
// IsHostWindowClassName), or NULL. Searches afresh on every call.
HWND FindHostWindow(void);

#endif
