// The host's movable handles, as strict as a real host and stricter: every block sits at the
// end of its own pages with an unmapped guard page behind it, so a write past the block's
// size faults at once; while a handle is unlocked its block is inaccessible, so a plug-in that
// keeps using an address after the unlock faults too; every resize moves the block to fresh
// pages and leaves the old ones poisoned and inaccessible for a while, so a stale address
// faults as well. Locks are counted per handle.
#include <windows.h>
#include <string.h>
#include <deque>
#include <string>
#include <vector>

#include "host/emulator.h"
#include "host/internal.h"

namespace fmhost {
namespace detail {

namespace {

const size_t kPage = 4096;
const size_t kMaxHandles = 256;
const size_t kRetiredRegionsKept = 64;

struct Block {
    bool guarded = true;      // false: a plain heap block (see SetHandleGuards)
    char *region = nullptr;   // reserved: data pages, then one guard page never committed
    size_t dataPages = 0;
    char *data = nullptr;     // the block's first byte: data pages' end minus the size
    int32_t size = 0;
};

struct HandleSlot {
    char *master = nullptr;   // the master pointer: what *handle reads
    bool live = false;
    int lockCount = 0;
    int32_t reportedSize = -1;
    bool resized = false;     // the plug-in's set-size callback changed it, to any size
    Block block;
};

HandleSlot slots[kMaxHandles];
char *poisonPage = nullptr;  // what a dead handle's master pointer points at: inaccessible
std::deque<Block> retired;

HandleSlot *SlotOf(HostHandle handle)
{
    for (size_t i = 0; i < kMaxHandles; i++)
        if (&slots[i].master == handle)
            return &slots[i];
    return nullptr;
}

bool guardsOn = true;

Block AllocateBlock(int32_t size)
{
    Block block;
    size_t bytes = size > 0 ? (size_t)size : 0;
    if (!guardsOn) {
        block.guarded = false;
        block.region = (char *)HeapAlloc(GetProcessHeap(), 0, bytes + 1);
        block.data = block.region;
        block.size = block.region != nullptr ? (int32_t)bytes : 0;
        return block;
    }
    block.region = NewGuardedRegion(bytes, &block.dataPages);
    if (block.region == nullptr)
        return block;
    block.size = (int32_t)bytes;
    block.data = block.region + block.dataPages * kPage - bytes;
    return block;
}

void Protect(const Block &block, DWORD protection)
{
    DWORD old;
    if (block.region != nullptr && block.guarded)
        VirtualProtect(block.region, block.dataPages * kPage, protection, &old);
}

// Poisons the block and keeps its pages inaccessible for a while, so stale addresses fault.
void RetireBlock(const Block &block)
{
    if (block.region == nullptr)
        return;
    if (!block.guarded) {
        memset(block.data, 0xDD, (size_t)block.size);
        HeapFree(GetProcessHeap(), 0, block.region);
        return;
    }
    Protect(block, PAGE_READWRITE);
    memset(block.region, 0xDD, block.dataPages * kPage);
    Protect(block, PAGE_NOACCESS);
    retired.push_back(block);
    while (retired.size() > kRetiredRegionsKept) {
        VirtualFree(retired.front().region, 0, MEM_RELEASE);
        retired.pop_front();
    }
}

void ApplyLockState(HandleSlot *slot)
{
    Protect(slot->block, slot->lockCount > 0 ? PAGE_READWRITE : PAGE_NOACCESS);
}

std::string Describe(HostHandle handle)
{
    char text[64];
    snprintf(text, sizeof text, "handle %p", (void *)handle);
    return text;
}

HandleSlot *CheckedSlot(HostHandle handle, const char *callback)
{
    HandleSlot *slot = SlotOf(handle);
    if (slot == nullptr || !slot->live) {
        AddViolation(std::string(callback) + " called with " +
                     (slot == nullptr ? "an address that is no handle: " : "a disposed ") +
                     Describe(handle));
        return nullptr;
    }
    return slot;
}

CallbackCounts counts;

// The host of FailNextResize: the error its next resize makes, and the error of the plug-in's
// last memory call, which its memory-error callback reports (0 unless a resize failed). The
// host of FailNextResizeSilently: its next resize fails with no error.
int16_t nextResizeError = 0;
int16_t lastCallError = 0;
bool nextResizeFailsSilently = false;

// ---- the callbacks the plug-in calls --------------------------------------------------------

HostHandle TARVEL_HOSTCALL ForbiddenNewHandle(int32_t)
{
    counts.forbidden++;
    AddViolation("the plug-in called the new-handle callback, which it must never call");
    return nullptr;
}

void TARVEL_HOSTCALL CallbackSetHandleSize(HostHandle handle, int32_t size)
{
    counts.setSize++;
    HandleSlot *slot = CheckedSlot(handle, "set handle size");
    if (slot == nullptr)
        return;
    if (slot->lockCount > 0) {
        AddViolation("set handle size called on a locked " + Describe(handle));
        return;
    }
    if (size < 0) {
        AddViolation("set handle size called with a negative size");
        return;
    }
    lastCallError = nextResizeError;
    nextResizeError = 0;
    bool fails = lastCallError != 0 || nextResizeFailsSilently;
    nextResizeFailsSilently = false;
    if (fails)
        return;  // the block keeps its size, contents and place
    // A resize always moves the block, as a host may do whenever a handle is unlocked.
    Block fresh = AllocateBlock(size);
    if (fresh.region == nullptr) {
        AddViolation("the emulator could not allocate a block");
        return;
    }
    Protect(slot->block, PAGE_READWRITE);
    size_t keep = (size_t)(size < slot->block.size ? size : slot->block.size);
    memcpy(fresh.data, slot->block.data, keep);
    memset(fresh.data + keep, 0xCD, (size_t)size - keep);  // new bytes are not zero on a real host
    RetireBlock(slot->block);
    slot->block = fresh;
    slot->master = fresh.data;
    slot->reportedSize = -1;
    slot->resized = true;
    ApplyLockState(slot);
}

int32_t TARVEL_HOSTCALL CallbackGetHandleSize(HostHandle handle)
{
    counts.getSize++;
    lastCallError = 0;
    HandleSlot *slot = CheckedSlot(handle, "get handle size");
    if (slot == nullptr)
        return 0;
    return slot->reportedSize >= 0 ? slot->reportedSize : slot->block.size;
}

void TARVEL_HOSTCALL ForbiddenDisposeHandle(HostHandle)
{
    counts.forbidden++;
    AddViolation("the plug-in called the dispose-handle callback; both handles belong to the host");
}

void TARVEL_HOSTCALL ForbiddenMoveHigh(HostHandle)
{
    counts.forbidden++;
    AddViolation("the plug-in called the move-high callback, which it must never call");
}

void TARVEL_HOSTCALL CallbackLock(HostHandle handle)
{
    counts.lock++;
    lastCallError = 0;
    HandleSlot *slot = CheckedSlot(handle, "lock");
    if (slot == nullptr)
        return;
    slot->lockCount++;
    ApplyLockState(slot);
}

void TARVEL_HOSTCALL CallbackUnlock(HostHandle handle)
{
    counts.unlock++;
    lastCallError = 0;
    HandleSlot *slot = CheckedSlot(handle, "unlock");
    if (slot == nullptr)
        return;
    if (slot->lockCount == 0) {
        AddViolation("unlock of a " + Describe(handle) + " that is not locked");
        return;
    }
    slot->lockCount--;
    ApplyLockState(slot);
}

void *TARVEL_HOSTCALL ForbiddenNewPointer(int32_t)
{
    counts.forbidden++;
    AddViolation("the plug-in called the new-pointer callback, which it must never call");
    return nullptr;
}

void TARVEL_HOSTCALL ForbiddenDisposePointer(void *)
{
    counts.forbidden++;
    AddViolation("the plug-in called the dispose-pointer callback, which it must never call");
}

int16_t pendingMemoryError = 0;

int16_t TARVEL_HOSTCALL CallbackMemoryError(void)
{
    counts.memoryError++;
    int16_t value = pendingMemoryError != 0 ? pendingMemoryError : lastCallError;
    pendingMemoryError = 0;
    return value;
}

}  // namespace

char *NewGuardedRegion(size_t bytes, size_t *dataPages)
{
    *dataPages = bytes == 0 ? 1 : (bytes + kPage - 1) / kPage;
    char *region = (char *)VirtualAlloc(NULL, (*dataPages + 1) * kPage, MEM_RESERVE, PAGE_NOACCESS);
    if (region == NULL)
        return nullptr;
    if (VirtualAlloc(region, *dataPages * kPage, MEM_COMMIT, PAGE_READWRITE) == NULL) {
        VirtualFree(region, 0, MEM_RELEASE);
        return nullptr;
    }
    return region;
}

HostHandle NewHandle(const std::string &content)
{
    if (poisonPage == nullptr)
        poisonPage = (char *)VirtualAlloc(NULL, kPage, MEM_RESERVE, PAGE_NOACCESS);
    for (size_t i = 0; i < kMaxHandles; i++) {
        HandleSlot &slot = slots[i];
        if (slot.live)
            continue;
        slot = HandleSlot();
        slot.block = AllocateBlock((int32_t)content.size());
        if (slot.block.region == nullptr)
            return nullptr;
        memcpy(slot.block.data, content.data(), content.size());
        slot.master = slot.block.data;
        slot.live = true;
        ApplyLockState(&slot);
        return &slot.master;
    }
    AddViolation("the emulator ran out of handle slots");
    return nullptr;
}

void DisposeHandle(HostHandle handle)
{
    HandleSlot *slot = SlotOf(handle);
    if (slot == nullptr || !slot->live)
        return;
    RetireBlock(slot->block);
    slot->block = Block();
    slot->live = false;
    slot->master = poisonPage;
}

void DisposeAllHandles()
{
    for (size_t i = 0; i < kMaxHandles; i++)
        if (slots[i].live)
            DisposeHandle(&slots[i].master);
}

bool IsLiveHandle(HostHandle handle)
{
    HandleSlot *slot = SlotOf(handle);
    return slot != nullptr && slot->live;
}

std::string HandleContents(HostHandle handle)
{
    HandleSlot *slot = SlotOf(handle);
    if (slot == nullptr || !slot->live)
        return std::string();
    Protect(slot->block, PAGE_READWRITE);
    std::string text(slot->block.data, (size_t)slot->block.size);
    ApplyLockState(slot);
    return text;
}

int32_t HandleSize(HostHandle handle)
{
    HandleSlot *slot = SlotOf(handle);
    return slot != nullptr && slot->live ? slot->block.size : -1;
}

bool WasResized(HostHandle handle)
{
    HandleSlot *slot = SlotOf(handle);
    return slot != nullptr && slot->live && slot->resized;
}

int LockCount(HostHandle handle)
{
    HandleSlot *slot = SlotOf(handle);
    return slot != nullptr ? slot->lockCount : 0;
}

void SetReportedSize(HostHandle handle, int32_t size)
{
    HandleSlot *slot = SlotOf(handle);
    if (slot != nullptr)
        slot->reportedSize = size;
}

void CheckAllUnlocked(const char *afterWhat)
{
    for (size_t i = 0; i < kMaxHandles; i++) {
        if (slots[i].live && slots[i].lockCount != 0) {
            char text[160];
            snprintf(text, sizeof text, "handle %p left locked %d time(s) after %s",
                     (void *)&slots[i].master, slots[i].lockCount, afterWhat);
            AddViolation(text);
            slots[i].lockCount = 0;
            ApplyLockState(&slots[i]);
        }
    }
}

void FillCallbacks(ExternCallRecord *record)
{
    record->newHandle = ForbiddenNewHandle;
    record->setHandleSize = CallbackSetHandleSize;
    record->getHandleSize = CallbackGetHandleSize;
    record->disposeHandle = ForbiddenDisposeHandle;
    record->moveHigh = ForbiddenMoveHigh;
    record->lockHandle = CallbackLock;
    record->unlockHandle = CallbackUnlock;
    record->newPointer = ForbiddenNewPointer;
    record->disposePointer = ForbiddenDisposePointer;
    record->memoryError = CallbackMemoryError;
}

std::string DescribeAddress(const void *address)
{
    const char *a = (const char *)address;
    for (size_t i = 0; i < kMaxHandles; i++) {
        const Block &b = slots[i].block;
        if (slots[i].live && b.guarded && b.region != nullptr && a >= b.region && a < b.region + (b.dataPages + 1) * kPage) {
            if (a >= b.region + b.dataPages * kPage)
                return "past the end of a handle's block (buffer overrun)";
            return slots[i].lockCount > 0 ? "inside a locked handle's block"
                                          : "inside an unlocked handle's block (used without a lock)";
        }
    }
    for (const Block &b : retired)
        if (a >= b.region && a < b.region + (b.dataPages + 1) * kPage)
            return "inside a block that was moved or disposed (stale address)";
    if (poisonPage != nullptr && a >= poisonPage && a < poisonPage + kPage)
        return "through a disposed handle";
    return std::string();
}

bool HandleGuardsOn() { return guardsOn; }

std::vector<int> LockCounts()
{
    std::vector<int> counts(kMaxHandles, 0);
    for (size_t i = 0; i < kMaxHandles; i++)
        if (slots[i].live)
            counts[i] = slots[i].lockCount;
    return counts;
}

void CheckLocksAsBefore(const std::vector<int> &before, const char *afterWhat)
{
    for (size_t i = 0; i < kMaxHandles && i < before.size(); i++) {
        if (slots[i].live && slots[i].lockCount != before[i]) {
            char text[200];
            snprintf(text, sizeof text, "handle %p left locked %d time(s) after %s (%d before it)",
                     (void *)&slots[i].master, slots[i].lockCount, afterWhat, before[i]);
            AddViolation(text);
            slots[i].lockCount = before[i];
            ApplyLockState(&slots[i]);
        }
    }
}

}  // namespace detail

void InjectMemoryError(int16_t value) { detail::pendingMemoryError = value; }
void FailNextResize(int16_t error) { detail::nextResizeError = error; }
void FailNextResizeSilently() { detail::nextResizeFailsSilently = true; }
void SetHandleGuards(bool on) { detail::guardsOn = on; }
CallbackCounts Counts() { return detail::counts; }
void ResetCounts() { detail::counts = CallbackCounts(); }

}  // namespace fmhost
