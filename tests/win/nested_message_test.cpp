// Messages that arrive while a call is in progress: the emulator sends idle, function calls
// and preferences from inside the modal loops of the open-file dialog and the information
// dialog (both real, driven from the test). The interrupted call must finish through its own
// record (the emulator makes every finished message's record unusable, so a call that writes
// through another's faults), nested calls must give their usual answers, and nothing a nested
// call stores or releases may reach the dialog that is open.
#include <windows.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";
const char kVersionText[] = "tarvel v2.0.0.7";
const int kHeadingId = 1001;

// Whether every scheduled message has been sent and has returned (false when none was).
bool AllSent()
{
    for (const fmhost::NestedOutcome &outcome : fmhost::NestedOutcomes())
        if (outcome.state != fmhost::NestedState::kSent)
            return false;
    return !fmhost::NestedOutcomes().empty();
}

class NestedMessageTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        fmhost::SetAutoCloseModals(false);  // the tests drive their dialogs themselves
        fmhost::ClearNestedMessages();
        HWND main = fmhost::MainWindow();
        ShowWindow(main, SW_SHOW);
        SetForegroundWindow(main);
        SetActiveWindow(main);
    }

    std::string Status(uint32_t function, const std::string &parameter)
    {
        fmhost::CallOptions options;
        options.prefillResult = true;
        fmhost::CallResult result = Call(function, parameter, options);
        EXPECT_TRUE(result.touched) << "no status written by function " << function;
        return result.text;
    }

    // Schedules the three messages both dialogs get: idle, Tarv-Version, and a new filter.
    void ScheduleIdleVersionAndFilter(DWORD delayMs)
    {
        fmhost::ScheduleNestedIdle(delayMs);
        fmhost::ScheduleNestedCall(delayMs, kTarvVersion, "");
        fmhost::ScheduleNestedCall(delayMs, kTarvSetDialogFilter, "Word files;*.doc");
    }

    // The three messages of ScheduleIdleVersionAndFilter, from index first on: sent inside the
    // one call in progress, each with its usual outcome and no rule broken.
    void ExpectIdleVersionAndFilterAsUsual(size_t first)
    {
        const std::vector<fmhost::NestedOutcome> &outcomes = fmhost::NestedOutcomes();
        ASSERT_GE(outcomes.size(), first + 3);
        for (size_t i = first; i < first + 3; i++) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(outcomes[i].state == fmhost::NestedState::kSent) << "never sent";
            EXPECT_EQ(1, outcomes[i].depth) << "not sent inside the dialog's call";
            EXPECT_TRUE(outcomes[i].violations.empty()) << outcomes[i].violations.front();
        }
        const fmhost::CallbackCounts &idle = outcomes[first].counts;
        EXPECT_EQ(0, idle.setSize + idle.getSize + idle.lock + idle.unlock + idle.memoryError)
            << "nested idle must do nothing";
        EXPECT_TRUE(outcomes[first + 1].result.touched);
        EXPECT_EQ(kVersionText, outcomes[first + 1].result.text);
        EXPECT_TRUE(outcomes[first + 2].result.touched);
        EXPECT_EQ(kOk, outcomes[first + 2].result.text);
    }
};

// During the open-file dialog a nested idle, Tarv-Version and Tarv-SetDialogFilter arrive.
// The dialog keeps the file types it opened with, the outer call writes the chosen path
// through its own record (through the nested call's record it would fault in the emulator),
// and the new filter shows from the next dialog on.
TEST_F(NestedMessageTest, OpenFileDialogCallFinishesOnItsOwnRecord)
{
    const std::string folder = TestScratchFolder();
    const std::string file = folder + "\\report.txt";
    ASSERT_TRUE(MakeFile(file));
    ASSERT_EQ(kOk, Status(kTarvSetDialogFilter, "Text files;*.txt"));
    ASSERT_EQ(kOk, Status(kTarvSetInitialFolder, folder));

    std::vector<std::string> typesAtFirst, typesAfterNested;
    bool pressed = false;
    int phase = 0;
    // One step per tick until the nested messages are through; the driver's timeout ends it.
    DialogStep step = [&](HWND dialog) {
        switch (phase) {
        case 0:
            typesAtFirst = FileTypeNames(dialog);
            ScheduleIdleVersionAndFilter(0);
            phase = 1;
            break;
        case 1:
            if (!AllSent())
                break;
            typesAfterNested = FileTypeNames(dialog);
            TypeFileName(dialog, file);
            phase = 2;
            break;
        case 2:
            pressed = PressButton(dialog, IDOK);
            phase = 3;
            break;
        }
    };
    fmhost::CallResult result;
    {
        DialogDriver driver(std::vector<DialogStep>(150, step));
        result = Call(kTarvGetFilePath, "Pick a report");
        ASSERT_TRUE(driver.Seen()) << "the dialog never appeared";
        EXPECT_FALSE(driver.TimedOut()) << "stopped in phase " << phase;
    }
    EXPECT_TRUE(pressed);
    EXPECT_EQ(file, result.text) << "the outer call's own result";
    EXPECT_EQ(kMessageExternalFunction, fmhost::LastRecord().messageKind);
    EXPECT_EQ((uint32_t)kTarvGetFilePath, fmhost::LastRecord().functionId);
    ExpectIdleVersionAndFilterAsUsual(0);
    EXPECT_EQ(std::vector<std::string>({"Text files"}), typesAtFirst);
    EXPECT_EQ(std::vector<std::string>({"Text files"}), typesAfterNested)
        << "a filter stored while the dialog is open counts from the next dialog";

    std::vector<std::string> typesNextTime;
    DialogDriver next({[&](HWND dialog) {
        typesNextTime = FileTypeNames(dialog);
        PressButton(dialog, IDCANCEL);
    }});
    Call(kTarvGetFilePath, "");
    ASSERT_TRUE(next.Seen()) << "the second dialog never appeared";
    EXPECT_EQ(std::vector<std::string>({"Word files"}), typesNextTime);
}

// ---- the information dialog ---------------------------------------------------------------

// The fonts and brushes the plug-in makes, through its import table, and those still alive.
std::set<HGDIOBJ> liveObjects;
int fontsMade = 0, brushesMade = 0;
HFONT(WINAPI *realCreateFontIndirectA)(const LOGFONTA *);
HBRUSH(WINAPI *realCreateSolidBrush)(COLORREF);
BOOL(WINAPI *realDeleteObject)(HGDIOBJ);
HFONT WINAPI CountingCreateFontIndirectA(const LOGFONTA *font)
{
    HFONT made = realCreateFontIndirectA(font);
    if (made != NULL) { liveObjects.insert(made); fontsMade++; }
    return made;
}
HBRUSH WINAPI CountingCreateSolidBrush(COLORREF colour)
{
    HBRUSH made = realCreateSolidBrush(colour);
    if (made != NULL) { liveObjects.insert(made); brushesMade++; }
    return made;
}
BOOL WINAPI CountingDeleteObject(HGDIOBJ object)
{
    liveObjects.erase(object);
    return realDeleteObject(object);
}

// What the test's timer saw of the two information dialogs, outer and nested.
struct InfoDrive {
    std::vector<HWND> dialogs;   // every dialog-class window activated, once each, in order
    int phase = 0;
    int ticks = 0;
    HFONT outerFont = NULL, nestedFont = NULL;
    bool outerFontAliveAfterNested = false;
    bool outerBrushAliveAfterNested = false;
};
InfoDrive info;
HHOOK infoHook = NULL;
UINT_PTR infoTimer = 0;

LRESULT CALLBACK InfoCbt(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        bool known = false;
        for (HWND dialog : info.dialogs)
            known = known || dialog == (HWND)wParam;
        // The outer dialog is activated again when the nested one closes.
        if (fmhost::IsDialogOfThisThread((HWND)wParam) && !known)
            info.dialogs.push_back((HWND)wParam);
    }
    return CallNextHookEx(infoHook, code, wParam, lParam);
}

HFONT HeadingFont(HWND dialog)
{
    return (HFONT)SendDlgItemMessageA(dialog, kHeadingId, WM_GETFONT, 0, 0);
}

// Runs inside whichever dialog's loop is innermost. Phase 0: the nested dialog is up; note
// both headings' fonts and close it. Phase 1: every nested message is through; see whether
// what the outer dialog draws with is still alive, then close it.
void CALLBACK InfoStep(HWND, UINT, UINT_PTR, DWORD)
{
    info.ticks++;
    if (info.phase == 0 && info.dialogs.size() >= 2) {
        info.outerFont = HeadingFont(info.dialogs[0]);
        info.nestedFont = HeadingFont(info.dialogs[1]);
        SendMessageA(GetDlgItem(info.dialogs[1], IDOK), BM_CLICK, 0, 0);
        info.phase = 1;
    } else if (info.phase == 1 && AllSent()) {
        HWND outer = info.dialogs[0];
        HWND heading = GetDlgItem(outer, kHeadingId);
        info.outerFontAliveAfterNested = liveObjects.count(HeadingFont(outer)) == 1;
        // What the dialog answers its heading's next colour request: the brush it paints with.
        HDC dc = GetDC(heading);
        HGDIOBJ brush = (HGDIOBJ)SendMessageA(outer, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)heading);
        ReleaseDC(heading, dc);
        info.outerBrushAliveAfterNested = liveObjects.count(brush) == 1;
        SendMessageA(GetDlgItem(outer, IDOK), BM_CLICK, 0, 0);
        info.phase = 2;
    } else if (info.ticks > 500) {
        // Not through after 20 s: end every dialog so that the test fails instead of hanging.
        ADD_FAILURE() << "the dialogs did not close; stopped in phase " << info.phase;
        for (size_t i = info.dialogs.size(); i-- > 0;)
            if (IsWindow(info.dialogs[i]))
                EndDialog(info.dialogs[i], 0);
        info.phase = 3;
    }
}

// During the information dialog a nested idle, Tarv-Version, Tarv-SetDialogFilter and a
// nested preferences arrive. The nested dialog draws with a font and brush of its own and
// releases only those: the outer dialog's heading keeps a live font and its statics a live
// brush once the nested dialog is gone, and both showings leave nothing behind.
TEST_F(NestedMessageTest, InformationDialogKeepsWhatItDrawsWithThroughANestedShowing)
{
    realCreateFontIndirectA = fmhost::HookImportAs(
        "gdi32.dll", "CreateFontIndirectA", CountingCreateFontIndirectA);
    realCreateSolidBrush = fmhost::HookImportAs(
        "gdi32.dll", "CreateSolidBrush", CountingCreateSolidBrush);
    realDeleteObject = fmhost::HookImportAs("gdi32.dll", "DeleteObject", CountingDeleteObject);
    ASSERT_TRUE(realCreateFontIndirectA && realCreateSolidBrush && realDeleteObject);
    liveObjects.clear();
    fontsMade = brushesMade = 0;
    info = InfoDrive();
    infoHook = SetWindowsHookExA(WH_CBT, InfoCbt, NULL, GetCurrentThreadId());
    ASSERT_TRUE(infoHook != NULL);
    infoTimer = SetTimer(NULL, 0, 40, InfoStep);

    // Scheduled before the call: they go out from the dialog's loop as soon as it runs.
    ScheduleIdleVersionAndFilter(0);
    fmhost::ScheduleNestedPreferences(0);
    fmhost::SendPreferences();
    KillTimer(NULL, infoTimer);
    UnhookWindowsHookEx(infoHook);

    ASSERT_EQ(2u, info.dialogs.size()) << "expected the outer and the nested dialog";
    EXPECT_EQ(2, info.phase);
    EXPECT_EQ(kMessagePreferences, fmhost::LastRecord().messageKind);
    ExpectIdleVersionAndFilterAsUsual(0);
    const fmhost::NestedOutcome &preferences = fmhost::NestedOutcomes()[3];
    EXPECT_TRUE(preferences.state == fmhost::NestedState::kSent);
    EXPECT_EQ(1, preferences.depth);
    EXPECT_TRUE(preferences.violations.empty());

    EXPECT_TRUE(info.outerFont != NULL);
    EXPECT_NE(info.outerFont, info.nestedFont) << "the two showings share one font";
    EXPECT_TRUE(info.outerFontAliveAfterNested)
        << "the nested dialog deleted the font the outer one still draws its heading with";
    EXPECT_TRUE(info.outerBrushAliveAfterNested);
    EXPECT_EQ(2, fontsMade);
    EXPECT_EQ(2, brushesMade);
    EXPECT_TRUE(liveObjects.empty()) << liveObjects.size() << " objects not deleted";
}

}  // namespace
