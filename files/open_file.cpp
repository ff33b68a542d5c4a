// Tarv-OpenFile: hands a file or folder to the shell's "open" verb, so that the application
// associated with it starts, and reports the outcome as a status.
#include <windows.h>
#include <shellapi.h>

#include "encoding/codepage.h"
#include "files/path_exists.h"
#include "files/script_path.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/shell_apartment.h"
#include "plugin/status.h"

// The status for what ShellExecuteW returned, taken as a signed 32-bit number, once the
// plug-in has found the file: above 32 is success; every other value is a launch failure,
// -005, "file not found" and "path not found" included: they speak of what the file's
// association names, or of a path the shell cannot take (Wine's shell finds no file at a path
// of 256 units or more).
static int32_t StatusOfShellExecute(int32_t returned)
{
    return returned > 32 ? kStatusOk : kStatusErrorLaunchingFile;
}

// Parameter: the path in host codes. Answers -004 for a path that names no file by the rules
// of ScriptPathToWide, or whose resolved path does not lead to a file or folder on a disk (the
// shell is not called then), otherwise the status of the shell's answer for the resolved path:
// a relative path names the current folder's file, and the shell, which would look in the host
// program's folder first, never sees it. No owner window is passed, and
// the started application is not waited for. COM is set up for the shell call and left as it
// was found (EnterShellApartment).
void TarvOpenFile(HostHandle parameter, HostHandle result)
{
    char path[kTextUnits];
    WCHAR widePath[kTextUnits];
    int32_t status = kStatusFileNotFound;
    if (ReadTextParameter(parameter, path, sizeof path) > 0) {
        ConvertHostToWindows(path);
        if (ScriptPathToWide(path, CurrentCodePageAlone(), kPathForShell, widePath,
                             kTextUnits) &&
            PathExists(widePath)) {
            // A file type's handler may be a COM object.
            ShellApartment apartment = EnterShellApartment();
            HINSTANCE launched = ShellExecuteW(NULL, L"open", widePath, NULL, NULL, SW_SHOW);
            status = StatusOfShellExecute((int32_t)(INT_PTR)launched);
            LeaveShellApartment(apartment);
        }
    }
    WriteStatusResult(result, status);
}
