// COM and OLE on the host's thread around a shell call: the folder browser, opening a file
// and a file's icon all go through shell code that may load COM objects (a file type's
// handlers, the browser's new dialog style).
#ifndef TARVEL_SHELL_APARTMENT_H
#define TARVEL_SHELL_APARTMENT_H

#include <windows.h>

// What EnterShellApartment did, for LeaveShellApartment to undo.
struct ShellApartment {
    HRESULT com;  // CoInitializeEx's answer
    HRESULT ole;  // OleInitialize's answer
};

// Initialises COM in a single-threaded apartment without OLE1 DDE (as the shell wants it for
// ShellExecute), then OLE (as the folder browser's new dialog style wants it). Either may
// fail: a host thread already in a multithreaded apartment keeps it, and the shell call goes
// on as it can.
ShellApartment EnterShellApartment(void);

// Undoes exactly the initialisations of apartment that took, latest first, so that the host
// thread's counts are where they were.
void LeaveShellApartment(ShellApartment apartment);

#endif
