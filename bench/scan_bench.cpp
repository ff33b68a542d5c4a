// Times the folder scan under Wine, through the host emulator: Tarv-SetFolder over a generated
// tree (100,000 files in 1,000 folders by default), then Tarv-GetNextFilePath until nothing
// is left. Beside it, in the same process and over the same tree: a bare FindFirstFileW /
// FindNextFileW walk (the limit for a scan; the scan itself reads each folder through a folder
// handle, which also tells which folder it is) and the emulator's cost of one call
// (Tarv-Version). Each round times both walks by the clock and by the thread's CPU time, which
// other programs on a loaded machine cannot stretch; the verdict on the scan's speed is taken
// on the median of the rounds' CPU time ratios. The scan includes its progress checks (a look
// at the clock before every call that can wait), but not its progress window, which is kept
// from showing (see NoCreateDialogParamW). The paths are fetched twice: through the emulator,
// whose guarded handles cost far more per call than the plug-in's own work, and through a
// light host of plain memory. The list's memory is followed through the module's heap
// imports. Then both walks over the same tree served from memory, for the scan's own work an
// entry without the disk and the system. Then the same tree with a linked folder in every
// tenth folder: the scan beside the bare walk again. Then a second shape, 5,100 folders of 10
// files, where what the scan does once a folder counts most. On every tree, the questions
// about a folder's volume are counted through the module's GetFileInformationByHandle import:
// one a scan, for its start. Checks that every file's path comes back once and no other path
// does, at this scale (exit status 1 when not); otherwise it prints figures and passes or
// fails on nothing.
//
// usage: scan_bench [folders [files-per-folder [repetitions]]]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "host/emulator.h"
#include "plugin/handlers.h"
#include "tests/win/support/unix_link.h"

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The path MakeTree gives file of folder.
std::string TreeFile(const std::string &root, int folder, int file)
{
    char name[64];
    snprintf(name, sizeof name, "\\folder%04d\\document-%04d-%03d.txt", folder, folder, file);
    return root + name;
}

bool MakeTree(const std::string &root, int folders, int filesPerFolder)
{
    if (!CreateDirectoryA(root.c_str(), NULL))
        return false;
    for (int folder = 0; folder < folders; folder++) {
        char name[64];
        snprintf(name, sizeof name, "\\folder%04d", folder);
        std::string folderPath = root + name;
        if (!CreateDirectoryA(folderPath.c_str(), NULL))
            return false;
        for (int file = 0; file < filesPerFolder; file++) {
            HANDLE handle = CreateFileA(TreeFile(root, folder, file).c_str(), GENERIC_WRITE, 0,
                                        NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
            if (handle == INVALID_HANDLE_VALUE)
                return false;
            CloseHandle(handle);
        }
    }
    return true;
}

void RemoveTree(const std::string &folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            std::string error;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link the benchmark made: removed as a link, not entered.
                WCHAR wide[MAX_PATH] = {0};
                MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH - 1);
                if (!RemoveUnixLink(wide, &error))
                    fprintf(stderr, "%s\n", error.c_str());
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// The limit: the system's own wide enumeration, which the scan is built on, with the path
// built in one fixed buffer as the scan builds it (each level appends its subfolder's name
// and cuts it off again), and nothing kept.
WCHAR barePath[MAX_PATH];

// The bare walk's search functions: the system's, or the tree served from memory.
typedef HANDLE(WINAPI *FindFirstFileWProc)(LPCWSTR, LPWIN32_FIND_DATAW);
typedef BOOL(WINAPI *FindNextFileWProc)(HANDLE, LPWIN32_FIND_DATAW);
typedef BOOL(WINAPI *FindCloseProc)(HANDLE);
FindFirstFileWProc bareFindFirstFileW = FindFirstFileW;
FindNextFileWProc bareFindNextFileW = FindNextFileW;
FindCloseProc bareFindClose = FindClose;

// Walks the folder whose path takes the first length units of barePath; returns the number
// of files.
long BareWalkFrom(size_t length)
{
    static const WCHAR kAllEntries[] = L"\\*.*";
    if (length + sizeof kAllEntries / sizeof kAllEntries[0] > MAX_PATH)
        return 0;
    memcpy(barePath + length, kAllEntries, sizeof kAllEntries);
    WIN32_FIND_DATAW entry;
    HANDLE search = bareFindFirstFileW(barePath, &entry);
    barePath[length] = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    long files = 0;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            size_t nameLength = wcslen(entry.cFileName);
            if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0 &&
                length + 1 + nameLength < MAX_PATH) {
                barePath[length] = L'\\';
                memcpy(barePath + length + 1, entry.cFileName, (nameLength + 1) * sizeof(WCHAR));
                files += BareWalkFrom(length + 1 + nameLength);
                barePath[length] = 0;
            }
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) {
            files++;
        }
    } while (bareFindNextFileW(search, &entry));
    bareFindClose(search);
    return files;
}

// The bare walk from a folder given in the system's ANSI code page.
long BareWalk(const char *folder)
{
    int units = MultiByteToWideChar(CP_ACP, 0, folder, -1, barePath, MAX_PATH);
    return units > 0 ? BareWalkFrom((size_t)units - 1) : 0;
}

// ---- the tree served from memory -------------------------------------------------------------
// Every folder's entries as the system listed them, by search pattern. Served to the module
// through its imports, and to the bare walk, they take the disk and the system out of both
// walks: what the scan then costs beyond the bare walk is the scan's own work alone.
std::map<std::wstring, std::vector<WIN32_FIND_DATAW>> memoryTree;
struct MemorySearch {
    const std::vector<WIN32_FIND_DATAW> *entries;  // NULL: the slot is free
    size_t next;
};
MemorySearch memorySearches[64];
const uintptr_t kMemorySearchHandles = 0x7E500000;  // + 4 slot
long memoryEntriesServed;

// Records the entries of the folder whose path takes the first length units of barePath, and
// of every folder below it, as the bare walk and the scan will ask for them.
void CaptureTree(size_t length)
{
    static const WCHAR kAllEntries[] = L"\\*.*";
    if (length + sizeof kAllEntries / sizeof kAllEntries[0] > MAX_PATH)
        return;
    memcpy(barePath + length, kAllEntries, sizeof kAllEntries);
    std::vector<WIN32_FIND_DATAW> &entries = memoryTree[barePath];
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(barePath, &entry);
    barePath[length] = 0;
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
        entries.push_back(entry);
    while (FindNextFileW(search, &entry));
    FindClose(search);
    for (const WIN32_FIND_DATAW &found : entries) {
        size_t nameLength = wcslen(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0 ||
            length + 1 + nameLength >= MAX_PATH)
            continue;
        barePath[length] = L'\\';
        memcpy(barePath + length + 1, found.cFileName, (nameLength + 1) * sizeof(WCHAR));
        CaptureTree(length + 1 + nameLength);
        barePath[length] = 0;
    }
}

MemorySearch *MemorySearchOf(HANDLE search)
{
    uintptr_t slot = ((uintptr_t)search - kMemorySearchHandles) / 4;
    return slot < sizeof memorySearches / sizeof memorySearches[0] &&
                   memorySearches[slot].entries != NULL
               ? &memorySearches[slot]
               : NULL;
}

HANDLE WINAPI MemoryFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW entry)
{
    auto folder = memoryTree.find(pattern);
    if (folder == memoryTree.end() || folder->second.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    for (size_t slot = 0; slot < sizeof memorySearches / sizeof memorySearches[0]; slot++) {
        if (memorySearches[slot].entries == NULL) {
            memorySearches[slot].entries = &folder->second;
            memorySearches[slot].next = 1;
            *entry = folder->second[0];
            memoryEntriesServed++;
            return (HANDLE)(kMemorySearchHandles + 4 * slot);
        }
    }
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return INVALID_HANDLE_VALUE;
}

BOOL WINAPI MemoryFindNextFileW(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    MemorySearch *memory = MemorySearchOf(search);
    if (memory == NULL || memory->next == memory->entries->size()) {
        SetLastError(memory == NULL ? ERROR_INVALID_HANDLE : ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *entry = (*memory->entries)[memory->next++];
    memoryEntriesServed++;
    return TRUE;
}

BOOL WINAPI MemoryFindClose(HANDLE search)
{
    MemorySearch *memory = MemorySearchOf(search);
    if (memory == NULL) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    memory->entries = NULL;
    return TRUE;
}

// ---- the list's memory, followed through the module's heap imports --------------------------
typedef LPVOID(WINAPI *HeapAllocProc)(HANDLE, DWORD, SIZE_T);
typedef LPVOID(WINAPI *HeapReAllocProc)(HANDLE, DWORD, LPVOID, SIZE_T);
HeapAllocProc realHeapAlloc;
HeapReAllocProc realHeapReAlloc;
typedef BOOL(WINAPI *GetFileInformationByHandleProc)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
GetFileInformationByHandleProc realGetFileInformationByHandle;
long identityLookUps;  // questions about a folder's volume, which take a server's round trip
SIZE_T largestBlock;     // the list's block at its largest
SIZE_T largestInFlight;  // old and new block together, while a growth moves the list
long growths, moves;

LPVOID WINAPI TrackedHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size)
{
    LPVOID block = realHeapAlloc(heap, flags, size);
    if (block != NULL)
        largestBlock = std::max(largestBlock, size);
    return block;
}

BOOL WINAPI CountedGetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    identityLookUps++;
    return realGetFileInformationByHandle(file, information);
}

LPVOID WINAPI TrackedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID old, SIZE_T size)
{
    SIZE_T oldSize = HeapSize(heap, 0, old);
    LPVOID block = realHeapReAlloc(heap, flags, old, size);
    if (block != NULL) {
        growths++;
        largestBlock = std::max(largestBlock, size);
        if (block != old) {
            moves++;
            largestInFlight = std::max(largestInFlight, oldSize + size);
        }
    }
    return block;
}

// ---- a light host: plain memory behind the handles, no checks ---------------------------------
// The emulator guards every handle with page protections, which costs far more than the
// plug-in's own work per call. Fetching through this host as well shows the plug-in's share,
// much as a real host's cheap handles would.
struct LightBlock {
    char *data;    // first, so that the block's address serves as the handle
    int32_t size;
};

void TARVEL_HOSTCALL LightSetSize(HostHandle handle, int32_t size)
{
    LightBlock *block = (LightBlock *)handle;
    block->data = (char *)realloc(block->data, size > 0 ? (size_t)size : 1);
    block->size = size;
}
int32_t TARVEL_HOSTCALL LightGetSize(HostHandle handle) { return ((LightBlock *)handle)->size; }
void TARVEL_HOSTCALL LightLock(HostHandle) {}
void TARVEL_HOSTCALL LightUnlock(HostHandle) {}
int16_t TARVEL_HOSTCALL LightMemoryError(void) { return 0; }

typedef void (*EntryPoint)(ExternCallRecord *record);

// Fetches every path through the light host; returns the count, adds up the list's text.
long FetchThroughLightHost(EntryPoint entry, double *textBytes)
{
    LightBlock parameter = {(char *)malloc(1), 0};
    LightBlock result = {(char *)malloc(1), 0};
    ExternCallRecord record;
    long paths = 0;
    *textBytes = 1;
    for (;;) {
        result.size = -1;  // no text of the plug-in has this size: tells "untouched" apart
        memset(&record, 0, sizeof record);
        record.extnVersion = fmhost::kFileMaker60;
        record.messageKind = kMessageExternalFunction;
        record.functionId = kTarvGetNextFilePath;
        record.parameter = (HostHandle)&parameter;
        record.result = (uint32_t)(uintptr_t)&result;
        record.setHandleSize = LightSetSize;
        record.getHandleSize = LightGetSize;
        record.lockHandle = LightLock;
        record.unlockHandle = LightUnlock;
        record.memoryError = LightMemoryError;
        entry(&record);
        if (result.size < 0)
            break;
        paths++;
        *textBytes += (double)result.size + 1;
    }
    free(parameter.data);
    free(result.data);
    return paths;
}

struct ModuleFigures {
    std::vector<double> bare, scan, ratio, lightFetch;
    std::vector<double> bareCpu, scanCpu;  // the thread's CPU time in each round
    double emulatorFetch, plainEmulatorFetch;
    long paths, plainPaths, lightPaths;
    double textBytes;  // the list's text: every path with its end byte, and the list's end
    SIZE_T largestBlock, largestInFlight;
    long growths, moves;
    long identityLookUps;  // in the last scan
    size_t violations;
    std::vector<std::string> fetched;  // every path fetched through the emulator, as it came
};

// The progress window is kept from showing: once shown it stays half a second however soon
// the scan ends, a wait for the eye and not work, which would swamp the figures of a scan that
// passes a second on a slow machine. The scan goes on without it, its checks all the same.
HWND WINAPI NoCreateDialogParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM)
{
    return NULL;
}

// Loads the module through the emulator, with the host's main window, and sends init. Says why
// on standard error when it cannot.
bool StartHost(const std::string &module)
{
    std::string error;
    if (!fmhost::LoadPlugin(module, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    fmhost::CreateMainWindow();
    fmhost::SendInit(fmhost::kFileMaker60);
    return true;
}

// Loads the module through the emulator; then, one warming round and repetitions rounds, each
// with the bare walk, Tarv-SetFolder through the emulator and the fetching of every path
// through the light host, so that the machine's load falls on all alike. Then once the
// fetching through the emulator, and (callSeconds not NULL) the emulator's cost of one call.
bool MeasureModule(const std::string &module, const std::string &root, int repetitions,
                   ModuleFigures *figures, double *callSeconds)
{
    if (!StartHost(module))
        return false;
    fmhost::ClearViolations();
    EntryPoint entry = (EntryPoint)(void *)GetProcAddress(fmhost::PluginModule(), "FMExternCallProc");
    realHeapAlloc = fmhost::HookImportAs("kernel32.dll", "HeapAlloc", TrackedHeapAlloc);
    realHeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", TrackedHeapReAlloc);
    realGetFileInformationByHandle = fmhost::HookImportAs("kernel32.dll", "GetFileInformationByHandle",
                                                          CountedGetFileInformationByHandle);
    bool windowKept = fmhost::HookImportAs(
        "user32.dll", "CreateDialogParamW", NoCreateDialogParamW) != NULL;
    if (entry == NULL || realHeapAlloc == NULL || realHeapReAlloc == NULL || !windowKept) {
        fprintf(stderr, "%s: no entry point, or no HeapAlloc, HeapReAlloc or "
                        "CreateDialogParamW import\n",
                module.c_str());
        return false;
    }
    for (int repetition = 0; repetition <= repetitions; repetition++) {
        double c0 = ThreadSeconds();
        double t0 = Now();
        BareWalk(root.c_str());
        double t1 = Now();
        double c1 = ThreadSeconds();
        largestBlock = largestInFlight = 0;
        growths = moves = 0;
        identityLookUps = 0;
        fmhost::CallResult status = fmhost::CallFunction(kTarvSetFolder, root);
        double t2 = Now();
        double c2 = ThreadSeconds();
        if (status.text != "000 (OK)")
            fprintf(stderr, "Tarv-SetFolder answered %s\n", status.text.c_str());
        double textBytes = 0;
        long paths = FetchThroughLightHost(entry, &textBytes);
        double t3 = Now();
        if (repetition == 0)
            continue;  // the first round warms the caches
        figures->bare.push_back(t1 - t0);
        figures->scan.push_back(t2 - t1);
        figures->ratio.push_back((t2 - t1) / (t1 - t0));
        figures->bareCpu.push_back(c1 - c0);
        figures->scanCpu.push_back(c2 - c1);
        figures->lightFetch.push_back(t3 - t2);
        figures->lightPaths = paths;
        figures->textBytes = textBytes;
        figures->largestBlock = largestBlock;
        figures->largestInFlight = largestInFlight;
        figures->growths = growths;
        figures->moves = moves;
        figures->identityLookUps = identityLookUps;
    }
    fmhost::CallFunction(kTarvSetFolder, root);
    fmhost::CallOptions marked;
    marked.prefillResult = true;
    figures->fetched.reserve(figures->lightPaths > 0 ? (size_t)figures->lightPaths : 0);
    double start = Now();
    long paths = 0;
    for (;;) {
        fmhost::CallResult result = fmhost::CallFunction(kTarvGetNextFilePath, "", marked);
        if (!result.touched)
            break;
        figures->fetched.push_back(result.text);
        paths++;
    }
    figures->emulatorFetch = Now() - start;
    // The same through the emulator with plain-memory handles: the same record, callbacks,
    // lock counting and checks, without the guards' page protections.
    fmhost::SetHandleGuards(false);
    fmhost::CallFunction(kTarvSetFolder, root);
    start = Now();
    long plainPaths = 0;
    while (fmhost::CallFunction(kTarvGetNextFilePath, "", marked).touched)
        plainPaths++;
    figures->plainEmulatorFetch = Now() - start;
    figures->plainPaths = plainPaths;
    fmhost::SetHandleGuards(true);
    // Last, since the emulator's retired handle pages slow the system's memory calls (and with
    // them the walks) for the rest of the process.
    if (callSeconds != NULL) {
        const int kCalls = 20000;
        double calls = Now();
        for (int i = 0; i < kCalls; i++)
            fmhost::CallFunction(kTarvVersion, "");
        *callSeconds = (Now() - calls) / kCalls;
    }
    figures->paths = paths;
    figures->violations = fmhost::Violations().size();
    fmhost::SendShutdown();
    fmhost::UnloadPlugin();
    fmhost::DestroyMainWindow();
    return true;
}

// The scan's own work: the bare walk and Tarv-SetFolder over the tree served from memory
// (CaptureTree), rounds times each; the fastest round of each, which the machine's load can
// only have slowed. The tree is served as searches serve it, so the scan reads it as it does
// on Windows 2000 and XP, by searches (its handle listing is hidden from it); its work for each
// entry is the same either way. Returns false when the module cannot be loaded or hooked.
struct OwnWork {
    double bare, scan;  // seconds
    long entries;       // served to the scan in one round
};

bool MeasureOwnWork(const std::string &module, const std::string &root, int rounds, OwnWork *own)
{
    if (!StartHost(module))
        return false;
    bool hooked =
        fmhost::HookImportAs("user32.dll", "CreateDialogParamW", NoCreateDialogParamW) != NULL &&
        fmhost::HookImportAs("kernel32.dll", "FindFirstFileW", MemoryFindFirstFileW) != NULL &&
        fmhost::HookImportAs("kernel32.dll", "FindNextFileW", MemoryFindNextFileW) != NULL &&
        fmhost::HookImportAs("kernel32.dll", "FindClose", MemoryFindClose) != NULL &&
        fmhost::HookImport("kernel32.dll", "GetFileInformationByHandleEx", NULL) != NULL;
    bareFindFirstFileW = MemoryFindFirstFileW;
    bareFindNextFileW = MemoryFindNextFileW;
    bareFindClose = MemoryFindClose;
    own->bare = own->scan = 1e9;
    for (int round = 0; hooked && round <= rounds; round++) {
        double t0 = Now();
        BareWalk(root.c_str());
        double t1 = Now();
        memoryEntriesServed = 0;
        std::string answer = fmhost::CallFunction(kTarvSetFolder, root).text;
        double t2 = Now();
        if (answer != "000 (OK)")
            fprintf(stderr, "Tarv-SetFolder answered %s over the tree in memory\n", answer.c_str());
        own->entries = memoryEntriesServed;
        own->bare = std::min(own->bare, t1 - t0);
        own->scan = std::min(own->scan, t2 - t1);
    }
    bareFindFirstFileW = FindFirstFileW;
    bareFindNextFileW = FindNextFileW;
    bareFindClose = FindClose;
    fmhost::SendShutdown();
    fmhost::UnloadPlugin();
    fmhost::DestroyMainWindow();
    if (!hooked)
        fprintf(stderr, "%s: cannot hook the search functions\n", module.c_str());
    return hooked;
}

void PrintRuns(const std::vector<double> &runs)
{
    printf(" (runs:");
    for (double s : runs)
        printf(" %.3f", s);
    printf(")\n");
}

double Sum(const std::vector<double> &values)
{
    double sum = 0;
    for (double value : values)
        sum += value;
    return sum;
}

// The scan's thread CPU time over the bare walk's, summed over the rounds (0 when the bare
// walk took none that could be measured).
double CpuRatio(const ModuleFigures &f)
{
    return Sum(f.bareCpu) > 0 ? Sum(f.scanCpu) / Sum(f.bareCpu) : 0;
}

// The median of the rounds' ratios of the scan's thread CPU time to the bare walk's.
double MedianCpuRatio(const ModuleFigures &f)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < f.bareCpu.size(); i++)
        if (f.bareCpu[i] > 0)
            ratios.push_back(f.scanCpu[i] / f.bareCpu[i]);
    return ratios.empty() ? 0 : Median(ratios);
}

void PrintModule(const char *title, const ModuleFigures &f)
{
    double bare = Median(f.bare), scan = Median(f.scan), light = Median(f.lightFetch);
    printf("%s\n", title);
    printf("  bare FindFirstFileW walk       %8.3f s", bare);
    PrintRuns(f.bare);
    printf("  Tarv-SetFolder                 %8.3f s", scan);
    PrintRuns(f.scan);
    printf("  scan / bare walk, same round   %8.2f x", Median(f.ratio));
    PrintRuns(f.ratio);
    printf("  bare walk, thread CPU time     %8.3f s", Sum(f.bareCpu));
    PrintRuns(f.bareCpu);
    printf("  Tarv-SetFolder, thread CPU time%8.3f s", Sum(f.scanCpu));
    PrintRuns(f.scanCpu);
    printf("  scan / bare walk, CPU time     %8.3f x over all rounds, %.3f x the median round\n",
           CpuRatio(f), MedianCpuRatio(f));
    printf("  Tarv-GetNextFilePath, all paths through the light host %.3f s for %ld paths "
           "(%.2f us each; %.3f of the scan)",
           light, f.lightPaths, light / (double)std::max(1L, f.lightPaths) * 1e6, light / scan);
    PrintRuns(f.lightFetch);
    printf("  Tarv-GetNextFilePath, all paths through the emulator   %.3f s for %ld paths "
           "(%.2f us each; %.2f of the scan)\n",
           f.emulatorFetch, f.paths, f.emulatorFetch / (double)std::max(1L, f.paths) * 1e6,
           f.emulatorFetch / scan);
    printf("  Tarv-GetNextFilePath, all paths through the emulator, plain handles %.3f s for %ld "
           "paths (%.2f us each; %.3f of the scan)\n",
           f.plainEmulatorFetch, f.plainPaths,
           f.plainEmulatorFetch / (double)std::max(1L, f.plainPaths) * 1e6, f.plainEmulatorFetch / scan);
    printf("  list text                      %8.0f bytes\n", f.textBytes);
    printf("  list block, largest            %8lu bytes (%.2fx the text), %ld growths, %ld moved\n",
           (unsigned long)f.largestBlock, (double)f.largestBlock / f.textBytes, f.growths,
           f.moves);
    printf("  old and new block while moving, largest %lu bytes (%.2fx the text)\n",
           (unsigned long)f.largestInFlight, (double)f.largestInFlight / f.textBytes);
    printf("  folder identity look-ups       %8ld\n", f.identityLookUps);
    if (f.violations != 0)
        printf("  host rule breaks seen: %lu\n", (unsigned long)f.violations);
}

// In every tenth folder, a link to the folder after it: the scan (and the bare walk) goes
// through it, so that folder's files come twice. Returns the number of links made.
int AddLinks(const std::string &root, int folders)
{
    int links = 0;
    for (int folder = 0; folder + 1 < folders; folder += 10) {
        char link[64], target[64];
        snprintf(link, sizeof link, "\\folder%04d\\next", folder);
        snprintf(target, sizeof target, "../folder%04d", folder + 1);
        std::string error;
        if (!MakeUnixLink(target, root + link, &error)) {
            fprintf(stderr, "%s\n", error.c_str());
            return -1;
        }
        links++;
    }
    return links;
}

// Measures the module on the tree of folders folders of filesPerFolder files under root (made
// by MakeTree) and prints the figures under title. False when a path is missing or repeated,
// or another path came back.
bool MeasureShape(const std::string &root, int folders, int filesPerFolder, int repetitions,
                  const char *title, ModuleFigures *figures, double *callSeconds)
{
    long total = (long)folders * filesPerFolder;
    if (!MeasureModule(ProgramFolder() + "\\tarvel.fmx", root, repetitions, figures, callSeconds))
        return false;
    if (callSeconds != NULL)
        printf("one call through the emulator (Tarv-Version): %.2f us\n", *callSeconds * 1e6);
    PrintModule(title, *figures);
    bool whole = figures->paths == total && figures->lightPaths == total && figures->plainPaths == total;
    if (!whole)
        printf("  MISSING PATHS: %ld, %ld and %ld of %ld\n", figures->paths, figures->plainPaths,
               figures->lightPaths, total);
    // Each file once, and nothing else: the paths fetched through the emulator against the tree
    // as made.
    std::vector<std::string> made;
    made.reserve((size_t)total);
    for (int folder = 0; folder < folders; folder++)
        for (int file = 0; file < filesPerFolder; file++)
            made.push_back(TreeFile(root, folder, file));
    std::sort(made.begin(), made.end());
    std::sort(figures->fetched.begin(), figures->fetched.end());
    bool once = figures->fetched == made;
    printf("  every file's path fetched once, and no other: %s\n", once ? "yes" : "NO");
    return whole && once;
}

}  // namespace

int main(int argc, char **argv)
{
    int folders = argc > 1 ? atoi(argv[1]) : 1000;
    int filesPerFolder = argc > 2 ? atoi(argv[2]) : 100;
    int repetitions = argc > 3 ? atoi(argv[3]) : 11;
    if (folders < 1 || filesPerFolder < 1 || repetitions < 1) {
        fprintf(stderr, "usage: scan_bench [folders [files-per-folder [repetitions]]]\n");
        return 2;
    }
    // The second shape: many small folders, where what the scan does once a folder counts most.
    const int kSmallFolders = 5100, kFilesPerSmallFolder = 10;
    setvbuf(stdout, NULL, _IONBF, 0);
    // The plug-in's own heap calls are timed and followed here, on Windows' heaps.
    fmhost::SetHeapGuards(false);
    char temp[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH - 1, temp);
    std::string root = std::string(temp) + "tarvel-scan-bench-" + std::to_string(GetCurrentProcessId());
    long total = (long)folders * filesPerFolder;
    printf("tree: %ld files in %d folders under %s\n", total, folders, root.c_str());
    double start = Now();
    if (!MakeTree(root, folders, filesPerFolder)) {
        fprintf(stderr, "cannot make the tree (error %lu)\n", GetLastError());
        RemoveTree(root);
        return 1;
    }
    printf("  made in %.2f s\n", Now() - start);

    int status = 0;
    ModuleFigures doubling = ModuleFigures();
    double callSeconds = 0;
    if (!MeasureShape(root, folders, filesPerFolder, repetitions, "tarvel.fmx, the tree without links",
                      &doubling, &callSeconds))
        status = 1;

    // The scan's own work, with the disk and the system taken out of both walks. The tree in
    // memory takes a WIN32_FIND_DATAW an entry: not measured where that would crowd the
    // process's 2 GB.
    OwnWork own = OwnWork();
    double treeBytes = (double)(total + 3L * folders) * sizeof(WIN32_FIND_DATAW);
    if (treeBytes > 700e6)
        printf("the scan's own work: not measured (the tree in memory would take %.0f MB)\n",
               treeBytes / 1e6);
    else if (MultiByteToWideChar(CP_ACP, 0, root.c_str(), -1, barePath, MAX_PATH) > 0) {
        CaptureTree(wcslen(barePath));
        if (MeasureOwnWork(ProgramFolder() + "\\tarvel.fmx", root, 4 * repetitions, &own) &&
            own.entries > 0) {
            double perEntry = (own.scan - own.bare) / (double)own.entries;
            double bareCpuPerEntry = Sum(doubling.bareCpu) / (double)doubling.bareCpu.size() /
                                     (double)own.entries;
            printf("the scan's own work, both walks over the tree served from memory (fastest of "
                   "%d rounds): bare walk %.1f ms, Tarv-SetFolder %.1f ms for %ld entries: "
                   "%.3f us an entry, %.1f%% of the bare walk's CPU time an entry from the disk\n",
                   4 * repetitions, own.bare * 1e3, own.scan * 1e3, own.entries, perEntry * 1e6,
                   bareCpuPerEntry > 0 ? 100 * perEntry / bareCpuPerEntry : 0.0);
        }
    }

    memoryTree.clear();

    // The same tree with links, for what they cost.
    int links = AddLinks(root, folders);
    ModuleFigures linked = ModuleFigures();
    if (links < 0) {
        printf("cannot make the links\n");
        status = 1;
    } else if (MeasureModule(ProgramFolder() + "\\tarvel.fmx", root, repetitions, &linked, NULL)) {
        char title[128];
        snprintf(title, sizeof title, "tarvel.fmx, the tree with %d linked folders", links);
        PrintModule(title, linked);
    }
    RemoveTree(root);

    // Many small folders.
    std::string smallRoot = root + "-small";
    ModuleFigures small = ModuleFigures();
    printf("tree: %ld files in %d folders under %s\n", (long)kSmallFolders * kFilesPerSmallFolder,
           kSmallFolders, smallRoot.c_str());
    if (!MakeTree(smallRoot, kSmallFolders, kFilesPerSmallFolder) ||
        !MeasureShape(smallRoot, kSmallFolders, kFilesPerSmallFolder, repetitions,
                      "tarvel.fmx, many small folders", &small, NULL))
        status = 1;
    RemoveTree(smallRoot);

    double scan = Median(doubling.scan);
    printf("target: scan (with its progress checks) within 1.05x of the bare walk, the median of "
           "%d rounds' thread CPU times: %.3fx on the tree of %d folders, %s; %.3fx on the tree "
           "of %d small folders, %s\n",
           repetitions, MedianCpuRatio(doubling), folders,
           MedianCpuRatio(doubling) <= 1.05 ? "met" : "NOT MET", MedianCpuRatio(small),
           kSmallFolders, MedianCpuRatio(small) <= 1.05 ? "met" : "NOT MET");
    bool linksWithin = links > 0 && !linked.ratio.empty() && Median(linked.ratio) <= 1.3 &&
                       MedianCpuRatio(linked) <= 1.3;
    printf("targets: the tree with links within 1.3x of its own bare walk (the median of the "
           "rounds' clock times and thread CPU times): %s; all paths "
           "fetched in under 0.25 of the scan: %s through the emulator with plain handles, %s "
           "through the light host, %s through the emulator's guarded handles; list block under "
           "2.5x its text: %s; one question about a folder's volume a scan (the start's), links "
           "or not: %s\n",
           linksWithin ? "met" : "NOT MET",
           doubling.plainEmulatorFetch < 0.25 * scan ? "met" : "NOT MET",
           Median(doubling.lightFetch) < 0.25 * scan ? "met" : "NOT MET",
           doubling.emulatorFetch < 0.25 * scan ? "met" : "NOT MET",
           (double)doubling.largestBlock < 2.5 * doubling.textBytes ? "met" : "NOT MET",
           doubling.identityLookUps == 1 && linked.identityLookUps == 1 && small.identityLookUps == 1
               ? "met"
               : "NOT MET");
    return status;
}
