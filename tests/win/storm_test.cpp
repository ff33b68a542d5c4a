// A call storm: a long run of random calls of random function numbers with hostile
// parameters, injected host memory errors and Windows-call failures, against a real folder
// tree and the real clipboard. After every call the emulator's rules must hold, the result
// must be untouched or one of the texts the function may give, and the settings the later
// calls reveal must be what the last accepted call made them. Reproducible from a seed:
// TARVEL_STORM_SEED and TARVEL_STORM_CALLS override the defaults.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/native/list_reference.h"
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

// The path the last existence test saw: how the storm sees the conversion, once read back in
// the locale's Windows code page.
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

INT_PTR shellAnswer = 42;
HINSTANCE WINAPI StormShellExecuteW(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT)
{
    return (HINSTANCE)shellAnswer;
}

int WINAPI StormMessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
BOOL WINAPI StormMessageBeep(UINT) { return TRUE; }

// ---- the storm's model of the plug-in's settings ----------------------------------------

const char kOk[] = "000 (OK)";
const char kIncorrect[] = "-001 (Incorrect option)";
const char kIterate[] = "-003 (Cannot iterate directory)";
const char kNotFound[] = "-004 (File not found)";
const char kLaunch[] = "-005 (Error launching file)";
const char kRestore[] = "-007 (Cannot restore clipboard content)";

enum Locale { kNone, kWestern, kCyrillic, kCzech };

// The Windows code page whose codes a locale's paths are in (none: the system's ANSI one).
UINT WindowsCodePageOf(Locale locale)
{
    return locale == kWestern ? 1252 : locale == kCyrillic ? 1251 : locale == kCzech ? 1250 : CP_ACP;
}

// A found file's name as the scan gives it under locale: its bytes in the locale's code page
// when that holds every character, else the short name Windows keeps for it (ü, made in the
// tree as 1252's 0xFC, has no code in 1251: under "cyrillic" it comes back by its short name,
// where 0xFC would read as another letter and name no file).
std::string NameInScan(const std::string &folder, const std::string &name, Locale locale)
{
    std::wstring wide = Widen(name);
    UINT codePage = WindowsCodePageOf(locale);
    std::string bytes = Narrow(wide, codePage);
    if (Widen(bytes, codePage) == wide)
        return bytes;
    WCHAR shortPath[MAX_PATH] = {0};
    DWORD length = GetShortPathNameW(Widen(folder + "\\" + name).c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "<no short name for " + name + ">";
    std::string shortName = Narrow(shortPath);
    return shortName.substr(shortName.rfind('\\') + 1);
}

// A path that a scan under scanLocale found, as it is fetched under locale: as found under the
// same table; under another, each name read again from the scan's codes, and given as a scan
// under locale would give it (the name, or the short name where the table lacks a character).
std::string PathAtFetch(const std::string &path, Locale scanLocale, Locale locale)
{
    if (locale == scanLocale)
        return path;
    size_t separator = path.rfind('\\');
    std::string folder = path.substr(0, separator);  // ASCII in the storm's tree
    std::string name = Narrow(Widen(path.substr(separator + 1), WindowsCodePageOf(scanLocale)));
    return folder + "\\" + NameInScan(folder, name, locale);
}

// One Windows byte per locale whose conversion to host codes is known: 0xFC is ü in
// Windows-1252 (host 0x9F under "western"); cyrillic and czech leave it as it is.
std::string WindowsToHost(std::string text, Locale locale)
{
    if (locale == kWestern)
        for (char &c : text)
            if ((unsigned char)c == 0xFC)
                c = (char)0x9F;
    return text;
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

struct TreeFile {
    std::string folder;  // as the scan writes it, below the root
    std::string name;
    bool topLevel;
    bool hidden;
};

class StormTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        root_ = TestScratchFolder();
        MakeTree();
        HookAll();
    }

    void MakeTree()
    {
        static const char *const names[] = {"a.txt", "b.TXT", "c.doc", "d.csv", "no extension",
                                            "x.tar.gz", "semi;colon.txt", "\xFC" "ber.txt"};
        const char *folders[] = {"", "\\sub", "\\sub\\deeper", "\\other"};
        for (const char *folder : folders) {
            std::string path = root_ + folder;
            CreateDirectoryA(path.c_str(), NULL);
            for (const char *name : names) {
                std::string file = path + "\\" + name;
                HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
                ASSERT_NE(INVALID_HANDLE_VALUE, h) << file;
                CloseHandle(h);
                tree_.push_back(TreeFile{folder, name, *folder == '\0', false});
            }
        }
        std::string hidden = root_ + "\\hidden.txt";
        HANDLE h = CreateFileA(hidden.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        CloseHandle(h);
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

    std::string ParameterFor(uint32_t function)
    {
        if (rng_() % 4 == 0)
            return HostileParameter();
        switch (function) {
        case kTarvSetDialogFilter:
            return Pick({"", "Text files;*.txt", "Text;*.txt;Docs;*.doc", "Text;*.txt;", "Text;*.txt;;Word",
                         "only", "a;;b", "   ", ";x", "  Text ;  *.txt", std::string(300, 'd') + ";*.x"});
        case kTarvSetInitialFolder:
            return Pick({"", root_, root_ + "\\sub", root_ + "\\a.txt", root_ + "\\missing"});
        case kTarvGetFileName:
            return Pick({"D:\\Data\\report.txt", "report.txt", "D:\\Data\\", "\\", "\\report.txt", ""});
        case kTarvOpenFile:
        case kTarvCopyLargeFileIcon:
        case kTarvCopySmallFileIcon:
            return Pick({"", root_ + "\\a.txt", root_ + "\\\x9F" "ber.txt", root_ + "\\missing.txt", root_,
                         root_ + "\\\x80\x9E\xD8"});
        case kTarvUseSubfolders:
            return Pick({"on", "off", "ON", "Off", " on", "yes", "", std::string(30, 'o')});
        case kTarvSetFolder:
            return Pick({root_, root_ + "\\", root_ + "\\sub", root_ + "\\missing", "", "Z:\\nonexistent\\" + SafeJunk(300)});
        case kTarvSetFileFilter:
            return Pick({"", "*.txt", "*.txt;*.doc", ".gz", "*.tar.gz", "txt", "*.txt;txt;*.doc", "*.txt ",
                         "   ", "*.t?t", "*.*", std::string(300, 'e') + ".txt"});
        case kTarvSetLocale:
            return Pick({"english", "western", "WESTERN", "cyrillic", "czech", "west", "western ", ""});
        default:
            return HostileParameter();
        }
    }

    std::string root_;
    std::vector<TreeFile> tree_;
    std::mt19937 rng_;
};

}  // namespace

TEST_F(StormTest, RandomCallsKeepEveryRuleAndAnswer)
{
    unsigned seed = 20261207;
    unsigned calls = 100000;
    if (const char *s = getenv("TARVEL_STORM_SEED"))
        seed = (unsigned)strtoul(s, NULL, 0);
    if (const char *c = getenv("TARVEL_STORM_CALLS"))
        calls = (unsigned)strtoul(c, NULL, 0);
    rng_.seed(seed);
    printf("storm: seed %u, %u calls\n", seed, calls);

    static const char *const failures[] = {"HeapCreate", "HeapReAlloc", "HeapAlloc", "GlobalAlloc",
                                           "OpenClipboard", "EmptyClipboard", "SetClipboardData",
                                           "GetIconInfo", "SHGetFileInfoW", "GetFileAttributesW"};
    // The model: the settings as the last accepted calls made them (init's values first).
    std::string dialogFilter, initialFolder, extensionFilter;
    bool useSubfolders = true;
    Locale locale = kWestern;
    // The scan list still to come, as (path in Windows codes under scanLocale) in any order.
    std::multiset<std::string> scanRemaining;
    Locale scanLocale = kWestern;
    bool scanKnown = true;  // false after a scan whose completeness the storm cannot tell

    std::map<std::string, unsigned> outcomes;
    unsigned memoryErrors = 0;
    for (unsigned i = 0; i < calls && !HasFatalFailure(); i++) {
        uint32_t function;
        unsigned kind = rng_() % 100;
        if (kind < 2)
            function = 15 + rng_() % 1000;           // unknown numbers
        else if (kind < 3)
            function = kTarvCopyLargeFileIcon + rng_() % 2;  // slow: the shell's icons
        else {
            function = rng_() % 15;
            if (function == kTarvCopyLargeFileIcon || function == kTarvCopySmallFileIcon)
                function = kTarvRestoreClipboard;
        }
        std::string parameter = ParameterFor(function);
        // One call in eight gets one failing Windows call, mostly one the function makes.
        armedFailure.clear();
        if (rng_() % 8 == 0) {
            std::vector<const char *> relevant;
            if (function == kTarvSetFolder)
                relevant = {"HeapCreate", "HeapReAlloc", "HeapAlloc"};
            else if (function == kTarvCopyLargeFileIcon || function == kTarvCopySmallFileIcon)
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
        if (memoryError) {
            fmhost::InjectMemoryError(-108);
            memoryErrors++;
        }
        fileDialog = FileDialogSeen();
        fileDialogAnswer = rng_() % 2 ? root_ + "\\\xFC" "ber.txt" : "";
        fileDialogCodePage = WindowsCodePageOf(locale);
        folderAnswer = rng_() % 2 ? root_ + "\\sub" : "";
        static const INT_PTR shellValues[] = {0, 2, 3, 5, 8, 26, 31, 32, 33, 42};
        shellAnswer = shellValues[rng_() % 10];
        lastAttributesPath.clear();

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
            outcomes[std::to_string(function < 15 ? function : 15) + " " + (result.touched ? r.substr(0, 24) : "(untouched)")]++;
        }
        bool written = result.touched && !lostToMemoryError;

        switch (function) {
        case kTarvVersion:
            if (written) {
                EXPECT_EQ("tarvel v2.0.0.7", r);
            }
            break;
        case kTarvSetDialogFilter: {
            bool accepted = parameter.empty() || FilterAccepted(text);
            dialogFilter = accepted ? text : "";
            if (written) {
                EXPECT_EQ(accepted ? kOk : kIncorrect, r);
            }
            break;
        }
        case kTarvSetInitialFolder: {
            // An empty parameter clears the folder; anything else must name an existing file or folder.
            bool exists = parameter.empty() ||
                          (armedName != "GetFileAttributesW" && GetFileAttributesA(text.c_str()) != INVALID_FILE_ATTRIBUTES);
            initialFolder = exists ? text : "";
            if (written) {
                EXPECT_EQ(exists ? kOk : kIncorrect, r);
            }
            break;
        }
        case kTarvGetFilePath:
            EXPECT_TRUE(fileDialog.called);
            EXPECT_EQ(ExpectedFilter(dialogFilter), fileDialog.filter);
            EXPECT_EQ(initialFolder, fileDialog.initialDir);
            if (written) {
                EXPECT_EQ(WindowsToHost(fileDialogAnswer, locale), r);
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
            if (written) {
                EXPECT_TRUE(r == kOk || r == kNotFound || r == kLaunch) << r;
            }
            if (!text.empty() && !lastAttributesPath.empty()) {
                // The locale in force converts host 0x9F: to 0xFC (u umlaut) under "western",
                // to 0xDF (capital ya) under "cyrillic"; "czech" and no table leave it.
                std::string attributesPath = Narrow(lastAttributesPath, WindowsCodePageOf(locale));
                size_t at = text.find('\x9F');
                char expected = locale == kWestern ? '\xFC' : locale == kCyrillic ? '\xDF' : '\x9F';
                if (at != std::string::npos && at < attributesPath.size()) {
                    EXPECT_EQ(expected, attributesPath[at]);
                }
            }
            break;
        case kTarvChooseFolder:
            if (folderAnswer.empty()) {
                EXPECT_FALSE(result.touched) << "a cancelled browser writes nothing";
            } else if (written) {
                EXPECT_EQ(folderAnswer, r);
            }
            break;
        case kTarvUseSubfolders:
            if (EqualsNoCase(text.substr(0, 23), "on")) useSubfolders = true;
            else if (EqualsNoCase(text.substr(0, 23), "off")) useSubfolders = false;
            if (written) {
                EXPECT_EQ(EqualsNoCase(text.substr(0, 23), "on") || EqualsNoCase(text.substr(0, 23), "off") ? kOk : kIncorrect, r);
            }
            break;
        case kTarvSetFileFilter:
            extensionFilter = parameter.empty() ? "*.*" : text;
            if (written) {
                EXPECT_EQ(kOk, r);
            }
            break;
        case kTarvSetFolder: {
            if (written) {
                EXPECT_TRUE(r == kOk || r == kIterate) << r;
            }
            if (text.empty())
                break;  // an empty folder changes nothing
            scanRemaining.clear();
            scanLocale = locale;
            // A heap failure truncates the list; the paths that come must still be expected ones.
            scanKnown = !(armedName == "HeapCreate" || armedName == "HeapReAlloc" || armedName == "HeapAlloc");
            std::string folder = text;
            bool isRoot = folder == root_ || folder == root_ + "\\";
            bool isSub = folder == root_ + "\\sub";
            for (const TreeFile &f : tree_) {
                bool inside = isRoot ? (useSubfolders || f.topLevel)
                                     : isSub && (f.folder == "\\sub" || (useSubfolders && f.folder == "\\sub\\deeper"));
                if (!inside || !ReferenceMatchesExtensionFilter(f.name, extensionFilter, 255))
                    continue;
                std::string base = isRoot ? root_ : root_ + "\\sub";
                std::string below = isRoot ? f.folder : f.folder.substr(4);
                scanRemaining.insert(base + below + "\\" + NameInScan(root_ + f.folder, f.name, locale));
            }
            break;
        }
        case kTarvGetNextFilePath:
            if (!result.touched) {
                if (scanKnown) {
                    EXPECT_TRUE(scanRemaining.empty()) << scanRemaining.size() << " paths never came";
                }
                scanRemaining.clear();
            } else {
                // The entry is converted with the locale in force now.
                bool found = false;
                for (auto it = scanRemaining.begin(); it != scanRemaining.end(); ++it) {
                    // After a memory error the text is lost but the position moved on all the same.
                    if (!written || WindowsToHost(PathAtFetch(*it, scanLocale, locale), locale) == r) {
                        scanRemaining.erase(it);
                        found = true;
                        break;
                    }
                }
                EXPECT_TRUE(found) << "unexpected or repeated path " << r;
            }
            break;
        case kTarvCopyLargeFileIcon:
        case kTarvCopySmallFileIcon:
            if (written) {
                EXPECT_TRUE(r == kOk || r == kIncorrect) << r;
            }
            break;
        case kTarvRestoreClipboard:
            if (written) {
                EXPECT_TRUE(r == kOk || r == kRestore) << r;
            }
            break;
        case kTarvSetLocale:
            if (EqualsNoCase(text, "western")) locale = kWestern;
            else if (EqualsNoCase(text, "cyrillic")) locale = kCyrillic;
            else if (EqualsNoCase(text, "czech")) locale = kCzech;
            else locale = kNone;
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
           "%u distinct outcomes\n", calls, faultsInjected, memoryErrors, (unsigned)outcomes.size());
}
