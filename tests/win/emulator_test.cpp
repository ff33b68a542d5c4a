// The host emulator's own strictness: what it must catch for the other tests to mean anything.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "host/internal.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

DWORD Protection(const void *address)
{
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(address, &info, sizeof info) == 0)
        return 0;
    return info.State == MEM_COMMIT ? info.Protect : PAGE_NOACCESS;
}

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(&record_, 0, sizeof record_);
        fmhost::detail::FillCallbacks(&record_);
        fmhost::ClearViolations();
    }
    void TearDown() override
    {
        fmhost::ClearViolations();
        fmhost::detail::DisposeAllHandles();
    }
    ExternCallRecord record_;
};

}  // namespace

// A block is reachable only while locked; a resize moves it and leaves the old address
// inaccessible; the byte after a block's end is never accessible.
TEST_F(EmulatorTest, BlocksAreGuardedAndMoveOnResize)
{
    HostHandle handle = fmhost::detail::NewHandle("abc");
    char *before = *handle;
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(before));
    record_.lockHandle(handle);
    EXPECT_EQ((DWORD)PAGE_READWRITE, Protection(before));
    EXPECT_EQ(0, memcmp(before, "abc", 3));
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(before + 3));
    record_.unlockHandle(handle);
    record_.setHandleSize(handle, 10);
    EXPECT_NE(before, *handle);
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(before));
    EXPECT_EQ(10, record_.getHandleSize(handle));
    EXPECT_EQ("abc", fmhost::detail::HandleContents(handle).substr(0, 3));
    EXPECT_TRUE(fmhost::Violations().empty());
}

// A message's record is usable only while the message runs: afterwards it is inaccessible,
// so a plug-in that finishes a call through the record of a message that arrived meanwhile
// faults, and the crash report names the stale record. The byte after a record never exists.
TEST_F(EmulatorTest, RecordIsUnusableOnceItsMessageReturns)
{
    record_.messageKind = kMessageIdle;
    ExternCallRecord *record = fmhost::detail::NewCallRecord(record_);
    ASSERT_TRUE(record != NULL);
    EXPECT_EQ(0, memcmp(record, &record_, sizeof record_));
    EXPECT_EQ((DWORD)PAGE_READWRITE, Protection(record));
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection((char *)record + sizeof *record));
    fmhost::detail::RetireCallRecord(record);
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(record));
    EXPECT_NE(std::string::npos, fmhost::detail::DescribeRecordAddress(&record->result).find("stale record"));
}

// Each breach of the host's rules is logged as a violation.
TEST_F(EmulatorTest, RuleBreaksAreViolations)
{
    HostHandle handle = fmhost::detail::NewHandle("x");
    record_.unlockHandle(handle);  // unlock without lock
    EXPECT_EQ(1u, fmhost::Violations().size());
    record_.lockHandle(handle);
    record_.setHandleSize(handle, 5);  // resize while locked
    EXPECT_EQ(2u, fmhost::Violations().size());
    fmhost::detail::CheckAllUnlocked("the test");  // left locked
    EXPECT_EQ(3u, fmhost::Violations().size());
    record_.newHandle(4);
    record_.disposeHandle(handle);
    record_.moveHigh(handle);
    record_.newPointer(4);
    record_.disposePointer(NULL);
    EXPECT_EQ(8u, fmhost::Violations().size());
    fmhost::detail::DisposeHandle(handle);
    record_.lockHandle(handle);  // a disposed handle
    EXPECT_EQ(9u, fmhost::Violations().size());
}

class EmulatorModuleTest : public PluginTest {};

// The import table lists the plug-in's imports, and a hook both reroutes and restores a call.
TEST_F(EmulatorModuleTest, ImportHooksRerouteAndRestore)
{
    bool found = false;
    for (const std::string &name : fmhost::ListImports())
        found = found || name == "user32.dll!MessageBeep";
    EXPECT_TRUE(found);
    static int beeps;
    beeps = 0;
    struct Fake {
        static BOOL WINAPI Beep(UINT) { beeps++; return TRUE; }
    };
    void *real = fmhost::HookImport("USER32.dll", "messagebeep", (void *)Fake::Beep);
    ASSERT_TRUE(real != NULL);
    EXPECT_EQ(real, fmhost::HookImport("user32.dll", "MessageBeep", (void *)Fake::Beep))
        << "hooking twice must still hand back the real function";
    Call(99);
    EXPECT_EQ(1, beeps);
    fmhost::UnhookImport("user32.dll", "MessageBeep");
    Call(99);
    EXPECT_EQ(1, beeps);
    EXPECT_EQ(NULL, fmhost::HookImport("user32.dll", "NoSuchFunction", (void *)Fake::Beep));
}

// Loading a file that is no module, or a module without the entry point, fails with a reason.
TEST_F(EmulatorModuleTest, LoadErrorsSayWhy)
{
    std::string error;
    fmhost::UnloadPlugin();
    EXPECT_FALSE(fmhost::LoadPlugin(TestScratchFolder() + "\\missing.fmx", &error));
    EXPECT_NE(std::string::npos, error.find("cannot load module")) << error;
    EXPECT_FALSE(fmhost::LoadPlugin("kernel32.dll", &error));
    EXPECT_NE(std::string::npos, error.find("FMExternCallProc")) << error;
    ASSERT_TRUE(fmhost::LoadPlugin(PluginPath(), &error)) << error;
    ASSERT_EQ(kInitAccepted, fmhost::SendInit(17));
}

namespace {

// A dialog that no button and no WM_CLOSE can end.
INT_PTR CALLBACK StubbornDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_CLOSE;
}

void ShowStubbornDialog()
{
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass;
        WCHAR title[9];
    } dialog = {};
    dialog.header.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME;
    dialog.header.cx = 100;
    dialog.header.cy = 40;
    memcpy(dialog.title, L"Stubborn", sizeof dialog.title);
    fmhost::SetAutoCloseModals(true, 1000);
    DialogBoxIndirectParamA(GetModuleHandleA(NULL), &dialog.header, NULL, StubbornDialogProc, 0);
}

}  // namespace

// A dialog that stays open whatever auto-close presses ends the process with status 4 and
// its caption on standard error, instead of leaving the run waiting for ever.
TEST(EmulatorDeathTest, AutoCloseEndsTheProcessWhenADialogStaysOpen)
{
    EXPECT_EXIT(ShowStubbornDialog(), ::testing::ExitedWithCode(fmhost::kExitDialogDidNotClose),
                "the dialog \"Stubborn\" did not close within 1 s");
}
