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

// The plug-in's private heaps: each block starts on an 8-byte boundary and its pages end at
// that boundary after it, with a pattern in the bytes between and no page after; new bytes are
// not zero unless asked for. A write into the pattern is a rule break found by the next check.
TEST_F(EmulatorTest, HeapBlocksEndAtAnInaccessiblePage)
{
    const fmhost::detail::HeapCalls heap = fmhost::detail::GuardedHeapCalls();
    HANDLE handle = heap.create(0, 0, 0);
    ASSERT_TRUE(handle != NULL);
    for (SIZE_T size : {0u, 1u, 7u, 8u, 13u, 4096u, 5001u}) {
        SCOPED_TRACE(size);
        for (DWORD flags : {0ul, (unsigned long)HEAP_ZERO_MEMORY}) {
            fmhost::ClearViolations();
            char *block = (char *)heap.alloc(handle, flags, size);
            ASSERT_TRUE(block != NULL);
            SIZE_T end = (size + 7) & ~(SIZE_T)7;
            EXPECT_EQ(0u, (uintptr_t)block % 8);
            EXPECT_EQ(size, heap.size(handle, 0, block));
            EXPECT_EQ(std::string(size, flags ? '\0' : '\xC5'), std::string(block, size));
            if (size > 0) {
                EXPECT_EQ((DWORD)PAGE_READWRITE, Protection(block + size - 1));
            }
            EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(block + end));
            fmhost::detail::CheckHeapBlocks("the test");
            EXPECT_TRUE(fmhost::Violations().empty());
            if (end > size) {
                block[size] = 0;  // one byte too far, within the pattern
                fmhost::detail::CheckHeapBlocks("the test");
                EXPECT_EQ(1u, fmhost::Violations().size());
                block[size] = (char)0xFD;
            }
            EXPECT_TRUE(heap.free(handle, 0, block));
            EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(block));
        }
    }
    EXPECT_TRUE(heap.destroy(handle));
    EXPECT_EQ(0u, fmhost::detail::GuardedHeapsLeft());
}

// Growing moves a block and keeps its bytes, and the old address faults; a block that may not
// move changes only within its pages; a heap made with a maximum refuses more; every failure
// leaves the block where and as it was; destroying the heap ends its blocks.
TEST_F(EmulatorTest, HeapReallocationMovesAndFailsCleanly)
{
    const fmhost::detail::HeapCalls heap = fmhost::detail::GuardedHeapCalls();
    HANDLE handle = heap.create(0, 0, 4000);
    ASSERT_TRUE(handle != NULL);
    char *block = (char *)heap.alloc(handle, 0, 10);
    ASSERT_TRUE(block != NULL);
    memcpy(block, "0123456789", 10);
    char *grown = (char *)heap.reAlloc(handle, 0, block, 2998);
    ASSERT_TRUE(grown != NULL);
    EXPECT_NE(block, grown);
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(block));
    EXPECT_EQ("0123456789" + std::string(2988, '\xC5'), std::string(grown, 2998));
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(grown + 3000));
    static const struct {
        DWORD flags;
        SIZE_T size;
        bool succeeds;
        bool moves;
    } changes[] = {
        {HEAP_REALLOC_IN_PLACE_ONLY, 3000, true, false},  // within the 8-byte boundary
        {HEAP_REALLOC_IN_PLACE_ONLY, 3001, false, false},
        {HEAP_REALLOC_IN_PLACE_ONLY, 2000, true, false},
        {HEAP_REALLOC_IN_PLACE_ONLY, 3000, true, false},  // back within its pages
        {0, 4001, false, false},                           // past the heap's maximum
        {HEAP_ZERO_MEMORY, 3010, true, true},
        {0, 5, true, true},
    };
    for (const auto &change : changes) {
        SCOPED_TRACE(change.size);
        SIZE_T before = heap.size(handle, 0, grown);
        std::string bytes(grown, before);
        char *after = (char *)heap.reAlloc(handle, change.flags, grown, change.size);
        EXPECT_EQ(change.succeeds, after != NULL);
        if (after == NULL) {
            EXPECT_EQ(before, heap.size(handle, 0, grown));
            EXPECT_EQ(bytes, std::string(grown, before));
            continue;
        }
        EXPECT_EQ(change.moves, after != grown);
        std::string kept = bytes.substr(0, std::min(before, change.size));
        if (change.size > before)
            kept += std::string(change.size - before, change.flags & HEAP_ZERO_MEMORY ? '\0' : '\xC5');
        EXPECT_EQ(kept, std::string(after, change.size));
        grown = after;
    }
    EXPECT_EQ(NULL, heap.alloc(handle, 0, 3996)) << "past the heap's maximum";
    char *other = (char *)heap.alloc(handle, 0, 3995);
    ASSERT_TRUE(other != NULL);
    EXPECT_TRUE(fmhost::Violations().empty());
    EXPECT_TRUE(heap.destroy(handle));
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(grown));
    EXPECT_EQ((DWORD)PAGE_NOACCESS, Protection(other));
    // Other heaps are Windows' own.
    void *plain = heap.alloc(GetProcessHeap(), 0, 16);
    ASSERT_TRUE(plain != NULL);
    EXPECT_TRUE(HeapFree(GetProcessHeap(), 0, plain));
}

class EmulatorModuleTest : public PluginTest {};

// A write one byte past a heap block that ends at its guard page ends the process at once,
// with the fault named, like any other fault in memory the emulator keeps.
TEST_F(EmulatorModuleTest, HeapOverrunEndsTheProcessNamingIt)
{
    const fmhost::detail::HeapCalls heap = fmhost::detail::GuardedHeapCalls();
    HANDLE handle = heap.create(0, 0, 0);
    ASSERT_TRUE(handle != NULL);
    volatile char *block = (volatile char *)heap.alloc(handle, 0, 16);
    ASSERT_TRUE(block != NULL);
    EXPECT_EXIT(block[16] = 0, ::testing::ExitedWithCode(3),
                "writing at .*past the end of a block of the plug-in's private heap");
    EXPECT_TRUE(heap.destroy(handle));
}

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
