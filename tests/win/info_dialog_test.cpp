// The information dialog, shown for real (headless) by the preferences message and driven
// from the test: its contents, its owner, how it closes, and that it releases what it creates.
#include <windows.h>
#include <winternl.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <set>
#include <string>

#include "plugin/handlers.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/gdi_objects.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

enum class CloseBy { Enter, OkButton, WmClose, Nothing };

struct Drive {
    CloseBy closeBy = CloseBy::OkButton;
    bool escapeFirst = false;
    int repaints = 0;
    // What the driver saw.
    HWND dialog = NULL;
    int ticks = 0;
    bool stayedOpenAfterEscape = false;
    std::string caption, heading, version;
    HWND owner = NULL;
    LONG style = 0;
    LRESULT defaultId = 0;
    int bitmaps = 0;
};
Drive drive;
HHOOK hook = NULL;
UINT_PTR timer = 0;

// The logo bitmaps the dialog's picture controls loaded from the module, every showing's.
std::set<HGDIOBJ> logoBitmaps;

BOOL CALLBACK CountBitmaps(HWND child, LPARAM count)
{
    HGDIOBJ image = (HGDIOBJ)SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0);
    if (image != NULL) {
        ++*(int *)count;
        logoBitmaps.insert(image);
    }
    return TRUE;
}

std::string Text(HWND window)
{
    char text[256] = {0};
    GetWindowTextA(window, text, sizeof text - 1);
    return text;
}

void PostKey(HWND dialog, WPARAM key)
{
    HWND focus = GetFocus();
    PostMessageA(focus ? focus : dialog, WM_KEYDOWN, key, 0);
}

void CALLBACK Step(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dialog = drive.dialog;
    int tick = drive.ticks++;
    if (tick == 0) {
        drive.caption = Text(dialog);
        drive.heading = Text(GetDlgItem(dialog, 1001));
        drive.version = Text(GetDlgItem(dialog, 147));
        drive.owner = GetWindow(dialog, GW_OWNER);
        drive.style = GetWindowLongA(dialog, GWL_STYLE);
        drive.defaultId = LOWORD(SendMessageA(dialog, DM_GETDEFID, 0, 0));
        EnumChildWindows(dialog, CountBitmaps, (LPARAM)&drive.bitmaps);
        for (int i = 0; i < drive.repaints; i++)
            RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        if (drive.escapeFirst)
            PostKey(dialog, VK_ESCAPE);
        return;
    }
    if (tick == 1) {
        drive.stayedOpenAfterEscape = IsWindow(dialog) && IsWindowVisible(dialog);
        switch (drive.closeBy) {
        case CloseBy::Enter: PostKey(dialog, VK_RETURN); break;
        case CloseBy::OkButton: SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); break;
        case CloseBy::WmClose: PostMessageA(dialog, WM_CLOSE, 0, 0); break;
        case CloseBy::Nothing: break;
        }
        return;
    }
    if (tick > 40 && IsWindow(dialog)) {
        // Not closed by the way under test: end it so the test fails instead of hanging.
        ADD_FAILURE() << "the information dialog did not close";
        EndDialog(dialog, 0);
    }
}

LRESULT CALLBACK Cbt(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && drive.dialog == NULL) {
        if (fmhost::IsDialogOfThisThread((HWND)wParam)) {
            drive.dialog = (HWND)wParam;
            timer = SetTimer(NULL, 0, 40, Step);
        }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// Counts the GDI objects the plug-in makes and deletes, through its import table.
std::set<HGDIOBJ> liveObjects;
HFONT(WINAPI *realCreateFontIndirectA)(const LOGFONTA *);
HBRUSH(WINAPI *realCreateSolidBrush)(COLORREF);
BOOL(WINAPI *realDeleteObject)(HGDIOBJ);
int brushesMade = 0, fontsMade = 0;
HFONT WINAPI CountingCreateFontIndirectA(const LOGFONTA *font)
{
    HFONT made = realCreateFontIndirectA(font);
    if (made) { liveObjects.insert(made); fontsMade++; }
    return made;
}
HBRUSH WINAPI CountingCreateSolidBrush(COLORREF colour)
{
    HBRUSH made = realCreateSolidBrush(colour);
    if (made) { liveObjects.insert(made); brushesMade++; }
    return made;
}
BOOL WINAPI CountingDeleteObject(HGDIOBJ object)
{
    liveObjects.erase(object);
    return realDeleteObject(object);
}

class InfoDialogTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        fmhost::SetAutoCloseModals(false);  // this test drives the dialog itself
        drive = Drive();
        hook = SetWindowsHookExA(WH_CBT, Cbt, NULL, GetCurrentThreadId());
        ASSERT_TRUE(hook != NULL);
        HWND main = fmhost::MainWindow();
        ShowWindow(main, SW_SHOW);
        SetForegroundWindow(main);
        SetActiveWindow(main);
    }
    void TearDown() override
    {
        if (timer) KillTimer(NULL, timer);
        timer = 0;
        UnhookWindowsHookEx(hook);
        PluginTest::TearDown();
    }
    void Show(CloseBy closeBy, bool escapeFirst = false, int repaints = 0)
    {
        drive = Drive();
        drive.closeBy = closeBy;
        drive.escapeFirst = escapeFirst;
        drive.repaints = repaints;
        fmhost::SendPreferences();
        if (timer) KillTimer(NULL, timer);
        timer = 0;
        ASSERT_TRUE(drive.dialog != NULL) << "the information dialog was never shown";
        EXPECT_FALSE(IsWindow(drive.dialog)) << "the dialog still exists after the call returned";
    }
};

}  // namespace

// The dialog shows the plug-in's name, the version text in control 147, both logo halves,
// OK as default button; it has a caption but no system menu, and the active window owns it.
TEST_F(InfoDialogTest, ShowsNameVersionAndLogoOwnedByTheActiveWindow)
{
    Show(CloseBy::OkButton);
    EXPECT_EQ("Quillon tarvel", drive.caption);
    EXPECT_EQ("Quillon tarvel", drive.heading);
    EXPECT_EQ("2.0.0.7", drive.version);
    EXPECT_EQ(fmhost::MainWindow(), drive.owner);
    EXPECT_EQ(IDOK, drive.defaultId);
    EXPECT_EQ(2, drive.bitmaps);
    EXPECT_TRUE(drive.style & WS_CAPTION);
    EXPECT_FALSE(drive.style & WS_SYSMENU) << "no close box in the caption";
}

// Loaded from a folder whose name the ANSI code page cannot hold (Cyrillic under code page
// 1252), the module still knows its version: read through the module's file name in ANSI, it
// was lost there, and Tarv-Version answered "tarvel v" alone.
TEST_F(InfoDialogTest, VersionIsWholeInAFolderNamedOutsideTheAnsiCodePage)
{
    const std::wstring folder = Widen(TestScratchFolder()) + L"\\\x041f\x043b\x0430\x0433\x0438\x043d";  // Плагин
    const std::wstring copy = folder + L"\\tarvel.fmx";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    ASSERT_TRUE(CopyFileW(Widen(PluginPath()).c_str(), copy.c_str(), FALSE));
    fmhost::SendShutdown();
    fmhost::UnloadPlugin();
    std::string error;
    ASSERT_TRUE(fmhost::LoadPlugin(Narrow(copy, CP_UTF8), &error)) << error;
    WCHAR loadedFrom[MAX_PATH] = {0};
    ASSERT_NE(0u, GetModuleFileNameW(fmhost::PluginModule(), loadedFrom, MAX_PATH - 1));
    ASSERT_EQ(copy, loadedFrom) << "the copy was not loaded by its long name";
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(fmhost::kFileMaker60));

    EXPECT_EQ("tarvel v2.0.0.7", CallText(kTarvVersion));
    Show(CloseBy::OkButton);
    EXPECT_EQ("2.0.0.7", drive.version);
}

// Enter (the default button), the OK button and WM_CLOSE each end the dialog and the call.
TEST_F(InfoDialogTest, ClosesOnEnterOkAndClose)
{
    static const CloseBy ways[] = {CloseBy::Enter, CloseBy::OkButton, CloseBy::WmClose};
    for (CloseBy way : ways) {
        SCOPED_TRACE((int)way);
        Show(way);
        EXPECT_LT(drive.ticks, 40) << "closed only by the test's fallback";
    }
}

// Escape does nothing: the dialog stays open until OK.
TEST_F(InfoDialogTest, StaysOpenOnEscape)
{
    Show(CloseBy::OkButton, /*escapeFirst=*/true);
    EXPECT_TRUE(drive.stayedOpenAfterEscape);
}

// Showing and repainting the dialog ten times leaves no font or brush behind in the host:
// counted at the plug-in's own creations and deletions, and in the process's GDI handle
// table, which also sees objects made by calls nobody hooked (the logo's bitmaps among them).
TEST_F(InfoDialogTest, ShowingTenTimesLeaksNoGdiObjects)
{
    realCreateFontIndirectA = fmhost::HookImportAs(
        "gdi32.dll", "CreateFontIndirectA", CountingCreateFontIndirectA);
    realCreateSolidBrush = fmhost::HookImportAs(
        "gdi32.dll", "CreateSolidBrush", CountingCreateSolidBrush);
    realDeleteObject = fmhost::HookImportAs("gdi32.dll", "DeleteObject", CountingDeleteObject);
    ASSERT_TRUE(realCreateFontIndirectA && realCreateSolidBrush && realDeleteObject);
    // Wine makes objects of its own that last at the first showing of a dialog: count from
    // the second on.
    Show(CloseBy::OkButton, false, /*repaints=*/3);
    brushesMade = fontsMade = 0;
    liveObjects.clear();
    logoBitmaps.clear();
    const int gdiBefore = ProcessGdiObjects();
    ASSERT_GT(gdiBefore, 0) << "no GDI handle table in the process environment block";
    for (int i = 0; i < 10; i++)
        Show(CloseBy::OkButton, false, /*repaints=*/3);
    const int gdiAfter = ProcessGdiObjects();
    int logosAlive = 0;
    for (HGDIOBJ bitmap : logoBitmaps)
        logosAlive += GetObjectType(bitmap) == OBJ_BITMAP;
    EXPECT_EQ(0, logosAlive) << "logo bitmaps outlived their showing";
    EXPECT_EQ(10, fontsMade);
    EXPECT_GE(brushesMade, 10) << "the statics were never coloured";
    EXPECT_LE(brushesMade, 10) << "a brush per colour request would leak";
    EXPECT_TRUE(liveObjects.empty()) << liveObjects.size() << " objects not deleted";
    EXPECT_EQ(gdiBefore, gdiAfter) << "GDI objects of the process before and after ten showings";
}
