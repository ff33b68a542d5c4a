// The information dialog: name, description and version of the plug-in, drawn black on
// white, closed by OK or Enter (not by Escape).
#include <windows.h>
#include <string.h>

#include "info_dialog.h"
#include "plugin_state.h"
#include "../resources/resource_ids.h"

// What one showing of the dialog creates; released when the dialog has ended. The dialog is
// modal and the host calls on one thread, so one showing exists at a time.
static HFONT headingFont;
static HBRUSH whiteBrush;

HFONT CreateHeadingFont(void)
{
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    font.lfHeight = 18;
    font.lfWeight = FW_BOLD;
    font.lfCharSet = OEM_CHARSET;
    return CreateFontIndirectA(&font);
}

static void EndInformationDialog(HWND dialog)
{
    ShowWindow(dialog, SW_HIDE);
    UpdateWindow(dialog);
    EndDialog(dialog, 1);
}

INT_PTR CALLBACK InformationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_VERSION_VALUE, pluginState.versionText);
        if (headingFont == NULL)
            headingFont = CreateHeadingFont();
        if (headingFont != NULL)
            SendDlgItemMessageA(dialog, IDC_HEADING, WM_SETFONT, (WPARAM)headingFont, TRUE);
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        // Only OK (or Enter, its default button) closes; Escape's IDCANCEL does nothing.
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, 1);
        return TRUE;
    case WM_CLOSE:
    case WM_DESTROY:
        EndInformationDialog(dialog);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        SetTextColor((HDC)wParam, RGB(0, 0, 0));
        SetBkColor((HDC)wParam, RGB(255, 255, 255));
        // One brush per showing, not one per paint of each control: those would leak.
        if (whiteBrush == NULL)
            whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
        return (INT_PTR)whiteBrush;
    default:
        return FALSE;
    }
}

void ShowInformationDialog(HINSTANCE module, HWND owner)
{
    DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_INFORMATION), owner, InformationDialogProc, 0);
    // The dialog and its controls are gone now, so nothing still draws with these.
    if (headingFont != NULL) {
        DeleteObject(headingFont);
        headingFont = NULL;
    }
    if (whiteBrush != NULL) {
        DeleteObject(whiteBrush);
        whiteBrush = NULL;
    }
}
