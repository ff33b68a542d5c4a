// Host texts on a system whose ANSI code page is double-byte (932, Shift-JIS), with no table
// in force ("english"): the second byte of a character may be the code of '\' or of an ASCII
// letter. Tarv-GetFileName, the extension filter and the scan's folder read them by
// characters; a folder text that Windows reads as another folder lists nothing.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";

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
