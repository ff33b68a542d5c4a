// A call storm: a long run of random calls of random function numbers with hostile
// parameters, injected host memory errors and Windows-call failures, against a real folder
// tree and the real clipboard. After every call the emulator's rules must hold, and the
// result must be what the model predicts from what the storm arranged: the settings the
// calls made, the tree and the current folder, the failure armed, the shell's answer, the
// clipboard's content. For a folder outside its tree the model predicts no list; every path
// must then lie in that folder, come once, and name a file exactly or no file at all.
// Reproducible from a seed: TARVEL_STORM_SEED and TARVEL_STORM_CALLS override the defaults
// (scripts/storm-seeds.sh runs many seeds; kStormCalls is the one home of the length).
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "encoding/codepage_tables.h"
#include "plugin/handlers.h"
#include "tests/native/codepage_reference.h"
#include "tests/native/list_reference.h"
#include "tests/win/clipboard_test_support.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

// ---- Windows calls the storm fakes or makes fail ----------------------------------------

// The one Windows call armed to fail next (by name), or empty. A fake disarms it when it fails.
std::string armedFailure;
int faultsInjected = 0;
bool TakeFailure(const char *name)
{
    if (armedFailure != name)
        return false;
    armedFailure.clear();
    faultsInjected++;
    return true;
}

struct Reals {
    HANDLE(WINAPI *HeapCreate)(DWORD, SIZE_T, SIZE_T);
    LPVOID(WINAPI *HeapReAlloc)(HANDLE, DWORD, LPVOID, SIZE_T);
    LPVOID(WINAPI *HeapAlloc)(HANDLE, DWORD, SIZE_T);
    HGLOBAL(WINAPI *GlobalAlloc)(UINT, SIZE_T);
    BOOL(WINAPI *OpenClipboard)(HWND);
    BOOL(WINAPI *EmptyClipboard)(void);
    HANDLE(WINAPI *SetClipboardData)(UINT, HANDLE);
    BOOL(WINAPI *GetIconInfo)(HICON, PICONINFO);
    DWORD_PTR(WINAPI *SHGetFileInfoW)(LPCWSTR, DWORD, SHFILEINFOW *, UINT, UINT);
    DWORD(WINAPI *GetFileAttributesW)(LPCWSTR);
} real;

HANDLE WINAPI StormHeapCreate(DWORD a, SIZE_T b, SIZE_T c)
{
    return TakeFailure("HeapCreate") ? NULL : real.HeapCreate(a, b, c);
}
LPVOID WINAPI StormHeapReAlloc(HANDLE h, DWORD f, LPVOID p, SIZE_T s)
{
    return TakeFailure("HeapReAlloc") ? NULL : real.HeapReAlloc(h, f, p, s);
}
LPVOID WINAPI StormHeapAlloc(HANDLE h, DWORD f, SIZE_T s)
{
    return TakeFailure("HeapAlloc") ? NULL : real.HeapAlloc(h, f, s);
}
HGLOBAL WINAPI StormGlobalAlloc(UINT f, SIZE_T s)
{
    return TakeFailure("GlobalAlloc") ? NULL : real.GlobalAlloc(f, s);
}
BOOL WINAPI StormOpenClipboard(HWND w)
{
    return TakeFailure("OpenClipboard") ? FALSE : real.OpenClipboard(w);
}
BOOL WINAPI StormEmptyClipboard(void)
{
    return TakeFailure("EmptyClipboard") ? FALSE : real.EmptyClipboard();
}
HANDLE WINAPI StormSetClipboardData(UINT f, HANDLE h)
{
    return TakeFailure("SetClipboardData") ? NULL : real.SetClipboardData(f, h);
}
BOOL WINAPI StormGetIconInfo(HICON i, PICONINFO info)
{
    return TakeFailure("GetIconInfo") ? FALSE : real.GetIconInfo(i, info);
}
DWORD_PTR WINAPI StormSHGetFileInfoW(LPCWSTR p, DWORD a, SHFILEINFOW *i, UINT s, UINT f)
{
    return TakeFailure("SHGetFileInfoW") ? 0 : real.SHGetFileInfoW(p, a, i, s, f);
}

// The path the plug-in last asked Windows about: how it converted the script's path.
std::wstring lastAttributesPath;
DWORD WINAPI StormGetFileAttributesW(LPCWSTR path)
{
    lastAttributesPath = path ? path : L"";
    if (TakeFailure("GetFileAttributesW"))
        return INVALID_FILE_ATTRIBUTES;
    return real.GetFileAttributesW(path);
}

// Dialogs and the shell are faked so that nothing waits and nothing is launched. Their texts
// are read in the system's ANSI code page, as the plug-in writes them.
struct FileDialogSeen {
    bool called = false;
    std::string filter;  // the double-zero list, without its final zero
    std::string initialDir;
};
FileDialogSeen fileDialog;
std::string fileDialogAnswer;  // path the fake "chooses"; empty: the user cancels
// The code page the fake's answer is in: the Windows code page of the locale in force, the
// codes the storm's model speaks in. Every name of the answer then fits that code page and
// must come back byte for byte; what a name the code page cannot hold gives is tested on its
// own, with files made for it.
UINT fileDialogCodePage = CP_ACP;
BOOL WINAPI StormGetOpenFileNameW(LPOPENFILENAMEW record)
{
    fileDialog.called = true;
    fileDialog.filter.clear();
    for (const WCHAR *p = record->lpstrFilter; p != NULL && *p != 0; p += wcslen(p) + 1)
        fileDialog.filter += Narrow(p) + '|';
    fileDialog.initialDir = record->lpstrInitialDir ? Narrow(record->lpstrInitialDir) : "(null)";
    if (fileDialogAnswer.empty())
        return FALSE;
    CopyWide(fileDialogAnswer, record->lpstrFile, record->nMaxFile, fileDialogCodePage);
    return TRUE;
}

std::string folderAnswer;  // empty: the browser is cancelled
LPITEMIDLIST WINAPI StormSHBrowseForFolderW(LPBROWSEINFOW)
{
    if (folderAnswer.empty())
        return NULL;
    // A list the plug-in must free with CoTaskMemFree; its content only names our answer.
    LPITEMIDLIST list = (LPITEMIDLIST)CoTaskMemAlloc(sizeof(USHORT) * 2);
    memset(list, 0, sizeof(USHORT) * 2);
    return list;
}
BOOL WINAPI StormSHGetPathFromIDListW(LPCITEMIDLIST, LPWSTR path)
{
    CopyWide(folderAnswer, path, MAX_PATH);
    return TRUE;
}

// The shell answers what the storm arranged for the call, and remembers what it was asked.
INT_PTR shellAnswer = 42;
struct ShellRequest {
    bool made = false;
    std::wstring verb, file;
};
ShellRequest shellRequest;
HINSTANCE WINAPI StormShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    shellRequest.made = true;
    shellRequest.verb = verb ? verb : L"(null)";
    shellRequest.file = file ? file : L"(null)";
    return (HINSTANCE)shellAnswer;
}

int WINAPI StormMessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
BOOL WINAPI StormMessageBeep(UINT) { return TRUE; }

// ---- the model: answers, tables, paths ---------------------------------------------------

const char kOk[] = "000 (OK)";
const char kIncorrect[] = "-001 (Incorrect option)";
const char kIterate[] = "-003 (Cannot iterate directory)";
const char kNotFound[] = "-004 (File not found)";
const char kLaunch[] = "-005 (Error launching file)";
const char kRestore[] = "-007 (Cannot restore clipboard content)";

// Tarv-OpenFile's answer for what the shell returned: above 32 it started something; 2 and 3
// are "file not found" and "path not found".
const char *StatusOfShellAnswer(INT_PTR answer)
{
    return answer > 32 ? kOk : kLaunch;  // the file was found: the shell's "not found" is its own
}

// The longest path, in UTF-16 units, that each function's Windows call takes whole.
enum { kShellPathLimit = 259, kDialogFolderLimit = 257, kScanPatternLimit = 259 };

enum Locale { kNone, kWestern, kCyrillic, kCzech };

// The Windows code page whose codes a locale's paths are in (none: the system's ANSI one).
UINT WindowsCodePageOf(Locale locale)
{
    return locale == kWestern ? 1252 : locale == kCyrillic ? 1251 : locale == kCzech ? 1250 : CP_ACP;
}

// Each locale's table as two byte maps, made by the reference conversion from the built-in
// table texts; "english" has none, and every byte stays.
struct HostTable {
    unsigned char toWindows[256];
    unsigned char toHost[256];
};
HostTable hostTables[kCzech + 1];
void BuildHostTables()
{
    const char *const texts[] = {"", kWesternTableText, kCyrillicTableText, kCzechTableText};
    for (int locale = kNone; locale <= kCzech; locale++) {
        for (int code = 0; code < 256; code++) {
            hostTables[locale].toWindows[code] = ReferenceConvertByte(texts[locale], (unsigned char)code, true);
            hostTables[locale].toHost[code] = ReferenceConvertByte(texts[locale], (unsigned char)code, false);
        }
    }
}

std::string Mapped(std::string text, const unsigned char (&map)[256])
{
    for (char &c : text)
        c = (char)map[(unsigned char)c];
    return text;
}
std::string WindowsToHost(const std::string &text, Locale locale) { return Mapped(text, hostTables[locale].toHost); }

// A path from the host as Windows gets it under locale: converted by the table, then read in
// the locale's code page.
std::wstring HostPathAsWide(const std::string &text, Locale locale)
{
    return Widen(Mapped(text, hostTables[locale].toWindows), WindowsCodePageOf(locale));
}

// True, with the name's codes in *codes, when every character of name has a code of its own
// in the locale's code page that the table carries to the host and back: the name can be
// handed out as itself.
bool FitsLocale(const std::wstring &name, Locale locale, std::string *codes)
{
    UINT codePage = WindowsCodePageOf(locale);
    *codes = Narrow(name, codePage);
    if (Widen(*codes, codePage) != name)
        return false;
    const HostTable &table = hostTables[locale];
    for (char c : *codes) {
        if (table.toWindows[table.toHost[(unsigned char)c]] != (unsigned char)c)
            return false;
    }
    return true;
}

std::string ShortNameOf(const std::wstring &path)
{
    WCHAR shortPath[MAX_PATH] = {0};
    DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "<no short name for " + Narrow(path) + ">";
    std::string shortName = Narrow(shortPath);
    return shortName.substr(shortName.rfind('\\') + 1);
}

bool IsSeparator(WCHAR c) { return c == L'\\' || c == L'/'; }
WCHAR AsciiUpper(WCHAR c) { return c >= L'a' && c <= L'z' ? (WCHAR)(c - L'a' + L'A') : c; }
bool StartsWithWord(const std::wstring &text, const wchar_t *word)
{
    size_t i = 0;
    for (; word[i] != 0; i++) {
        if (i >= text.size() || AsciiUpper(text[i]) != word[i])
            return false;
    }
    return true;
}

// Win32 reads the last name as a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT 1
// to 9 (¹, ² and ³ too), whatever follows a '.' or ':', and blanks before that.
bool EndsInDeviceName(const std::wstring &path)
{
    size_t end = path.find_last_not_of(L"\\/");
    if (end == std::wstring::npos)
        return false;
    size_t start = path.find_last_of(L"\\/", end);
    start = start == std::wstring::npos ? (end >= 1 && path[1] == L':' ? 2 : 0) : start + 1;
    std::wstring base = path.substr(start, end + 1 - start);
    base = base.substr(0, base.find_first_of(L".:"));
    base.erase(base.find_last_not_of(L' ') + 1);
    for (const wchar_t *device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (base.size() == wcslen(device) && StartsWithWord(base, device))
            return true;
    }
    return base.size() == 4 && (StartsWithWord(base, L"COM") || StartsWithWord(base, L"LPT")) &&
           wcschr(L"123456789\u00B9\u00B2\u00B3", base[3]) != NULL;
}

// A name of path that is "." or "..", or, where Win32 trims names (trims), any of dots and
// blanks alone.
bool HasDotName(const std::wstring &path, bool trims)
{
    for (size_t start = 0;;) {
        size_t end = path.find_first_of(L"\\/", start);
        std::wstring name = path.substr(start, end == std::wstring::npos ? end : end - start);
        bool dots = !name.empty() && name.find_first_not_of(L". ") == std::wstring::npos &&
                    name.find(L'.') != std::wstring::npos;
        if (dots && (trims || name == L"." || name == L".."))
            return true;
        if (end == std::wstring::npos)
            return false;
        start = end + 1;
    }
}

// A path of the object manager rather than of a file: "\??\", or "\\.\" and "\\?\" before
// anything but a drive or a share, or with a dot name after them.
bool IsObjectPath(const std::wstring &path)
{
    if (path.size() < 4 || !IsSeparator(path[0]) || !IsSeparator(path[3]))
        return false;
    if (path[1] == L'?' && path[2] == L'?')
        return true;
    if (!IsSeparator(path[1]) || (path[2] != L'.' && path[2] != L'?'))
        return false;
    std::wstring rest = path.substr(4);
    WCHAR drive = rest.empty() ? 0 : AsciiUpper(rest[0]);
    bool onDrive = drive >= L'A' && drive <= L'Z' && rest.size() >= 3 && rest[1] == L':' && IsSeparator(rest[2]);
    bool onShare = StartsWithWord(rest, L"UNC") && rest.size() >= 4 && IsSeparator(rest[3]);
    return HasDotName(rest, path[2] == L'.') || !(onDrive || onShare);
}

// A '*' or '?' after the "\\?\" that may begin the path.
bool HasWildcard(const std::wstring &path)
{
    bool literal = path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == L'?' && IsSeparator(path[3]);
    return path.find_first_of(L"*?", literal ? 4 : 0) != std::wstring::npos;
}

bool IsBlank(const std::wstring &path) { return path.find_first_not_of(L' ') == std::wstring::npos; }

// The gate that every path a script gives passes before it can name a file: the path Windows
// acts on for it (the full path Win32 makes of it, but of a "\\?\" path, which it takes as it
// stands), or "" when either names a device or object or holds a wildcard, the path is blank,
// a "\\?\" name ends in '.' or a blank, or the full path resolves further or is longer than
// the Windows call takes whole (limit units).
std::wstring ResolvedByGate(const std::wstring &path, size_t limit)
{
    if (IsBlank(path) || HasWildcard(path) || EndsInDeviceName(path) || IsObjectPath(path))
        return L"";
    std::wstring resolved = path;
    if (path.compare(0, 4, L"\\\\?\\") != 0) {
        WCHAR full[MAX_PATH + 1], again[MAX_PATH + 1];
        DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH + 1, full, NULL);
        if (length == 0 || length > MAX_PATH || GetFullPathNameW(full, MAX_PATH + 1, again, NULL) != length ||
            wcscmp(full, again) != 0)
            return L"";
        resolved = full;
    }
    bool dropsADot = false;  // a name of a "\\?\" path that the shell reads without its last unit
    for (size_t i = 4; resolved.compare(0, 4, L"\\\\?\\") == 0 && i < resolved.size(); i++)
        dropsADot = dropsADot || ((resolved[i] == L'.' || resolved[i] == L' ') &&
                                  (i + 1 == resolved.size() || IsSeparator(resolved[i + 1])));
    bool named = resolved.size() <= limit && !HasWildcard(resolved) && !EndsInDeviceName(resolved) &&
                 !IsObjectPath(resolved) && !dropsADot;
    return named ? resolved : L"";
}
bool ExistsOnDisk(const std::wstring &path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
bool IsAscii(const std::string &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x80; });
}

// A name that Windows reads back as itself: no trailing dot or blank ("." and ".." included),
// none of the characters it reserves, no device.
bool ReadsBackAsItself(const std::wstring &name)
{
    if (name.empty() || name.back() == L'.' || name.back() == L' ')
        return false;
    for (WCHAR c : name) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != NULL)
            return false;
    }
    return !EndsInDeviceName(name);
}

// True when folder (ending with a separator) may have lost an entry since `since`: it is gone,
// was written to since, or lies on a file system that keeps no times of its own (one without
// a volume serial, such as /proc). Other programs' files come and go in folders the storm does
// not own.
bool FolderMayHaveChanged(const std::wstring &folder, const FILETIME &since)
{
    HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    BY_HANDLE_FILE_INFORMATION information = {};
    bool known = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    return !known || information.dwVolumeSerialNumber == 0 ||
           CompareFileTime(&information.ftLastWriteTime, &since) >= 0;
}

// Why the path folder + below (folder ends with a separator) is not a file that a scan of
// folder may hand out: "" when it is, or when it names no file at all (a name masked with
// '?'). Each name below the folder must read back as itself and be, exactly, the long or the
// short name of an entry; the last must be a file and not hidden. An entry missing from a
// folder that may have changed since the scan began counts as gone.
std::string WhyNotTheVeryFile(const std::wstring &folder, const std::wstring &below, const FILETIME &since)
{
    if (below.find(L'?') != std::wstring::npos)
        return "";
    std::wstring at = folder;
    for (size_t start = 0;;) {
        size_t end = below.find_first_of(L"\\/", start);
        std::wstring name = below.substr(start, end == std::wstring::npos ? end : end - start);
        if (!ReadsBackAsItself(name))
            return "the name '" + Narrow(name) + "' does not read back as itself";
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((at + name).c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            return FolderMayHaveChanged(at, since) ? "" : "no entry answers to '" + Narrow(name) + "'";
        FindClose(search);
        if (name != entry.cFileName && name != entry.cAlternateFileName)
            return "'" + Narrow(name) + "' is a look-alike of '" + Narrow(entry.cFileName) + "'";
        if (end == std::wstring::npos) {
            bool folderOrHidden = (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN)) != 0;
            return folderOrHidden ? "a folder or a hidden file" : "";
        }
        at += name + L"\\";
        start = end + 1;
    }
}

// Does the shell have an icon of this size for path?
bool ShellHasIcon(const std::wstring &path, bool small)
{
    SHFILEINFOW information = {};
    UINT flags = SHGFI_ICON | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON);
    if (SHGetFileInfoW(path.c_str(), 0, &information, sizeof information, flags) == 0)
        return false;
    if (information.hIcon != NULL)
        DestroyIcon(information.hIcon);
    return true;
}

// What the clipboard holds, as the storm tells it apart: "<empty>", "<bitmap>", or its text.
std::wstring ClipboardContent(HWND owner)
{
    std::vector<UINT> formats = cliptest::ClipboardFormats(owner);
    std::string bytes;
    if (formats.empty())
        return L"<empty>";
    if (std::count(formats.begin(), formats.end(), (UINT)CF_BITMAP) > 0)
        return L"<bitmap>";
    if (!cliptest::ReadBlock(owner, CF_UNICODETEXT, &bytes))
        return L"<no text>";
    return std::wstring((const WCHAR *)bytes.data(), wcsnlen((const WCHAR *)bytes.data(), bytes.size() / sizeof(WCHAR)));
}

// Leaves the clipboard holding text alone, or nothing when text is empty.
bool ArrangeClipboard(HWND owner, const std::wstring &text)
{
    std::string block((const char *)text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    if (text.empty())
        return cliptest::PlaceOnClipboard(owner, {});
    return cliptest::PlaceOnClipboard(owner, {{CF_UNICODETEXT, block}});
}

bool EqualsNoCase(const std::string &a, const char *b) { return lstrcmpiA(a.c_str(), b) == 0 && a.size() == strlen(b); }

std::string UpToZero(const std::string &parameter)
{
    return parameter.substr(0, std::min(parameter.find('\0'), (size_t)4095));
}

// The file-type list as the dialog must get it: description and pattern pairs up to the
// first empty token.
std::string ExpectedFilter(const std::string &stored)
{
    if (stored.empty())
        return "All Files|*.*|";
    std::vector<std::string> tokens = ReferenceSplitList(stored, 249);
    std::string filter;
    for (size_t i = 0; i + 1 < tokens.size(); i += 2) {
        if (tokens[i].empty() || tokens[i + 1].empty())
            break;
        filter += tokens[i] + '|' + tokens[i + 1] + '|';
    }
    return filter;
}

// Is a stored dialog filter list acceptable (every description before the first empty one
// has a pattern)?
bool FilterAccepted(const std::string &stored)
{
    std::vector<std::string> tokens = ReferenceSplitList(stored, 249);
    for (size_t i = 0; i < tokens.size(); i += 2) {
        if (tokens[i].empty())
            return true;
        if (i + 1 >= tokens.size() || tokens[i + 1].empty())
            return false;
    }
    return true;
}

// ---- the model of a scan's list -----------------------------------------------------------

// The storm's tree: its folders below the root, and the files in each.
const char *const kTreeFolders[] = {"", "sub", "sub\\deeper", "other"};
const char *const kTreeNames[] = {"a.txt", "b.TXT", "c.doc", "d.csv", "no extension",
                                  "x.tar.gz", "semi;colon.txt", "\xFC" "ber.txt"};

// A path that a scan of the storm's tree must hand out once.
struct ExpectedPath {
    std::string before;     // the folder as the script gave it, a separator, the folders below
    std::wstring folder;    // the folder the file is in, in full
    std::wstring longName;
    std::string kept;       // the name as the scan kept it, in the scan's code page:
    bool keptShort;         // ... itself, or its short name where that code page lacks a letter
};

// A path kept by a scan as it is handed out under locale, in host codes: its name as kept
// when the scan kept the short name or the long name fits locale too; else the short name.
std::string FetchedPath(const ExpectedPath &path, Locale locale)
{
    std::string name = path.kept;
    if (!path.keptShort && !FitsLocale(path.longName, locale, &name))
        name = ShortNameOf(path.folder + L"\\" + path.longName);
    return WindowsToHost(path.before + name, locale);
}

// The list that the last scan made, as far as the storm can know it.
struct ScanModel {
    Locale locale = kWestern;  // the table it was made under
    bool predicted = true;     // the list is known: the storm's tree, or nothing
    bool complete = true;      // ... and whole (no heap failure cut it short)
    std::vector<ExpectedPath> remaining;
    unsigned lost = 0;         // paths handed out whose text a memory error lost
    // Another folder: its path and separator as Windows read it, the files handed out so far,
    // and a moment shortly before the scan began.
    std::wstring folder;
    std::set<std::wstring> seen;
    FILETIME since = {};
};

// One call as the host saw it, and the failure the plug-in met in it.
struct Outcome {
    uint32_t function;
    std::string parameter;
    std::string text;     // the parameter as the plug-in reads it: up to a zero, 4095 bytes at most
    bool resized;         // the plug-in set the result's size: it wrote, or tried to
    bool written;         // ... and the result holds what it wrote (no memory error lost it)
    std::string result;
    std::string failure;  // the Windows call armed to fail, when the plug-in made that call
};

class StormTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        BuildHostTables();
        root_ = TestScratchFolder();
        MakeTree();
        HookAll();
        // Relative folders lead into the storm's tree, and "\" to the root of its drive.
        ASSERT_TRUE(SetCurrentDirectoryA(root_.c_str()));
    }

    std::string TreePath(const std::string &below) const { return below.empty() ? root_ : root_ + "\\" + below; }

    void MakeTree()
    {
        for (const char *folder : kTreeFolders) {
            CreateDirectoryA(TreePath(folder).c_str(), NULL);
            for (const char *name : kTreeNames)
                ASSERT_TRUE(MakeFile(TreePath(folder) + "\\" + name)) << name;
        }
        std::string hidden = root_ + "\\hidden.txt";
        ASSERT_TRUE(MakeFile(hidden));
        ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    }

    void HookAll()
    {
        real.HeapCreate = fmhost::HookImportAs("kernel32.dll", "HeapCreate", StormHeapCreate);
        real.HeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", StormHeapReAlloc);
        real.HeapAlloc = fmhost::HookImportAs("kernel32.dll", "HeapAlloc", StormHeapAlloc);
        real.GlobalAlloc = fmhost::HookImportAs("kernel32.dll", "GlobalAlloc", StormGlobalAlloc);
        real.OpenClipboard = fmhost::HookImportAs("user32.dll", "OpenClipboard", StormOpenClipboard);
        real.EmptyClipboard = fmhost::HookImportAs("user32.dll", "EmptyClipboard", StormEmptyClipboard);
        real.SetClipboardData = fmhost::HookImportAs("user32.dll", "SetClipboardData", StormSetClipboardData);
        real.GetIconInfo = fmhost::HookImportAs("user32.dll", "GetIconInfo", StormGetIconInfo);
        real.SHGetFileInfoW = fmhost::HookImportAs("shell32.dll", "SHGetFileInfoW", StormSHGetFileInfoW);
        real.GetFileAttributesW = fmhost::HookImportAs("kernel32.dll", "GetFileAttributesW", StormGetFileAttributesW);
        ASSERT_TRUE(real.HeapCreate && real.HeapReAlloc && real.GetFileAttributesW && real.OpenClipboard &&
                    real.SetClipboardData && real.SHGetFileInfoW && real.GlobalAlloc && real.GetIconInfo &&
                    real.EmptyClipboard)
            << "the module no longer imports a function the storm fails";
        ASSERT_TRUE(fmhost::HookImportAs("comdlg32.dll", "GetOpenFileNameW", StormGetOpenFileNameW));
        ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "SHBrowseForFolderW", StormSHBrowseForFolderW));
        ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "SHGetPathFromIDListW", StormSHGetPathFromIDListW));
        ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "ShellExecuteW", StormShellExecuteW));
        fmhost::HookImportAs("user32.dll", "MessageBoxA", StormMessageBoxA);
        fmhost::HookImportAs("user32.dll", "MessageBeep", StormMessageBeep);
    }

    std::string RandomBytes(size_t size, bool allowZero)
    {
        std::string s(size, '\0');
        for (char &c : s) {
            c = (char)(rng_() & 0xFF);
            if (!allowZero && c == '\0')
                c = 'z';
        }
        return s;
    }

    // A hostile parameter: the sizes at the buffers' edges, every byte value, zero bytes inside.
    std::string HostileParameter()
    {
        static const size_t sizes[] = {0, 1, 2, 23, 24, 250, 255, 256, 259, 260, 4095, 4096, 5000, 70000};
        size_t size = sizes[rng_() % (sizeof sizes / sizeof sizes[0])];
        return RandomBytes(size, rng_() % 4 == 0);
    }

    // Random bytes that can never name a real folder above the tree (no separators, no dots).
    std::string SafeJunk(size_t size)
    {
        std::string s = RandomBytes(size, false);
        for (char &c : s)
            if (c == '\\' || c == '/' || c == '.' || c == ':')
                c = '_';
        return s;
    }

    std::string Pick(const std::vector<std::string> &choices) { return choices[rng_() % choices.size()]; }

    // Besides the storm's own folders and files, each list names some that a script may write
    // in other ways (relative, with '/', through "\\?\" or "..") and some that name no file
    // (a wildcard, a device, an object-manager path).
    std::string ParameterFor(uint32_t function)
    {
        if (rng_() % 4 == 0)
            return HostileParameter();
        std::string leaf = root_.substr(root_.rfind('\\') + 1);
        switch (function) {
        case kTarvSetDialogFilter:
            return Pick({"", "Text files;*.txt", "Text;*.txt;Docs;*.doc", "Text;*.txt;", "Text;*.txt;;Word",
                         "only", "a;;b", "   ", ";x", "  Text ;  *.txt", std::string(300, 'd') + ";*.x"});
        case kTarvSetInitialFolder:
            return Pick({"", root_, root_ + "\\sub", root_ + "\\a.txt", root_ + "\\missing", ".", "sub",
                         root_ + "\\s?b", root_ + "\\sub\\CON"});
        case kTarvGetFileName:
            return Pick({"D:\\Data\\report.txt", "report.txt", "D:\\Data\\", "\\", "\\report.txt", ""});
        case kTarvOpenFile:
        case kTarvCopyLargeFileIcon:
        case kTarvCopySmallFileIcon:
            return Pick({"", root_ + "\\a.txt", root_ + "\\\x9F" "ber.txt", root_ + "\\missing.txt", root_,
                         root_ + "\\\x80\x9E\xD8", "sub\\c.doc", "   ", root_ + "\\sub\\NUL.txt",
                         "\\\\?\\" + root_ + "\\other\\d.csv", "\\\\.\\" + root_ + "\\..\\" + leaf + "\\a.txt"});
        case kTarvUseSubfolders:
            return Pick({"on", "off", "ON", "Off", " on", "yes", "", std::string(30, 'o')});
        case kTarvSetFolder:
            return Pick({root_, root_ + "\\", root_ + "\\sub", root_ + "\\missing", "", "Z:\\nonexistent\\" + SafeJunk(300),
                         ".", root_ + "/sub", root_ + "\\sub\\..\\other", "\\\\?\\" + root_ + "\\sub",
                         root_ + "\\s?b", root_ + "\\sub\\nul"});
        case kTarvSetFileFilter:
            return Pick({"", "*.txt", "*.txt;*.doc", ".gz", "*.tar.gz", "txt", "*.txt;txt;*.doc", "*.txt ",
                         "   ", "*.t?t", "*.*", std::string(300, 'e') + ".txt"});
        case kTarvSetLocale:
            return Pick({"english", "western", "WESTERN", "cyrillic", "czech", "west", "western ", ""});
        default:
            return HostileParameter();
        }
    }

    // ---- what each function must answer --------------------------------------------------

    // An empty parameter clears the folder; any other must name an existing file or folder,
    // read in the system's ANSI code page.
    void ExpectSetInitialFolder(const Outcome &call)
    {
        std::wstring folder = ResolvedByGate(Widen(call.text), kDialogFolderLimit);
        bool accepted = call.parameter.empty() ||
                        (!call.text.empty() && !folder.empty() && ExistsOnDisk(folder) &&
                         call.failure != "GetFileAttributesW");
        initialFolder_ = accepted ? call.text : "";
        if (!lastAttributesPath.empty()) {
            EXPECT_TRUE(lastAttributesPath == folder) << "Windows was asked about " << Narrow(lastAttributesPath);
        }
        if (call.written) {
            EXPECT_EQ(accepted ? kOk : kIncorrect, call.result);
        }
    }

    // The shell is asked about exactly the path that names a file, as the table in force
    // converts it and the shell gets it, and its answer decides.
    void ExpectOpenFile(const Outcome &call)
    {
        std::wstring path = ResolvedByGate(HostPathAsWide(call.text, locale_), kShellPathLimit);
        bool namesFile = !call.text.empty() && !path.empty() && ExistsOnDisk(path) &&
                         call.failure != "GetFileAttributesW";
        EXPECT_EQ(namesFile, shellRequest.made) << "the shell is asked about a file when, and only when, one is named";
        if (shellRequest.made) {
            EXPECT_TRUE(shellRequest.verb == L"open" && shellRequest.file == path)
                << "the shell was asked to " << Narrow(shellRequest.verb) << " " << Narrow(shellRequest.file);
        }
        if (!lastAttributesPath.empty()) {
            EXPECT_TRUE(lastAttributesPath == path) << "Windows was asked about " << Narrow(lastAttributesPath);
        }
        if (call.written) {
            EXPECT_EQ(namesFile ? StatusOfShellAnswer(shellAnswer) : kNotFound, call.result) << "shell answer " << shellAnswer;
        }
    }

    // The snapshot comes first, when none is held: the clipboard's text, unless the clipboard
    // or the copy's block cannot be had. Then the icon of what the path names, unless a call
    // the copy needs fails; a copy that fails leaves the clipboard as it was.
    void ExpectIconCopy(const Outcome &call)
    {
        bool heldBefore = snapshotHeld_;
        if (!heldBefore && !clipboardText_.empty() && call.failure != "OpenClipboard" && call.failure != "GlobalAlloc") {
            snapshotHeld_ = true;
            snapshotText_ = clipboardText_;
        }
        std::wstring path = ResolvedByGate(HostPathAsWide(call.text, locale_), kShellPathLimit);
        bool small = call.function == kTarvCopySmallFileIcon;
        bool failed = call.failure == "SHGetFileInfoW" || call.failure == "GetIconInfo" ||
                      call.failure == "EmptyClipboard" || (heldBefore && call.failure == "OpenClipboard");
        bool copied = !failed && !path.empty() && ShellHasIcon(path, small);
        std::wstring content = ClipboardContent(fmhost::MainWindow());
        std::wstring unchanged = clipboardText_.empty() ? L"<empty>" : clipboardText_;
        EXPECT_EQ(Narrow(copied ? L"<bitmap>" : unchanged), Narrow(content)) << "the clipboard after the copy";
        if (call.written) {
            EXPECT_EQ(copied ? kOk : kIncorrect, call.result);
        }
    }

    // A held snapshot goes back once the clipboard is emptied; a failure before that keeps it
    // for the next try.
    void ExpectRestore(const Outcome &call)
    {
        bool opened = snapshotHeld_ && call.failure != "OpenClipboard";
        bool emptied = opened && call.failure != "EmptyClipboard";
        bool placed = emptied && call.failure != "SetClipboardData";
        if (emptied) {
            EXPECT_EQ(Narrow(placed ? snapshotText_ : L"<empty>"), Narrow(ClipboardContent(fmhost::MainWindow())))
                << "the clipboard after the restore";
            snapshotHeld_ = false;
        }
        if (call.written) {
            EXPECT_EQ(placed ? kOk : kRestore, call.result);
        }
    }

    void ExpectSetFolder(const Outcome &call)
    {
        if (call.text.empty()) {  // an empty folder changes nothing
            if (call.written) {
                EXPECT_EQ(kOk, call.result);
            }
            return;
        }
        scan_ = ScanModel();
        scan_.locale = locale_;
        // The scan reads the folder as Windows resolves it, and its paths begin with that, as
        // the script wrote it where that was the full path, '/' aside.
        std::wstring given = HostPathAsWide(call.text, locale_), written = given;
        std::wstring folder = ResolvedByGate(given, kShellPathLimit);
        std::replace(written.begin(), written.end(), L'/', L'\\');
        std::wstring handed = (written == folder ? given : folder) + (folder.back() == L'\\' ? L"" : L"\\");
        const char *treeFolder = IsAscii(call.text) && !folder.empty() ? TreeFolderOf(folder) : NULL;
        if (treeFolder != NULL) {
            ExpectTreeScan(Narrow(handed), treeFolder);
        } else if (!folder.empty()) {
            scan_.predicted = false;
            scan_.folder = handed;
            scan_.since = callStart_;
        }  // else the path names no folder, and nothing is found
        // A heap that cannot be had stops the walk at its first file; a list that cannot double
        // grows by less.
        bool heapFailed = call.failure == "HeapCreate" || call.failure == "HeapAlloc";
        scan_.complete = !heapFailed;
        if (!call.written)
            return;
        if (heapFailed) {
            EXPECT_EQ(kIterate, call.result);
        } else if (!scan_.predicted && useSubfolders_) {
            // Another tree may hold more linked folders than the walk keeps track of.
            EXPECT_TRUE(call.result == kOk || call.result == kIterate) << call.result;
        } else {
            EXPECT_EQ(kOk, call.result);
        }
    }

    // The folder of the storm's tree that a scan of folder (resolved, ASCII) reads; NULL for
    // any other, and for one whose search pattern would be too long to be read.
    const char *TreeFolderOf(const std::wstring &folder)
    {
        std::wstring pattern = folder + (folder.back() == L'\\' ? L"" : L"\\") + L"*.*";
        for (const char *below : kTreeFolders) {
            if (pattern.size() <= kScanPatternLimit && lstrcmpiW(pattern.c_str(), Widen(TreePath(below) + "\\*.*").c_str()) == 0)
                return below;
        }
        return NULL;
    }

    // The files below `scanned` (and, with subfolders, in its subfolders) that pass the filter,
    // each as the scan keeps it under the table in force, after prefix (its folder's path as
    // the scan hands it out, with the separator).
    void ExpectTreeScan(const std::string &prefix, const std::string &scanned)
    {
        for (std::string folder : kTreeFolders) {
            bool below = scanned.empty() ? !folder.empty() : folder.rfind(scanned + "\\", 0) == 0;
            if (folder != scanned && !(useSubfolders_ && below))
                continue;
            std::string rest = folder.substr(std::min(folder.size(), scanned.empty() ? 0 : scanned.size() + 1));
            for (const char *name : kTreeNames) {
                ExpectedPath path;
                path.before = prefix + rest + (rest.empty() ? "" : "\\");
                path.folder = Widen(TreePath(folder));
                path.longName = Widen(name);
                path.keptShort = !FitsLocale(path.longName, locale_, &path.kept);
                if (path.keptShort)
                    path.kept = ShortNameOf(path.folder + L"\\" + path.longName);
                if (ReferenceMatchesExtensionFilter(Narrow(path.longName, WindowsCodePageOf(locale_)), extensionFilter_, 255))
                    scan_.remaining.push_back(path);
            }
        }
    }

    // The storm's tree: each path once, in the form the table in force allows. Another
    // folder: each path inside it, once, naming a file exactly or no file.
    void ExpectNextPath(const Outcome &call)
    {
        if (!call.resized) {  // the list has ended
            if (scan_.predicted && scan_.complete) {
                EXPECT_EQ(scan_.lost, scan_.remaining.size())
                    << "paths never came, among them "
                    << (scan_.remaining.empty() ? "none" : FetchedPath(scan_.remaining.front(), locale_));
            }
            scan_.remaining.clear();
            scan_.lost = 0;
            return;
        }
        if (!call.written) {  // its text is lost, but the list has moved on
            scan_.lost++;
            return;
        }
        if (scan_.predicted) {
            auto match = std::find_if(scan_.remaining.begin(), scan_.remaining.end(),
                                      [&](const ExpectedPath &path) { return FetchedPath(path, locale_) == call.result; });
            EXPECT_TRUE(match != scan_.remaining.end())
                << "unexpected or repeated path " << call.result << " (scanned under locale " << scan_.locale
                << ", fetched under " << locale_ << ")";
            if (match != scan_.remaining.end())
                scan_.remaining.erase(match);
            return;
        }
        std::wstring path = HostPathAsWide(call.result, locale_);
        if (path.compare(0, scan_.folder.size(), scan_.folder) != 0) {
            ADD_FAILURE() << call.result << " is not inside the folder scanned, " << Narrow(scan_.folder);
            return;
        }
        foreignPaths_++;
        std::wstring below = path.substr(scan_.folder.size());
        if (below.find(L'?') == std::wstring::npos) {  // masked paths name no file, and may share a text
            EXPECT_TRUE(scan_.seen.insert(path).second) << "repeated path " << call.result;
        }
        EXPECT_EQ("", WhyNotTheVeryFile(scan_.folder, below, scan_.since)) << "path " << call.result;
    }

    std::string root_;
    std::mt19937 rng_;

    // The model: the settings as the last accepted calls made them (init's values first), the
    // scan's list, the clipboard snapshot.
    std::string dialogFilter_, initialFolder_, extensionFilter_;
    bool useSubfolders_ = true;
    Locale locale_ = kWestern;
    ScanModel scan_;
    FILETIME callStart_ = {};      // two seconds before the call in progress began
    std::wstring clipboardText_;   // what the storm left on the clipboard before an icon copy
    bool snapshotHeld_ = false;
    std::wstring snapshotText_;
    unsigned foreignPaths_ = 0;    // paths checked from folders outside the tree
};

// Calls in a run unless TARVEL_STORM_CALLS says otherwise.
const unsigned kStormCalls = 100000;

}  // namespace

TEST_F(StormTest, RandomCallsKeepEveryRuleAndAnswer)
{
    unsigned seed = 20261207;
    unsigned calls = kStormCalls;
    if (const char *s = getenv("TARVEL_STORM_SEED"))
        seed = (unsigned)strtoul(s, NULL, 0);
    if (const char *c = getenv("TARVEL_STORM_CALLS"))
        calls = (unsigned)strtoul(c, NULL, 0);
    rng_.seed(seed);
    printf("storm: seed %u, %u calls\n", seed, calls);

    static const char *const failures[] = {"HeapCreate", "HeapReAlloc", "HeapAlloc", "GlobalAlloc",
                                           "OpenClipboard", "EmptyClipboard", "SetClipboardData",
                                           "GetIconInfo", "SHGetFileInfoW", "GetFileAttributesW"};
    std::map<std::string, unsigned> outcomes;
    unsigned memoryErrors = 0;
    for (unsigned i = 0; i < calls && !HasFatalFailure(); i++) {
        uint32_t function;
        unsigned kind = rng_() % 100;
        if (kind < 2)
            function = kExternalFunctionCount + rng_() % 1000;  // unknown numbers
        else if (kind < 3)
            function = kTarvCopyLargeFileIcon + rng_() % 2;  // slow: the shell's icons
        else {
            function = rng_() % kExternalFunctionCount;
            if (function == kTarvCopyLargeFileIcon || function == kTarvCopySmallFileIcon)
                function = kTarvRestoreClipboard;
        }
        bool iconCopy = function == kTarvCopyLargeFileIcon || function == kTarvCopySmallFileIcon;
        std::string parameter = ParameterFor(function);
        // One call in eight gets one failing Windows call, mostly one the function makes.
        armedFailure.clear();
        if (rng_() % 8 == 0) {
            std::vector<const char *> relevant;
            if (function == kTarvSetFolder)
                relevant = {"HeapCreate", "HeapReAlloc", "HeapAlloc"};
            else if (iconCopy)
                relevant = {"OpenClipboard", "EmptyClipboard", "SetClipboardData", "GetIconInfo",
                            "SHGetFileInfoW", "GlobalAlloc"};
            else if (function == kTarvRestoreClipboard)
                relevant = {"OpenClipboard", "EmptyClipboard", "SetClipboardData", "GlobalAlloc"};
            else if (function == kTarvOpenFile || function == kTarvSetInitialFolder)
                relevant = {"GetFileAttributesW"};
            if (relevant.empty() || rng_() % 4 == 0)
                armedFailure = failures[rng_() % (sizeof failures / sizeof failures[0])];
            else
                armedFailure = relevant[rng_() % relevant.size()];
        }
        const std::string armed = armedFailure;
        bool memoryError = rng_() % 20 == 0;
        fileDialog = FileDialogSeen();
        fileDialogAnswer = rng_() % 2 ? root_ + "\\\xFC" "ber.txt" : "";
        fileDialogCodePage = WindowsCodePageOf(locale_);
        folderAnswer = rng_() % 2 ? root_ + "\\sub" : "";
        static const INT_PTR shellValues[] = {0, 2, 3, 5, 8, 26, 31, 32, 33, 42};
        shellAnswer = shellValues[rng_() % 10];
        shellRequest = ShellRequest();
        lastAttributesPath.clear();
        if (iconCopy) {
            clipboardText_ = rng_() % 2 ? L"storm " + std::to_wstring(i) : L"";
            ASSERT_TRUE(ArrangeClipboard(fmhost::MainWindow(), clipboardText_));
        }
        ULARGE_INTEGER now;
        GetSystemTimeAsFileTime((FILETIME *)&now);
        now.QuadPart -= 2 * 10000000ull;
        callStart_.dwLowDateTime = now.LowPart;
        callStart_.dwHighDateTime = now.HighPart;
        if (memoryError) {
            fmhost::InjectMemoryError(-108);
            memoryErrors++;
        }

        fmhost::CallOptions options;
        options.prefillResult = true;
        fmhost::CallResult result = Call(function, parameter, options);
        // The failure that was armed and actually taken during the call, if any.
        const std::string armedName = !armed.empty() && armedFailure.empty() ? armed : std::string();
        armedFailure.clear();
        fmhost::InjectMemoryError(0);

        SCOPED_TRACE(testing::Message() << "call " << i << ", function " << function << ", parameter of "
                                        << parameter.size() << " bytes");
        if (!fmhost::Violations().empty()) {
            for (const std::string &v : fmhost::Violations())
                ADD_FAILURE() << "host rule broken: " << v;
            break;
        }
        std::string text = UpToZero(parameter);
        const std::string &r = result.text;
        // After a memory error the function may have resized the result but copied nothing:
        // the block then holds what the host had in it, and the host's fill after that.
        std::string unwritten = options.resultMarker.substr(0, std::min(r.size(), options.resultMarker.size()));
        unwritten.resize(r.size(), '\xCD');
        bool lostToMemoryError = memoryError && r == unwritten;
        if (lostToMemoryError) {
            outcomes["memory error"]++;
            // Settings still changed: the write failed, not the work.
        } else {
            uint32_t known = std::min(function, (uint32_t)kExternalFunctionCount);
            outcomes[std::to_string(known) + " " + (result.touched ? r.substr(0, 24) : "(untouched)")]++;
        }
        bool written = result.touched && !lostToMemoryError;
        const Outcome call = {function, parameter, text, result.resized, written, r, armedName};

        switch (function) {
        case kTarvVersion:
            if (written) {
                EXPECT_EQ("tarvel v2.0.0.7", r);
            }
            break;
        case kTarvSetDialogFilter: {
            bool accepted = parameter.empty() || FilterAccepted(text);
            dialogFilter_ = accepted ? text : "";
            if (written) {
                EXPECT_EQ(accepted ? kOk : kIncorrect, r);
            }
            break;
        }
        case kTarvSetInitialFolder:
            ExpectSetInitialFolder(call);
            break;
        case kTarvGetFilePath:
            EXPECT_TRUE(fileDialog.called);
            EXPECT_EQ(ExpectedFilter(dialogFilter_), fileDialog.filter);
            EXPECT_EQ(Narrow(ResolvedByGate(Widen(initialFolder_), kDialogFolderLimit)), fileDialog.initialDir);
            if (written) {
                EXPECT_EQ(WindowsToHost(fileDialogAnswer, locale_), r);
            }
            break;
        case kTarvGetFileName: {
            std::string expected = text;
            for (size_t k = text.size(); k-- > 1;)
                if (text[k] == '\\') {
                    expected = text.substr(k + 1);
                    break;
                }
            if (!lostToMemoryError) {
                EXPECT_EQ(expected, r) << "the name is always written";
            }
            break;
        }
        case kTarvOpenFile:
            ExpectOpenFile(call);
            break;
        case kTarvChooseFolder:
            if (folderAnswer.empty()) {
                EXPECT_FALSE(result.touched) << "a cancelled browser writes nothing";
            } else if (written) {
                EXPECT_EQ(folderAnswer, r);
            }
            break;
        case kTarvUseSubfolders:
            if (EqualsNoCase(text.substr(0, 23), "on")) useSubfolders_ = true;
            else if (EqualsNoCase(text.substr(0, 23), "off")) useSubfolders_ = false;
            if (written) {
                EXPECT_EQ(EqualsNoCase(text.substr(0, 23), "on") || EqualsNoCase(text.substr(0, 23), "off") ? kOk : kIncorrect, r);
            }
            break;
        case kTarvSetFileFilter:
            extensionFilter_ = parameter.empty() ? "*.*" : text;
            if (written) {
                EXPECT_EQ(kOk, r);
            }
            break;
        case kTarvSetFolder:
            ExpectSetFolder(call);
            break;
        case kTarvGetNextFilePath:
            ExpectNextPath(call);
            break;
        case kTarvCopyLargeFileIcon:
        case kTarvCopySmallFileIcon:
            ExpectIconCopy(call);
            break;
        case kTarvRestoreClipboard:
            ExpectRestore(call);
            break;
        case kTarvSetLocale:
            if (EqualsNoCase(text, "western")) locale_ = kWestern;
            else if (EqualsNoCase(text, "cyrillic")) locale_ = kCyrillic;
            else if (EqualsNoCase(text, "czech")) locale_ = kCzech;
            else locale_ = kNone;
            if (written) {
                EXPECT_EQ(kOk, r);
            }
            break;
        default:
            EXPECT_FALSE(result.touched) << "an unknown function number wrote " << r;
            break;
        }
    }
    printf("storm: %u calls, %d Windows-call faults injected, %u host memory errors injected, "
           "%u distinct outcomes, %u paths from other folders checked\n", calls, faultsInjected, memoryErrors,
           (unsigned)outcomes.size(), foreignPaths_);
}
