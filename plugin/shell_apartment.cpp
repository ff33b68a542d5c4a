// EnterShellApartment and LeaveShellApartment: the one way the plug-in sets COM up for the
// shell, and takes it down again.
#include "plugin/shell_apartment.h"

#include <objbase.h>
#include <ole2.h>

ShellApartment EnterShellApartment(void)
{
    ShellApartment apartment;
    apartment.com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    apartment.ole = OleInitialize(NULL);
    return apartment;
}

void LeaveShellApartment(ShellApartment apartment)
{
    if (SUCCEEDED(apartment.ole))
        OleUninitialize();
    if (SUCCEEDED(apartment.com))
        CoUninitialize();
}
