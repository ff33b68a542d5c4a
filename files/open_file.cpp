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

// The status for what ShellExecuteW returned, taken as a signed 32-bit number: above 32 is
// success; "file not found" and "path not found" (the document's or what its association
// names) are -004; every other value is a launch failure, -005.
static int32_t StatusOfShellExecute(int32_t returned)
{
    if (returned > 32)
        return kStatusOk;
    if (returned == SE_ERR_FNF || returned == SE_ERR_PNF)
        return kStatusFileNotFound;
    return kStatusErrorLaunchingFile;
}

// Parameter: the path in host codes. Answers -004 for a path that names no file by the rules
// of ScriptPathToWide, or that does not lead to a file or folder on a disk (the shell is not
// called then), otherwise the status of the shell's answer. No owner window is passed, and
// the started application is not waited for. COM is set up for the shell call and left as it
// was found (EnterShellApartment).
void TarvOpenFile(HostHandle parameter, HostHandle result)
{
    char path[kTextUnits];
    WCHAR widePath[kTextUnits];
    int32_t status = kStatusFileNotFound;
    if (ReadTextParameter(parameter, path, sizeof path) > 0) {
        ConvertHostToWindows(path);
        if (ScriptPathToWide(path, CurrentWindowsCodePage(), NULL, kPathForShell, widePath,
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
