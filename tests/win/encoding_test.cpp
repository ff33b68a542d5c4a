// Tarv-SetLocale through the host emulator, and the code-page table in force as the host's
// paths show it: Tarv-OpenFile converts its path and tests its existence first, so an
// import-table hook on GetFileAttributesW sees the path, read back in the locale's Windows
// code page, in Windows codes (and, answering "not found", keeps the shell out of it). The
// characters are checked against Windows' own code pages, independently of the tables' source.
#include <windows.h>
#include <set>
#include <string>
#include <utility>
#include "plugin/handlers.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";
const char kFileNotFound[] = "-004 (File not found)";

std::wstring attributesPath;  // the last path GetFileAttributesW received
int attributesCalls;

DWORD WINAPI FakeGetFileAttributesW(LPCWSTR path)
{
    attributesPath = path != NULL ? path : L"<NULL>";
    attributesCalls++;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

// The character of one byte in a Windows code page, or 0 when it cannot be read.
WCHAR CharacterOf(unsigned codePage, unsigned char code)
{
    char in = (char)code;
    WCHAR out = 0;
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, &in, 1, &out, 1) != 1)
        return 0;
    return out;
}

class EncodingTest : public PluginTest {
protected:
    // The path that Tarv-OpenFile passes to the existence test for hostPath, in the codes of
    // the locale's Windows code page (0: the system's ANSI code page, for no table).
    std::string PathReachingWindows(const std::string &hostPath, UINT windowsCodePage = 1252)
    {
        if (fmhost::HookImportAs("kernel32.dll", "GetFileAttributesW", FakeGetFileAttributesW) == NULL) {
            ADD_FAILURE() << "the plug-in does not import GetFileAttributesW (is Tarv-OpenFile built?)";
            return std::string();
        }
        attributesPath.clear();
        attributesCalls = 0;
        fmhost::CallResult result = Call(kTarvOpenFile, hostPath);
        EXPECT_EQ(kFileNotFound, result.text);
        EXPECT_EQ(1, attributesCalls);
        fmhost::UnhookImport("kernel32.dll", "GetFileAttributesW");
        return Narrow(attributesPath, windowsCodePage);
    }

    void SetLocale(const std::string &name)
    {
        fmhost::CallOptions options;
        options.prefillResult = true;
        fmhost::CallResult result = Call(kTarvSetLocale, name, options);
        EXPECT_TRUE(result.touched);
        EXPECT_EQ(kOk, result.text) << "locale \"" << name.substr(0, 20) << "\"";
    }
};

}  // namespace

// Every name, known or not, empty or too long for the parameter buffer, answers 000 (OK) in
// a result the plug-in actually wrote.
TEST_F(EncodingTest, SetLocaleAnswersOkForEveryName)
{
    const std::string names[] = {
        "english", "western", "WESTERN", "Western", "cyrillic", "czech", "CZECH",
        "west", "western ", "", std::string(5000, 'w'), "western" + std::string(4993, ' '),
    };
    for (const std::string &name : names) {
        SCOPED_TRACE(name.substr(0, 20) + " (" + std::to_string(name.size()) + " bytes)");
        SetLocale(name);
    }
}

// After init, with no Tarv-SetLocale, the western table converts paths: host ü (0x9F)
// reaches Windows as 0xFC and the rest of the path stays as it was.
TEST_F(EncodingTest, WesternTableIsInForceAfterInit)
{
    EXPECT_EQ("C:\\M\xFCller\\plan.txt", PathReachingWindows("C:\\M\x9Fller\\plan.txt"));
}

// Each name selects its table for the paths that follow, and a name that matches nothing
// leaves no conversion, not the table chosen before it. Every byte that a table changes must
// stand for the same character in the host's Macintosh code page and in the Windows code page
// (western's thirteen pairings of characters that only one set holds excepted).
TEST_F(EncodingTest, SetLocaleSelectsTheTableThatPathsAreConvertedWith)
{
    static const struct {
        std::string name;
        // 0 when no conversion is expected; the paths are then read in the system's ANSI code
        // page (CP_ACP, which is 0).
        unsigned hostCodePage, windowsCodePage;
        int changedBytes;                        // the table's row count
    } cases[] = {
        {"cyrillic", 10007, 1251, 35},
        {"west", 0, 0, 0},
        {"Western", 10000, 1252, 108},
        {"western ", 0, 0, 0},
        {"CZECH", 10029, 1250, 30},
        {"english", 0, 0, 0},
        {"czech", 10029, 1250, 30},
        {"western" + std::string(4993, ' '), 0, 0, 0},  // cut at 4095 bytes: matches nothing
        {"WESTERN", 10000, 1252, 108},
        {"", 0, 0, 0},
    };
    const std::set<std::pair<int, int>> westernPairs = {  // (host, Windows)
        {0xAD, 0xA4}, {0xB2, 0x8A}, {0xB6, 0xF0}, {0xB7, 0x8E}, {0xBA, 0x9A},
        {0xC3, 0x9E}, {0xC5, 0xA6}, {0xF9, 0xD0}, {0xFA, 0xD7}, {0xFB, 0xDD},
        {0xFD, 0xDE}, {0xFE, 0xFD}, {0xFF, 0xFE}};
    std::string hostPath = "C:\\";
    for (int code = 0x80; code < 0x100; code++)
        hostPath += (char)code;
    hostPath += ".txt";

    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.substr(0, 20));
        SetLocale(c.name);
        std::string windowsPath = PathReachingWindows(hostPath, c.windowsCodePage);
        ASSERT_EQ(hostPath.size(), windowsPath.size());
        EXPECT_EQ("C:\\", windowsPath.substr(0, 3));
        EXPECT_EQ(".txt", windowsPath.substr(windowsPath.size() - 4));
        int changed = 0;
        for (size_t i = 3; i < 3 + 0x80; i++) {
            int host = (unsigned char)hostPath[i], windows = (unsigned char)windowsPath[i];
            EXPECT_GE(windows, 0x80) << "host " << host;
            if (host == windows)
                continue;
            changed++;
            if (c.hostCodePage == 0)
                continue;  // counted: a change where none is wanted fails below
            if (c.hostCodePage == 10000 && westernPairs.count({host, windows}) != 0)
                continue;
            WCHAR hostCharacter = CharacterOf(c.hostCodePage, (unsigned char)host);
            EXPECT_NE(0, hostCharacter) << "host " << host;
            EXPECT_EQ(hostCharacter, CharacterOf(c.windowsCodePage, (unsigned char)windows))
                << "host " << host << " became Windows " << windows;
        }
        EXPECT_EQ(c.changedBytes, changed);
    }
}
