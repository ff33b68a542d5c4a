// The folder scan through the real module: Tarv-UseSubfolders, Tarv-SetFileFilter,
// Tarv-SetFolder and Tarv-GetNextFilePath over folder trees that each test builds (hidden
// entries, names with ';' and with western characters, a drive root, paths at the ANSI length
// limit, a list grown through several doublings), and heap failures injected through the
// import table.
#include <windows.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";
const char kIncorrectOption[] = "-001 (Incorrect option)";
const char kCannotIterate[] = "-003 (Cannot iterate directory)";
const unsigned kMacRoman = 10000;  // the host's codes under the "western" table

typedef std::vector<std::string> Paths;

// Long-path form, so that the tests can build and remove trees past the ANSI limit.
std::wstring LongPath(const std::wstring &path) { return L"\\\\?\\" + path; }

bool MakeFolderW(const std::wstring &path)
{
    if (CreateDirectoryW(LongPath(path).c_str(), NULL))
        return true;
    ADD_FAILURE() << "cannot create a folder of " << path.size() << " characters, error "
                  << GetLastError();
    return false;
}

bool MakeFileW(const std::wstring &path)
{
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot create a file of " << path.size() << " characters, error "
                      << GetLastError();
        return false;
    }
    CloseHandle(file);
    return true;
}

bool MakeFolderAnyLength(const std::string &path) { return MakeFolderW(Widen(path)); }
bool MakeFileAnyLength(const std::string &path) { return MakeFileW(Widen(path)); }

bool MakeHidden(const std::string &path)
{
    if (SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN) &&
        (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0)
        return true;
    ADD_FAILURE() << "cannot hide " << path << ", error " << GetLastError();
    return false;
}

// The same walk as the scan, written over FindFirstFileA: every file that is not hidden, in
// the order the system delivers them, each subfolder's files where the subfolder stands.
void ReferenceWalk(const std::string &folder, bool subfolders, Paths *paths)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (subfolders && name != "." && name != "..")
                ReferenceWalk(folder + "\\" + name, subfolders, paths);
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) == 0) {
            paths->push_back(folder + "\\" + name);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

Paths Sorted(Paths paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

// ---- heap faults, injected through the plug-in's import table ------------------------------
typedef HANDLE(WINAPI *HeapCreateProc)(DWORD, SIZE_T, SIZE_T);
typedef LPVOID(WINAPI *HeapAllocProc)(HANDLE, DWORD, SIZE_T);
typedef LPVOID(WINAPI *HeapReAllocProc)(HANDLE, DWORD, LPVOID, SIZE_T);
typedef BOOL(WINAPI *HeapDestroyProc)(HANDLE);

HeapReAllocProc realHeapReAlloc;
HeapDestroyProc realHeapDestroy;
int heapCreateCalls, heapAllocCalls, heapReAllocCalls, heapDestroyCalls;
int failReAllocAt;  // the call number (from 1) of HeapReAlloc from which every one fails; 0: none
bool reAllocFailed;
std::vector<SIZE_T> failedSizes;  // of the calls that failed, in order
// Memory there only in pieces: the largest block HeapReAlloc grants, given the list's size
// after the last growth it granted; NULL: any.
size_t (*largestGrant)(size_t granted);
size_t grantedSize;

HANDLE WINAPI FailingHeapCreate(DWORD, SIZE_T, SIZE_T)
{
    heapCreateCalls++;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

LPVOID WINAPI FailingHeapAlloc(HANDLE, DWORD, SIZE_T)
{
    heapAllocCalls++;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return NULL;
}

LPVOID WINAPI CountedHeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T size)
{
    ++heapReAllocCalls;
    if ((failReAllocAt != 0 && heapReAllocCalls >= failReAllocAt) ||
        (largestGrant != NULL && size > largestGrant(grantedSize))) {
        reAllocFailed = true;
        failedSizes.push_back(size);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    LPVOID moved = realHeapReAlloc(heap, flags, block, size);
    if (moved != NULL)
        grantedSize = size;
    return moved;
}

BOOL WINAPI CountedHeapDestroy(HANDLE heap)
{
    heapDestroyCalls++;
    return realHeapDestroy(heap);
}

class ScanTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        heapCreateCalls = heapAllocCalls = heapReAllocCalls = heapDestroyCalls = 0;
        failReAllocAt = 0;
        reAllocFailed = false;
        failedSizes.clear();
        largestGrant = NULL;
        root_ = TestScratchFolder();
        ASSERT_FALSE(root_.empty());
    }

    std::string SetFolder(const std::string &folder) { return CallText(kTarvSetFolder, folder); }

    // Fetches paths until Tarv-GetNextFilePath leaves the result alone (at most limit of them).
    Paths FetchAll(size_t limit = 1000)
    {
        Paths paths;
        fmhost::CallOptions marked;
        marked.prefillResult = true;
        for (size_t i = 0; i <= limit; i++) {
            fmhost::CallResult result = Call(kTarvGetNextFilePath, "ignored", marked);
            if (!result.touched) {
                EXPECT_EQ(marked.resultMarker, result.text);
                return paths;
            }
            paths.push_back(result.text);
        }
        ADD_FAILURE() << "more than " << limit << " paths";
        return paths;
    }

    // True when the next Tarv-GetNextFilePath writes nothing.
    bool NothingLeft()
    {
        fmhost::CallOptions marked;
        marked.prefillResult = true;
        fmhost::CallResult result = Call(kTarvGetNextFilePath, "", marked);
        return !result.touched && result.text == marked.resultMarker;
    }

    Paths Scan(const std::string &folder, size_t limit = 1000)
    {
        EXPECT_EQ(kOk, SetFolder(folder)) << folder;
        return FetchAll(limit);
    }

    // root_\a.txt, b.doc, c.TXT, noext, hidden.txt (hidden), sub\d.txt, sub\deeper\e.txt,
    // cache (hidden folder)\f.txt and cache\g.txt (hidden).
    void MakeStandardTree()
    {
        const char *const files[] = {"a.txt", "b.doc", "c.TXT", "noext", "hidden.txt"};
        for (const char *file : files)
            ASSERT_TRUE(MakeFileAnyLength(root_ + "\\" + file));
        ASSERT_TRUE(MakeHidden(root_ + "\\hidden.txt"));
        ASSERT_TRUE(MakeFolderAnyLength(root_ + "\\sub"));
        ASSERT_TRUE(MakeFileAnyLength(root_ + "\\sub\\d.txt"));
        ASSERT_TRUE(MakeFolderAnyLength(root_ + "\\sub\\deeper"));
        ASSERT_TRUE(MakeFileAnyLength(root_ + "\\sub\\deeper\\e.txt"));
        ASSERT_TRUE(MakeFolderAnyLength(root_ + "\\cache"));
        ASSERT_TRUE(MakeFileAnyLength(root_ + "\\cache\\f.txt"));
        ASSERT_TRUE(MakeFileAnyLength(root_ + "\\cache\\g.txt"));
        ASSERT_TRUE(MakeHidden(root_ + "\\cache\\g.txt"));
        ASSERT_TRUE(MakeHidden(root_ + "\\cache"));
    }

    // count files in root_: entry-000.txt, entry-001.txt, ...
    void MakeNumberedEntries(int count)
    {
        for (int i = 0; i < count; i++) {
            char name[32];
            snprintf(name, sizeof name, "\\entry-%03d.txt", i);
            ASSERT_TRUE(MakeFileAnyLength(root_ + name));
        }
    }

    Paths Standard(std::initializer_list<const char *> names) const
    {
        Paths paths;
        for (const char *name : names)
            paths.push_back(root_ + "\\" + name);
        return Sorted(paths);
    }

    std::string root_;
};

}  // namespace

// "on" and "off" in any case switch the descent; anything else answers -001 and leaves the
// option as it was. Guards against a refused text changing the option, and against trimming.
TEST_F(ScanTest, UseSubfoldersTakesOnOrOffInAnyCase)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    static const struct {
        const char *option;
        const char *status;
        bool descends;  // what the next scan does (refused options keep the one before)
    } cases[] = {
        {"off", kOk, false},
        {"ON", kOk, true},
        {"yes", kIncorrectOption, true},
        {"Off", kOk, false},
        {"", kIncorrectOption, false},
        {" on", kIncorrectOption, false},
        {"on ", kIncorrectOption, false},
        {"on\t", kIncorrectOption, false},
        {"oN", kOk, true},
        {"offffffffffffffffffffffffffffff", kIncorrectOption, true},  // cut to 23, still wrong
        {"OFF", kOk, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("option \"") + c.option + "\"");
        EXPECT_EQ(c.status, CallText(kTarvUseSubfolders, c.option));
        Paths found = Sorted(Scan(root_));
        Paths expected = c.descends
            ? Standard({"a.txt", "b.doc", "c.TXT", "cache\\f.txt", "noext", "sub\\d.txt",
                        "sub\\deeper\\e.txt"})
            : Standard({"a.txt", "b.doc", "c.TXT", "noext"});
        EXPECT_EQ(expected, found);
    }
}

// With no option set, the scan descends, depth first: a subfolder's files stand where the
// subfolder came in its parent's listing. Guards against a breadth-first walk or a lost level.
TEST_F(ScanTest, ScanDescendsDepthFirstByDefault)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    Paths expected;
    ReferenceWalk(root_, true, &expected);
    ASSERT_EQ(7u, expected.size());
    EXPECT_EQ(expected, Scan(root_));
    EXPECT_TRUE(NothingLeft());
}

// With subfolders off only the folder's own files come back, and a folder is never an entry.
TEST_F(ScanTest, SubfoldersOffListsOnlyTheFolderOwnFiles)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    ASSERT_EQ(kOk, CallText(kTarvUseSubfolders, "off"));
    Paths expected;
    ReferenceWalk(root_, false, &expected);
    EXPECT_EQ(Standard({"a.txt", "b.doc", "c.TXT", "noext"}), Sorted(expected));
    EXPECT_EQ(expected, Scan(root_));
}

// Hidden files are left out at every level; a hidden folder is still descended into.
TEST_F(ScanTest, HiddenFilesAreSkippedAndHiddenFoldersWalked)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    Paths found = Scan(root_);
    EXPECT_NE(found.end(), std::find(found.begin(), found.end(), root_ + "\\cache\\f.txt"));
    EXPECT_EQ(found.end(), std::find(found.begin(), found.end(), root_ + "\\hidden.txt"));
    EXPECT_EQ(found.end(), std::find(found.begin(), found.end(), root_ + "\\cache\\g.txt"));
    for (const std::string &path : found) {
        DWORD attributes = GetFileAttributesA(path.c_str());
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes) << path << " does not exist";
        EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_DIRECTORY) << path << " is a folder";
    }
}

// The stored filter applies at every level and to every later scan; an empty
// Tarv-SetFileFilter lets everything through again.
TEST_F(ScanTest, FileFilterAppliesAtEveryLevelUntilChanged)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    Paths all = Standard({"a.txt", "b.doc", "c.TXT", "cache\\f.txt", "noext", "sub\\d.txt",
                          "sub\\deeper\\e.txt"});
    EXPECT_EQ(all, Sorted(Scan(root_)));  // no filter set yet
    EXPECT_EQ(kOk, CallText(kTarvSetFileFilter, "*.TXT"));
    Paths texts = Standard({"a.txt", "c.TXT", "cache\\f.txt", "sub\\d.txt", "sub\\deeper\\e.txt"});
    EXPECT_EQ(texts, Sorted(Scan(root_)));
    EXPECT_EQ(texts, Sorted(Scan(root_)));
    EXPECT_EQ(kOk, CallText(kTarvSetFileFilter, "*.doc;txt;*.txt"));
    EXPECT_EQ(Standard({"b.doc"}), Sorted(Scan(root_)));
    EXPECT_EQ(kOk, CallText(kTarvSetFileFilter, "*.t?t"));
    EXPECT_TRUE(Scan(root_).empty());
    EXPECT_TRUE(NothingLeft());
    EXPECT_EQ(kOk, CallText(kTarvSetFileFilter, ""));
    EXPECT_EQ(all, Sorted(Scan(root_)));
}

// A folder given with a trailing backslash yields the same paths, with one backslash before
// each name at every level. Guards against "\\" in the middle of returned paths.
TEST_F(ScanTest, TrailingBackslashGivesOneBackslashBeforeEachName)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    Paths plain = Scan(root_);
    ASSERT_EQ(7u, plain.size());
    EXPECT_EQ(plain, Scan(root_ + "\\"));
    for (const std::string &path : plain)
        EXPECT_EQ(std::string::npos, path.find("\\\\")) << path;
}

// A drive root ("C:\" or "C:") gives paths such as C:\name, with one backslash. A file left
// by an earlier run that ended before its remover ran is cleared first: it would be found too.
TEST_F(ScanTest, DriveRootGivesOneBackslashBeforeTheName)
{
    std::vector<std::string> leftovers;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("C:\\tarvel-scan-*.tarvelroot", &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            leftovers.push_back(std::string("C:\\") + found.cFileName);
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (const std::string &leftover : leftovers)
        ASSERT_TRUE(DeleteFileA(leftover.c_str())) << leftover << ", error " << GetLastError();
    std::string name = "tarvel-scan-" + std::to_string(GetCurrentProcessId()) + ".tarvelroot";
    std::string path = "C:\\" + name;
    ASSERT_TRUE(MakeFileAnyLength(path));
    struct FileRemover {
        std::string path;
        ~FileRemover() { DeleteFileA(path.c_str()); }
    } remover{path};
    ASSERT_EQ(kOk, CallText(kTarvUseSubfolders, "off"));
    ASSERT_EQ(kOk, CallText(kTarvSetFileFilter, "*.tarvelroot"));
    EXPECT_EQ(Paths({path}), Scan("C:\\"));
    EXPECT_EQ(Paths({path}), Scan("C:"));
}

// A name with ';' in it comes back whole, once: the list's own separator is not a character
// that file names may hold. Guards against a path split into two wrong ones.
TEST_F(ScanTest, NameWithSemicolonComesBackWhole)
{
    const char *const names[] = {"a;b.txt", ";lead.txt", "trail;", "two;;semis.doc"};
    Paths expected;
    for (const char *name : names) {
        ASSERT_TRUE(MakeFileAnyLength(root_ + "\\" + name));
        expected.push_back(root_ + "\\" + name);
    }
    EXPECT_EQ(Sorted(expected), Sorted(Scan(root_)));
    ASSERT_EQ(kOk, CallText(kTarvSetFileFilter, "*.txt"));
    EXPECT_EQ(Sorted(Paths({root_ + "\\a;b.txt", root_ + "\\;lead.txt"})), Sorted(Scan(root_)));
}

// Under "western", a folder given in host codes is found, and every path comes back in host
// codes. Guards against a missing or reversed conversion on either side.
TEST_F(ScanTest, WesternNamesComeBackInHostCodes)
{
    ASSERT_EQ(1252u, GetACP()) << "the Wine prefix must use the western code page";
    std::string folderUtf8 = root_ + "\\Ordner \xC3\xA4";                      // "Ordner ä"
    const char *const namesUtf8[] = {"caf\xC3\xA9.txt", "Gr\xC3\xB6\xC3\x9F" "e.doc",  // café, Größe
                                     "\xC3\x85ngstr\xC3\xB6m"};                     // Ångström
    ASSERT_TRUE(MakeFolderW(Widen(folderUtf8, CP_UTF8)));
    Paths expected;
    for (const char *name : namesUtf8) {
        ASSERT_TRUE(MakeFileW(Widen(folderUtf8 + "\\" + name, CP_UTF8)));
        expected.push_back(fmhost::Utf8ToHost(folderUtf8 + "\\" + name, kMacRoman));
    }
    std::string folderHost = fmhost::Utf8ToHost(folderUtf8, kMacRoman);
    ASSERT_NE(folderUtf8, folderHost);
    EXPECT_EQ(Sorted(expected), Sorted(Scan(folderHost)));
}

// A folder that does not exist (or a file given as the folder) answers 000 and leaves nothing
// to fetch, even when an earlier scan still had paths. A text too long for any path is the same.
TEST_F(ScanTest, MissingFolderAnswersOkAndEndsTheEarlierIteration)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    const std::string missing[] = {root_ + "\\nothing-here", root_ + "\\a.txt",
                                   root_ + "\\" + std::string(300, 'x'), std::string(5000, 'y')};
    for (const std::string &folder : missing) {
        SCOPED_TRACE(folder.substr(0, 80));
        ASSERT_EQ(kOk, SetFolder(root_));
        ASSERT_FALSE(NothingLeft());
        EXPECT_EQ(kOk, SetFolder(folder));
        EXPECT_TRUE(NothingLeft());
    }
}

// Before any scan Tarv-GetNextFilePath writes nothing; a folder of three files gives three
// full paths, then nothing, and nothing again.
TEST_F(ScanTest, ThreeFilesGiveThreePathsThenNothing)
{
    EXPECT_TRUE(NothingLeft());
    const char *const names[] = {"one.txt", "two.txt", "three.txt"};
    for (const char *name : names)
        ASSERT_TRUE(MakeFileAnyLength(root_ + "\\" + name));
    ASSERT_EQ(kOk, SetFolder(root_));
    Paths found;
    for (int i = 0; i < 3; i++) {
        fmhost::CallResult result = Call(kTarvGetNextFilePath);
        EXPECT_TRUE(result.touched);
        found.push_back(result.text);
    }
    EXPECT_EQ(Standard({"one.txt", "three.txt", "two.txt"}), Sorted(found));
    EXPECT_TRUE(NothingLeft());
    EXPECT_TRUE(NothingLeft());
}

// An empty Tarv-SetFolder answers 000 and changes nothing: the iteration goes on where it was.
TEST_F(ScanTest, EmptyFolderParameterKeepsTheIterationGoing)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    Paths expected;
    ReferenceWalk(root_, true, &expected);
    ASSERT_EQ(kOk, SetFolder(root_));
    EXPECT_EQ(expected[0], CallText(kTarvGetNextFilePath));
    EXPECT_EQ(expected[1], CallText(kTarvGetNextFilePath));
    EXPECT_EQ(kOk, SetFolder(""));
    EXPECT_EQ(Paths(expected.begin() + 2, expected.end()), FetchAll());
    // Also once the list is used up: still nothing to fetch.
    EXPECT_EQ(kOk, SetFolder(""));
    EXPECT_TRUE(NothingLeft());
}

// A second scan in the middle of an iteration starts over with the new folder's paths.
TEST_F(ScanTest, SecondScanStartsOverWithTheNewFolder)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    ASSERT_EQ(kOk, SetFolder(root_));
    ASSERT_FALSE(NothingLeft());
    EXPECT_EQ(Standard({"sub\\d.txt", "sub\\deeper\\e.txt"}), Sorted(Scan(root_ + "\\sub")));
}

// After shutdown and a new init there is nothing to fetch until the next scan (the list's
// heap is gone; a stale position would read freed memory). The subfolder option outlives
// init; the extension filter does not.
TEST_F(ScanTest, ShutdownAndInitForgetTheList)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    ASSERT_EQ(kOk, CallText(kTarvUseSubfolders, "off"));
    ASSERT_EQ(kOk, CallText(kTarvSetFileFilter, "*.doc"));
    ASSERT_EQ(kOk, SetFolder(root_));
    ASSERT_EQ(root_ + "\\b.doc", CallText(kTarvGetNextFilePath));
    ASSERT_EQ(kOk, SetFolder(root_));  // positioned on an entry again
    for (int cycle = 0; cycle < 3; cycle++) {
        SCOPED_TRACE(cycle);
        fmhost::SendShutdown();
        ASSERT_EQ(kInitAccepted, fmhost::SendInit(fmhost::kFileMaker60));
        EXPECT_TRUE(NothingLeft());
        EXPECT_TRUE(NothingLeft());
    }
    EXPECT_EQ(Standard({"a.txt", "b.doc", "c.TXT", "noext"}), Sorted(Scan(root_)));
}

// Paths past the ANSI limit: a folder whose search pattern would exceed 259 characters is
// skipped with everything below it, and the walk goes on with the next entry. Guards against
// writing past the 260-byte path buffers and against a cut path scanning some other folder.
TEST_F(ScanTest, DeepTreeIsWalkedUpToThePathLimit)
{
    Paths expected;
    // A chain of long-named folders, a file in each, down to just short of the limit.
    std::string level = root_ + "\\deep";
    ASSERT_TRUE(MakeFolderAnyLength(level));
    ASSERT_TRUE(MakeFileAnyLength(level + "\\f.txt"));
    expected.push_back(level + "\\f.txt");
    for (int i = 0; level.size() + 31 < 230; i++) {
        level += "\\" + std::string(30, (char)('a' + i));
        ASSERT_TRUE(MakeFolderAnyLength(level));
        ASSERT_TRUE(MakeFileAnyLength(level + "\\f.txt"));
        expected.push_back(level + "\\f.txt");
    }
    ASSERT_LT(level.size(), 253u);
    // At the limit: a folder of 255 characters is read (its pattern has 259), one of 256 is not,
    // and one of 259, which with its separator would fill the walk's path, is not entered.
    std::string edge255 = level + "\\" + std::string(255 - level.size() - 1, 'y');
    std::string edge256 = level + "\\" + std::string(256 - level.size() - 1, 'z');
    std::string edge259 = level + "\\" + std::string(259 - level.size() - 1, 'w');
    ASSERT_EQ(255u, edge255.size());
    ASSERT_EQ(256u, edge256.size());
    ASSERT_TRUE(MakeFolderAnyLength(edge259));
    ASSERT_TRUE(MakeFileAnyLength(edge259 + "\\f.txt"));
    ASSERT_TRUE(MakeFolderAnyLength(edge255));
    ASSERT_TRUE(MakeFileAnyLength(edge255 + "\\f.txt"));
    expected.push_back(edge255 + "\\f.txt");
    // Below the 255-character folder: a path that fits (257) but whose pattern does not, and
    // a subfolder path that does not fit at all.
    ASSERT_TRUE(MakeFolderAnyLength(edge255 + "\\s"));
    ASSERT_TRUE(MakeFileAnyLength(edge255 + "\\s\\f.txt"));
    ASSERT_TRUE(MakeFolderAnyLength(edge255 + "\\" + std::string(40, 'l')));
    ASSERT_TRUE(MakeFileAnyLength(edge255 + "\\" + std::string(40, 'l') + "\\f.txt"));
    // Below the 256-character folder, a chain far past the limit.
    std::string below = edge256;
    ASSERT_TRUE(MakeFolderAnyLength(below));
    ASSERT_TRUE(MakeFileAnyLength(below + "\\f.txt"));
    for (int i = 0; i < 4; i++) {
        below += "\\" + std::string(60, 'q');
        ASSERT_TRUE(MakeFolderAnyLength(below));
        ASSERT_TRUE(MakeFileAnyLength(below + "\\f.txt"));
    }
    // A sibling after the deep branch is still walked.
    ASSERT_TRUE(MakeFolderAnyLength(root_ + "\\other"));
    ASSERT_TRUE(MakeFileAnyLength(root_ + "\\other\\o.txt"));
    expected.push_back(root_ + "\\other\\o.txt");
    EXPECT_EQ(Sorted(expected), Sorted(Scan(root_)));
}

// The list through several doublings of its block: 2,000 paths of some 140 characters make
// nearly 300 KB of text, grown from its first block by HeapReAlloc again and again (each growth
// moves the block under the emulator's heap guards). Every path comes back once, and none that
// was not made. The scale (100,000 files) is the scan benchmark's.
TEST_F(ScanTest, ListGrowsThroughSeveralDoublingsAndKeepsEveryPath)
{
    const int kFolders = 20, kFilesPerFolder = 100;
    Paths made;
    for (int folder = 0; folder < kFolders; folder++) {
        char folderName[32];
        snprintf(folderName, sizeof folderName, "\\folder%02d", folder);
        std::string folderPath = root_ + folderName;
        ASSERT_TRUE(CreateDirectoryA(folderPath.c_str(), NULL)) << folderPath;
        for (int file = 0; file < kFilesPerFolder; file++) {
            char fileName[32];
            snprintf(fileName, sizeof fileName, "\\report-%02d-%03d-", folder, file);
            size_t padding = folderPath.size() < 100 ? 120 - folderPath.size() : 20;
            made.push_back(folderPath + fileName + std::string(padding, 'x') + ".txt");
            ASSERT_TRUE(MakeFile(made.back())) << made.back();
        }
    }
    realHeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", CountedHeapReAlloc);
    ASSERT_TRUE(realHeapReAlloc != NULL);
    ASSERT_EQ(kOk, SetFolder(root_));
    Paths found = FetchAll(made.size() + 1);
    ASSERT_EQ(made.size(), found.size());
    EXPECT_EQ(Sorted(made), Sorted(found)) << "a path came twice, or one that was not made";
    // 300 KB from a first block of a few hundred bytes: doubling takes some ten growths.
    EXPECT_GE(heapReAllocCalls, 8);
}

// The list holds a zero byte and the folder's path with its backslash, then each file's name
// and its zero byte, then two end bytes. A folder of 126 characters and names of 64 make a
// list of 131 + 65k bytes with k files: with the list's first block of 260 bytes and
// doubling, one more than a block of 260, 520, 1040, 2080 and 4160 at k = 2, 6, 14, 30 and
// 62. Each time the list must grow: a list that reserves one byte too few writes its end byte
// just past its block, which the emulator's heap guards turn into a fault or a rule break.
TEST_F(ScanTest, ListEndingOneBytePastABlockGrowsFirst)
{
    ASSERT_LT(root_.size(), 125u) << "the scratch folder is too long";
    const std::string folder = root_ + "\\" + std::string(125 - root_.size(), 'f');  // 126 characters
    ASSERT_TRUE(MakeFolderAnyLength(folder));
    Paths made;
    for (int file = 0; file < 62; file++) {
        char number[16];
        snprintf(number, sizeof number, "\\%02d-", file);
        made.push_back(folder + number + std::string(57, 'n') + ".txt");
        ASSERT_TRUE(MakeFileAnyLength(made.back()));
    }
    EXPECT_EQ(Sorted(made), Sorted(Scan(folder)));
}

// When the private heap cannot be created, the scan answers -003 rather than a success that
// lists nothing, and there is nothing to fetch; the next scan works again.
TEST_F(ScanTest, HeapCreateFailureAnswersCannotIterate)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "HeapCreate", FailingHeapCreate));
    EXPECT_EQ(kCannotIterate, SetFolder(root_));
    EXPECT_EQ(1, heapCreateCalls);
    EXPECT_TRUE(NothingLeft());
    fmhost::UnhookImport("kernel32.dll", "HeapCreate");
    EXPECT_EQ(7u, Scan(root_).size());
}

// When the list's first block cannot be allocated, the answer is -003 and the heap made for
// it is destroyed at once, not left behind.
TEST_F(ScanTest, ListAllocationFailureAnswersCannotIterateAndFreesTheHeap)
{
    ASSERT_NO_FATAL_FAILURE(MakeStandardTree());
    ASSERT_TRUE(fmhost::HookImportAs("kernel32.dll", "HeapAlloc", FailingHeapAlloc));
    realHeapDestroy = fmhost::HookImportAs("kernel32.dll", "HeapDestroy", CountedHeapDestroy);
    ASSERT_TRUE(realHeapDestroy != NULL);
    EXPECT_EQ(kCannotIterate, SetFolder(root_));
    EXPECT_EQ(1, heapAllocCalls);
    EXPECT_EQ(1, heapDestroyCalls);
    EXPECT_TRUE(NothingLeft());
}

// When the list cannot grow, the walk stops there: -003, and exactly the paths found before
// the failure can be fetched, in order. Memory runs out at the first, second, ... growth in
// turn until a scan needs no more growths than that, which must then answer 000 with every
// path. Before giving up, the list asks for ever smaller blocks, down to the entry's need.
TEST_F(ScanTest, ListGrowthFailureKeepsThePathsFoundSoFar)
{
    ASSERT_NO_FATAL_FAILURE(MakeNumberedEntries(300));
    Paths complete;
    ReferenceWalk(root_, true, &complete);
    ASSERT_EQ(300u, complete.size());
    realHeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", CountedHeapReAlloc);
    ASSERT_TRUE(realHeapReAlloc != NULL);
    size_t keptBefore = 0;
    int growths = 0;
    for (failReAllocAt = 1; failReAllocAt < 100; failReAllocAt++) {
        SCOPED_TRACE("growth " + std::to_string(failReAllocAt) + " fails");
        heapReAllocCalls = 0;
        reAllocFailed = false;
        failedSizes.clear();
        std::string status = SetFolder(root_);
        Paths found = FetchAll(complete.size() + 1);
        if (!reAllocFailed) {
            growths = heapReAllocCalls;
            EXPECT_EQ(kOk, status);
            EXPECT_EQ(complete, found);
            break;
        }
        EXPECT_EQ(kCannotIterate, status);
        ASSERT_GE(failedSizes.size(), 2u) << "no smaller growth was tried";
        for (size_t i = 1; i < failedSizes.size(); i++)
            EXPECT_LT(failedSizes[i], failedSizes[i - 1]) << "the walk went on after the failure";
        ASSERT_LT(found.size(), complete.size());
        EXPECT_GT(found.size(), keptBefore);
        EXPECT_EQ(Paths(complete.begin(), complete.begin() + found.size()), found);
        keptBefore = found.size();
    }
    // Doubling: 300 paths of some 60 characters need only a handful of growths.
    EXPECT_GE(growths, 3);
    EXPECT_LE(growths, 12);
}

// Where memory is there only in pieces, the list grows in smaller steps instead of giving up:
// a doubled block is refused, but one half as much larger is granted, or only one that takes
// the next entry and no more, which no halved step hits: the list then asks for just what the
// entry needs. Either way the scan answers 000 with every path. Before, the first refused
// doubling ended the scan with -003.
size_t HalfAsMuchLarger(size_t granted) { return granted + granted / 2; }
// The list of MakeNumberedEntries' files is root_'s record and two end bytes (listBase), then
// 14 bytes a file ("entry-000.txt" and its zero byte).
size_t listBase;
size_t TheNextEntryOnly(size_t granted) { return granted + 14 - (granted - listBase) % 14; }

TEST_F(ScanTest, ListGrowsInSmallerStepsWhereTheDoubledBlockIsMissing)
{
    ASSERT_NO_FATAL_FAILURE(MakeNumberedEntries(300));
    Paths complete;
    ReferenceWalk(root_, true, &complete);
    ASSERT_EQ(300u, complete.size());
    listBase = 1 + root_.size() + 1 + 1 + 2;  // a zero byte, root_ and its backslash, a zero byte
    realHeapReAlloc = fmhost::HookImportAs("kernel32.dll", "HeapReAlloc", CountedHeapReAlloc);
    ASSERT_TRUE(realHeapReAlloc != NULL);
    static const struct {
        const char *memory;
        size_t (*largest)(size_t);
    } cases[] = {
        {"a block half as much larger", HalfAsMuchLarger},
        {"a block that takes the next entry and no more", TheNextEntryOnly},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.memory);
        largestGrant = c.largest;
        grantedSize = 260;  // the list's first block
        failedSizes.clear();
        EXPECT_EQ(kOk, SetFolder(root_));
        EXPECT_EQ(complete, FetchAll(complete.size() + 1));
        EXPECT_FALSE(failedSizes.empty()) << "no growth was refused";
    }
}
