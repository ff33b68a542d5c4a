// Scans that never hang the host: linked folders that lead back up are not entered, more
// linked folders than the walk keeps track of stop it, and a long scan (made long by a fake
// clock through the import table, not by a huge tree) shows its progress window, keeps the
// host's queue moving, and stops on Cancel with -003 and the paths found so far.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "resources/resource_ids.h"
#include "tests/win/support/gdi_objects.h"
#include "tests/win/support/listing_records.h"
#include "tests/win/support/plugin_fixture.h"
#include "tests/win/support/unix_link.h"

namespace {

const char kOk[] = "000 (OK)";
const char kCannotIterate[] = "-003 (Cannot iterate directory)";

typedef std::vector<std::string> Paths;

// A Unix link that the test fails on when it cannot be made.
bool MakeLink(const std::string &target, const std::string &link)
{
    std::string error;
    if (MakeUnixLink(target, link, &error))
        return true;
    ADD_FAILURE() << error;
    return false;
}

// The plug-in's clock: moves on by kTickStepMs at every look, and lets the test act on the
// progress window from inside the scan.
const DWORD kTickStepMs = 150;
DWORD fakeNow;
std::function<void()> onTick;
DWORD WINAPI FakeGetTickCount()
{
    fakeNow += kTickStepMs;
    if (onTick)
        onTick();
    return fakeNow;
}

int dialogsCreated;
HWND(WINAPI *realCreateDialogParamW)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
HWND WINAPI CountedCreateDialogParamW(HINSTANCE module, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM parameter)
{
    dialogsCreated++;
    return realCreateDialogParamW(module, name, owner, proc, parameter);
}

BOOL CALLBACK TestProgressWindow(HWND window, LPARAM result)
{
    if (IsWindowVisible(window) && GetDlgItem(window, IDC_SCAN_FOLDER) != NULL) {
        *(HWND *)result = window;
        return FALSE;
    }
    return TRUE;
}

// The progress window: a dialog of this thread with the scan's folder line.
HWND FindProgressWindow()
{
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), TestProgressWindow, (LPARAM)&found);
    return found;
}

std::string ItemText(HWND dialog, int id)
{
    WCHAR text[512] = {0};
    GetDlgItemTextW(dialog, id, text, 511);
    char utf8[1024] = {0};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, NULL, NULL);
    return utf8;
}

// What reached the host's main window during the scan.
std::vector<UINT> mainWindowMessages;
WNDPROC mainWindowProc;
LRESULT CALLBACK RecordingMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP || message == WM_KEYDOWN || message == WM_LBUTTONDOWN)
        mainWindowMessages.push_back(message);
    return CallWindowProcA(mainWindowProc, window, message, wParam, lParam);
}

class ScanWatchTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        root_ = TestScratchFolder();
        fakeNow = 0;
        onTick = nullptr;
        dialogsCreated = 0;
        mainWindowMessages.clear();
    }
    void TearDown() override
    {
        onTick = nullptr;
        PluginTest::TearDown();
    }

    Paths FetchAll()
    {
        Paths paths;
        for (int i = 0; i < 100000; i++) {
            fmhost::CallResult result = Call(kTarvGetNextFilePath);
            if (!result.touched)
                break;
            paths.push_back(result.text);
        }
        return paths;
    }

    // folders folders of files files each under root_; returns every file's path.
    Paths MakeTree(int folders, int files)
    {
        Paths made;
        for (int folder = 0; folder < folders; folder++) {
            std::string folderPath = root_ + "\\folder" + std::to_string(folder);
            EXPECT_TRUE(CreateDirectoryA(folderPath.c_str(), NULL));
            for (int file = 0; file < files; file++) {
                made.push_back(folderPath + "\\file" + std::to_string(file) + ".txt");
                EXPECT_TRUE(MakeFile(made.back()));
            }
        }
        return made;
    }

    std::string root_;
};

}  // namespace

// The walk's listing of a folder (GetFileInformationByHandleEx, looked up at run time), with
// each record changed as the row asks: links shown as plain folders, as a share's server
// shows the Unix links and junctions it follows; or one file index for every entry, as the
// roots of volumes that a server has mounted in a share all have.
DirectoryQuery realDirectoryQuery;
void (*changeRecord)(BYTE *record);
void ClearLinkFlag(BYTE *record) { *(DWORD *)(record + kRecordAttributes) &= ~(DWORD)FILE_ATTRIBUTE_REPARSE_POINT; }
void OneFileIndex(BYTE *record) { *(ULONGLONG *)(record + kRecordFileId) = 5; }
void PastTheBuffer(BYTE *record)
{
    if (*(DWORD *)record == 0)
        *(DWORD *)record = 0xFFFFFFF8;  // beyond the buffer, or 8 bytes back where offsets wrap
}
BOOL WINAPI ChangedListing(HANDLE folder, int kind, LPVOID buffer, DWORD size)
{
    BOOL read = realDirectoryQuery(folder, kind, buffer, size);
    ChangeListedRecords(read, buffer, changeRecord);
    return read;
}
// Hooks the listing so that changed lists each folder as it says; NULL: as Windows does.
void ListFoldersAs(void (*changed)(BYTE *record))
{
    changeRecord = changed;
    fmhost::UnhookImport("kernel32.dll", "GetFileInformationByHandleEx");
    if (changed != NULL)
        realDirectoryQuery = fmhost::HookImportAs("kernel32.dll", "GetFileInformationByHandleEx", ChangedListing);
}

// The walk's start as a volume without a serial: Wine gives serial 0 to the file systems it
// reads none from (tmpfs, /dev/pts, ...), whose inode numbers repeat from one to the next.
BOOL(WINAPI *realGetFileInformationByHandle)(HANDLE, LPBY_HANDLE_FILE_INFORMATION);
BOOL WINAPI OneIndexWithoutSerial(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    BOOL known = realGetFileInformationByHandle(file, information);
    information->dwVolumeSerialNumber = 0;
    information->nFileIndexHigh = 0;
    information->nFileIndexLow = 1;
    return known;
}

// Links to ".", to ".." and to the start folder are not entered, and a folder that both a link
// and its own name lead to comes once: each file comes once, by the first way found. Also
// where a share shows the links as plain folders, where every folder has one file index (the
// listings tell them apart), or where the volume has no serial. Read by searches (Windows 2000
// and XP, which lack the handle listing), only linked folders are told apart, so the folder
// that a link and its name lead to comes twice. Before, two links to "." made the scan grow
// exponentially, and unflagged links still did: it did not end in 20 s.
TEST_F(ScanWatchTest, LinkedFoldersThatLeadBackUpAreNotEntered)
{
    ASSERT_TRUE(CreateDirectoryA((root_ + "\\a").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((root_ + "\\b").c_str(), NULL));
    ASSERT_TRUE(MakeFile(root_ + "\\f.txt"));
    ASSERT_TRUE(MakeFile(root_ + "\\a\\g.txt"));
    ASSERT_TRUE(MakeFile(root_ + "\\b\\h.txt"));
    ASSERT_TRUE(MakeLink(".", root_ + "\\a\\dot"));
    ASSERT_TRUE(MakeLink("..", root_ + "\\a\\up"));
    ASSERT_TRUE(MakeLink("../b", root_ + "\\a\\sibling"));
    ASSERT_TRUE(MakeLink(".", root_ + "\\top"));

    static const struct {
        const char *walk;
        void (*listing)(BYTE *record);  // NULL: as Windows lists
        bool withoutSerial, bySearch;
        const char *names;  // the names of the files found, in order
    } rows[] = {
        {"through folder handles", NULL, false, false, "f.txt g.txt h.txt"},
        {"as a share shows links", ClearLinkFlag, false, false, "f.txt g.txt h.txt"},
        {"with one file index for every folder", OneFileIndex, false, false, "f.txt g.txt h.txt"},
        {"with a last record that points past the buffer", PastTheBuffer, false, false, "f.txt g.txt h.txt"},
        {"from a volume without a serial", NULL, true, false, "f.txt g.txt h.txt"},
        {"by searches", NULL, false, true, "f.txt g.txt h.txt h.txt"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.walk);
        ListFoldersAs(row.listing);
        if (row.bySearch)
            fmhost::HookImport("kernel32.dll", "GetFileInformationByHandleEx", NULL);
        fmhost::UnhookImport("kernel32.dll", "GetFileInformationByHandle");
        if (row.withoutSerial)
            realGetFileInformationByHandle =
                fmhost::HookImportAs("kernel32.dll", "GetFileInformationByHandle", OneIndexWithoutSerial);
        ASSERT_EQ(kOk, CallText(kTarvSetFolder, root_));
        std::vector<std::string> names;
        for (const std::string &path : FetchAll()) {
            for (const char *back : {"\\top\\", "\\dot\\", "\\up\\"})
                EXPECT_EQ(std::string::npos, path.find(back)) << path;
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
            names.push_back(path.substr(path.rfind('\\') + 1));
        }
        std::sort(names.begin(), names.end());
        std::string found;
        for (const std::string &name : names)
            found += (found.empty() ? "" : " ") + name;
        EXPECT_EQ(row.names, found);
    }
}

// Links that fan out: at each of twenty levels, two links lead to the same next folder, so
// that there are 2^20 ways down. Each folder is walked once, through the first link met: one
// path per level, at once, also where a share shows the links as plain folders. Before, the
// scan walked every way, for some twenty minutes.
TEST_F(ScanWatchTest, LinksThatFanOutAreEnteredOnce)
{
    const int kLevels = 20;
    const std::string diamond = root_ + "\\diamond";
    ASSERT_TRUE(CreateDirectoryA(diamond.c_str(), NULL));
    UnixTree tree = {UnixPathOf(diamond)};
    ASSERT_FALSE(tree.path.empty());
    std::string script = "set -e; cd " + ShellQuoted(tree.path) + "; for i in $(seq 0 " +
                         std::to_string(kLevels) + "); do mkdir d$i; : > d$i/f.txt; done; " +
                         "for i in $(seq 1 " + std::to_string(kLevels) +
                         "); do ln -s ../d$i d$((i - 1))/a; ln -s ../d$i d$((i - 1))/b; done";
    std::string error;
    ASSERT_TRUE(RunUnixScript(script, &error)) << error;
    root_ = diamond;
    for (void (*listing)(BYTE *) : {(void (*)(BYTE *))NULL, ClearLinkFlag}) {
        SCOPED_TRACE(listing == NULL ? "links flagged" : "as a share shows links");
        ListFoldersAs(listing);
        ASSERT_EQ(kOk, CallText(kTarvSetFolder, root_ + "\\d0"));
        Paths found = FetchAll();
        ASSERT_EQ((size_t)kLevels + 1, found.size());
        // Level k's file is d0, then k links (each "a" or "b"), then f.txt; each level's way
        // continues the one above it.
        std::sort(found.begin(), found.end(),
                  [](const std::string &x, const std::string &y) { return x.size() < y.size(); });
        std::string way = root_ + "\\d0";
        for (int level = 0; level <= kLevels; level++) {
            SCOPED_TRACE(level);
            const std::string &path = found[level];
            ASSERT_EQ(way, path.substr(0, way.size()));
            ASSERT_EQ(way.size() + 6, path.size()) << path;
            EXPECT_EQ("\\f.txt", path.substr(way.size())) << path;
            if (level < kLevels) {
                std::string next = found[level + 1].substr(way.size(), 2);
                ASSERT_TRUE(next == "\\a" || next == "\\b") << found[level + 1];
                way += next;
            }
        }
    }
}

// A folder, "target", linked ("z", listed after the chain's "a..." folders) from every level
// of a chain of 13-character names: the walk meets the deepest link first, where target's
// path is `deepest` characters long and its deeper folders pass 259. Each shorter way walks
// it again, as far as it reaches, listing only what the longer ways could not: every file
// once, and 000. So also where target holds a link to a folder outside the scan (which the
// deepest way enters, but not its subfolder), with or without a direct way to that folder,
// and where other links lead into target and into its subfolder. Before, the shorter links
// were skipped as entered before, and the scan answered 000 with one path of three; and a
// link into target's subfolder listed its files twice.
TEST_F(ScanWatchTest, ALinkedFolderCutShortIsWalkedAgainFromAShorterWay)
{
    static const struct {
        const char *tree;
        size_t deepest;
        const char *script;  // makes target and the rest; $S is the scan's start
        const char *files;   // how the paths of the files found end, each once
    } trees[] = {
        {"a linked folder with subfolders", 255,
         "mkdir -p target/s/u; : >target/t.txt; : >target/s/s.txt; : >target/s/u/u.txt", "\\t.txt \\s\\s.txt \\u\\u.txt"},
        {"a subfolder whose name does not fit", 255,  // 255 units and its name pass 259
         "mkdir -p target/ssssssssssss; : >target/t.txt; : >target/ssssssssssss/s.txt", "\\t.txt \\s.txt"},
        {"a link in it, only through it", 253,
         "mkdir -p target in/u; : >target/t.txt; : >in/i.txt; : >in/u/u.txt; ln -s ../in target/s", "\\t.txt \\i.txt \\u\\u.txt"},
        {"a link in it, and a direct way", 253,
         "mkdir -p target in/u; : >target/t.txt; : >in/i.txt; : >in/u/u.txt; ln -s ../in target/s; ln -s ../in $S/in",
         "\\t.txt \\i.txt \\u\\u.txt"},
        {"links into it and into its subfolder", 255,
         "mkdir -p target/s/u $S/zz; : >target/t.txt; : >target/s/s.txt; : >target/s/u/u.txt; "
         "ln -s ../../target $S/zz/s; ln -s ../../target/s $S/zz/sub", "\\t.txt \\s.txt \\u\\u.txt"},
    };
    const std::string base = root_;
    for (size_t row = 0; row < sizeof trees / sizeof trees[0]; row++) {
        const auto &tree = trees[row];
        SCOPED_TRACE(tree.tree);
        root_ = base + "\\t" + std::to_string(row);
        const std::string target = root_ + "\\target";
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), NULL));
        UnixTree made = {UnixPathOf(root_)};  // a removal from Windows would meet dangling links
        const int levels = (int)(tree.deepest - 5 - root_.size()) / 14;
        const std::string start = root_ + "\\" + std::string(tree.deepest - 3 - 14 * levels - root_.size() - 1, 'p');
        std::string folder = start;
        std::string script = "set -e; cd " + ShellQuoted(UnixPathOf(root_)) + "; S=" + start.substr(root_.size() + 1) + "; ";
        for (int level = 0; level <= levels; level++) {
            if (level > 0)
                folder += "\\" + std::string(12, 'a') + (char)('a' + level);
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
            script += "ln -s " + ShellQuoted(UnixPathOf(target)) + " " + ShellQuoted(UnixPathOf(folder) + "/z") + "; ";
        }
        ASSERT_EQ(tree.deepest, folder.size() + 3);
        std::string error;
        ASSERT_TRUE(RunUnixScript(script + tree.script, &error)) << error;

        ASSERT_EQ(kOk, CallText(kTarvSetFolder, start));
        Paths found = FetchAll();
        std::string files = tree.files;
        size_t count = 0;
        for (size_t at = 0, end; at < files.size(); at = end + 1, count++) {
            end = std::min(files.find(' ', at), files.size());
            const std::string file = files.substr(at, end - at);
            EXPECT_EQ(1, std::count_if(found.begin(), found.end(), [&](const std::string &path) {
                          return path.size() > file.size() && path.compare(path.size() - file.size(), std::string::npos, file) == 0;
                      })) << file;
        }
        EXPECT_EQ(count, found.size());
    }
}

// The host's queue is looked at by the clock, not by a count of entries: on a slow disk or a
// share, where each open, read of a folder's entries, question, search, next entry and close
// takes 120 or 300 ms, the scan looks at the queue between every two of them, so that the host
// waits no longer than one. A tree of a few one-file folders has only the folders' opens, reads
// and closes and one question (the start's volume). A link three levels down is no different.
// A name that the code page lacks is proven by a search for its short name and two opens,
// right after the entry that found it. The scan shows its window once a second has passed,
// before the last folder is opened. That window stays at least half a second, though the scan
// ends soon after it appeared: less would flicker. Before, the queue was first looked at after
// 64 entries, here never; and later the closes and the identity's open, question and close
// came one after another. Nothing waits in real time: the slow calls move the plug-in's clock
// on by what they take, so that the checks follow from the order of events alone.
HANDLE(WINAPI *realFindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
BOOL(WINAPI *realFindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
BOOL(WINAPI *realFindClose)(HANDLE);
HANDLE(WINAPI *realCreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL(WINAPI *realCloseHandle)(HANDLE);
BOOL(WINAPI *realPeekMessageW)(LPMSG, HWND, UINT, UINT, UINT);
BOOL(WINAPI *realDestroyWindow)(HWND);
// 'O': a folder or file opened, 'R': a folder's entries read, 'I': a question about a file,
// 'S': a search begun, 'N': its next entry, 'X': a close; 'Q': a look at the queue, 'W': the
// window created.
std::string slowScanEvents;
DWORD diskNow, windowCreatedAt, windowDestroyedAt;
HWND createdWindow;

// The plug-in's clock on the slow disk: a look moves it on by a millisecond, a Sleep by what it
// asks for, and each slow call by what it takes.
DWORD WINAPI DiskClock() { return ++diskNow; }
VOID WINAPI DiskSleep(DWORD ms) { diskNow += ms; }
void SlowCall(char event, DWORD ms)
{
    diskNow += ms;
    slowScanEvents += event;
}
HANDLE WINAPI SlowCreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE model)
{
    SlowCall('O', 300);
    return realCreateFileW(path, access, share, security, disposition, flags, model);
}
BOOL WINAPI SlowDirectoryQuery(HANDLE folder, int kind, LPVOID buffer, DWORD size)
{
    SlowCall('R', 120);
    return realDirectoryQuery(folder, kind, buffer, size);
}
BOOL WINAPI SlowGetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    SlowCall('I', 300);
    return realGetFileInformationByHandle(file, information);
}
HANDLE WINAPI SlowFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW entry)
{
    SlowCall('S', 300);
    return realFindFirstFileW(pattern, entry);
}
BOOL WINAPI SlowFindNextFileW(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    SlowCall('N', 120);
    return realFindNextFileW(search, entry);
}
BOOL WINAPI SlowFindClose(HANDLE search)
{
    SlowCall('X', 120);
    return realFindClose(search);
}
BOOL WINAPI SlowCloseHandle(HANDLE handle)
{
    SlowCall('X', 120);
    return realCloseHandle(handle);
}
BOOL WINAPI RecordedPeekMessageW(LPMSG message, HWND window, UINT first, UINT last, UINT remove)
{
    if (slowScanEvents.empty() || slowScanEvents.back() != 'Q')
        slowScanEvents += 'Q';
    return realPeekMessageW(message, window, first, last, remove);
}
HWND WINAPI TimedCreateDialogParamW(HINSTANCE module, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM parameter)
{
    createdWindow = realCreateDialogParamW(module, name, owner, proc, parameter);
    windowCreatedAt = diskNow;
    slowScanEvents += 'W';
    return createdWindow;
}
BOOL WINAPI TimedDestroyWindow(HWND window)
{
    if (window == createdWindow)
        windowDestroyedAt = diskNow;
    return realDestroyWindow(window);
}

// True when, the window aside, a look at the queue comes between every two slow calls.
bool ALookBetweenEveryTwoSlowCalls(const std::string &events)
{
    bool lastWasSlow = false;
    for (char event : events) {
        bool slow = std::string("ORISNX").find(event) != std::string::npos;
        if (slow && lastWasSlow)
            return false;
        if (event != 'W')
            lastWasSlow = slow;
    }
    return !events.empty();
}

TEST_F(ScanWatchTest, SlowDiskStillLetsTheHostRunAndTheWindowStaysReadable)
{
    static const struct {
        const char *tree;
        bool deepLink;  // a\\b\\c\\link, leading to folder0
        bool proof;     // Москва.txt, and link, leading to folder0
        size_t opens;   // the folders opened, and the files opened to prove a short name
    } trees[] = {
        {"four one-file folders", false, false, 5},
        // The start, folder0, a, b, c and the link; folder0 is walked by one way of the two.
        {"a link three levels down", true, false, 6},
        // The start, folder0 and the link; Москва.txt by its short name and by its name.
        {"a name to prove, a subfolder and a link", false, true, 5},
    };
    const std::string base = root_;
    for (size_t row = 0; row < sizeof trees / sizeof trees[0]; row++) {
        const auto &tree = trees[row];
        SCOPED_TRACE(tree.tree);
        root_ = base + "\\tree" + std::to_string(row);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), NULL));
        Paths made = MakeTree(tree.deepLink || tree.proof ? 1 : 4, 1);
        if (tree.deepLink) {
            ASSERT_TRUE(CreateDirectoryA((root_ + "\\a").c_str(), NULL));
            ASSERT_TRUE(CreateDirectoryA((root_ + "\\a\\b").c_str(), NULL));
            ASSERT_TRUE(CreateDirectoryA((root_ + "\\a\\b\\c").c_str(), NULL));
            ASSERT_TRUE(MakeLink("../../../folder0", root_ + "\\a\\b\\c\\link"));
        }
        if (tree.proof) {
            const std::wstring name = std::wstring(root_.begin(), root_.end()) +  // ASCII
                                      L"\\\x041c\x043e\x0441\x043a\x0432\x0430.txt";
            HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, file);
            CloseHandle(file);
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW(name.c_str(), &found);
            ASSERT_NE(INVALID_HANDLE_VALUE, search);
            FindClose(search);
            const std::wstring shortName = found.cAlternateFileName;  // ASCII in Wine
            made.push_back(root_ + "\\" + std::string(shortName.begin(), shortName.end()));
            ASSERT_TRUE(MakeLink("folder0", root_ + "\\link"));
        }
        std::sort(made.begin(), made.end());
        slowScanEvents.clear();
        createdWindow = NULL;
        diskNow = windowCreatedAt = windowDestroyedAt = 0;
        realCreateFileW = fmhost::HookImportAs("kernel32.dll", "CreateFileW", SlowCreateFileW);
        realDirectoryQuery = fmhost::HookImportAs("kernel32.dll", "GetFileInformationByHandleEx", SlowDirectoryQuery);
        realGetFileInformationByHandle =
            fmhost::HookImportAs("kernel32.dll", "GetFileInformationByHandle", SlowGetFileInformationByHandle);
        realFindFirstFileW = fmhost::HookImportAs("kernel32.dll", "FindFirstFileW", SlowFindFirstFileW);
        realFindNextFileW = fmhost::HookImportAs("kernel32.dll", "FindNextFileW", SlowFindNextFileW);
        realFindClose = fmhost::HookImportAs("kernel32.dll", "FindClose", SlowFindClose);
        realCloseHandle = fmhost::HookImportAs("kernel32.dll", "CloseHandle", SlowCloseHandle);
        realPeekMessageW = fmhost::HookImportAs("user32.dll", "PeekMessageW", RecordedPeekMessageW);
        realCreateDialogParamW = fmhost::HookImportAs("user32.dll", "CreateDialogParamW", TimedCreateDialogParamW);
        realDestroyWindow = fmhost::HookImportAs("user32.dll", "DestroyWindow", TimedDestroyWindow);
        ASSERT_TRUE(realCreateFileW && realDirectoryQuery && realGetFileInformationByHandle && realFindFirstFileW &&
                    realFindNextFileW && realFindClose && realCloseHandle && realPeekMessageW &&
                    realCreateDialogParamW && realDestroyWindow &&
                    fmhost::HookImportAs("kernel32.dll", "GetTickCount", DiskClock) &&
                    fmhost::HookImportAs("kernel32.dll", "Sleep", DiskSleep));

        EXPECT_EQ(kOk, CallText(kTarvSetFolder, root_));
        fmhost::UnhookAllImports();
        Paths found;
        for (std::string path : FetchAll()) {  // folder0's file, by whichever way came first
            for (const char *way : {"\\a\\b\\c\\link\\", "\\link\\"})
                if (path.find(way) != std::string::npos)
                    path.replace(path.find(way), strlen(way), "\\folder0\\");
            found.push_back(path);
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(made, found);

        // A look at the queue between every two slow calls (the dispatch comes every 100 ms of
        // the plug-in's clock, and each slow call takes 120 or 300); the window once a second
        // has passed, before the last folder is opened.
        const std::string &events = slowScanEvents;
        EXPECT_EQ(tree.opens, (size_t)std::count(events.begin(), events.end(), 'O')) << events;
        for (char call : std::string(tree.proof ? "ORIXSN" : "ORIX"))
            EXPECT_NE(std::string::npos, events.find(call)) << call << " never came: " << events;
        EXPECT_TRUE(ALookBetweenEveryTwoSlowCalls(events))
            << "slow calls one after another without the host's queue moving: " << events;
        size_t window = events.find('W');
        ASSERT_NE(std::string::npos, window) << "no progress window";
        EXPECT_LT(window, events.rfind('O')) << events;
        ASSERT_NE(0u, windowDestroyedAt) << "the window was not destroyed";
        EXPECT_GE(windowDestroyedAt - windowCreatedAt, 500u) << "the window flickered";
    }
}

// What the host's main window does with a WM_APP that reaches it while a scan walks: it sends
// a shutdown (when asked) and an init, from inside the scan's dispatch, as a host that goes
// through its lifecycle from its own loop.
bool shutdownFromHostWindow;
int lifecycleDepth;       // MessagesInProgress() when the messages went; 0: they never did
int32_t nestedInitAnswer;
LRESULT CALLBACK LifecycleMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        lifecycleDepth = fmhost::MessagesInProgress();
        if (shutdownFromHostWindow)
            fmhost::SendShutdown();
        nestedInitAnswer = fmhost::SendInit(fmhost::kFileMaker60);
        return 0;
    }
    return CallWindowProcA(mainWindowProc, window, message, wParam, lParam);
}

// An init, alone or after a shutdown, sent while a scan filtered by "*.zzq" walks (the host's
// loop runs inside it): the scan goes on with its own filter to its end, so its list holds
// the .zzq files only (none, after a shutdown); then the filter is reset, as a fresh init
// does, and the next scan lists every file. Before, init left the old filter in force while
// the dialog options were reset; a reset carried out at once would let the rest of the
// running scan list every file.
TEST_F(ScanWatchTest, InitDuringAScanResetsTheFilterWhenItEnds)
{
    Paths everything, filtered;
    for (int folder = 0; folder < 3; folder++) {
        std::string folderPath = root_ + "\\folder" + std::to_string(folder);
        ASSERT_TRUE(CreateDirectoryA(folderPath.c_str(), NULL));
        for (int file = 0; file < 40; file++) {
            std::string name = folderPath + "\\file" + std::to_string(file);
            everything.push_back(name + ".txt");
            everything.push_back(name + ".zzq");
            filtered.push_back(name + ".zzq");
        }
    }
    for (const std::string &path : everything)
        ASSERT_TRUE(MakeFile(path));
    std::sort(everything.begin(), everything.end());
    std::sort(filtered.begin(), filtered.end());
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount));
    static const struct {
        const char *what;
        bool shutdownToo;
    } cases[] = {
        {"init alone", false},
        {"shutdown, then init", true},
    };
    for (const auto &sent : cases) {
        SCOPED_TRACE(sent.what);
        ASSERT_EQ(kOk, CallText(kTarvSetFileFilter, "*.zzq"));
        shutdownFromHostWindow = sent.shutdownToo;
        lifecycleDepth = 0;
        nestedInitAnswer = 0;
        mainWindowProc = (WNDPROC)SetWindowLongPtrA(fmhost::MainWindow(), GWLP_WNDPROC,
                                                    (LONG_PTR)LifecycleMainWindowProc);
        ASSERT_TRUE(mainWindowProc != NULL);
        PostMessageA(fmhost::MainWindow(), WM_APP, 0, 0);
        std::string answer = CallText(kTarvSetFolder, root_);
        SetWindowLongPtrA(fmhost::MainWindow(), GWLP_WNDPROC, (LONG_PTR)mainWindowProc);
        EXPECT_EQ(kOk, answer);
        ASSERT_EQ(1, lifecycleDepth) << "the messages were not sent from inside the scan";
        EXPECT_EQ(kInitAccepted, nestedInitAnswer);
        EXPECT_TRUE(fmhost::Violations().empty()) << fmhost::Violations().front();

        Paths found = FetchAll();
        std::sort(found.begin(), found.end());
        if (sent.shutdownToo) {
            EXPECT_TRUE(found.empty()) << "the list outlived the shutdown";
        } else {
            size_t unfiltered = (size_t)std::count_if(
                found.begin(), found.end(), [](const std::string &path) {
                    return path.size() < 4 || path.compare(path.size() - 4, 4, ".zzq") != 0;
                });
            EXPECT_EQ(0u, unfiltered) << "the running scan lost its filter";
            EXPECT_TRUE(filtered == found)
                << found.size() << " paths found for " << filtered.size() << " .zzq files";
        }
        EXPECT_EQ(kOk, CallText(kTarvSetFolder, root_));
        found = FetchAll();
        std::sort(found.begin(), found.end());
        EXPECT_TRUE(everything == found) << "the next scan kept the old filter: " << found.size()
                                         << " paths found for " << everything.size() << " files";
    }
}

// A scan that runs past a second shows its window, owned by the host's main window, which is
// disabled meanwhile; every way of cancelling stops it with -003, the paths found so far come
// back, and the window is gone afterwards with the host's window enabled again, at once: it
// does not wait out its half second. Only the first showing may leave GDI objects behind (the
// system's caches); later ones none.
TEST_F(ScanWatchTest, LongScanShowsProgressAndCancelStopsIt)
{
    Paths made = MakeTree(10, 100);
    std::sort(made.begin(), made.end());
    static const struct {
        const char *how;
        UINT message;  // posted to the window (the dialog for WM_CLOSE, else its Cancel button)
        WPARAM wParam;
    } cancels[] = {
        {"Cancel clicked", BM_CLICK, 0},
        {"Esc", WM_KEYDOWN, VK_ESCAPE},
        {"Enter on Cancel", WM_KEYDOWN, VK_RETURN},
        {"window closed", WM_CLOSE, 0},
    };
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount));
    std::vector<int> gdiObjectsAfter;
    for (const auto &cancel : cancels) {
        SCOPED_TRACE(cancel.how);
        HWND window = NULL, owner = NULL;
        bool mainEnabledMeanwhile = true;
        std::string heading, folder, count;
        int ticksWithWindow = 0;
        DWORD cancelledAt = 0;
        onTick = [&]() {
            HWND progress = FindProgressWindow();
            if (progress == NULL)
                return;
            if (++ticksWithWindow == 1) {
                window = progress;
                owner = GetWindow(progress, GW_OWNER);
                mainEnabledMeanwhile = IsWindowEnabled(fmhost::MainWindow()) != FALSE;
            } else if (count.empty() && strtoul(ItemText(progress, IDC_SCAN_COUNT).c_str(), NULL, 10) > 1) {
                // Once the text shows files found, it holds the walk's progress.
                folder = ItemText(progress, IDC_SCAN_FOLDER);
                count = ItemText(progress, IDC_SCAN_COUNT);
                cancelledAt = fakeNow;
                HWND target = cancel.message == WM_CLOSE ? progress : GetDlgItem(progress, IDCANCEL);
                PostMessageA(target, cancel.message, cancel.wParam, 0);
            }
        };
        fakeNow = 0;
        std::string answer = CallText(kTarvSetFolder, root_);
        onTick = nullptr;
        EXPECT_EQ(kCannotIterate, answer);
        ASSERT_TRUE(window != NULL) << "no progress window";
        EXPECT_EQ(fmhost::MainWindow(), owner);
        EXPECT_FALSE(mainEnabledMeanwhile) << "the host's window stayed enabled under the window";
        EXPECT_FALSE(IsWindow(window)) << "the window outlived the scan";
        EXPECT_LT(fakeNow - cancelledAt, 500u) << "the window stayed its half second after the cancel";
        EXPECT_TRUE(IsWindowEnabled(fmhost::MainWindow()));
        EXPECT_EQ(root_ + "\\folder", folder.substr(0, root_.size() + 7)) << folder;

        Paths found = FetchAll();
        EXPECT_GT(found.size(), 0u);
        EXPECT_LT(found.size(), made.size()) << "the scan was not stopped";
        unsigned long counted = strtoul(count.c_str(), NULL, 10);
        EXPECT_EQ(std::to_string(counted) + " files found", count);
        EXPECT_GT(counted, 0u);
        EXPECT_LE(counted, found.size()) << "the window counted more than the scan found";
        for (const std::string &path : found)
            EXPECT_TRUE(std::binary_search(made.begin(), made.end(), path)) << path;
        gdiObjectsAfter.push_back(ProcessGdiObjects());
    }
    ASSERT_GT(gdiObjectsAfter[0], 0) << "no GDI handle table to count in";
    EXPECT_EQ(std::vector<int>(gdiObjectsAfter.size(), gdiObjectsAfter[0]), gdiObjectsAfter)
        << "GDI objects after each scan";
}

// The progress window stands centred over the host's window, and whole on its monitor where
// that overhangs an edge; in the middle of the monitor when the host's window is minimised,
// which has no place of its own on the screen. Before, DS_CENTER put it in the middle of the
// screen wherever the host's window was (with that on a second monitor, on the other one).
TEST_F(ScanWatchTest, ProgressWindowStandsOverTheHostWindow)
{
    MakeTree(2, 10);
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount) != NULL);
    MONITORINFO monitor = {sizeof monitor, {0, 0, 0, 0}, {0, 0, 0, 0}, 0};
    if (!GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor))
        GTEST_SKIP() << "no monitor to stand on (Wine 10's null graphics driver reports "
                        "none; the window keeps the dialog's own centring there)";
    const RECT work = monitor.rcWork;
    const struct {
        RECT place;
        bool minimised;
    } hosts[] = {{{work.left + 10, work.top + 20, work.left + 410, work.top + 320}, false},
                 {{work.right - 150, work.top + 60, work.right + 250, work.top + 360}, false},
                 {{work.left + 10, work.top + 20, work.left + 410, work.top + 320}, true}};
    for (const auto &host : hosts) {
        const RECT &p = host.place;
        SCOPED_TRACE(std::to_string(p.left) + (host.minimised ? ", minimised" : ""));
        ASSERT_TRUE(SetWindowPos(fmhost::MainWindow(), NULL, p.left, p.top, p.right - p.left,
                                 p.bottom - p.top, SWP_NOZORDER | SWP_NOACTIVATE));
        if (host.minimised) {
            ShowWindow(fmhost::MainWindow(), SW_MINIMIZE);
            ASSERT_TRUE(IsIconic(fmhost::MainWindow()));
        }
        const RECT &h = host.minimised ? work : p;  // what the window stands over
        RECT got = {0, 0, 0, 0};
        onTick = [&]() {
            HWND progress = FindProgressWindow();
            if (progress != NULL && got.right == 0 && GetWindowRect(progress, &got))
                PostMessageA(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
        };
        EXPECT_EQ(kCannotIterate, CallText(kTarvSetFolder, root_));
        onTick = nullptr;
        ASSERT_NE(0, got.right) << "no progress window";
        // Centred to within a pixel (the halving), and inside the monitor's work area.
        LONG width = got.right - got.left, height = got.bottom - got.top;
        LONG left = std::max(work.left, std::min((h.left + h.right - width) / 2, work.right - width));
        LONG top = std::max(work.top, std::min((h.top + h.bottom - height) / 2, work.bottom - height));
        EXPECT_NEAR(left, got.left, 1);
        EXPECT_NEAR(top, got.top, 1);
    }
}

// Meanwhile the host's queue moves: what is posted to its windows is dispatched, but
// keystrokes and clicks are not. Before the window shows they wait in the queue, as for a
// busy host; under the window they are dropped, as under any modal dialog.
TEST_F(ScanWatchTest, HostQueueMovesWithoutLettingInputThrough)
{
    MakeTree(10, 100);
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount));
    mainWindowProc = (WNDPROC)SetWindowLongPtrA(fmhost::MainWindow(), GWLP_WNDPROC,
                                                (LONG_PTR)RecordingMainWindowProc);
    ASSERT_TRUE(mainWindowProc != NULL);
    PostMessageA(fmhost::MainWindow(), WM_KEYDOWN, 'A', 0);
    PostMessageA(fmhost::MainWindow(), WM_APP, 0, 0);
    bool keyWaitedBeforeWindow = false, inputPosted = false;
    size_t dispatchedBeforeWindow = 0;
    onTick = [&]() {
        MSG waiting;
        if (FindProgressWindow() == NULL) {
            keyWaitedBeforeWindow = PeekMessageA(&waiting, fmhost::MainWindow(), WM_KEYDOWN,
                                                 WM_KEYDOWN, PM_NOREMOVE) != FALSE;
            dispatchedBeforeWindow = mainWindowMessages.size();
        } else if (!inputPosted) {
            inputPosted = true;
            PostMessageA(fmhost::MainWindow(), WM_LBUTTONDOWN, 0, 0);
            PostMessageA(fmhost::MainWindow(), WM_KEYDOWN, 'B', 0);
        }
    };
    EXPECT_EQ(kOk, CallText(kTarvSetFolder, root_));
    onTick = nullptr;
    SetWindowLongPtrA(fmhost::MainWindow(), GWLP_WNDPROC, (LONG_PTR)mainWindowProc);

    EXPECT_TRUE(inputPosted) << "the window never showed";
    EXPECT_EQ(1u, dispatchedBeforeWindow) << "the posted message waited for the end of the scan";
    EXPECT_TRUE(keyWaitedBeforeWindow);
    EXPECT_EQ(std::vector<UINT>({WM_APP}), mainWindowMessages) << "input reached the host's window";
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, fmhost::MainWindow(), WM_KEYFIRST, WM_MOUSELAST, PM_REMOVE))
        << "input from under the window is left for the host: message 0x" << std::hex
        << message.message;
}

// A scan that ends within its first second shows nothing, and its watch ends with it: a
// later fetch under another table proves a short name ("año report.txt", whose ñ the czech
// table lacks) with the looks at the clock a scan makes, and shows no window either, however
// late, and the host's window stays enabled. A watch left running would show a window there
// that never closed, over a host window left disabled.
TEST_F(ScanWatchTest, ShortScanShowsNoWindow)
{
    MakeTree(3, 50);
    ASSERT_TRUE(MakeFile(root_ + "\\a\xF1o report.txt"));
    realCreateDialogParamW =
        fmhost::HookImportAs("user32.dll", "CreateDialogParamW", CountedCreateDialogParamW);
    ASSERT_TRUE(realCreateDialogParamW != NULL);
    EXPECT_EQ(kOk, CallText(kTarvSetFolder, root_));
    EXPECT_EQ(0, dialogsCreated);
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount));
    ASSERT_EQ(kOk, CallText(kTarvSetLocale, "czech"));
    Paths found = FetchAll();
    EXPECT_EQ(151u, found.size());
    EXPECT_EQ(1, std::count_if(found.begin(), found.end(),
                               [](const std::string &path) { return path.find('~') != std::string::npos; }))
        << "no short name was proven";
    EXPECT_EQ(0, dialogsCreated);
    EXPECT_TRUE(IsWindowEnabled(fmhost::MainWindow()));
}

// During a long scan the host's loop sends more: idle and Tarv-Version work as usual, and so
// does Tarv-SetDialogFilter; the four scan functions do nothing and write nothing, since the
// list and the settings are the scan's. The scan ends on its own record, with its own settings.
TEST_F(ScanWatchTest, CallsArrivingDuringALongScan)
{
    const std::string tree = root_ + "\\tree", other = root_ + "\\other";
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL) && CreateDirectoryA(other.c_str(), NULL));
    ASSERT_TRUE(MakeFile(other + "\\elsewhere.txt"));
    root_ = tree;
    Paths made = MakeTree(10, 100);
    std::sort(made.begin(), made.end());
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount));
    fmhost::ClearNestedMessages();
    fmhost::ScheduleNestedIdle(0);
    fmhost::ScheduleNestedCall(0, kTarvVersion, "");
    fmhost::ScheduleNestedCall(0, kTarvSetFolder, other);
    fmhost::ScheduleNestedCall(0, kTarvGetNextFilePath, "");
    fmhost::ScheduleNestedCall(0, kTarvSetFileFilter, "*.none");
    fmhost::ScheduleNestedCall(0, kTarvUseSubfolders, "off");
    fmhost::ScheduleNestedCall(0, kTarvSetDialogFilter, "Text files;*.txt");
    // The emulator sends by real time: give its timer room to come round during the scan,
    // until everything scheduled has gone out.
    onTick = []() {
        for (const fmhost::NestedOutcome &outcome : fmhost::NestedOutcomes()) {
            if (outcome.state == fmhost::NestedState::kWaiting) {
                Sleep(40);
                return;
            }
        }
    };
    EXPECT_EQ(kOk, CallText(kTarvSetFolder, tree));
    onTick = nullptr;
    EXPECT_EQ((uint32_t)kTarvSetFolder, fmhost::LastRecord().functionId);

    const std::vector<fmhost::NestedOutcome> &outcomes = fmhost::NestedOutcomes();
    ASSERT_EQ(7u, outcomes.size());
    for (size_t i = 0; i < outcomes.size(); i++) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(outcomes[i].state == fmhost::NestedState::kSent) << "not sent during the scan";
        EXPECT_EQ(1, outcomes[i].depth);
        EXPECT_TRUE(outcomes[i].violations.empty()) << outcomes[i].violations.front();
    }
    const fmhost::CallbackCounts &idle = outcomes[0].counts;
    EXPECT_EQ(0, idle.setSize + idle.getSize + idle.lock + idle.unlock + idle.memoryError);
    EXPECT_EQ("tarvel v2.0.0.7", outcomes[1].result.text);
    for (size_t i = 2; i <= 5; i++) {
        SCOPED_TRACE(outcomes[i].functionId);
        const fmhost::CallbackCounts &c = outcomes[i].counts;
        EXPECT_FALSE(outcomes[i].result.touched || outcomes[i].result.resized);
        EXPECT_EQ(0, c.setSize + c.getSize + c.lock + c.unlock + c.memoryError)
            << "a scan function did something while the scan walked";
    }
    EXPECT_EQ(kOk, outcomes[6].result.text);

    // Every file of the scan's own settings, and the settings as they were for the next one.
    Paths found = FetchAll();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(made, found);
    EXPECT_EQ(kOk, CallText(kTarvSetFolder, tree));
    EXPECT_EQ(made.size(), FetchAll().size());
}

// The host quitting during a long scan (WM_QUIT in its queue, before the progress window shows
// and under it): the scan stops with -003 and the paths found so far, and the quit, with its
// exit code, is in the queue again afterwards for the host's own loop. A quit the scan took
// and kept would leave the host running with no way to end. A window the quit found goes at
// once.
TEST_F(ScanWatchTest, QuitDuringALongScanStopsItAndStaysForTheHost)
{
    Paths made = MakeTree(10, 100);
    std::sort(made.begin(), made.end());
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "GetTickCount", FakeGetTickCount));
    static const struct {
        const char *when;
        bool underWindow;  // posted once the progress window shows, else at the scan's first look
        int exitCode;
    } quits[] = {
        {"before the window shows", false, 7},
        {"under the window", true, 0},
    };
    for (const auto &quit : quits) {
        SCOPED_TRACE(quit.when);
        bool posted = false, windowShown = false;
        DWORD shownAt = 0;
        onTick = [&]() {
            if (!windowShown && FindProgressWindow() != NULL) {
                windowShown = true;
                shownAt = fakeNow;
            }
            if (!posted && windowShown == quit.underWindow) {
                PostQuitMessage(quit.exitCode);
                posted = true;
            }
        };
        fakeNow = 0;
        std::string answer = CallText(kTarvSetFolder, root_);
        onTick = nullptr;
        MSG message;
        bool quitWaiting = PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        ASSERT_TRUE(posted);
        EXPECT_EQ(kCannotIterate, answer);
        EXPECT_TRUE(quitWaiting) << "the scan took the host's quit and kept it";
        if (quitWaiting) {
            EXPECT_EQ((WPARAM)quit.exitCode, message.wParam);
        }
        EXPECT_EQ(quit.underWindow, windowShown);
        if (windowShown) {
            EXPECT_LT(fakeNow - shownAt, 500u) << "the window stayed its half second after the quit";
        }
        EXPECT_EQ(NULL, FindProgressWindow());
        EXPECT_TRUE(IsWindowEnabled(fmhost::MainWindow()));
        Paths found = FetchAll();
        EXPECT_LT(found.size(), made.size()) << "the scan was not stopped";
        for (const std::string &path : found)
            EXPECT_TRUE(std::binary_search(made.begin(), made.end(), path)) << path;
    }
}

// Memory for the table of folders entered, which the walk asks for in pages of its own: the
// call that fails (counted from 1), 0 for none.
int virtualAllocCalls, failVirtualAllocAt;
LPVOID(WINAPI *realVirtualAlloc)(LPVOID, SIZE_T, DWORD, DWORD);
LPVOID WINAPI FailingVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protection)
{
    if (++virtualAllocCalls == failVirtualAllocAt) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    return realVirtualAlloc(address, size, type, protection);
}

// More folders than the table of folders entered takes before it first grows, when memory for
// that growth cannot be had: the walk stops there with -003, and every path found until then
// comes back, in the order found; the walk asks for no more. Without the stop, the scan would
// leave the later folders out and answer 000 as if its list were whole, or walk them untold.
TEST_F(ScanWatchTest, MoreFoldersThanTheWalkCanKeepTrackOfStopIt)
{
    std::string error;
    ASSERT_TRUE(RunUnixScript("set -e; cd " + ShellQuoted(UnixPathOf(root_)) +
                                  "; for i in $(seq 1000 1899); do mkdir f$i; : >f$i/x.txt; done",
                              &error))
        << error;
    realVirtualAlloc = fmhost::HookImportAs("kernel32.dll", "VirtualAlloc", FailingVirtualAlloc);
    ASSERT_TRUE(realVirtualAlloc != NULL);
    failVirtualAllocAt = virtualAllocCalls = 0;
    ASSERT_EQ(kOk, CallText(kTarvSetFolder, root_));
    Paths complete = FetchAll();
    ASSERT_EQ(900u, complete.size());
    EXPECT_EQ(2, virtualAllocCalls) << "the table's first block and one growth";

    failVirtualAllocAt = 2;
    virtualAllocCalls = 0;
    EXPECT_EQ(kCannotIterate, CallText(kTarvSetFolder, root_)) << "the scan left folders out and called its list whole";
    EXPECT_EQ(2, virtualAllocCalls);
    Paths found = FetchAll();
    ASSERT_GT(found.size(), 700u);
    ASSERT_LT(found.size(), complete.size());
    EXPECT_TRUE(Paths(complete.begin(), complete.begin() + found.size()) == found);
}
