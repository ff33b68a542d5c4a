// The information dialog: name, description and version of the plug-in, drawn black on
// white, closed by OK or Enter (not by Escape).
#include <windows.h>
#include <string.h>

#include "plugin/info_dialog.h"
#include "plugin/plugin_state.h"
#include "resources/resource_ids.h"

// What one showing of the dialog draws with, made before it and released after it. Each
// showing has its own: the host may send the preferences message again while this dialog is
// open, and the dialog shown then must not release what this one still draws with.
// The logo's halves are loaded here too, not by the picture controls from the template: a
// control deletes a bitmap it loaded itself in Windows but not in every implementation of
// it, while one set from outside is always its setter's to delete.
struct InformationDialogPaint {
    HFONT headingFont;
    HBRUSH whiteBrush;
    HBITMAP logoUpper, logoLower;
};

// A new bold heading font; the caller deletes it.
static HFONT CreateHeadingFont(void)
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

static INT_PTR CALLBACK InformationDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    const InformationDialogPaint *paint =
        (const InformationDialogPaint *)GetWindowLongPtrA(dialog, DWLP_USER);
    switch (message) {
    case WM_INITDIALOG:
        paint = (const InformationDialogPaint *)lParam;
        SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)lParam);
        SetDlgItemTextA(dialog, IDC_VERSION_VALUE, pluginState.versionText);
        if (paint->headingFont != NULL)
            SendDlgItemMessageA(dialog, IDC_HEADING, WM_SETFONT, (WPARAM)paint->headingFont, TRUE);
        if (paint->logoUpper != NULL)
            SendDlgItemMessageA(dialog, IDC_LOGO_UPPER, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)paint->logoUpper);
        if (paint->logoLower != NULL)
            SendDlgItemMessageA(dialog, IDC_LOGO_LOWER, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)paint->logoLower);
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
        // Before WM_INITDIALOG there is nothing to paint with yet: the system's colours.
        if (paint == NULL || paint->whiteBrush == NULL)
            return FALSE;
        SetTextColor((HDC)wParam, RGB(0, 0, 0));
        SetBkColor((HDC)wParam, RGB(255, 255, 255));
        return (INT_PTR)paint->whiteBrush;
    default:
        return FALSE;
    }
}

void ShowInformationDialog(HINSTANCE module, HWND owner)
{
    // One brush per showing, not one per paint of each control: those would leak.
    InformationDialogPaint paint;
    paint.headingFont = CreateHeadingFont();
    paint.whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    paint.logoUpper = (HBITMAP)LoadImageA(module, MAKEINTRESOURCEA(IDB_LOGO_UPPER), IMAGE_BITMAP, 0, 0, 0);
    paint.logoLower = (HBITMAP)LoadImageA(module, MAKEINTRESOURCEA(IDB_LOGO_LOWER), IMAGE_BITMAP, 0, 0, 0);
    DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_INFORMATION), owner, InformationDialogProc,
                    (LPARAM)&paint);
    // The dialog and its controls are gone now, so nothing still draws with these.
    if (paint.headingFont != NULL)
        DeleteObject(paint.headingFont);
    if (paint.whiteBrush != NULL)
        DeleteObject(paint.whiteBrush);
    if (paint.logoUpper != NULL)
        DeleteObject(paint.logoUpper);
    if (paint.logoLower != NULL)
        DeleteObject(paint.logoLower);
}
