// The open-file dialog: the file-type list and the starting folder that a script stores,
// the dialog that lets the user pick one existing file, and the file name of a path.
//
// The stored options and the dialog's title are used exactly as the host passed them; only
// the chosen path is converted, from Windows codes to host codes, on its way back.
#include <windows.h>
#include <commdlg.h>
#include <stddef.h>
#include <string.h>

#include "encoding/codepage.h"
#include "files/dialog_filter.h"
#include "files/file_name.h"
#include "files/path_exists.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/host_window.h"
#include "plugin/status.h"

// The file-type list as the script gave it ("Text files;*.txt"); empty when none is set.
static char dialogFilter[kTextCapacity];
// The folder the dialog opens in; empty for the dialog's own default.
static char initialFolder[kTextCapacity];

static const char kDefaultFileDialogTitle[] = "Choose a File";

// The record in the size the first explorer-style dialogs knew, without pvReserved,
// dwReserved and FlagsEx: every system since then accepts it.
enum { kOpenFileRecordSize = 76 };
static_assert(offsetof(OPENFILENAMEA, pvReserved) == kOpenFileRecordSize,
              "OPENFILENAMEA up to lpTemplateName");

void ResetFileChooserOptions(void)
{
    memset(dialogFilter, 0, sizeof dialogFilter);
    memset(initialFolder, 0, sizeof initialFolder);
}

// Tarv-SetDialogFilter: stores the list first, then tests it. An empty parameter clears the
// list (000); a description without a pattern before the first empty token clears it too and
// answers -001; any other list is kept (000).
void TarvSetDialogFilter(HostHandle parameter, HostHandle result)
{
    int32_t status = kStatusOk;
    int32_t size = ReadTextParameter(parameter, dialogFilter, sizeof dialogFilter);
    if (size != 0 && !IsDialogFilterAccepted(dialogFilter)) {
        memset(dialogFilter, 0, sizeof dialogFilter);
        status = kStatusIncorrectOption;
    }
    WriteStatusResult(result, status);
}

// Tarv-SetInitialFolder: stores the name first, then tests that it exists (a file's name is
// accepted as well as a folder's). An empty parameter clears it (000); a name that does not
// exist clears it and answers -001; otherwise 000. The folder is not tested again later.
void TarvSetInitialFolder(HostHandle parameter, HostHandle result)
{
    int32_t status = kStatusOk;
    int32_t size = ReadTextParameter(parameter, initialFolder, sizeof initialFolder);
    if (size != 0 && !PathExists(initialFolder)) {
        memset(initialFolder, 0, sizeof initialFolder);
        status = kStatusIncorrectOption;
    }
    WriteStatusResult(result, status);
}

// Tarv-GetFilePath: shows the open-file dialog (parameter: its title, "Choose a File" when
// empty) with the stored file types and starting folder, owned by the host's main window when
// there is one. Writes the chosen file's full path in host codes; after a cancel, or when the
// dialog fails, writes the empty text. Never writes a status.
void TarvGetFilePath(HostHandle parameter, HostHandle result)
{
    char title[kTextCapacity];
    char file[kTextCapacity];
    char filter[DIALOG_FILTER_CAPACITY(kTextCapacity - 1)];
    OPENFILENAMEA dialog;
    memset(file, 0, sizeof file);
    memset(&dialog, 0, sizeof dialog);

    if (ReadTextParameter(parameter, title, sizeof title) == 0)
        memcpy(title, kDefaultFileDialogTitle, sizeof kDefaultFileDialogTitle);
    BuildDialogFilter(dialogFilter, filter, sizeof filter);

    dialog.lStructSize = kOpenFileRecordSize;
    dialog.hwndOwner = FindHostWindow();
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.lpstrInitialDir = initialFolder;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameA(&dialog)) {
        // Cancelled or failed. Some failures leave binary data in the file buffer, which must
        // not come back as a path.
        memset(file, 0, sizeof file);
    }
    ConvertWindowsToHost(file);
    WriteTextResult(result, file);
}

// Tarv-GetFileName: writes the part of the parameter after its last backslash (see
// FileNameOfPath); the empty text for an empty parameter. Always writes a result; converts
// nothing.
void TarvGetFileName(HostHandle parameter, HostHandle result)
{
    char path[kTextCapacity];
    ReadTextParameter(parameter, path, sizeof path);
    WriteTextResult(result, FileNameOfPath(path));
}
