// The locale's code pages and UTF-16, both ways: names that fit come back exactly, names that
// do not are never replaced by look-alikes, and the buffers' bounds hold.
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "encoding/codepage.h"
#include "encoding/utf16_text.h"

namespace {

std::u16string Utf16(const char *bytes, unsigned codePage)
{
    Utf16Unit out[64];
    EXPECT_GE(SingleByteToUtf16(WindowsCodePageUpperHalf(codePage), bytes, out, 64), 0);
    return std::u16string(out);
}

// Converts name to codePage with the maps of the locale (NULL: none), into a buffer of
// capacity bytes; returns the bytes and sets *fit.
std::string Codes(const std::u16string &name, unsigned codePage, const char *locale,
                  NameFit *fit, size_t capacity = 64)
{
    const CodePageMaps *maps = NULL;
    if (locale != NULL) {
        SelectLocale(locale);
        maps = CurrentCodePageMaps();
    }
    char out[64];
    memset(out, 'X', sizeof out);
    size_t written = 99;
    *fit = Utf16ToSingleByte(WindowsCodePageUpperHalf(codePage), maps, name.data(), name.size(),
                             out, capacity, &written);
    EXPECT_LT(strlen(out), capacity);
    EXPECT_EQ(*fit == kNameTooLong ? 0u : strlen(out), written);
    return out;
}

}  // namespace

// Each code page's characters read and write back to the same byte.
TEST(Utf16Text, EveryByteOfEachCodePageComesBack)
{
    for (unsigned codePage : {1250u, 1251u, 1252u}) {
        SCOPED_TRACE(codePage);
        for (int code = 1; code < 256; code++) {
            char text[2] = {(char)code, '\0'};
            std::u16string unit = Utf16(text, codePage);
            ASSERT_EQ(1u, unit.size());
            NameFit fit;
            EXPECT_EQ(std::string(text), Codes(unit, codePage, NULL, &fit)) << code;
            EXPECT_EQ(kNameFits, fit) << code;
        }
    }
    EXPECT_EQ(NULL, WindowsCodePageUpperHalf(1253));
    EXPECT_EQ(NULL, WindowsCodePageUpperHalf(0));
}

// What the ANSI functions turned into look-alikes does not fit; each character that does not
// fit is one kUnfitCharacter, a surrogate pair included.
TEST(Utf16Text, CharactersOutsideTheCodePageNeverBecomeLookAlikes)
{
    static const struct {
        const char16_t *name;
        unsigned codePage;
        const char *codes;  // in the code page
        NameFit fit;
    } cases[] = {
        {u"\u0141\u00f3d\u017a.txt", 1252, "?\xf3" "d?.txt", kNameDoesNotFit},   // Łódź: Ł→L was best fit
        {u"\u0141\u00f3d\u017a.txt", 1250, "\xa3\xf3" "d\x9f.txt", kNameFits},
        {u"\uff45\uff56\uff49\uff4c.txt", 1252, "????.txt", kNameDoesNotFit},  // full-width "evil"
        {u"x\uff3c..\uff3c..\uff3c" "evil.txt", 1252, "x?..?..?evil.txt", kNameDoesNotFit},
        {u"\u041c\u043e\u0441\u043a\u0432\u0430.txt", 1251, "\xcc\xee\xf1\xea\xe2\xe0.txt", kNameFits},
        {u"\u041c\u043e\u0441\u043a\u0432\u0430.txt", 1250, "??????.txt", kNameDoesNotFit},
        {u"\u6771\u4eac.txt", 1252, "??.txt", kNameDoesNotFit},
        {u"a\U0001F600b", 1252, "a?b", kNameDoesNotFit},        // one pair, one character
        {u"a\xd800" "b", 1252, "a?b", kNameDoesNotFit},         // a lone surrogate
        {u"\u20ac1", 1252, "\x80" "1", kNameFits},
        {u"", 1252, "", kNameFits},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.codes);
        NameFit fit;
        EXPECT_EQ(std::string(c.codes), Codes(c.name, c.codePage, NULL, &fit));
        EXPECT_EQ(c.fit, fit);
    }
}

// A code that the table would not bring back from the host does not fit: under "western" the
// euro sign goes to the host as its own code, which the host sends back as Ä.
TEST(Utf16Text, CodesThatTheTableCannotBringBackDoNotFit)
{
    NameFit fit;
    EXPECT_EQ("?.txt", Codes(u"\u20ac.txt", 1252, "western", &fit));
    EXPECT_EQ(kNameDoesNotFit, fit);
    EXPECT_EQ("\xdc" "bersicht", Codes(u"\u00dcbersicht", 1252, "western", &fit));  // has a row
    EXPECT_EQ(kNameFits, fit);
    EXPECT_EQ("\xa2", Codes(u"\u00a2", 1252, "western", &fit));  // no row either way
    EXPECT_EQ(kNameFits, fit);
    EXPECT_EQ("\xc0\xff", Codes(u"\u0410\u044f", 1251, "cyrillic", &fit));
    EXPECT_EQ(kNameFits, fit);
    EXPECT_EQ("\x80", Codes(u"\u20ac", 1252, "english", &fit));  // no table: no round trip
    EXPECT_EQ(kNameFits, fit);
}

// The buffer holds capacity - 1 bytes and its terminator; a name that needs more leaves it empty.
TEST(Utf16Text, BuffersAreBoundedByTheirCapacityLessOne)
{
    NameFit fit;
    EXPECT_EQ("abc", Codes(u"abc", 1252, NULL, &fit, 4));
    EXPECT_EQ(kNameFits, fit);
    EXPECT_EQ("", Codes(u"abcd", 1252, NULL, &fit, 4));
    EXPECT_EQ(kNameTooLong, fit);
    EXPECT_EQ("", Codes(u"", 1252, NULL, &fit, 1));
    EXPECT_EQ(kNameFits, fit);

    Utf16Unit wide[4];
    wide[3] = 0x5A5A;
    EXPECT_EQ(3, SingleByteToUtf16(WindowsCodePageUpperHalf(1252), "ab\xfc", wide, 4));
    EXPECT_EQ(u"ab\u00fc", std::u16string(wide));
    EXPECT_EQ(-1, SingleByteToUtf16(WindowsCodePageUpperHalf(1252), "abcd", wide, 4));
    EXPECT_EQ(0, wide[0]);
    EXPECT_EQ(-1, SingleByteToUtf16(WindowsCodePageUpperHalf(1252), "", wide, 0));
}
