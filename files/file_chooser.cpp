// The open-file dialog: the file-type list and the starting folder that a script stores
// (Tarv-SetDialogFilter, Tarv-SetInitialFolder), and the dialog that lets the user pick one
// existing file (Tarv-GetFilePath).
//
// The stored options and the dialog's title are used exactly as the host passed them, read in
// the system's ANSI code page; only the chosen path is converted, to the locale's Windows
// codes (a name those cannot hold, or that Windows would not read back as itself, by its
// proven short name, or masked so that the path names no file) and on to host codes.
#include <windows.h>
#include <commdlg.h>
#include <stddef.h>
#include <string.h>

#include "encoding/codepage.h"
#include "encoding/wide_text.h"
#include "files/dialog_filter.h"
#include "files/exact_path.h"
#include "files/file_chooser.h"
#include "files/path_exists.h"
#include "files/script_path.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/host_window.h"
#include "plugin/status.h"

// What a script stores for the next open-file dialogs: process-wide, zero-filled at init. A
// nested call (the host calling the plug-in again from inside the dialog) may change both at
// any time; the dialog on screen works from its own copies, so a change counts from the next
// dialog on.
struct FileChooserOptions {
    // The file-type list as the script gave it ("Text files;*.txt"); empty when none is set.
    char dialogFilter[kTextUnits];
    // The folder the dialog opens in; empty for the dialog's own default.
    char initialFolder[kTextUnits];
};

static FileChooserOptions options;

static const char kDefaultFileDialogTitle[] = "Choose a File";

// The record in the size the first explorer-style dialogs knew, without pvReserved,
// dwReserved and FlagsEx: every system since then accepts it.
enum { kOpenFileRecordSize = 76 };
static_assert(offsetof(OPENFILENAMEW, pvReserved) == kOpenFileRecordSize,
              "OPENFILENAMEW up to lpTemplateName");

void ResetFileChooserOptions(void)
{
    memset(&options, 0, sizeof options);
}

// Tarv-SetDialogFilter: stores the list first, then tests it. An empty parameter clears the
// list (000); a description without a pattern before the first empty token clears it too and
// answers -001; any other list is kept (000).
void TarvSetDialogFilter(HostHandle parameter, HostHandle result)
{
    int32_t status = kStatusOk;
    LeadBytes leads;
    int32_t size = ReadTextParameter(parameter, options.dialogFilter, sizeof options.dialogFilter);
    if (size != 0 && !IsDialogFilterAccepted(options.dialogFilter, AnsiLeadBytes(&leads))) {
        memset(options.dialogFilter, 0, sizeof options.dialogFilter);
        status = kStatusIncorrectOption;
    }
    WriteStatusResult(result, status);
}

// Tarv-SetInitialFolder: stores the name first, then tests that it leads to a file or folder
// on a disk (a file's name is accepted as well as a folder's). An empty parameter clears it
// (000); a name that does not exist, or that names no file by the rules of ScriptPathToWide (a
// device, a wildcard, a path the dialog cannot take, ...), clears it and answers -001;
// otherwise 000.
void TarvSetInitialFolder(HostHandle parameter, HostHandle result)
{
    WCHAR folder[kTextUnits];
    int32_t status = kStatusOk;
    int32_t size =
        ReadTextParameter(parameter, options.initialFolder, sizeof options.initialFolder);
    if (size != 0 && !(ScriptPathToWide(options.initialFolder, &kAnsiPathCoding,
                                        kPathForDialogFolder, folder, kTextUnits) &&
                       PathExists(folder))) {
        memset(options.initialFolder, 0, sizeof options.initialFolder);
        status = kStatusIncorrectOption;
    }
    WriteStatusResult(result, status);
}

// Bytes of a double-zero list in a buffer of capacity bytes, up to and including the zero that
// closes it; the whole buffer when it is not closed inside it.
static size_t DoubleZeroListSize(const char *list, size_t capacity)
{
    size_t size = 0;
    while (size < capacity && list[size] != '\0') {
        while (size < capacity && list[size] != '\0')
            size++;
        size++;  // the string's own zero
    }
    return size < capacity ? size + 1 : capacity;
}

// Shows the open-file dialog (parameter: its title, "Choose a File" when empty) with the
// stored file types and starting folder, owned by the host's main window when there is one.
// Returns true with the chosen file's path in file (kTextUnits units, zero-filled here);
// false after a cancel or when the dialog fails. Kept out of line, so that its 32 KB of
// dialog texts are off the stack again before the chosen path is converted.
static __attribute__((noinline)) bool ShowOpenFileDialog(HostHandle parameter, WCHAR *file)
{
    char title[kTextUnits];
    char filter[DIALOG_FILTER_CAPACITY(kTextUnits - 1)];
    // The dialog's own copies: what a script stores while it is open counts from the next one.
    WCHAR wideTitle[kTextUnits];
    WCHAR wideFilter[DIALOG_FILTER_CAPACITY(kTextUnits - 1) + 1];  // the list and a terminator
    WCHAR wideFolder[kTextUnits];
    OPENFILENAMEW dialog;
    LeadBytes leads;
    memset(file, 0, kTextUnits * sizeof(WCHAR));
    memset(&dialog, 0, sizeof dialog);

    if (ReadTextParameter(parameter, title, sizeof title) == 0)
        memcpy(title, kDefaultFileDialogTitle, sizeof kDefaultFileDialogTitle);
    BuildDialogFilter(options.dialogFilter, filter, sizeof filter, AnsiLeadBytes(&leads));
    // Each fits: one unit per byte at most, in every ANSI code page. Should one not, the
    // dialog gets the empty text (for the filter, whose first empty string ends it: no file
    // types) rather than a part.
    WindowsCodesToWide(title, 0, wideTitle, kTextUnits);
    AnsiBytesToWide(filter, DoubleZeroListSize(filter, sizeof filter), wideFilter,
                    sizeof wideFilter / sizeof wideFilter[0]);
    // Tested again: a relative folder is read from the current folder, which may have
    // changed (a dialog makes the chosen file's folder current). A folder the dialog cannot
    // take gives it none.
    ScriptPathToWide(options.initialFolder, &kAnsiPathCoding, kPathForDialogFolder, wideFolder,
                     kTextUnits);

    dialog.lStructSize = kOpenFileRecordSize;
    dialog.hwndOwner = FindHostWindow();
    dialog.lpstrFilter = wideFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = kTextUnits;
    dialog.lpstrInitialDir = wideFolder;
    dialog.lpstrTitle = wideTitle;
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    return GetOpenFileNameW(&dialog) != FALSE;
}

// Tarv-GetFilePath: shows the open-file dialog (see ShowOpenFileDialog). Writes the chosen
// file's full path in host codes; after a cancel, or when the dialog fails, writes the empty
// text. Never writes a status.
void TarvGetFilePath(HostHandle parameter, HostHandle result)
{
    WCHAR file[kTextUnits];
    char path[kTextUnits];
    // Cancelled or failed: some failures leave binary data in the file buffer, which must not
    // come back as a path. A path too long for the host's text gives the empty text as well.
    if (!ShowOpenFileDialog(parameter, file) ||
        !WidePathToExactCodes(file, kNamesAsFound, CurrentPathCoding(), path, sizeof path))
        memset(path, 0, sizeof path);
    ConvertWindowsToHost(path);
    WriteTextResult(result, path);
}
