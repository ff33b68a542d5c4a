// The clipboard tests' fixture, content helpers, call ledger with fault injection, second
// process and window-colour guard.
#include "tests/win/clipboard_test_support.h"
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>
#include <stdio.h>
#include <string.h>
#include "plugin/handlers.h"

namespace cliptest {

const char kStatusOk[] = "000 (OK)";
const char kStatusIncorrectOption[] = "-001 (Incorrect option)";
const char kStatusCannotRestore[] = "-007 (Cannot restore clipboard content)";

// ---- placing and reading content --------------------------------------------------------------

static HGLOBAL BlockOf(const std::string &bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (block == NULL)
        return NULL;
    void *data = GlobalLock(block);
    if (data == NULL) {
        GlobalFree(block);
        return NULL;
    }
    memcpy(data, bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

static HMETAFILE MakeMetafile()
{
    HDC recorder = CreateMetaFileA(NULL);
    if (recorder == NULL)
        return NULL;
    Rectangle(recorder, 10, 20, 300, 400);
    MoveToEx(recorder, 5, 5, NULL);
    LineTo(recorder, 250, 125);
    Ellipse(recorder, 40, 40, 90, 70);
    return CloseMetaFile(recorder);
}

HGLOBAL MakeMetafilePicture(LONG mm, LONG xExt, LONG yExt)
{
    HMETAFILE metafile = MakeMetafile();
    if (metafile == NULL)
        return NULL;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    METAFILEPICT *record = block ? (METAFILEPICT *)GlobalLock(block) : NULL;
    if (record == NULL) {
        if (block != NULL)
            GlobalFree(block);
        DeleteMetaFile(metafile);
        return NULL;
    }
    record->mm = mm;
    record->xExt = xExt;
    record->yExt = yExt;
    record->hMF = metafile;
    GlobalUnlock(block);
    return block;
}

static std::string MetafileBits(HMETAFILE metafile)
{
    UINT size = GetMetaFileBitsEx(metafile, 0, NULL);
    std::string bits(size, '\0');
    if (size == 0 || GetMetaFileBitsEx(metafile, size, &bits[0]) != size)
        return std::string();
    return bits;
}

MetafilePicture ExpectedMetafilePicture(LONG mm, LONG xExt, LONG yExt)
{
    MetafilePicture picture = {mm, xExt, yExt, std::string()};
    HMETAFILE metafile = MakeMetafile();
    if (metafile != NULL) {
        picture.bits = MetafileBits(metafile);
        DeleteMetaFile(metafile);
    }
    return picture;
}

static HPALETTE MakePalette()
{
    struct {
        WORD version, count;
        PALETTEENTRY entries[2];
    } logical = {0x300, 2, {{10, 20, 30, 0}, {200, 100, 50, 0}}};
    return CreatePalette((LOGPALETTE *)&logical);
}

bool PlaceOnClipboard(HWND owner, const std::vector<Placement> &items)
{
    if (!OpenClipboard(owner))
        return false;
    bool placed = EmptyClipboard() != FALSE;
    for (const Placement &item : items) {
        HANDLE data;
        if (item.format == CF_PALETTE)
            data = MakePalette();
        else if (item.format == CF_METAFILEPICT)
            data = MakeMetafilePicture(MM_ANISOTROPIC, 1234, 5678);
        else
            data = BlockOf(item.bytes);
        if (data == NULL || SetClipboardData(item.format, data) == NULL)
            placed = false;
    }
    CloseClipboard();
    return placed;
}

std::vector<UINT> ClipboardFormats(HWND owner)
{
    std::vector<UINT> formats;
    if (!OpenClipboard(owner))
        return formats;
    UINT format = 0;
    while ((format = EnumClipboardFormats(format)) != 0)
        formats.push_back(format);
    CloseClipboard();
    return formats;
}

bool HasFormat(HWND owner, UINT format)
{
    for (UINT listed : ClipboardFormats(owner))
        if (listed == format)
            return true;
    return false;
}

bool ReadBlock(HWND owner, UINT format, std::string *bytes)
{
    bytes->clear();
    if (!OpenClipboard(owner))
        return false;
    bool found = false;
    HANDLE data = GetClipboardData(format);
    const char *source = data ? (const char *)GlobalLock(data) : NULL;
    if (source != NULL) {
        bytes->assign(source, GlobalSize(data));
        GlobalUnlock(data);
        found = true;
    }
    CloseClipboard();
    return found;
}

bool ReadMetafilePicture(HWND owner, MetafilePicture *picture)
{
    if (!OpenClipboard(owner))
        return false;
    bool found = false;
    HANDLE data = GetClipboardData(CF_METAFILEPICT);
    const METAFILEPICT *record = data ? (const METAFILEPICT *)GlobalLock(data) : NULL;
    if (record != NULL) {
        picture->mm = record->mm;
        picture->xExt = record->xExt;
        picture->yExt = record->yExt;
        picture->bits = MetafileBits(record->hMF);
        GlobalUnlock(data);
        found = true;
    }
    CloseClipboard();
    return found;
}

static bool ReadBitmapPixels(HBITMAP bitmap, LONG *width, LONG *height, WORD *bitsPixel,
                             std::vector<COLORREF> *pixels)
{
    BITMAP description;
    memset(&description, 0, sizeof description);
    if (GetObjectA(bitmap, sizeof description, &description) == 0)
        return false;
    *width = description.bmWidth;
    *height = description.bmHeight;
    if (bitsPixel != NULL)
        *bitsPixel = description.bmBitsPixel;
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    pixels->clear();
    for (LONG x = 0; x < *width; x++)
        for (LONG y = 0; y < *height; y++)
            pixels->push_back(GetPixel(dc, x, y));
    SelectObject(dc, previous);
    DeleteDC(dc);
    return previous != NULL;
}

bool ReadClipboardBitmap(HWND owner, ClipboardBitmap *bitmap)
{
    bitmap->paletteListed = HasFormat(owner, CF_PALETTE);
    bitmap->palette.clear();
    if (!OpenClipboard(owner))
        return false;
    HBITMAP data = (HBITMAP)GetClipboardData(CF_BITMAP);
    bool found = data != NULL && ReadBitmapPixels(data, &bitmap->width, &bitmap->height,
                                                  &bitmap->bitsPixel, &bitmap->pixels);
    if (bitmap->paletteListed) {
        HPALETTE palette = (HPALETTE)GetClipboardData(CF_PALETTE);
        if (palette != NULL) {
            UINT count = GetPaletteEntries(palette, 0, 0, NULL);
            bitmap->palette.resize(count);
            if (count != 0)
                GetPaletteEntries(palette, 0, count, &bitmap->palette[0]);
        }
    }
    CloseClipboard();
    return found;
}

bool ReadIconPixels(HICON icon, IconPixels *pixels)
{
    ICONINFO parts;
    memset(&parts, 0, sizeof parts);
    if (!GetIconInfo(icon, &parts))
        return false;
    LONG maskWidth = 0, maskHeight = 0;
    bool read = parts.hbmColor != NULL &&
                ReadBitmapPixels(parts.hbmColor, &pixels->width, &pixels->height, NULL, &pixels->colour) &&
                ReadBitmapPixels(parts.hbmMask, &maskWidth, &maskHeight, NULL, &pixels->mask);
    if (parts.hbmColor != NULL)
        DeleteObject(parts.hbmColor);
    if (parts.hbmMask != NULL)
        DeleteObject(parts.hbmMask);
    return read && maskWidth == pixels->width && maskHeight == pixels->height;
}

// ---- the plug-in's calls: ledger and faults -----------------------------------------------------

static Faults faults;
static CallCounts counts;
static std::map<uintptr_t, std::string> live;
static std::vector<std::wstring> shellInfoPaths;

static void Created(const void *handle, const char *kind, const char *source)
{
    if (handle == NULL)
        return;
    char description[128];
    snprintf(description, sizeof description, "%s %p from %s", kind, handle, source);
    live[(uintptr_t)handle] = description;
}

static void Released(const void *handle) { live.erase((uintptr_t)handle); }

// A fault fires on the call numbered n (counted from 1), or on every call for -1.
static bool Fires(int fault, int callNumber) { return fault == -1 || (fault > 0 && fault == callNumber); }

typedef BOOL(WINAPI *OpenClipboardProc)(HWND);
typedef BOOL(WINAPI *EmptyClipboardProc)(void);
typedef HANDLE(WINAPI *SetClipboardDataProc)(UINT, HANDLE);
typedef HANDLE(WINAPI *GetClipboardDataProc)(UINT);
typedef HGLOBAL(WINAPI *GlobalAllocProc)(UINT, SIZE_T);
typedef HGLOBAL(WINAPI *GlobalFreeProc)(HGLOBAL);
typedef BOOL(WINAPI *GetIconInfoProc)(HICON, PICONINFO);
typedef BOOL(WINAPI *DestroyIconProc)(HICON);
typedef DWORD_PTR(WINAPI *SHGetFileInfoWProc)(LPCWSTR, DWORD, SHFILEINFOW *, UINT, UINT);
typedef HDC(WINAPI *CreateCompatibleDCProc)(HDC);
typedef BOOL(WINAPI *DeleteDCProc)(HDC);
typedef BOOL(WINAPI *DeleteObjectProc)(HGDIOBJ);
typedef HPALETTE(WINAPI *CreatePaletteProc)(const LOGPALETTE *);
typedef HMETAFILE(WINAPI *SetMetaFileBitsExProc)(UINT, const BYTE *);
typedef BOOL(WINAPI *DeleteMetaFileProc)(HMETAFILE);
typedef HRESULT(WINAPI *OleInitializeProc)(LPVOID);
typedef void(WINAPI *OleUninitializeProc)(void);
typedef HRESULT(WINAPI *CoInitializeExProc)(LPVOID, DWORD);
typedef void(WINAPI *CoUninitializeProc)(void);

static OpenClipboardProc realOpenClipboard;
static EmptyClipboardProc realEmptyClipboard;
static SetClipboardDataProc realSetClipboardData;
static GetClipboardDataProc realGetClipboardData;
static GlobalAllocProc realGlobalAlloc;
static GlobalFreeProc realGlobalFree;
static GetIconInfoProc realGetIconInfo;
static DestroyIconProc realDestroyIcon;
static SHGetFileInfoWProc realSHGetFileInfoW;
static CreateCompatibleDCProc realCreateCompatibleDC;
static DeleteDCProc realDeleteDC;
static DeleteObjectProc realDeleteObject;
static CreatePaletteProc realCreatePalette;
static SetMetaFileBitsExProc realSetMetaFileBitsEx;
static DeleteMetaFileProc realDeleteMetaFile;
static OleInitializeProc realOleInitialize;
static OleUninitializeProc realOleUninitialize;
static CoInitializeExProc realCoInitializeEx;
static CoUninitializeProc realCoUninitialize;

static BOOL WINAPI FakeOpenClipboard(HWND owner)
{
    if (Fires(faults.openClipboard, ++counts.openClipboard)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return realOpenClipboard(owner);
}

static BOOL WINAPI FakeEmptyClipboard(void)
{
    if (Fires(faults.emptyClipboard, ++counts.emptyClipboard)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return realEmptyClipboard();
}

static HANDLE WINAPI FakeSetClipboardData(UINT format, HANDLE data)
{
    counts.setClipboardData++;
    if (faults.setClipboardFormat != 0 && format == faults.setClipboardFormat) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    // The metafile a record names goes to the clipboard with the record; read it first.
    HMETAFILE named = NULL;
    if (format == CF_METAFILEPICT && data != NULL) {
        const METAFILEPICT *record = (const METAFILEPICT *)GlobalLock(data);
        if (record != NULL) {
            named = record->hMF;
            GlobalUnlock(data);
        }
    }
    HANDLE taken = realSetClipboardData(format, data);
    if (taken != NULL) {
        Released(data);
        Released(named);
    }
    return taken;
}

static HANDLE WINAPI FakeGetClipboardData(UINT format)
{
    counts.getClipboardData++;
    return realGetClipboardData(format);
}

static HGLOBAL WINAPI FakeGlobalAlloc(UINT flags, SIZE_T size)
{
    if (Fires(faults.globalAlloc, ++counts.globalAlloc)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    HGLOBAL block = realGlobalAlloc(flags, size);
    Created(block, "global block", "GlobalAlloc");
    return block;
}

static HGLOBAL WINAPI FakeGlobalFree(HGLOBAL block)
{
    HGLOBAL failed = realGlobalFree(block);
    if (failed == NULL)
        Released(block);
    return failed;
}

static BOOL WINAPI FakeGetIconInfo(HICON icon, PICONINFO parts)
{
    if (Fires(faults.getIconInfo, ++counts.getIconInfo)) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    BOOL got = realGetIconInfo(icon, parts);
    if (got && faults.replaceIconColour) {
        if (parts->hbmColor != NULL)
            DeleteObject(parts->hbmColor);
        parts->hbmColor = faults.iconColour;
        faults.iconColour = NULL;
        faults.replaceIconColour = false;
    }
    if (got) {
        Created(parts->hbmColor, "colour bitmap", "GetIconInfo");
        Created(parts->hbmMask, "mask bitmap", "GetIconInfo");
    }
    return got;
}

static BOOL WINAPI FakeDestroyIcon(HICON icon)
{
    BOOL destroyed = realDestroyIcon(icon);
    if (destroyed)
        Released(icon);
    return destroyed;
}

static DWORD_PTR WINAPI FakeSHGetFileInfoW(LPCWSTR path, DWORD attributes, SHFILEINFOW *info,
                                           UINT size, UINT flags)
{
    shellInfoPaths.push_back(path != NULL ? path : L"<NULL>");
    DWORD_PTR found = realSHGetFileInfoW(path, attributes, info, size, flags);
    if (found && (flags & SHGFI_ICON) && info != NULL) {
        if (faults.shellIcon != NULL) {
            DestroyIcon(info->hIcon);
            info->hIcon = faults.shellIcon;
            faults.shellIcon = NULL;
        }
        Created(info->hIcon, "icon", "SHGetFileInfoW");
    }
    return found;
}

static HDC WINAPI FakeCreateCompatibleDC(HDC reference)
{
    HDC dc = realCreateCompatibleDC(reference);
    Created(dc, "memory context", "CreateCompatibleDC");
    return dc;
}

static BOOL WINAPI FakeDeleteDC(HDC dc)
{
    BOOL deleted = realDeleteDC(dc);
    if (deleted)
        Released(dc);
    return deleted;
}

static BOOL WINAPI FakeDeleteObject(HGDIOBJ object)
{
    BOOL deleted = realDeleteObject(object);
    if (deleted)
        Released(object);
    return deleted;
}

static HPALETTE WINAPI FakeCreatePalette(const LOGPALETTE *logical)
{
    HPALETTE palette = realCreatePalette(logical);
    Created(palette, "palette", "CreatePalette");
    return palette;
}

static HMETAFILE WINAPI FakeSetMetaFileBitsEx(UINT size, const BYTE *bits)
{
    HMETAFILE metafile = realSetMetaFileBitsEx(size, bits);
    Created(metafile, "metafile", "SetMetaFileBitsEx");
    return metafile;
}

static BOOL WINAPI FakeDeleteMetaFile(HMETAFILE metafile)
{
    BOOL deleted = realDeleteMetaFile(metafile);
    if (deleted)
        Released(metafile);
    return deleted;
}

static HRESULT WINAPI FakeOleInitialize(LPVOID reserved)
{
    counts.oleInitialize++;
    return realOleInitialize(reserved);
}

static void WINAPI FakeOleUninitialize(void)
{
    counts.oleUninitialize++;
    realOleUninitialize();
}

static HRESULT WINAPI FakeCoInitializeEx(LPVOID reserved, DWORD model)
{
    counts.coInitialize++;
    return realCoInitializeEx(reserved, model);
}

static void WINAPI FakeCoUninitialize(void)
{
    counts.coUninitialize++;
    realCoUninitialize();
}

void InstallHooks()
{
    memset(&faults, 0, sizeof faults);
    memset(&counts, 0, sizeof counts);
    live.clear();
    shellInfoPaths.clear();
    struct Entry {
        const char *dll, *function;
        void *fake;
        void **real;
    } entries[] = {
        {"user32.dll", "OpenClipboard", (void *)FakeOpenClipboard, (void **)&realOpenClipboard},
        {"user32.dll", "EmptyClipboard", (void *)FakeEmptyClipboard, (void **)&realEmptyClipboard},
        {"user32.dll", "SetClipboardData", (void *)FakeSetClipboardData, (void **)&realSetClipboardData},
        {"user32.dll", "GetClipboardData", (void *)FakeGetClipboardData, (void **)&realGetClipboardData},
        {"kernel32.dll", "GlobalAlloc", (void *)FakeGlobalAlloc, (void **)&realGlobalAlloc},
        {"kernel32.dll", "GlobalFree", (void *)FakeGlobalFree, (void **)&realGlobalFree},
        {"user32.dll", "GetIconInfo", (void *)FakeGetIconInfo, (void **)&realGetIconInfo},
        {"user32.dll", "DestroyIcon", (void *)FakeDestroyIcon, (void **)&realDestroyIcon},
        {"shell32.dll", "SHGetFileInfoW", (void *)FakeSHGetFileInfoW, (void **)&realSHGetFileInfoW},
        {"gdi32.dll", "CreateCompatibleDC", (void *)FakeCreateCompatibleDC, (void **)&realCreateCompatibleDC},
        {"gdi32.dll", "DeleteDC", (void *)FakeDeleteDC, (void **)&realDeleteDC},
        {"gdi32.dll", "DeleteObject", (void *)FakeDeleteObject, (void **)&realDeleteObject},
        {"gdi32.dll", "CreatePalette", (void *)FakeCreatePalette, (void **)&realCreatePalette},
        {"gdi32.dll", "SetMetaFileBitsEx", (void *)FakeSetMetaFileBitsEx, (void **)&realSetMetaFileBitsEx},
        {"gdi32.dll", "DeleteMetaFile", (void *)FakeDeleteMetaFile, (void **)&realDeleteMetaFile},
        {"ole32.dll", "OleInitialize", (void *)FakeOleInitialize, (void **)&realOleInitialize},
        {"ole32.dll", "OleUninitialize", (void *)FakeOleUninitialize, (void **)&realOleUninitialize},
        {"ole32.dll", "CoInitializeEx", (void *)FakeCoInitializeEx, (void **)&realCoInitializeEx},
        {"ole32.dll", "CoUninitialize", (void *)FakeCoUninitialize, (void **)&realCoUninitialize},
    };
    for (const Entry &entry : entries) {
        *entry.real = fmhost::HookImport(entry.dll, entry.function, entry.fake);
        EXPECT_TRUE(*entry.real != NULL) << "the plug-in does not import " << entry.dll << "!"
                                         << entry.function;
    }
}

Faults &InjectedFaults() { return faults; }
const CallCounts &Counts() { return counts; }
void ResetCounts() { memset(&counts, 0, sizeof counts); }
std::vector<std::wstring> &ShellInfoPaths() { return shellInfoPaths; }

std::vector<std::string> LiveObjects()
{
    std::vector<std::string> descriptions;
    for (const auto &entry : live)
        descriptions.push_back(entry.second);
    return descriptions;
}

// ---- a second program ----------------------------------------------------------------------------

static std::string Hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

ClipboardPeer::ClipboardPeer() : ready_(NULL), release_(NULL)
{
    memset(&process_, 0, sizeof process_);
    static int serial = 0;
    char suffix[64];
    snprintf(suffix, sizeof suffix, "%lu-%d", (unsigned long)GetCurrentProcessId(), ++serial);
    readyName_ = std::string("tarvel-peer-ready-") + suffix;
    releaseName_ = std::string("tarvel-peer-release-") + suffix;
    ready_ = CreateEventA(NULL, TRUE, FALSE, readyName_.c_str());
    release_ = CreateEventA(NULL, TRUE, FALSE, releaseName_.c_str());
}

ClipboardPeer::~ClipboardPeer()
{
    if (process_.hProcess != NULL) {
        SetEvent(release_);
        if (!WaitForExit(5000))
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
    }
    if (ready_ != NULL)
        CloseHandle(ready_);
    if (release_ != NULL)
        CloseHandle(release_);
}

bool ClipboardPeer::Start(const std::string &arguments)
{
    std::string command = "\"" + ProgramFolder() + "\\clipboard_peer.exe\" " + arguments;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process_))
        return false;
    CloseHandle(process_.hThread);
    process_.hThread = NULL;
    return true;
}

// Waits for the first of handles to be signalled, dispatching this thread's messages
// meanwhile: the peer's EmptyClipboard sends WM_DESTROYCLIPBOARD to the test's window and
// would wait for it. Returns the index of the signalled handle, or -1 after the timeout.
static int WaitDispatching(const HANDLE *handles, DWORD count, DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return -1;
        DWORD woken = MsgWaitForMultipleObjects(count, handles, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        if (woken < WAIT_OBJECT_0 + count)
            return (int)(woken - WAIT_OBJECT_0);
        if (woken != WAIT_OBJECT_0 + count)
            return -1;
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

bool ClipboardPeer::WaitForExit(DWORD milliseconds)
{
    if (process_.hProcess == NULL)
        return true;
    if (WaitDispatching(&process_.hProcess, 1, milliseconds) != 0)
        return false;
    DWORD code = 1;
    GetExitCodeProcess(process_.hProcess, &code);
    CloseHandle(process_.hProcess);
    process_.hProcess = NULL;
    return code == 0;
}

bool ClipboardPeer::PlaceText(const std::string &text)
{
    return Start("settext " + Hex(text)) && WaitForExit(20000);
}

bool ClipboardPeer::Hold()
{
    ResetEvent(ready_);
    ResetEvent(release_);
    if (!Start("hold " + readyName_ + " " + releaseName_))
        return false;
    HANDLE waits[2] = {ready_, process_.hProcess};
    // The peer either signals that it holds the clipboard or ends having failed to.
    return WaitDispatching(waits, 2, 20000) == 0;
}

bool ClipboardPeer::Release()
{
    SetEvent(release_);
    return WaitForExit(20000);
}

// ---- window colour --------------------------------------------------------------------------------

WindowColourGuard::WindowColourGuard(COLORREF colour) : saved_(GetSysColor(COLOR_WINDOW))
{
    INT element = COLOR_WINDOW;
    EXPECT_TRUE(SetSysColors(1, &element, &colour));
}

WindowColourGuard::~WindowColourGuard()
{
    INT element = COLOR_WINDOW;
    SetSysColors(1, &element, &saved_);
}

// ---- the fixture ----------------------------------------------------------------------------------

static void EmptyTheClipboard(HWND owner)
{
    if (OpenClipboard(owner)) {
        EmptyClipboard();
        CloseClipboard();
    }
}

void ClipboardTest::SetUp()
{
    PluginTest::SetUp();
    if (HasFatalFailure())
        return;
    InstallHooks();
    window_ = CreateWindowExA(0, "STATIC", "clipboard test", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                              NULL, NULL);
    ASSERT_TRUE(window_ != NULL);
    EmptyTheClipboard(window_);
}

void ClipboardTest::TearDown()
{
    if (window_ != NULL) {
        EmptyTheClipboard(window_);
        DestroyWindow(window_);
        window_ = NULL;
    }
    PluginTest::TearDown();
}

fmhost::CallResult ClipboardTest::CopyLargeIcon(const std::string &path)
{
    return Call(kTarvCopyLargeFileIcon, path);
}

fmhost::CallResult ClipboardTest::CopySmallIcon(const std::string &path)
{
    return Call(kTarvCopySmallFileIcon, path);
}

fmhost::CallResult ClipboardTest::Restore(const std::string &parameter)
{
    return Call(kTarvRestoreClipboard, parameter);
}

std::string ClipboardTest::TextFile()
{
    std::string path = TestScratchFolder() + "\\notes.txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, file) << path;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return path;
}

std::string ClipboardTest::Folder()
{
    std::string path = TestScratchFolder() + "\\folder";
    CreateDirectoryA(path.c_str(), NULL);
    return path;
}

void ClipboardTest::ExpectClosedAndNothingLive(const char *what)
{
    EXPECT_TRUE(GetOpenClipboardWindow() == NULL) << what << ": the clipboard was left open";
    // A clipboard opened with no window shows no open window at all; opening it with the
    // test's own window fails while anyone, this thread included, still holds it that way.
    bool free = OpenClipboard(window_) != FALSE;
    if (free)
        CloseClipboard();
    EXPECT_TRUE(free) << what << ": the clipboard was left open (with no window)";
    for (const std::string &object : LiveObjects())
        ADD_FAILURE() << what << ": not released: " << object;
}

}  // namespace cliptest
