// Shared between the emulator's own files: the handle store and the violation log.
#ifndef FMHOST_INTERNAL_H
#define FMHOST_INTERNAL_H

#include <windows.h>
#include <string>
#include "../plugin/host_record.h"

namespace fmhost {
namespace detail {

void AddViolation(const std::string &what);

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

}  // namespace detail
}  // namespace fmhost

#endif
