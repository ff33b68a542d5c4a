// The information dialog that the host's plug-in preferences command shows.
#ifndef TARVEL_INFO_DIALOG_H
#define TARVEL_INFO_DIALOG_H

#include <windows.h>

// Shows dialog 101 of module modally, owned by owner (may be NULL), and returns when it is
// closed. Everything the dialog creates (heading font, background brush) is released before
// it returns. When the dialog cannot be created, returns at once.
void ShowInformationDialog(HINSTANCE module, HWND owner);

// A new bold heading font; the caller deletes it.
HFONT CreateHeadingFont(void);

INT_PTR CALLBACK InformationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
