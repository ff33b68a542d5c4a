// The plug-in's private heaps, kept by the emulator: its imports of HeapCreate, HeapDestroy,
// HeapAlloc, HeapReAlloc, HeapFree and HeapSize lead here, and every block of a heap it made
// sits at the end of pages of its own. The block starts on an 8-byte boundary, as HeapAlloc's
// do; the bytes from its end up to the next boundary (at most 7) hold a pattern, and the page
// after them is never mapped. A write past a block's end therefore faults at once, or, within
// the pattern, is found after the call. Every growth moves the block to fresh pages, unless
// the caller forbids moving; freed and moved blocks stay inaccessible for a while, so that a
// stale address faults too. Calls on any other heap (the process heap) go to Windows as they
// are.
#include <windows.h>
#include <stdio.h>
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
const size_t kAlignment = 8;           // what HeapAlloc promises on 32-bit Windows
const BYTE kNewBytes = 0xC5;           // a new block's bytes, unless zeros are asked for
const BYTE kPastTheEnd = 0xFD;         // the pattern between a block's end and its guard page
const size_t kRetiredRegionsKept = 32;

struct Block {
    char *region;      // reserved: data pages, then one page never committed
    size_t dataPages;
    char *data;        // the block's first byte
    size_t size;       // as asked for; the pattern fills the rest of the data pages

    char *PagesEnd() const { return region + dataPages * kPage; }
};

struct Heap {
    char *handle;      // a reserved, inaccessible page: unique, and faults if used as memory
    DWORD options;     // HeapCreate's options (HEAP_GENERATE_EXCEPTIONS is honoured)
    size_t maximum;    // 0: grows as needed; otherwise the most its live blocks may hold
    std::vector<Block> blocks;
};

bool guardsOn = true;
bool installed = false;  // the plug-in loaded now has its heap imports led here
std::vector<Heap> heaps;
std::deque<Block> retired;

BOOL(WINAPI *realHeapDestroy)(HANDLE);
LPVOID(WINAPI *realHeapAlloc)(HANDLE, DWORD, SIZE_T);
LPVOID(WINAPI *realHeapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
BOOL(WINAPI *realHeapFree)(HANDLE, DWORD, LPVOID);
SIZE_T(WINAPI *realHeapSize)(HANDLE, DWORD, LPCVOID);

size_t Aligned(size_t size) { return (size + kAlignment - 1) & ~(kAlignment - 1); }

Heap *GuardedHeap(HANDLE handle)
{
    for (Heap &heap : heaps)
        if (heap.handle == (char *)handle)
            return &heap;
    return nullptr;
}

Block *BlockOf(Heap *heap, LPCVOID address)
{
    for (Block &block : heap->blocks)
        if (block.data == (const char *)address)
            return &block;
    return nullptr;
}

size_t LiveBytes(const Heap &heap)
{
    size_t bytes = 0;
    for (const Block &block : heap.blocks)
        bytes += block.size;
    return bytes;
}

// A block of size bytes on fresh pages, or one with a null region when memory runs out.
Block NewBlock(size_t size)
{
    Block block = {nullptr, 0, nullptr, size};
    if (size > (size_t)0x7FFF0000)
        return block;
    size_t span = Aligned(size);
    block.region = NewGuardedRegion(span, &block.dataPages);
    if (block.region == nullptr)
        return block;
    block.data = block.region + block.dataPages * kPage - span;
    memset(block.data + size, kPastTheEnd, span - size);
    return block;
}

// Decommits the block's pages, so that its addresses fault, and keeps them reserved for a
// while, so that a fault there can be named.
void Retire(const Block &block)
{
    VirtualFree(block.region, block.dataPages * kPage, MEM_DECOMMIT);
    retired.push_back(block);
    while (retired.size() > kRetiredRegionsKept) {
        VirtualFree(retired.front().region, 0, MEM_RELEASE);
        retired.pop_front();
    }
}

// Whether the pattern after the block's end is whole; says what broke it when not.
bool PatternWhole(const Block &block, const char *when)
{
    size_t span = (size_t)(block.PagesEnd() - block.data);
    for (size_t i = block.size; i < span; i++) {
        if ((BYTE)block.data[i] != kPastTheEnd) {
            char text[200];
            snprintf(text, sizeof text,
                     "the plug-in wrote past the end of a heap block of %lu bytes (byte %lu after "
                     "it), found %s",
                     (unsigned long)block.size, (unsigned long)(i - block.size), when);
            AddViolation(text);
            return false;
        }
    }
    return true;
}

void Fail(DWORD options, DWORD flags)
{
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    if ((options | flags) & HEAP_GENERATE_EXCEPTIONS)
        RaiseException(STATUS_NO_MEMORY, 0, 0, NULL);
}

HANDLE WINAPI GuardedHeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize)
{
    (void)initialSize;
    char *handle = (char *)VirtualAlloc(NULL, kPage, MEM_RESERVE, PAGE_NOACCESS);
    if (handle == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    heaps.push_back(Heap{handle, options, maximumSize, std::vector<Block>()});
    return handle;
}

BOOL WINAPI GuardedHeapDestroy(HANDLE handle)
{
    Heap *heap = GuardedHeap(handle);
    if (heap == nullptr)
        return realHeapDestroy(handle);
    for (const Block &block : heap->blocks) {
        PatternWhole(block, "when its heap was destroyed");
        Retire(block);
    }
    VirtualFree(heap->handle, 0, MEM_RELEASE);
    heaps.erase(heaps.begin() + (heap - heaps.data()));
    return TRUE;
}

LPVOID WINAPI GuardedHeapAlloc(HANDLE handle, DWORD flags, SIZE_T size)
{
    Heap *heap = GuardedHeap(handle);
    if (heap == nullptr)
        return realHeapAlloc(handle, flags, size);
    if (heap->maximum != 0 && size > heap->maximum - LiveBytes(*heap)) {
        Fail(heap->options, flags);
        return NULL;
    }
    Block block = NewBlock(size);
    if (block.region == nullptr) {
        Fail(heap->options, flags);
        return NULL;
    }
    memset(block.data, (flags & HEAP_ZERO_MEMORY) ? 0 : kNewBytes, size);
    heap->blocks.push_back(block);
    return block.data;
}

// Grows or shrinks a block. It always moves to fresh pages, with the old ones inaccessible
// afterwards, unless HEAP_REALLOC_IN_PLACE_ONLY forbids moving: then it changes in place as far
// as its pages reach (shrinking always, growing within the pattern after it), and fails beyond.
// A failure leaves the block where and as it was.
LPVOID WINAPI GuardedHeapReAlloc(HANDLE handle, DWORD flags, LPVOID address, SIZE_T size)
{
    Heap *heap = GuardedHeap(handle);
    if (heap == nullptr)
        return realHeapReAlloc(handle, flags, address, size);
    Block *block = BlockOf(heap, address);
    if (block == nullptr) {
        AddViolation("HeapReAlloc called with an address that is no block of that heap");
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    PatternWhole(*block, "when it was reallocated");
    size_t old = block->size;
    BYTE fill = (flags & HEAP_ZERO_MEMORY) ? 0 : kNewBytes;
    if (heap->maximum != 0 && size > old && size - old > heap->maximum - LiveBytes(*heap)) {
        Fail(heap->options, flags);
        return NULL;
    }
    if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
        size_t room = (size_t)(block->PagesEnd() - block->data);
        if (size > room) {
            Fail(heap->options, flags);
            return NULL;
        }
        if (size > old)
            memset(block->data + old, fill, size - old);
        else
            memset(block->data + size, kPastTheEnd, old - size);
        block->size = size;
        return block->data;
    }
    Block fresh = NewBlock(size);
    if (fresh.region == nullptr) {
        Fail(heap->options, flags);
        return NULL;
    }
    memcpy(fresh.data, block->data, size < old ? size : old);
    if (size > old)
        memset(fresh.data + old, fill, size - old);
    Retire(*block);
    *block = fresh;
    return fresh.data;
}

BOOL WINAPI GuardedHeapFree(HANDLE handle, DWORD flags, LPVOID address)
{
    Heap *heap = GuardedHeap(handle);
    if (heap == nullptr)
        return realHeapFree(handle, flags, address);
    if (address == NULL)
        return TRUE;
    Block *block = BlockOf(heap, address);
    if (block == nullptr) {
        AddViolation("HeapFree called with an address that is no block of that heap");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PatternWhole(*block, "when it was freed");
    Retire(*block);
    heap->blocks.erase(heap->blocks.begin() + (block - heap->blocks.data()));
    return TRUE;
}

SIZE_T WINAPI GuardedHeapSize(HANDLE handle, DWORD flags, LPCVOID address)
{
    Heap *heap = GuardedHeap(handle);
    if (heap == nullptr)
        return realHeapSize(handle, flags, address);
    Block *block = BlockOf(heap, address);
    if (block == nullptr) {
        AddViolation("HeapSize called with an address that is no block of that heap");
        return (SIZE_T)-1;
    }
    return block->size;
}

void LoadRealHeapCalls()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    realHeapDestroy = (BOOL(WINAPI *)(HANDLE))(void *)GetProcAddress(kernel, "HeapDestroy");
    realHeapAlloc = (LPVOID(WINAPI *)(HANDLE, DWORD, SIZE_T))(void *)GetProcAddress(kernel, "HeapAlloc");
    realHeapReAlloc =
        (LPVOID(WINAPI *)(HANDLE, DWORD, LPVOID, SIZE_T))(void *)GetProcAddress(kernel, "HeapReAlloc");
    realHeapFree = (BOOL(WINAPI *)(HANDLE, DWORD, LPVOID))(void *)GetProcAddress(kernel, "HeapFree");
    realHeapSize = (SIZE_T(WINAPI *)(HANDLE, DWORD, LPCVOID))(void *)GetProcAddress(kernel, "HeapSize");
}

}  // namespace

HeapCalls GuardedHeapCalls()
{
    LoadRealHeapCalls();
    HeapCalls calls = {GuardedHeapCreate, GuardedHeapDestroy, GuardedHeapAlloc,
                       GuardedHeapReAlloc, GuardedHeapFree,   GuardedHeapSize};
    return calls;
}

std::string InstallHeapGuards()
{
    installed = false;
    if (!guardsOn)
        return std::string();
    LoadRealHeapCalls();
    static const struct {
        const char *function;
        void *guarded;
    } imports[] = {
        {"HeapCreate", (void *)GuardedHeapCreate},   {"HeapDestroy", (void *)GuardedHeapDestroy},
        {"HeapAlloc", (void *)GuardedHeapAlloc},     {"HeapReAlloc", (void *)GuardedHeapReAlloc},
        {"HeapFree", (void *)GuardedHeapFree},       {"HeapSize", (void *)GuardedHeapSize},
    };
    // A heap call the guards do not keep would be handed a guarded heap's handle, which is no
    // heap: such a module is not loaded with the guards on.
    for (const std::string &name : ListImports()) {
        bool kept = false;
        for (const auto &import : imports)
            kept = kept || name == std::string("kernel32.dll!") + import.function;
        if (name.compare(0, 17, "kernel32.dll!Heap") == 0 && !kept)
            return "the plug-in imports " + name + ", which the heap guards do not keep";
    }
    for (const auto &import : imports)
        PatchImport("kernel32.dll", import.function, import.guarded);
    installed = true;
    return std::string();
}

void CheckHeapBlocks(const char *afterWhat)
{
    for (const Heap &heap : heaps)
        for (const Block &block : heap.blocks)
            PatternWhole(block, (std::string("after ") + afterWhat).c_str());
}

size_t GuardedHeapsLeft() { return heaps.size(); }

void ReleaseGuardedHeaps()
{
    for (const Heap &heap : heaps) {
        for (const Block &block : heap.blocks)
            VirtualFree(block.region, 0, MEM_RELEASE);
        VirtualFree(heap.handle, 0, MEM_RELEASE);
    }
    heaps.clear();
    installed = false;
}

std::string DescribeHeapAddress(const void *address)
{
    const char *a = (const char *)address;
    for (const Heap &heap : heaps) {
        for (const Block &b : heap.blocks) {
            if (a < b.region || a >= b.region + (b.dataPages + 1) * kPage)
                continue;
            if (a >= b.PagesEnd())
                return "past the end of a block of the plug-in's private heap (buffer overrun)";
            if (a < b.data)
                return "before the start of a block of the plug-in's private heap (buffer underrun)";
            return "inside a block of the plug-in's private heap";
        }
        if (a >= heap.handle && a < heap.handle + kPage)
            return "inside a private heap's handle, which is no memory";
    }
    for (const Block &b : retired)
        if (a >= b.region && a < b.region + (b.dataPages + 1) * kPage)
            return "inside a block of the plug-in's private heap that was freed or moved (stale address)";
    return std::string();
}

bool HeapGuardsInstalled() { return installed; }

}  // namespace detail

void SetHeapGuards(bool on) { detail::guardsOn = on; }

}  // namespace fmhost
