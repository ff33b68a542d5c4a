// The module's entry points: DllMain, and FMExternCallProc, through which the host sends
// every message (init, idle, external function, shutdown, preferences).
#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "encoding/codepage.h"
#include "files/file_chooser.h"
#include "files/folder_scan.h"
#include "plugin/dispatch.h"
#include "plugin/handlers.h"
#include "plugin/info_dialog.h"
#include "plugin/plugin_state.h"
#include "plugin/version_text.h"

// Host interface versions this plug-in works with: FileMaker 4.0 (11) to 6 (17), and the
// versions between that never shipped. 50 and later is FileMaker 7's new interface.
enum { kLowestHostVersion = 4, kHighestHostVersion = 49 };

static const char kRefusalText[] =
    "Quillon tarvel requires FileMaker 6 or earlier.\n"
    "For FileMaker 7 and later, use Quillon tarvel 3.";

// Tests the host's interface version and sets the plug-in up. Returns the answer for the
// record's result field: kInitAccepted, or kInitRefused after the warning (nothing set up).
static int32_t Init(int16_t hostVersion, uint32_t moduleInstance)
{
    if (hostVersion < kLowestHostVersion || hostVersion > kHighestHostVersion) {
        MessageBoxA(NULL, kRefusalText, "Error", MB_OK | MB_ICONWARNING | MB_SYSTEMMODAL);
        return kInitRefused;
    }
    pluginState.moduleInstance = (void *)(uintptr_t)moduleInstance;
    InitCommonControls();
    ResetFileChooserOptions();
    ResetExtensionFilter();
    memset(pluginState.versionText, 0, sizeof pluginState.versionText);
    BuildVersionText((HINSTANCE)pluginState.moduleInstance, pluginState.versionText,
                     sizeof pluginState.versionText);
    SelectDefaultCodePageTable();
    return kInitAccepted;
}

extern "C" void FMExternCallProc(ExternCallRecord *record)
{
    // A modal loop of a call (a dialog, the scan's progress window) lets the host send
    // another message before that call returns. Each message works through its own record to
    // its end: the interrupted call gets its record back when this one returns, because the
    // host may dispose of this message's record as soon as it has the answer.
    ExternCallRecord *recordOfCallInProgress = pluginState.callRecord;
    pluginState.callRecord = record;
    switch (record->messageKind) {
    case kMessageInit:
        record->result = (uint32_t)Init(record->extnVersion, record->moduleInstance);
        break;
    case kMessageExternalFunction:
        Dispatch(record->functionId, record->parameter, (HostHandle)(uintptr_t)record->result);
        break;
    case kMessageShutdown:
        ShutDownFolderScan();
        break;
    case kMessagePreferences:
        ShowInformationDialog((HINSTANCE)pluginState.moduleInstance, GetActiveWindow());
        break;
    default:
        // Idle, and message kinds this interface does not define: nothing to do.
        break;
    }
    pluginState.callRecord = recordOfCallInProgress;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
