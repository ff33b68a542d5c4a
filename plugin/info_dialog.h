// The information dialog that the host's plug-in preferences command shows.
#ifndef TARVEL_INFO_DIALOG_H
#define TARVEL_INFO_DIALOG_H

#include <windows.h>

// Shows dialog 101 of module modally, owned by owner (may be NULL), and returns when it is
// closed. Everything made for the dialog (heading font, background brush, the logo's halves)
// is released before it returns. When the dialog cannot be created, returns at once.
void ShowInformationDialog(HINSTANCE module, HWND owner);

#endif
