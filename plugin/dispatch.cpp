// Dispatch of an external-function call by its number: the only table of functions.
#include <windows.h>

#include "plugin/dispatch.h"
#include "plugin/handlers.h"

void Dispatch(uint32_t functionId, HostHandle parameter, HostHandle result)
{
    switch (functionId) {
    case kTarvVersion: TarvVersion(parameter, result); break;
    case kTarvSetDialogFilter: TarvSetDialogFilter(parameter, result); break;
    case kTarvSetInitialFolder: TarvSetInitialFolder(parameter, result); break;
    case kTarvGetFilePath: TarvGetFilePath(parameter, result); break;
    case kTarvGetFileName: TarvGetFileName(parameter, result); break;
    case kTarvOpenFile: TarvOpenFile(parameter, result); break;
    case kTarvChooseFolder: TarvChooseFolder(parameter, result); break;
    case kTarvUseSubfolders: TarvUseSubfolders(parameter, result); break;
    case kTarvSetFolder: TarvSetFolder(parameter, result); break;
    case kTarvGetNextFilePath: TarvGetNextFilePath(parameter, result); break;
    case kTarvSetFileFilter: TarvSetFileFilter(parameter, result); break;
    case kTarvCopyLargeFileIcon: TarvCopyLargeFileIcon(parameter, result); break;
    case kTarvCopySmallFileIcon: TarvCopySmallFileIcon(parameter, result); break;
    case kTarvRestoreClipboard: TarvRestoreClipboard(parameter, result); break;
    case kTarvSetLocale: TarvSetLocale(parameter, result); break;
    default:
        // Not one of ours: a beep, and the result handle keeps what the host put there.
        MessageBeep(MB_ICONASTERISK);
        break;
    }
}
