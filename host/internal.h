// Shared between the emulator's own files: the handle store and the violation log.
#ifndef FMHOST_INTERNAL_H
#define FMHOST_INTERNAL_H

#include <windows.h>
#include <string>
#include <vector>
#include "plugin/host_record.h"

namespace fmhost {
namespace detail {

void AddViolation(const std::string &what);

// A guarded region for bytes of data, as the handles and the plug-in's heaps use it: pages
// enough for the data (at least one), committed, and one inaccessible page after them.
// Returns the region and its data pages in *dataPages; NULL when memory runs out.
char *NewGuardedRegion(size_t bytes, size_t *dataPages);

// Host-side handle operations (the host's own access, not the plug-in's).
HostHandle NewHandle(const std::string &content);
void DisposeHandle(HostHandle handle);
bool IsLiveHandle(HostHandle handle);
std::string HandleContents(HostHandle handle);  // reads even while unlocked
int32_t HandleSize(HostHandle handle);
// True once the plug-in's set-size callback has resized the handle, even to the size it had:
// a plug-in writes its result that way, the empty text included.
bool WasResized(HostHandle handle);
int LockCount(HostHandle handle);
// After every entry-point call: every live handle unlocked.
void CheckAllUnlocked(const char *afterWhat);
// The get-size callback reports this size for handle (or its real size when -1).
void SetReportedSize(HostHandle handle, int32_t size);
void DisposeAllHandles();

// Fills the ten callback slots of a record.
void FillCallbacks(ExternCallRecord *record);

// Describes an address if it falls into a block the emulator manages (for crash reports).
std::string DescribeAddress(const void *address);

// Whether handles made now get guard pages (SetHandleGuards); call records follow it too.
bool HandleGuardsOn();
// The lock count of every handle slot (0 for a free slot), for a message sent while another
// is in progress: that one may hold locks of its own, which must be as they were afterwards.
std::vector<int> LockCounts();
// After a message sent inside another's modal loop: every lock count as in before (from
// LockCounts). A count that differs is a rule break, and is set back to what it was.
void CheckLocksAsBefore(const std::vector<int> &before, const char *afterWhat);

// The record of one message (call_records.cpp): a copy of message in memory of its own. Once
// the message has returned, RetireCallRecord makes it unusable; NULL when out of memory.
ExternCallRecord *NewCallRecord(const ExternCallRecord &message);
void RetireCallRecord(ExternCallRecord *record);
// Describes an address in or just past a call record, live or retired (for crash reports).
std::string DescribeRecordAddress(const void *address);

// Writes the plug-in's import slot of dll!function as the module's own: a later HookImport
// takes replacement for the real function, and unhooking goes back to it. Returns the slot's
// value before, or NULL when the plug-in does not import the function.
void *PatchImport(const char *dll, const char *function, void *replacement);

// The guarded private heaps (heap_guard.cpp). GuardedHeapCalls gives the calls the plug-in's
// heap imports lead to, for tests of the guards themselves.
struct HeapCalls {
    HANDLE(WINAPI *create)(DWORD, SIZE_T, SIZE_T);
    BOOL(WINAPI *destroy)(HANDLE);
    LPVOID(WINAPI *alloc)(HANDLE, DWORD, SIZE_T);
    LPVOID(WINAPI *reAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
    BOOL(WINAPI *free)(HANDLE, DWORD, LPVOID);
    SIZE_T(WINAPI *size)(HANDLE, DWORD, LPCVOID);
};
HeapCalls GuardedHeapCalls();
// With the guards on, InstallHeapGuards leads the plug-in just loaded to them; it returns ""
// or why the module cannot be guarded.
std::string InstallHeapGuards();
// After every message: the pattern after each live block's end is whole (else a rule break).
void CheckHeapBlocks(const char *afterWhat);
// Private heaps the plug-in made and has not destroyed.
size_t GuardedHeapsLeft();
// After the module is unloaded: frees whatever of its heaps is left.
void ReleaseGuardedHeaps();
// Describes an address in or just past a guarded heap block, live or freed (crash reports).
std::string DescribeHeapAddress(const void *address);

}  // namespace detail
}  // namespace fmhost

#endif
