// The call records the emulated host passes to the entry point: one per message, on pages of
// its own with an unmapped page right after it. When its message returns, the record is
// poisoned and made inaccessible, and kept so for a while, so that a plug-in that keeps using
// the record of a message that has ended (say, the record of a message that arrived while one
// of its dialogs was open) faults at once instead of writing through memory the host reuses.
// With the handle guards off (SetHandleGuards), records are plain heap blocks, poisoned and
// freed when their message returns, and nothing faults.
#include <windows.h>
#include <string.h>
#include <deque>
#include <string>

#include "host/internal.h"

namespace fmhost {
namespace detail {

namespace {

const size_t kPage = 4096;
const size_t kRetiredRecordsKept = 64;

// Every record handed out and not yet released: the live ones and the retired ones.
struct RecordPages {
    char *region;   // guarded: one page with the record at its end, then one page never
                    // committed; plain: a heap block of one record
    bool guarded;
    bool live;
};
std::deque<RecordPages> records;

ExternCallRecord *RecordIn(const RecordPages &pages)
{
    if (!pages.guarded)
        return (ExternCallRecord *)pages.region;
    return (ExternCallRecord *)(pages.region + kPage - sizeof(ExternCallRecord));
}

void Release(const RecordPages &pages)
{
    if (pages.guarded)
        VirtualFree(pages.region, 0, MEM_RELEASE);
    else
        HeapFree(GetProcessHeap(), 0, pages.region);
}

}  // namespace

ExternCallRecord *NewCallRecord(const ExternCallRecord &message)
{
    RecordPages pages = {nullptr, HandleGuardsOn(), true};
    if (!pages.guarded) {
        pages.region = (char *)HeapAlloc(GetProcessHeap(), 0, sizeof(ExternCallRecord));
        if (pages.region == nullptr)
            return nullptr;
    } else {
        pages.region = (char *)VirtualAlloc(NULL, 2 * kPage, MEM_RESERVE, PAGE_NOACCESS);
        if (pages.region == NULL)
            return nullptr;
        if (VirtualAlloc(pages.region, kPage, MEM_COMMIT, PAGE_READWRITE) == NULL) {
            VirtualFree(pages.region, 0, MEM_RELEASE);
            return nullptr;
        }
        memset(pages.region, 0xDD, kPage);
    }
    ExternCallRecord *record = RecordIn(pages);
    *record = message;
    records.push_back(pages);
    return record;
}

void RetireCallRecord(ExternCallRecord *record)
{
    size_t retired = 0;
    for (auto it = records.begin(); it != records.end();) {
        if (it->live && RecordIn(*it) == record) {
            memset(record, 0xDD, sizeof *record);
            it->live = false;
            if (!it->guarded) {
                Release(*it);
                it = records.erase(it);
                continue;
            }
            DWORD old;
            VirtualProtect(it->region, kPage, PAGE_NOACCESS, &old);
        }
        retired += it->live ? 0 : 1;
        ++it;
    }
    // Release the oldest retired records beyond those kept; a live one (an outer call still
    // in progress) is never released, wherever it stands.
    for (auto it = records.begin(); it != records.end() && retired > kRetiredRecordsKept;) {
        if (it->live) {
            ++it;
            continue;
        }
        Release(*it);
        it = records.erase(it);
        retired--;
    }
}

std::string DescribeRecordAddress(const void *address)
{
    const char *a = (const char *)address;
    for (const RecordPages &pages : records) {
        if (!pages.guarded || a < pages.region || a >= pages.region + 2 * kPage)
            continue;
        if (!pages.live)
            return "through the call record of a message that has already returned (stale record)";
        return a >= pages.region + kPage ? "past the end of the call record" : "inside a call record";
    }
    return std::string();
}

}  // namespace detail
}  // namespace fmhost
