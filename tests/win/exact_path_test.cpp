// Paths that name the very file they were found or chosen as: the folder scan, the open-file
// dialog and the folder browser over names that the code page cannot hold, sent back to
// Tarv-OpenFile, on a system whose ANSI code page is 1252; Czech and Russian names under their
// own locales on that system; and device names refused as the dialog's starting folder.
//
// Every path goes back through Tarv-OpenFile with ShellExecuteW faked: the test opens the very
// path the plug-in hands to the shell and compares file identities (volume and file index),
// so a look-alike, a path that leaves the folder, or a name of no file all show.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "encoding/utf16_text.h"
#include "plugin/handlers.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/listing_records.h"
#include "tests/win/support/plugin_fixture.h"
#include "tests/win/support/unix_link.h"

namespace {

const char kOk[] = "000 (OK)";
const char kIncorrectOption[] = "-001 (Incorrect option)";
const char kFileNotFound[] = "-004 (File not found)";
const unsigned kMacRoman = 10000, kMacCyrillic = 10007, kMacCentralEuropean = 10029;

std::wstring Wide(const std::string &text, UINT codePage = CP_ACP)
{
    int length = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring wide((size_t)length, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &wide[0], length);
    return wide;
}

std::string Utf8(const std::wstring &wide)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), NULL, 0, NULL, NULL);
    std::string utf8((size_t)length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], length, NULL, NULL);
    return utf8;
}

// Volume serial number and file index: the file itself, whatever name leads to it.
typedef std::vector<DWORD> FileId;

FileId IdentityOf(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return FileId();
    BY_HANDLE_FILE_INFORMATION information;
    FileId id;
    if (GetFileInformationByHandle(file, &information))
        id = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    CloseHandle(file);
    return id;
}

bool MakeFileW(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create " << Utf8(path) << ", error " << GetLastError();
        return false;
    }
    CloseHandle(file);
    return true;
}

bool MakeFolderW(const std::wstring &path)
{
    if (CreateDirectoryW(path.c_str(), NULL))
        return true;
    ADD_FAILURE() << "cannot create " << Utf8(path) << ", error " << GetLastError();
    return false;
}

// What the plug-in handed to the shell, in order; the shell itself is never reached.
std::vector<std::wstring> shellPaths;

HINSTANCE WINAPI RecordShellExecuteW(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    shellPaths.push_back(file != NULL ? file : L"<NULL>");
    return (HINSTANCE)42;
}

// The paths the plug-in asked GetFileAttributesW about, in order; each call goes on to Windows.
std::vector<std::wstring> attributePaths;
DWORD(WINAPI *realGetFileAttributesW)(LPCWSTR);
DWORD WINAPI RecordGetFileAttributesW(LPCWSTR path)
{
    attributePaths.push_back(path != NULL ? path : L"<NULL>");
    return realGetFileAttributesW(path);
}

// The search without short names, as on a volume that keeps none.
HANDLE(WINAPI *realFindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
BOOL(WINAPI *realFindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
HANDLE WINAPI FindFirstWithoutShortNames(LPCWSTR pattern, LPWIN32_FIND_DATAW entry)
{
    HANDLE search = realFindFirstFileW(pattern, entry);
    if (search != INVALID_HANDLE_VALUE)
        entry->cAlternateFileName[0] = 0;
    return search;
}
BOOL WINAPI FindNextWithoutShortNames(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    BOOL found = realFindNextFileW(search, entry);
    if (found)
        entry->cAlternateFileName[0] = 0;
    return found;
}
DWORD WINAPI NoShortPathName(LPCWSTR longPath, LPWSTR shortPath, DWORD capacity)
{
    DWORD length = lstrlenW(longPath);
    if (length >= capacity)
        return length + 1;
    lstrcpyW(shortPath, longPath);
    return length;
}

// The names of the hostile tree: characters that 1252 lacks, where the ANSI functions gave a
// look-alike of another name ("Lódz.txt", "evil.txt", "x\..\..\evil.txt") or a name of no
// file ("??????.txt").
const wchar_t *const kHostileNames[] = {
    L"\x0141\x00f3" L"d\x017a.txt",              // Łódź.txt
    L"\xff45\xff56\xff49\xff4c.txt",             // ｅｖｉｌ.txt, full-width letters
    L"x\xff3c..\xff3c..\xff3c" L"evil.txt",     // x＼..＼..＼evil.txt, full-width reverse solidus
    L"\x041c\x043e\x0441\x043a\x0432\x0430.txt", // Москва.txt
    L"\x6771\x4eac.txt",                         // 東京.txt
    L"P\x0159\x00edli\x0161.txt",                // Příliš.txt
};
// The look-alikes' own files: the plug-in must never lead to them in place of the above.
const wchar_t *const kDecoyNames[] = {L"L\x00f3" L"dz.txt", L"evil.txt"};
const wchar_t kCyrillicFolder[] = L"\x041f\x0430\x043f\x043a\x0430";  // Папка
const wchar_t kCyrillicFile[] = L"\x0444\x0430\x0439\x043b.txt";       // файл.txt

class ExactPathTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(1252u, GetACP()) << "these tests expect a system whose ANSI code page is 1252";
        shellPaths.clear();
        ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "ShellExecuteW", RecordShellExecuteW));
    }

    // A tree under the scratch folder: outer\inner\tree holds the hostile names, the decoys
    // and the Cyrillic folder with a file; outer\inner\evil.txt is where "x\..\..\evil.txt"
    // leads from tree. Fills files with every file that the scan of tree must reach.
    std::wstring MakeHostileTree(std::map<FileId, std::wstring> *files)
    {
        std::wstring outer = Wide(TestScratchFolder()) + L"\\outer";
        std::wstring tree = outer + L"\\inner\\tree";
        if (!MakeFolderW(outer) || !MakeFolderW(outer + L"\\inner") || !MakeFolderW(tree) ||
            !MakeFileW(outer + L"\\inner\\evil.txt") || !MakeFolderW(tree + L"\\" + kCyrillicFolder))
            return std::wstring();
        std::vector<std::wstring> names(std::begin(kHostileNames), std::end(kHostileNames));
        names.insert(names.end(), std::begin(kDecoyNames), std::end(kDecoyNames));
        names.push_back(std::wstring(kCyrillicFolder) + L"\\" + kCyrillicFile);
        for (const std::wstring &name : names) {
            if (!MakeFileW(tree + L"\\" + name))
                return std::wstring();
            (*files)[IdentityOf(tree + L"\\" + name)] = name;
        }
        return tree;
    }

    // Scans folder (a host text) and returns every path the iteration gives.
    std::vector<std::string> Scan(const std::string &folder)
    {
        EXPECT_EQ(kOk, CallText(kTarvSetFolder, folder));
        std::vector<std::string> paths;
        for (int i = 0; i < 100; i++) {
            fmhost::CallResult next = Call(kTarvGetNextFilePath);
            if (!next.touched)
                break;
            paths.push_back(next.text);
        }
        return paths;
    }

    // Sends path (host codes) to Tarv-OpenFile. Returns what the file that the plug-in handed
    // to the shell holds, or "" when it answered -004 without the shell.
    std::string ContentOpenedBy(const std::string &path)
    {
        shellPaths.clear();
        std::string answer = CallText(kTarvOpenFile, path);
        if (shellPaths.empty()) {
            EXPECT_EQ(kFileNotFound, answer);
            return std::string();
        }
        EXPECT_EQ(kOk, answer);
        HANDLE file = CreateFileW(shellPaths.back().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                  OPEN_EXISTING, 0, NULL);
        char content[256] = {0};
        DWORD read = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, content, sizeof content - 1, &read, NULL);
            CloseHandle(file);
        }
        EXPECT_NE(0u, read) << "the shell was handed " << Utf8(shellPaths.back())
                            << ", which names no file of the tree";
        return std::string(content, read);
    }

    // Sends path (host codes) to Tarv-OpenFile. Returns the identity of what the plug-in
    // handed to the shell, or an empty identity when it answered -004 without the shell.
    FileId Open(const std::string &path)
    {
        shellPaths.clear();
        std::string answer = CallText(kTarvOpenFile, path);
        if (shellPaths.empty()) {
            EXPECT_EQ(kFileNotFound, answer) << path;
            return FileId();
        }
        EXPECT_EQ(kOk, answer) << path;
        EXPECT_EQ(1u, shellPaths.size());
        FileId id = IdentityOf(shellPaths.back());
        EXPECT_FALSE(id.empty()) << "the shell was handed " << Utf8(shellPaths.back())
                                 << ", which names no file";
        return id;
    }
};

// Names that Windows path parsing rewrites, splits or reads as a way back, made on the Unix
// side as only Wine (or NTFS through "\\?\" paths) can hold them. outer/inner/in is scanned;
// "x\..\..\evil.txt" and the folder "..\..\out" lead out of it, to inner/evil.txt and
// outer/out. "a\.." and "b\.." lead the walk back into in, twice per level. Every file holds its
// own path below outer, so the file a path opens shows by what it reads.
const char *const kHostileFiles[] = {
    "inner/in/tdot.txt", "inner/in/tdot.txt.", "inner/in/tsp.txt", "inner/in/tsp.txt ",
    "inner/in/x\\..\\..\\evil.txt",
    "inner/in/\xd0\x82.txt", "inner/in/\xd1\x92.txt",                  // Ђ.txt, ђ.txt: one short name in Wine
    "inner/in/\xd0\x9c\xd0\xbe\xd1\x81\xd0\xba\xd0\xb2\xd0\xb0.txt",  // Москва.txt
    "inner/in/\xc3\x8c\xc3\xae\xc3\xb1\xc3\xaa\xc3\xa2\xc3\xa0.txt",  // Ìîñêâà.txt, its look-alike
    "inner/in/sub/f.txt", "inner/in/sub./f.txt", "inner/in/..\\..\\out/f.txt",
    "inner/in/a\\../f.txt", "inner/in/b\\../f.txt",
    "inner/in/report.txt.", "inner/in/REPO~1F4.TXT",  // the second: Wine's short name of the first
    "inner/in/case.txt.", "inner/in/CASE.txt.",       // one short name in Wine
    "inner/evil.txt", "out/o.txt",
};
// Files that come back by a path that opens them, under every locale: ordinary names, and
// names with a short name of their own (proven, in Wine as on NTFS).
const char *const kReachedFiles[] = {
    "inner/in/tdot.txt", "inner/in/tdot.txt.", "inner/in/tsp.txt", "inner/in/tsp.txt ", "inner/in/sub/f.txt", "inner/in/sub./f.txt",
    "inner/in/REPO~1F4.TXT",
};
// Files that no path may open: their short name is another entry's name, or another entry's
// short name too, so that it proves nothing, whichever of the two it opens.
const char *const kUnreachedFiles[] = {"inner/in/report.txt.", "inner/in/case.txt.", "inner/in/CASE.txt."};

// The real dialogs, driven from the test.
class ExactPathDialogTest : public ExactPathTest {
protected:
    void SetUp() override
    {
        ExactPathTest::SetUp();
        fmhost::SetAutoCloseModals(false);
    }

    // Tarv-GetFilePath with the real dialog: chosen typed into its file-name box, then OK.
    // The path it gave in *path.
    void ChooseInFileDialog(const std::wstring &chosen, std::string *path)
    {
        bool pressed = false;
        DialogDriver driver({
            [&](HWND dialog) { SetWindowTextW(GetDlgItem(dialog, kFileNameBox), chosen.c_str()); },
            [&](HWND dialog) { pressed = PressButton(dialog, IDOK); },
        });
        *path = Call(kTarvGetFilePath, "Pick").text;
        ASSERT_TRUE(driver.Seen()) << "the dialog never appeared";
        EXPECT_FALSE(driver.TimedOut());
        EXPECT_TRUE(pressed);
    }

    // Tarv-ChooseFolder with the real browser: select picks the folder in it, then OK. What
    // it gave in *result.
    void ChooseInFolderBrowser(const std::function<bool(HWND)> &select, fmhost::CallResult *result)
    {
        bool selected = false, pressed = false;
        DialogDriver driver({
            [&](HWND dialog) { selected = select(dialog); },
            [&](HWND dialog) { pressed = PressButton(dialog, IDOK); },
        });
        *result = Call(kTarvChooseFolder, "Pick a folder");
        ASSERT_TRUE(driver.Seen()) << "the browser never appeared";
        EXPECT_FALSE(driver.TimedOut());
        EXPECT_TRUE(selected);
        EXPECT_TRUE(pressed);
        ASSERT_TRUE(result->touched);
    }
};

}  // namespace

// The plug-in's own tables for the locales' code pages read every byte as Windows does.
TEST(CodePageTablesTest, ReadEveryByteAsWindowsDoes)
{
    for (unsigned codePage : {1250u, 1251u, 1252u}) {
        const uint16_t *upperHalf = WindowsCodePageUpperHalf(codePage);
        ASSERT_TRUE(upperHalf != NULL);
        for (int code = 0x80; code < 0x100; code++) {
            char byte = (char)code;
            WCHAR unit = 0;
            ASSERT_EQ(1, MultiByteToWideChar(codePage, 0, &byte, 1, &unit, 1));
            EXPECT_EQ(unit, upperHalf[code - 0x80]) << "code page " << codePage << ", code " << code;
        }
    }
}

// Under "western": every file of the hostile tree is reached exactly once, through the path
// the scan gave for it; no path leads to a look-alike's file or out of the folder.
TEST_F(ExactPathTest, WesternScanGivesPathsToTheVeryFilesFound)
{
    std::map<FileId, std::wstring> files;
    std::wstring tree = MakeHostileTree(&files);
    ASSERT_FALSE(tree.empty());
    ASSERT_EQ(9u, files.size());
    std::string treeText = fmhost::Utf8ToHost(Utf8(tree), kMacRoman);

    std::vector<std::string> paths = Scan(treeText);
    std::map<FileId, int> reached;
    for (const std::string &path : paths) {
        SCOPED_TRACE(fmhost::HostToUtf8(path, kMacRoman));
        EXPECT_EQ(treeText + "\\", path.substr(0, treeText.size() + 1));
        FileId id = Open(path);
        EXPECT_TRUE(files.count(id)) << "leads to a file that is not in the tree";
        reached[id]++;
    }
    for (const auto &file : files) {
        SCOPED_TRACE(Utf8(file.second));
        EXPECT_EQ(1, reached[file.first]) << "reached this many times";
    }
    EXPECT_EQ(files.size(), paths.size());
}

// Where the volume keeps no short name, each character that does not fit comes back as '?':
// such a path names no file, and Tarv-OpenFile answers -004 without calling the shell.
TEST_F(ExactPathTest, WithoutShortNamesUnfitCharactersBecomeQuestionMarks)
{
    std::map<FileId, std::wstring> files;
    std::wstring tree = MakeHostileTree(&files);
    ASSERT_FALSE(tree.empty());
    realFindFirstFileW = fmhost::HookImportAs(
        "kernel32.dll", "FindFirstFileW", FindFirstWithoutShortNames);
    realFindNextFileW = fmhost::HookImportAs(
        "kernel32.dll", "FindNextFileW", FindNextWithoutShortNames);
    ASSERT_TRUE(realFindFirstFileW != NULL && realFindNextFileW != NULL);

    std::string treeText = fmhost::Utf8ToHost(Utf8(tree), kMacRoman);
    std::vector<std::string> expected = {
        "?\x97" "d?.txt", "????.txt", "x?..?..?evil.txt", "??????.txt", "??.txt", "P?\x92li\xba.txt",
        "?????\\????.txt",
    };
    std::vector<std::string> paths = Scan(treeText);
    for (const std::string &name : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(1, std::count(paths.begin(), paths.end(), treeText + "\\" + name));
        EXPECT_TRUE(Open(treeText + "\\" + name).empty());
    }
    // The names that fit still reach their files.
    for (const wchar_t *decoy : kDecoyNames) {
        std::string path = treeText + "\\" + fmhost::Utf8ToHost(Utf8(decoy), kMacRoman);
        EXPECT_EQ(1, std::count(paths.begin(), paths.end(), path));
        EXPECT_EQ(IdentityOf(tree + L"\\" + decoy), Open(path));
    }
    EXPECT_EQ(9u, paths.size());
}

// Under "czech" and "cyrillic", on this 1252 system, names of their code pages come back
// exactly, in the host's codes of each; and lead back to their files.
TEST_F(ExactPathTest, CzechAndCyrillicNamesComeBackExactly)
{
    const std::wstring czech = L"P\x0159\x00edli\x0161 \x017elu\x0165ou\x010dk\x00fd k\x016f\x0148.txt";
    const std::wstring russian = L"\x041c\x043e\x0441\x043a\x0432\x0430.txt";
    std::wstring folder = Wide(TestScratchFolder());
    ASSERT_TRUE(MakeFileW(folder + L"\\" + czech));
    ASSERT_TRUE(MakeFileW(folder + L"\\" + russian));
    std::string folderText = TestScratchFolder();  // ASCII: the same in every host code

    static const struct {
        const char *locale;
        unsigned hostCodePage;
        const std::wstring *exact;  // comes back exactly
        const std::wstring *other;  // does not fit: comes back by its short name
    } cases[] = {
        {"czech", kMacCentralEuropean, &czech, &russian},
        {"cyrillic", kMacCyrillic, &russian, &czech},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.locale);
        ASSERT_EQ(kOk, CallText(kTarvSetLocale, c.locale));
        std::vector<std::string> paths = Scan(folderText);
        std::string exact = folderText + "\\" + fmhost::Utf8ToHost(Utf8(*c.exact), c.hostCodePage);
        EXPECT_EQ(1, std::count(paths.begin(), paths.end(), exact));
        EXPECT_EQ(IdentityOf(folder + L"\\" + *c.exact), Open(exact));
        for (const std::string &path : paths) {
            if (path != exact) {
                EXPECT_EQ(IdentityOf(folder + L"\\" + *c.other), Open(path)) << path;
            }
        }
        EXPECT_EQ(2u, paths.size());
    }
}

// The real open-file dialog, picking ｅｖｉｌ.txt beside evil.txt: the path that comes back
// leads to ｅｖｉｌ.txt. Without short names it holds '?' and leads nowhere.
TEST_F(ExactPathDialogTest, FileDialogGivesTheChosenFileNotALookAlike)
{
    std::wstring folder = Wide(TestScratchFolder());
    const std::wstring chosen = folder + L"\\\xff45\xff56\xff49\xff4c.txt";
    ASSERT_TRUE(MakeFileW(chosen));
    ASSERT_TRUE(MakeFileW(folder + L"\\evil.txt"));
    ASSERT_EQ(kOk, CallText(kTarvSetInitialFolder, TestScratchFolder()));

    for (bool shortNames : {true, false}) {
        SCOPED_TRACE(shortNames ? "with short names" : "without short names");
        if (!shortNames) {
            ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetShortPathNameW", NoShortPathName));
        }
        std::string path;
        ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(chosen, &path));
        SCOPED_TRACE(path);
        EXPECT_EQ(TestScratchFolder() + "\\", path.substr(0, TestScratchFolder().size() + 1));
        if (shortNames)
            EXPECT_EQ(IdentityOf(chosen), Open(path));
        else {
            EXPECT_EQ(TestScratchFolder() + "\\????.txt", path);
            EXPECT_TRUE(Open(path).empty());
        }
    }
}

// The real folder browser, picking a Cyrillic folder: the path that comes back (in the
// system's code page, which lacks Cyrillic) leads to that folder.
TEST_F(ExactPathDialogTest, FolderBrowserGivesTheChosenFolder)
{
    std::wstring folder = Wide(TestScratchFolder()) + L"\\" + kCyrillicFolder;
    ASSERT_TRUE(MakeFolderW(folder));
    fmhost::CallResult result;
    ASSERT_NO_FATAL_FAILURE(ChooseInFolderBrowser(
        [&](HWND dialog) { return SelectFolderPath(dialog, folder); }, &result));
    SCOPED_TRACE(result.text);
    EXPECT_EQ(std::string::npos, result.text.find('?'));
    EXPECT_EQ(IdentityOf(folder), Open(result.text));
}

// The real folder browser, picking a Unix folder named "x\y" beside a folder x that holds a
// folder y: the shell gives the chosen folder the path ...\x\y, which leads to the other one.
// The path that comes back names the chosen folder, or none. Before, it led to x\y.
TEST_F(ExactPathDialogTest, FolderBrowserNeverGivesAPathThroughANameWithABackslash)
{
    std::string parent = TestScratchFolder() + "\\fb";
    UnixTree tree = {UnixPathOf(TestScratchFolder()) + "/fb"};
    ASSERT_NE("/fb", tree.path);
    std::string error;
    ASSERT_TRUE(RunUnixScript("mkdir -p " + ShellQuoted(tree.path + "/x/y") + " " +
                                  ShellQuoted(tree.path + "/x\\y") + "\n",
                              &error)) << error;
    const FileId other = IdentityOf(Wide(parent) + L"\\x\\y");
    ASSERT_FALSE(other.empty());
    fmhost::CallResult result;
    ASSERT_NO_FATAL_FAILURE(ChooseInFolderBrowser(
        [&](HWND dialog) {
            return SelectFolderPath(dialog, parent) && SelectChildFolder(dialog, L"x\\y");
        },
        &result));
    SCOPED_TRACE(result.text);
    EXPECT_EQ(parent + "\\", result.text.substr(0, parent.size() + 1));
    EXPECT_NE(other, Open(result.text));
}

// Device names, and folders of 258 units or more (a relative one, read from the current
// folder, included), are no starting folder: -001, and the next dialog opens normally (each
// as its starting folder brought the host down inside Wine's dialog).
TEST_F(ExactPathDialogTest, DeviceNamesAreRefusedAsTheInitialFolder)
{
    const std::string longName(258 - 1 - TestScratchFolder().size(), 'l');
    ASSERT_TRUE(CreateDirectoryA((TestScratchFolder() + "\\" + longName).c_str(), NULL));
    ASSERT_TRUE(SetCurrentDirectoryA(TestScratchFolder().c_str()));
    for (const std::string &device : {std::string("NUL"), std::string("COM1"), std::string("C:\\x\\AUX.txt"),
                                      std::string("con"), std::string("\\\\.\\C:"),
                                      TestScratchFolder() + "\\" + longName, longName}) {
        SCOPED_TRACE(device);
        EXPECT_EQ(kIncorrectOption, CallText(kTarvSetInitialFolder, device));
        bool cancelled = false;
        DialogDriver driver({[&](HWND dialog) { cancelled = PressButton(dialog, IDCANCEL); }});
        fmhost::CallResult result = Call(kTarvGetFilePath);
        EXPECT_TRUE(driver.Seen()) << "the dialog never appeared";
        EXPECT_TRUE(cancelled);
        EXPECT_EQ("", result.text);
    }
    EXPECT_EQ(kFileNotFound, CallText(kTarvOpenFile, "NUL"));
    EXPECT_TRUE(shellPaths.empty());
}

// The hostile tree, scanned under "english" and "western", and under "cyrillic" with its
// paths fetched under "western": the scan ends (a folder named like a way back is not
// entered), no two paths open the same file, none opens a file outside the tree, and every
// file with an ordinary or a proven short name comes back exactly once, and none by a short
// name that another entry answers to (by its own name or its short name). Before, "tdot.txt."
// came back as a path to tdot.txt, "x\..\..\evil.txt" opened inner\evil.txt, "sub." was
// read as sub, "a\.." and "b\.." made the walk grow as 2^depth, ђ.txt came back by Ђ.txt's
// short name, and Москва.txt as its look-alike once the table changed.
TEST_F(ExactPathTest, NamesThatWindowsWouldRewriteNeverLeadElsewhere)
{
    std::string outer = TestScratchFolder() + "\\outer";
    std::string unixOuter = UnixPathOf(TestScratchFolder()) + "/outer";
    ASSERT_NE("/outer", unixOuter);
    std::string script = "rm -rf " + ShellQuoted(unixOuter) + "\n";
    for (const char *file : kHostileFiles) {
        std::string path = unixOuter + "/" + file;
        script += "mkdir -p " + ShellQuoted(path.substr(0, path.rfind('/'))) + "\n";
        script += "printf %s " + ShellQuoted(file) + " >" + ShellQuoted(path) + "\n";
    }
    std::string error;
    UnixTree tree = {unixOuter};
    ASSERT_TRUE(RunUnixScript(script, &error)) << error;
    std::string folder = outer + "\\inner\\in";  // ASCII: the same in every host code
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Wide(folder + "\\report.txt*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    ASSERT_EQ(std::wstring(L"REPO~1F4.TXT"), found.cAlternateFileName) << "Wine's short names have changed";

    static const struct {
        const char *scanLocale, *fetchLocale;
        unsigned fetchHostCodePage;
    } cases[] = {
        {"english", "english", 1252}, {"western", "western", kMacRoman}, {"cyrillic", "western", kMacRoman},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.scanLocale) + ", fetched under " + c.fetchLocale);
        ASSERT_EQ(kOk, CallText(kTarvSetLocale, c.scanLocale));
        EXPECT_EQ(kOk, CallText(kTarvSetFolder, folder));
        ASSERT_EQ(kOk, CallText(kTarvSetLocale, c.fetchLocale));
        std::vector<std::string> paths;
        for (fmhost::CallResult next; paths.size() < 50 && (next = Call(kTarvGetNextFilePath)).touched;)
            paths.push_back(next.text);
        EXPECT_LT(paths.size(), 50u) << "the walk went round";

        std::map<std::string, int> opened;
        for (const std::string &path : paths) {
            SCOPED_TRACE(fmhost::HostToUtf8(path, c.fetchHostCodePage));
            // Ђ.txt and ђ.txt share a short name, which proves neither: both come back masked,
            // as one path that names no file. A path that names a file comes once.
            if (path.find('?') == std::string::npos) {
                EXPECT_EQ(1, std::count(paths.begin(), paths.end(), path)) << "came back twice";
            }
            EXPECT_EQ(folder + "\\", path.substr(0, folder.size() + 1));
            std::string content = ContentOpenedBy(path);
            if (!content.empty()) {
                EXPECT_EQ("inner/in/", content.substr(0, 9)) << "opens " << content << ", outside the folder";
                EXPECT_EQ(1, ++opened[content]) << "opens " << content << ", which another path opens";
            }
        }
        for (const char *file : kReachedFiles)
            EXPECT_EQ(1, opened[file]) << file << " was not reached";
        for (const char *file : kUnreachedFiles)
            EXPECT_EQ(0, opened[file]) << file << " came back by a short name that proves nothing";
    }
}

// The files and folders the plug-in opened, in order; each open goes on to Windows.
std::vector<std::wstring> openedPaths;
HANDLE(WINAPI *realCreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
HANDLE WINAPI RecordCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE model)
{
    openedPaths.push_back(path != NULL ? path : L"<NULL>");
    return realCreateFileW(path, access, share, security, disposition, flags, model);
}

// A path that names no file by the gate's rules reaches no Windows call: the starting folder
// answers -001, Tarv-OpenFile -004 and the scan 000 with no entries, as for a missing one.
// Wine answers most of these as missing files anyway, or worse: it scanned "\??\C:\..." in full
// and sent "\\.\NUL" a directory query, and the shell read "*" and "?" as wildcards and only
// the first 259 units of a longer path. So the calls are recorded, not only the answers.
// "\\?\C:\...", forward slashes and a trailing backslash still name the folder. Every other
// call gets the path as Win32 resolves it, and the scan hands back paths that begin with it:
// the shell looked a relative name up in the host program's folder first, "x\nul.txt\." is the
// device "x\nul.txt", and the shell drops the final dot that a "\\?\" path keeps.
TEST_F(ExactPathTest, PathsThatNameNoFileNeverReachWindows)
{
    const std::string folder = TestScratchFolder();  // ASCII
    ASSERT_TRUE(MakeFile(folder + "\\e.txt"));
    // Paths whose first 259 units name pppp...\e.txt, or end in "\NUL".
    std::string padded = folder + "\\" + std::string(259 - 7 - folder.size(), 'p');
    ASSERT_TRUE(CreateDirectoryA(padded.c_str(), NULL));
    ASSERT_TRUE(MakeFile(padded + "\\e.txt"));
    ASSERT_EQ(259u, (padded + "\\e.txt").size());
    std::string slashed = folder;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    realGetFileAttributesW = fmhost::HookImportAs("kernel32.dll", "GetFileAttributesW", RecordGetFileAttributesW);
    realCreateFileW = fmhost::HookImportAs("kernel32.dll", "CreateFileW", RecordCreateFileW);
    ASSERT_TRUE(realGetFileAttributesW != NULL && realCreateFileW != NULL);
    ASSERT_EQ(kOk, CallText(kTarvUseSubfolders, "off"));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\rel").c_str(), NULL) && MakeFile(folder + "\\rel\\e.txt"));
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));

    const struct {
        std::string path;
        bool admitted;
        std::string resolved{};  // what Windows gets; empty: the path with '\' for '/'
    } cases[] = {
        {"\\?\?\\GLOBALROOT\\Device\\Null", false}, {"\\?\?\\" + folder, false},
        {"\\\\?\\GLOBALROOT\\Device\\Null", false}, {"\\\\.\\C:\\..\\GLOBALROOT\\Device\\Null", false},
        {"\\\\.\\NUL", false}, {folder + "\\*.txt", false}, {folder + "\\?.txt", false}, {folder + "\\*", false},
        {padded + "\\e.txt\\nothing.txt", false}, {padded + "\\q\\NULxxxx.txt", false},
        {folder + "\\nul.txt\\.", false}, {folder + "\\nul.txt/.", false}, {folder + "\\con.txt\\.\\.", false},
        {"\\\\?\\" + folder + ".", false}, {"\\\\?\\" + folder + "\\rel ", false},
        {"\\\\?\\" + folder, true}, {slashed, true}, {folder + "\\", true}, {"rel", true, folder + "\\rel"},
        {"//?/" + slashed + ".", true, "\\\\?\\" + folder},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        attributePaths.clear();
        openedPaths.clear();
        shellPaths.clear();
        EXPECT_EQ(c.admitted ? kOk : kIncorrectOption, CallText(kTarvSetInitialFolder, c.path));
        EXPECT_EQ(c.admitted ? kOk : kFileNotFound, CallText(kTarvOpenFile, c.path));
        std::vector<std::string> paths = Scan(c.path);
        if (!c.admitted) {
            EXPECT_EQ(std::vector<std::string>(), paths);
            EXPECT_EQ(std::vector<std::wstring>(), attributePaths);
            EXPECT_EQ(std::vector<std::wstring>(), openedPaths);
            EXPECT_EQ(std::vector<std::wstring>(), shellPaths);
            continue;
        }
        std::string resolved = c.resolved.empty() ? c.path : c.resolved;
        std::replace(resolved.begin(), resolved.end(), '/', '\\');
        std::string separator = resolved.back() == '\\' ? "" : "\\";
        // The scan's paths begin with the folder as written, where it is the full path.
        EXPECT_EQ(std::vector<std::string>{(c.resolved.empty() ? c.path : resolved) + separator + "e.txt"}, paths);
        EXPECT_EQ((std::vector<std::wstring>{Wide(resolved), Wide(resolved)}), attributePaths);
        EXPECT_EQ(std::vector<std::wstring>{Wide(resolved)}, shellPaths);
        EXPECT_EQ(std::vector<std::wstring>{Wide(resolved + separator)}, openedPaths);
    }
}

// Names in pairs that differ in case alone (Cyrillic capital and small letters, in UTF-8),
// which Wine gives one short name: name + suffix, capital first in even pairs and small first
// in odd ones, the order they are to be made in. Wine opens a clashing short name as the first
// of the pair it meets in the folder, and a search for it answers with the first by name; made
// in both orders, some pairs disagree on any file system.
std::vector<std::string> ClashingPairNames(int pairs, const char *suffix)
{
    std::vector<std::string> names;
    for (int i = 0; i < pairs; i++) {
        std::string capital = Utf8(std::wstring(1, (wchar_t)(0x0410 + i))) + suffix;
        std::string small = Utf8(std::wstring(1, (wchar_t)(0x0430 + i))) + suffix;
        names.push_back(i % 2 == 0 ? capital : small);
        names.push_back(i % 2 == 0 ? small : capital);
    }
    return names;
}

// What the file at path holds, or "" when it cannot be read.
std::string ContentOf(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    char content[256] = {0};
    DWORD read = 0;
    ReadFile(file, content, sizeof content - 1, &read, NULL);
    CloseHandle(file);
    return std::string(content, read);
}

// The real open-file dialog, picking each file of the pairs of ClashingPairNames whose short
// name opens the other file than a search for it finds: the path that comes back opens the
// very file picked, or none. Before, the file the search found came back by the short name,
// which opens the other one.
TEST_F(ExactPathDialogTest, FileDialogNeverGivesAnotherFilesShortName)
{
    const std::string folder = TestScratchFolder() + "\\clash";
    const std::wstring wideFolder = Wide(folder, CP_ACP);
    const std::vector<std::string> names = ClashingPairNames(16, ".txt");
    UnixTree tree = {UnixPathOf(TestScratchFolder()) + "/clash"};
    ASSERT_NE("/clash", tree.path);
    std::string script = "mkdir " + ShellQuoted(tree.path) + "\n", error;
    for (const std::string &name : names)
        script += "printf %s " + ShellQuoted(name) + " >" + ShellQuoted(tree.path + "/" + name) + "\n";
    ASSERT_TRUE(RunUnixScript(script, &error)) << error;
    ASSERT_EQ(kOk, CallText(kTarvSetInitialFolder, folder));

    std::vector<std::string> picked;
    for (size_t i = 0; i < names.size() && picked.size() < 4; i += 2) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((wideFolder + L"\\" + Wide(names[i], CP_UTF8)).c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, search);
        FindClose(search);
        std::wstring shortPath = wideFolder + L"\\" + found.cAlternateFileName;
        HANDLE byShortName = FindFirstFileW(shortPath.c_str(), &found);
        ASSERT_NE(INVALID_HANDLE_VALUE, byShortName);
        FindClose(byShortName);
        if (Utf8(found.cFileName) != ContentOf(shortPath))
            picked.insert(picked.end(), {names[i], names[i + 1]});
    }
    ASSERT_FALSE(picked.empty()) << "every pair's short name opens the file a search finds";

    for (const std::string &name : picked) {
        SCOPED_TRACE(name);
        std::string path;
        ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(wideFolder + L"\\" + Wide(name, CP_UTF8), &path));
        SCOPED_TRACE(path);
        ASSERT_EQ(folder + "\\", path.substr(0, folder.size() + 1));
        std::string content = ContentOpenedBy(path);
        EXPECT_TRUE(content.empty() || content == name) << "opens " << content;
    }
}

// A scan under "english" of the pairs of ClashingPairNames, as files and as folders (the
// capital letter's folder holding two files, the small letter's one): each folder is read
// once, so five paths come back for each pair, and no two open the same file. Before, the
// walk entered a folder by a short name that opens the other folder of its pair: one folder
// was read twice and the other never.
TEST_F(ExactPathTest, ClashingShortNamesLeadEachToItsOwnFileOrFolder)
{
    const std::string folder = TestScratchFolder() + "\\clash";
    const int pairs = 16;
    UnixTree tree = {UnixPathOf(TestScratchFolder()) + "/clash"};
    ASSERT_NE("/clash", tree.path);
    std::string script = "mkdir " + ShellQuoted(tree.path) + "\n", error;
    for (const std::string &name : ClashingPairNames(pairs, ".txt"))
        script += "printf %s " + ShellQuoted(name) + " >" + ShellQuoted(tree.path + "/" + name) + "\n";
    std::vector<std::string> folders = ClashingPairNames(pairs, "");
    for (size_t i = 0; i < folders.size(); i++) {
        bool capital = (i % 2 == 0) == (i / 2 % 2 == 0);
        std::string sub = tree.path + "/" + folders[i];
        script += "mkdir " + ShellQuoted(sub) + "\n";
        for (const char *file : capital ? std::vector<const char *>{"1.txt", "2.txt"} : std::vector<const char *>{"1.txt"})
            script += "printf %s " + ShellQuoted(folders[i] + "/" + file) + " >" + ShellQuoted(sub + "/" + file) + "\n";
    }
    ASSERT_TRUE(RunUnixScript(script, &error)) << error;

    ASSERT_EQ(kOk, CallText(kTarvSetLocale, "english"));
    EXPECT_EQ(kOk, CallText(kTarvSetFolder, folder));
    std::vector<std::string> paths;
    for (fmhost::CallResult next; paths.size() < 200 && (next = Call(kTarvGetNextFilePath)).touched;)
        paths.push_back(next.text);
    EXPECT_EQ(pairs * 5u, paths.size());
    std::map<std::string, int> opened;
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        std::string content = ContentOpenedBy(path);
        if (!content.empty()) {
            EXPECT_EQ(1, ++opened[content]) << "opens " << content << ", which another path opens";
        }
    }
}

// Twins: two Unix names that reach Windows as one (invalid UTF-8 becomes U+FFFD) and share a
// short name, which opens the first of them. Neither twin is reached by a name that opens the
// other: the scan gives each twin file as a path that names no file and enters neither twin
// folder, and the open-file dialog gives the picked twin the same way. Before, both files came
// back by one short name, and the first folder was walked twice and the second never.
TEST_F(ExactPathDialogTest, TwinsComeBackAsPathsToNoFile)
{
    const std::string folder = TestScratchFolder() + "\\twins";
    UnixTree tree = {UnixPathOf(TestScratchFolder()) + "/twins"};
    ASSERT_NE("/twins", tree.path);
    std::string error;
    ASSERT_TRUE(RunUnixScript("mkdir " + ShellQuoted(tree.path) + " && cd " + ShellQuoted(tree.path) +
                                  " && printf a >\"$(printf 'inv\\377.txt')\" && printf b >\"$(printf 'inv\\376.txt')\""
                                  " && mkdir \"$(printf 'caf\\351')\" \"$(printf 'caf\\350')\""
                                  " && printf c >\"$(printf 'caf\\351')/f.txt\" && printf d >\"$(printf 'caf\\350')/g.txt\""
                                  " && printf e >plain.txt\n",
                              &error)) << error;
    const std::string masked = folder + "\\inv?.txt";
    std::vector<std::string> paths = Scan(folder);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ((std::vector<std::string>{masked, masked, folder + "\\plain.txt"}), paths);
    EXPECT_TRUE(Open(masked).empty());

    std::string chosen;
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(Wide(folder) + L"\\inv\xfffd.txt", &chosen));
    EXPECT_EQ(masked, chosen);
}
