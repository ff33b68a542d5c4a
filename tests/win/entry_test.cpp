// The entry point: init's host-version test and its warning, the message kinds that do
// nothing, the beep for unknown function numbers, and shutdown.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

struct BoxCall {
    HWND owner;
    std::string text, caption;
    UINT flags;
};
std::vector<BoxCall> boxes;
int WINAPI FakeMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags)
{
    boxes.push_back(BoxCall{owner, text ? text : "", caption ? caption : "", flags});
    return IDOK;
}

std::vector<UINT> beeps;
BOOL WINAPI FakeMessageBeep(UINT type)
{
    beeps.push_back(type);
    return TRUE;
}

class EntryTest : public PluginTest {
protected:
    EntryTest() { sendInit_ = false; }
    void SetUp() override
    {
        PluginTest::SetUp();
        boxes.clear();
        beeps.clear();
        ASSERT_TRUE(fmhost::HookImportAs("user32.dll", "MessageBoxA", FakeMessageBoxA));
        ASSERT_TRUE(fmhost::HookImportAs("user32.dll", "MessageBeep", FakeMessageBeep));
    }
};

const char kFirstLine[] = "Quillon tarvel requires FileMaker 6 or earlier.";

}  // namespace

// Versions 4 to 49 are accepted with 4; anything else (negative 16-bit values included) is
// refused with -2 and one warning box. Guards against unsigned comparison and off-by-one bounds.
TEST_F(EntryTest, InitAnswersByHostVersion)
{
    static const struct {
        uint16_t version;
        int32_t answer;
    } cases[] = {
        {3, kInitRefused},  {4, kInitAccepted},  {11, kInitAccepted}, {12, kInitAccepted},
        {14, kInitAccepted}, {17, kInitAccepted}, {49, kInitAccepted}, {50, kInitRefused},
        {0, kInitRefused},  {0x7FFF, kInitRefused}, {0x8000, kInitRefused}, {0xFFFF, kInitRefused},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        boxes.clear();
        int32_t answer = fmhost::SendInit((int16_t)c.version);
        EXPECT_EQ(c.answer, answer);
        EXPECT_EQ(c.answer == kInitRefused ? 1u : 0u, boxes.size());
    }
}

// The refusal: -2 as a 32-bit value in the result field, and a system-modal warning box
// without owner, captioned "Error", whose first line names the supported hosts.
TEST_F(EntryTest, RefusedInitShowsTheWarningAndAnswersMinusTwo)
{
    uint32_t field = fmhost::SendInit(50);
    EXPECT_EQ(0xFFFFFFFEu, field);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(NULL, boxes[0].owner);
    EXPECT_EQ("Error", boxes[0].caption);
    EXPECT_EQ(0x1030u, boxes[0].flags);
    size_t lineEnd = boxes[0].text.find('\n');
    ASSERT_NE(std::string::npos, lineEnd) << boxes[0].text;
    EXPECT_EQ(kFirstLine, boxes[0].text.substr(0, lineEnd));
    EXPECT_LT(lineEnd + 1, boxes[0].text.size()) << "the second line is missing";
}

// A refused init sets nothing up: the version text stays empty.
TEST_F(EntryTest, RefusedInitSetsNothingUp)
{
    fmhost::SendInit(3);
    EXPECT_EQ("tarvel v", CallText(kTarvVersion));
    EXPECT_EQ(kInitAccepted, fmhost::SendInit(17));
    EXPECT_EQ("tarvel v2.0.0.7", CallText(kTarvVersion));
}

// The real warning box (not faked) appears and is closed by the emulator's test mode.
TEST_F(EntryTest, RefusedInitShowsARealMessageBox)
{
    fmhost::UnhookImport("user32.dll", "MessageBoxA");
    EXPECT_EQ(kInitRefused, fmhost::SendInit(fmhost::kFileMaker70));
    ASSERT_EQ(1u, fmhost::ClosedModals().size());
    const fmhost::ModalRecord &box = fmhost::ClosedModals()[0];
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(0u, box.text.find(kFirstLine)) << box.text;
    EXPECT_TRUE(box.exStyle & WS_EX_TOPMOST) << "a system-modal box stays on top";
    EXPECT_EQ(IDOK, box.closedBy) << "a box with OK only is confirmed";
}

// Message kinds 2 and 6 to 255, and idle at any level, leave the result field alone and
// call back nothing.
TEST_F(EntryTest, OtherMessageKindsChangeNothing)
{
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(17));
    fmhost::ResetCounts();
    static const uint8_t kinds[] = {1, 2, 6, 7, 100, 255};
    for (uint8_t kind : kinds) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(0x12345678u, fmhost::SendRawMessage(kind, 0x12345678u));
    }
    for (int level = 0; level < 4; level++)
        fmhost::SendIdle((uint8_t)level);
    fmhost::CallbackCounts counts = fmhost::Counts();
    EXPECT_EQ(0, counts.lock + counts.unlock + counts.setSize + counts.getSize + counts.memoryError);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ("tarvel v2.0.0.7", CallText(kTarvVersion));
}

// Function numbers from kExternalFunctionCount on beep with the asterisk sound and leave the
// result as the host passed it; numbers below never beep.
TEST_F(EntryTest, UnknownFunctionNumbersBeepAndWriteNothing)
{
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(17));
    fmhost::CallOptions marked;
    marked.prefillResult = true;
    const uint32_t numbers[] = {kExternalFunctionCount, kExternalFunctionCount + 1, 100, 0x7FFFFFFF,
                                0x80000000u, 0xFFFFFFFFu};
    for (uint32_t number : numbers) {
        SCOPED_TRACE(number);
        beeps.clear();
        fmhost::CallResult result = Call(number, "anything", marked);
        EXPECT_FALSE(result.touched) << result.text;
        ASSERT_EQ(1u, beeps.size());
        EXPECT_EQ((UINT)MB_ICONASTERISK, beeps[0]);
    }
    beeps.clear();
    Call(kTarvVersion, "");
    EXPECT_TRUE(beeps.empty());
}

// Shutdown right after init, twice, and before any init: nothing to release, nothing fails.
TEST_F(EntryTest, ShutdownWithoutScanReleasesNothing)
{
    fmhost::SendShutdown();
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(17));
    fmhost::SendShutdown();
    fmhost::SendShutdown();
    EXPECT_TRUE(fmhost::Violations().empty());
}

// Every function number 0 to 14 survives an empty and an overlong parameter with no rule
// broken (dialogs are closed by the emulator; none may wait).
TEST_F(EntryTest, EveryFunctionSurvivesEmptyAndOverlongParameters)
{
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(17));
    // The dialog functions and the shell are faked elsewhere; here only the plain ones.
    static const uint32_t plain[] = {kTarvVersion, kTarvGetFileName, kTarvUseSubfolders,
                                     kTarvSetFileFilter, kTarvSetLocale, kTarvSetDialogFilter};
    for (uint32_t number : plain) {
        SCOPED_TRACE(number);
        Call(number, "");
        Call(number, std::string(5000, 'x'));
        Call(number, std::string(70000, '\xE9'));
    }
    EXPECT_TRUE(beeps.empty());
}
