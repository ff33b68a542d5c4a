// Host texts on a system whose ANSI code page is double-byte (932, Shift-JIS), with no table
// in force ("english"): the second byte of a character may be the code of '\' or of an ASCII
// letter. Tarv-GetFileName, the extension filter and the scan's folder read them by
// characters; a path text that Windows reads as another file or folder names none.
#include <windows.h>
#include <shellapi.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";
const char kIncorrectOption[] = "-001 (Incorrect option)";
const char kFileNotFound[] = "-004 (File not found)";

// 表 is 0x95 0x5C and ソ 0x83 0x5C in Shift-JIS; ア 0x83 0x41, ヂ 0x83 0x61; ・ (U+30FB) is
// 0x81 0x45, which Windows also reads a lone 0x81 as; ― (U+2015) is 0x81 0x5C. 歃 is 0x9F
// 0x5C: its lead byte ends the first range of lead bytes (0x81 to 0x9F).
#define HYO "\x95\x5C"
#define SO "\x83\x5C"
#define A_KANA "\x83\x41"
#define DI_KANA "\x83\x61"
#define NAKAGURO "\x81\x45"
#define DASH "\x81\x5C"
#define LAST_LEAD "\x9F\x5C"

std::wstring Wide(const std::string &shiftJis)
{
    int length = MultiByteToWideChar(932, 0, shiftJis.data(), (int)shiftJis.size(), NULL, 0);
    std::wstring wide((size_t)length, L'\0');
    MultiByteToWideChar(932, 0, shiftJis.data(), (int)shiftJis.size(), &wide[0], length);
    return wide;
}

bool MakeFileW(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// The paths the plug-in handed to the shell, to open or for an icon; the shell is never reached.
std::vector<std::wstring> shellPaths;
HINSTANCE WINAPI RecordShellExecuteW(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    shellPaths.push_back(file);
    return (HINSTANCE)42;
}
DWORD_PTR WINAPI RecordSHGetFileInfoW(LPCWSTR path, DWORD, SHFILEINFOW *, UINT, UINT)
{
    shellPaths.push_back(path);
    return 0;  // no icon: the copy answers -001 and leaves the clipboard alone
}

class DoubleByteTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_EQ(932u, GetACP()) << "this test runs under a Japanese locale (TARVEL_WINE_LOCALE)";
        ASSERT_EQ(kOk, CallText(kTarvSetLocale, "english"));
    }

    std::vector<std::string> Scan(const std::string &folder)
    {
        EXPECT_EQ(kOk, CallText(kTarvSetFolder, folder));
        std::vector<std::string> paths;
        for (fmhost::CallResult next; paths.size() < 20 && (next = Call(kTarvGetNextFilePath)).touched;)
            paths.push_back(next.text);
        return paths;
    }
};

}  // namespace

// The name after the last backslash character; under a single-byte table the same bytes are
// read one by one, as before.
TEST_F(DoubleByteTest, FileNameFollowsTheLastBackslashCharacter)
{
    static const struct {
        const char *locale, *path, *name;
    } cases[] = {
        {"english", "C:\\" HYO "\\" SO ".txt", SO ".txt"},
        {"english", "C:\\d\\" HYO, HYO},
        {"english", "C:\\d\\" LAST_LEAD ".txt", LAST_LEAD ".txt"},
        {"western", "C:\\" HYO "\\" SO ".txt", ".txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.path);
        ASSERT_EQ(kOk, CallText(kTarvSetLocale, c.locale));
        EXPECT_EQ(c.name, CallText(kTarvGetFileName, c.path));
    }
}

// The filter "*.ア" keeps y.ア and not y.ヂ (whose second byte is 'a' to a byte-wise reading);
// a folder text ending in a lone lead byte, which Windows reads as the folder ・, lists
// nothing, where it listed ・\a.zzq as if it were ―a.zzq; ・ itself, given whole, lists its file.
// A folder text ending in ソ, whose second byte is the code of '\', gets its separator all
// the same, with a trailing backslash or without: never ソa.zzq, never ソ\\a.zzq.
TEST_F(DoubleByteTest, ScanReadsFolderAndFilterByCharacters)
{
    const std::string folder = TestScratchFolder();  // ASCII
    const std::wstring wideFolder = Wide(folder);
    for (const char *name : {NAKAGURO, SO})
        ASSERT_TRUE(CreateDirectoryW((wideFolder + L"\\" + Wide(name)).c_str(), NULL)) << name;
    for (const char *name : {NAKAGURO "\\a.zzq", DASH "a.zzq", SO "\\a.zzq", "y." A_KANA, "y." DI_KANA})
        ASSERT_TRUE(MakeFileW(wideFolder + L"\\" + Wide(name))) << name;

    ASSERT_EQ(kOk, CallText(kTarvSetFileFilter, "*." A_KANA));
    EXPECT_EQ(std::vector<std::string>{folder + "\\y." A_KANA}, Scan(folder));

    ASSERT_EQ(kOk, CallText(kTarvSetFileFilter, "*.zzq"));
    EXPECT_EQ(std::vector<std::string>(), Scan(folder + "\\\x81"));
    EXPECT_EQ(std::vector<std::string>{folder + "\\" NAKAGURO "\\a.zzq"}, Scan(folder + "\\" NAKAGURO));
    for (const char *end : {"", "\\"})
        EXPECT_EQ(std::vector<std::string>{folder + "\\" SO "\\a.zzq"}, Scan(folder + "\\" SO + end))
            << "the folder text ends in \"" << end << "\"";
}

// A path ending in a lone lead byte, which Windows reads as a character of its own (・), names
// no file, though a・ and d・ exist: Tarv-OpenFile answers -004, the starting folder -001, the
// icon copy -001, and the shell hears of none. Before, Tarv-OpenFile opened a・, the starting
// folder was d・ and the shell was asked for a・'s icon. Given whole, the names lead there.
TEST_F(DoubleByteTest, ALoneLeadByteNamesNoFile)
{
    const std::string folder = TestScratchFolder();  // ASCII
    ASSERT_TRUE(MakeFileW(Wide(folder + "\\a" NAKAGURO)));
    ASSERT_TRUE(CreateDirectoryW(Wide(folder + "\\d" NAKAGURO).c_str(), NULL));
    ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "ShellExecuteW", RecordShellExecuteW) != NULL);
    ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "SHGetFileInfoW", RecordSHGetFileInfoW) != NULL);
    static const struct {
        uint32_t function;
        const char *name;
        const char *refused, *whole;  // the answers to the name with a lone lead byte, and whole
        bool asksShell;
    } cases[] = {
        {kTarvOpenFile, "a", kFileNotFound, kOk, true},
        {kTarvSetInitialFolder, "d", kIncorrectOption, kOk, false},
        {kTarvCopyLargeFileIcon, "a", kIncorrectOption, kIncorrectOption, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.function);
        shellPaths.clear();
        EXPECT_EQ(c.refused, CallText(c.function, folder + "\\" + c.name + "\x81"));
        EXPECT_EQ(std::vector<std::wstring>(), shellPaths);
        const std::string whole = folder + "\\" + c.name + NAKAGURO;
        EXPECT_EQ(c.whole, CallText(c.function, whole));
        EXPECT_EQ(c.asksShell ? std::vector<std::wstring>{Wide(whole)} : std::vector<std::wstring>(), shellPaths);
    }
}
