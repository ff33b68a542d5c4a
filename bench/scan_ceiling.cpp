// How far the scan list grows under Wine, through the host emulator, and what a scan of a
// folder holding a link to the drive's root costs. Prints figures only.
//
// The ceiling: a scan of a folder that never ends (FindFirstFileW and FindNextFileW faked
// through the plug-in's imports, its handle listing hidden, each entry a file of some 200
// characters) collects paths
// until the list can grow no more and the scan answers -003. Measured in the same process
// twice: as the list grows, and as a list that gives up at the first refused growth (its
// growth alone, without the smaller steps: every HeapReAlloc after the first refused one is
// refused too). Each time also the most that the old and the new block took together while a
// growth moved the list. Then both again with the address space held in pieces, as a host's
// own memory holds it (32 MB reserved at every 256 MB).
//
// The link to the root: a folder whose one entry is a link to "/", scanned as a script would;
// each folder that links lead to is walked once, so the scan ends.
//
// usage: scan_ceiling [skip-root]
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "host/emulator.h"
#include "plugin/handlers.h"
#include "tests/win/support/unix_link.h"

namespace {

// ---- the endless folder ------------------------------------------------------------------
HANDLE const kEndlessSearch = (HANDLE)(uintptr_t)0x5ca0;
unsigned long entriesGiven;

void FillEntry(WIN32_FIND_DATAW *entry)
{
    memset(entry, 0, sizeof *entry);
    entry->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    swprintf(entry->cFileName, MAX_PATH, L"entry-%010lu-%ls.txt", entriesGiven++,
             L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
             L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
}

HANDLE WINAPI EndlessFindFirstFileW(LPCWSTR, LPWIN32_FIND_DATAW entry)
{
    FillEntry(entry);
    return kEndlessSearch;
}

BOOL WINAPI EndlessFindNextFileW(HANDLE, LPWIN32_FIND_DATAW entry)
{
    FillEntry(entry);
    return TRUE;
}

BOOL(WINAPI *realFindClose)(HANDLE);
BOOL WINAPI EndlessFindClose(HANDLE search)
{
    return search == kEndlessSearch ? TRUE : realFindClose(search);
}

// ---- the list's growths ------------------------------------------------------------------
typedef LPVOID(WINAPI *HeapReAllocProc)(HANDLE, DWORD, LPVOID, SIZE_T);
HeapReAllocProc realHeapReAlloc;
bool growthAlone;  // refuse every growth after the first refused one
bool refusedOnce;
SIZE_T largestGranted;
SIZE_T largestInFlight;  // old and new block together, while a growth moves the list
unsigned long growths, refusals;

LPVOID WINAPI FollowedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size)
{
    SIZE_T oldSize = HeapSize(heap, 0, block);
    LPVOID moved = growthAlone && refusedOnce ? NULL : realHeapReAlloc(heap, flags, block, size);
    if (moved == NULL) {
        refusedOnce = true;
        refusals++;
        return NULL;
    }
    growths++;
    if (size > largestGranted)
        largestGranted = size;
    if (moved != block && oldSize + size > largestInFlight)
        largestInFlight = oldSize + size;
    return moved;
}

// Reserves (without committing) 32 MB at every 256 MB of free address space; returns them.
std::vector<void *> HoldAddressSpaceInPieces()
{
    std::vector<void *> held;
    for (uintptr_t at = 0x10000000; at < 0xF0000000u; at += 0x10000000) {
        void *piece = VirtualAlloc((void *)at, 32u << 20, MEM_RESERVE, PAGE_NOACCESS);
        if (piece != NULL)
            held.push_back(piece);
    }
    return held;
}

struct Ceiling {
    std::string answer;
    unsigned long entries;
    SIZE_T listBytes;
    SIZE_T inFlightBytes;
    unsigned long growths, refusals;
    double seconds;
};

bool LoadAndInit(std::string *error)
{
    if (!fmhost::LoadPlugin(ProgramFolder() + "\\tarvel.fmx", error))
        return false;
    if (fmhost::SendInit(fmhost::kFileMaker60) == 0) {
        *error = "init refused";
        return false;
    }
    return true;
}

bool MeasureCeiling(bool withoutSmallerSteps, Ceiling *ceiling)
{
    std::string error;
    if (!LoadAndInit(&error)) {
        fprintf(stderr, "cannot load the plug-in: %s\n", error.c_str());
        return false;
    }
    realFindClose = fmhost::HookImportAs("kernel32.dll", "FindClose", EndlessFindClose);
    realHeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", FollowedHeapReAlloc);
    // The walk reads folders by searches, as on Windows 2000 and XP, where it lacks its
    // handle listing: the endless folder is a search's.
    if (realFindClose == NULL || realHeapReAlloc == NULL ||
        !fmhost::HookImport("kernel32.dll", "GetFileInformationByHandleEx", NULL) ||
        !fmhost::HookImportAs("kernel32.dll", "FindFirstFileW", EndlessFindFirstFileW) ||
        !fmhost::HookImportAs("kernel32.dll", "FindNextFileW", EndlessFindNextFileW)) {
        fprintf(stderr, "cannot hook the plug-in's imports\n");
        fmhost::UnloadPlugin();
        return false;
    }
    growthAlone = withoutSmallerSteps;
    refusedOnce = false;
    largestGranted = largestInFlight = 0;
    growths = refusals = 0;
    entriesGiven = 0;
    double start = Now();
    ceiling->answer = fmhost::CallFunction(kTarvSetFolder, "C:\\endless").text;
    ceiling->seconds = Now() - start;
    ceiling->entries = entriesGiven;
    ceiling->listBytes = largestGranted;
    ceiling->inFlightBytes = largestInFlight;
    ceiling->growths = growths;
    ceiling->refusals = refusals;
    fmhost::SendShutdown();  // destroys the list's heap
    fmhost::UnloadPlugin();
    return true;
}

void PrintCeiling(const char *title, const Ceiling &c)
{
    printf("  %-44s %s after %lu entries: list %.1f MB (old and new block while moving: %.1f MB "
           "at most), %lu growths, %lu refused, %.1f s\n",
           title, c.answer.c_str(), c.entries, (double)c.listBytes / 1048576.0,
           (double)c.inFlightBytes / 1048576.0, c.growths, c.refusals, c.seconds);
}

// A folder holding one link, to "/", scanned whole: answer, paths, list size, time.
void MeasureLinkToRoot()
{
    char temp[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH - 1, temp);
    std::string folder = std::string(temp) + "tarvel-ceiling-" + std::to_string(GetCurrentProcessId());
    std::string error;
    if (!CreateDirectoryA(folder.c_str(), NULL) || !MakeUnixLink("/", folder + "\\root", &error)) {
        printf("link to the root: cannot make it (%s)\n", error.c_str());
        RemoveDirectoryA(folder.c_str());
        return;
    }
    if (LoadAndInit(&error)) {
        realHeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", FollowedHeapReAlloc);
        growthAlone = false;
        refusedOnce = false;
        largestGranted = 0;
        growths = refusals = 0;
        double start = Now();
        std::string answer = fmhost::CallFunction(kTarvSetFolder, folder).text;
        double seconds = Now() - start;
        unsigned long paths = 0;
        while (fmhost::CallFunction(kTarvGetNextFilePath, "").touched)
            paths++;
        printf("link to the root: %s after %.1f s, %lu paths, list %.1f MB\n", answer.c_str(),
               seconds, paths, (double)largestGranted / 1048576.0);
        fmhost::SendShutdown();
        fmhost::UnloadPlugin();
    }
    RemoveUnixLink(std::wstring(folder.begin(), folder.end()) + L"\\root", &error);
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    // The list on Windows' own heaps, which may grow a block in place, as in a real host.
    fmhost::SetHeapGuards(false);
    for (int pieces = 0; pieces < 2; pieces++) {
        std::vector<void *> held;
        if (pieces)
            held = HoldAddressSpaceInPieces();
        printf("list ceiling, %s:\n", pieces ? "address space held in pieces (32 MB every 256 MB)"
                                             : "address space as the process has it");
        Ceiling alone = Ceiling(), stepped = Ceiling();
        if (!MeasureCeiling(true, &alone) || !MeasureCeiling(false, &stepped))
            return 1;
        PrintCeiling("the growth alone:", alone);
        PrintCeiling("the growth, then smaller steps (the list):", stepped);
        printf("  the smaller steps reach %.2fx as far\n",
               alone.listBytes ? (double)stepped.listBytes / (double)alone.listBytes : 0.0);
        for (void *piece : held)
            VirtualFree(piece, 0, MEM_RELEASE);
    }
    if (argc < 2 || strcmp(argv[1], "skip-root") != 0)
        MeasureLinkToRoot();
    return 0;
}
