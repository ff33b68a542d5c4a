// Texts in a double-byte code page (Shift-JIS, code page 932, here) read by characters: the
// second byte of a character may be the code of '\', '.' or an ASCII letter. With no lead
// bytes, the same texts read byte by byte, as in every single-byte code page.
#include <gtest/gtest.h>
#include <string>

#include "files/extension_filter.h"
#include "files/file_name.h"
#include "files/token.h"
#include "tests/native/shift_jis.h"

namespace {

const LeadBytes kShiftJis = ShiftJisLeadBytes();

// 表 is 0x95 0x5C, ソ 0x83 0x5C, ア 0x83 0x41, ヂ 0x83 0x61.
#define HYO "\x95\x5C"
#define SO "\x83\x5C"
#define A_KANA "\x83\x41"
#define DI_KANA "\x83\x61"

}  // namespace

TEST(DoubleByteText, FileNameIsAfterTheLastBackslashCharacter)
{
    static const struct {
        const char *path;
        const char *shiftJisName;  // read by characters
        const char *byteName;      // read byte by byte
    } cases[] = {
        {"C:\\" HYO "\\" SO ".txt", SO ".txt", ".txt"},
        {"C:\\a\\" HYO, HYO, ""},
        {HYO "x", HYO "x", "x"},
        {"C:\\x\\\x81", "\x81", "\x81"},  // a lone lead byte at the end is a character of its own
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(c.shiftJisName, FileNameOfPath(c.path, &kShiftJis));
        EXPECT_STREQ(c.byteName, FileNameOfPath(c.path, NULL));
    }
}

TEST(DoubleByteText, ExtensionsMatchWholeCharacters)
{
    static const struct {
        const char *name;
        const char *filter;
        bool shiftJisPasses;
        bool bytePasses;
    } cases[] = {
        {"y." A_KANA, "*." A_KANA, true, true},
        {"y." DI_KANA, "*." A_KANA, false, true},   // 0x61 is no letter there: no case folding
        {"Y." A_KANA, "*." A_KANA, true, true},      // a single-byte letter still folds
        {SO ".TXT", "*.txt", true, true},
        {"\x81.A", "*.a", false, true},              // the '.' is the second byte of a character
        {"x" A_KANA, "*." A_KANA, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.filter);
        EXPECT_EQ(c.shiftJisPasses, MatchesExtensionFilter(c.name, c.filter, &kShiftJis));
        EXPECT_EQ(c.bytePasses, MatchesExtensionFilter(c.name, c.filter, NULL));
    }
}

// A token cut at the buffer keeps whole characters only: half a character would read as
// another one.
TEST(DoubleByteText, TokensAreCutBetweenCharacters)
{
    static const struct {
        size_t capacity;
        const char *shiftJisToken;
        const char *byteToken;
    } cases[] = {
        {4, "a" A_KANA, "a" A_KANA},
        {3, "a", "a\x83"},
        {2, "a", "a"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.capacity);
        const char text[] = "a" A_KANA A_KANA ";" HYO;
        char token[8];
        memset(token, 0, sizeof token);
        EXPECT_EQ(text + 6, ReadToken(text, token, c.capacity, &kShiftJis));
        EXPECT_STREQ(c.shiftJisToken, token);
        memset(token, 0, sizeof token);
        EXPECT_EQ(text + 6, ReadToken(text, token, c.capacity, NULL));
        EXPECT_STREQ(c.byteToken, token);
    }
}
