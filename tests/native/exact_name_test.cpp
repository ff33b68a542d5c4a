// NameReadsBackAsItself, its shortcut for plain names, and MaskRewrittenCharacters: the names
// that a path carries as they are, and what stands in a path for the rest so that it names no
// file.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>

#include "encoding/codepage.h"
#include "files/exact_name.h"

TEST(ExactName, NamesThatWindowsWouldRewriteAreMasked)
{
    static const struct {
        const char16_t *name;
        const char16_t *masked;  // what MaskRewrittenCharacters makes of it; the name itself when exact
    } cases[] = {
        // Exact: ordinary names, dots and blanks inside, characters beyond ASCII.
        {u"report.txt", u"report.txt"}, {u"a b.c d", u"a b.c d"}, {u".profile", u".profile"},
        {u"\u041c\u043e\u0441\u043a\u0432\u0430", u"\u041c\u043e\u0441\u043a\u0432\u0430"},
        {u"NULL.txt", u"NULL.txt"}, {u"COM10", u"COM10"}, {u"x\uff3c..\uff3cevil.txt", u"x\uff3c..\uff3cevil.txt"},
        // Trimmed at the end by Windows.
        {u"tdot.txt.", u"tdot.txt?"}, {u"tsp.txt ", u"tsp.txt?"}, {u"a. .", u"a???"},
        {u".", u"?"}, {u"..", u"??"},
        // Separators, the drive and stream mark, wildcards, reserved and control characters.
        {u"x\\..\\..\\evil.txt", u"x?..?..?evil.txt"}, {u"a\\..", u"a???"},
        {u"a/b", u"a?b"}, {u"c:d", u"c?d"}, {u"w*.?", u"w?.?"}, {u"q\"<>|", u"q????"},
        {u"tab\tname", u"tab?name"},
        // Devices: the last character of the device's own name.
        {u"NUL.txt", u"NU?.txt"}, {u"com1", u"com?"}, {u"CONIN$", u"CONIN?"}, {u"aux .log", u"au? .log"},
    };
    for (const auto &c : cases) {
        std::u16string name(c.name), expected(c.masked);
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        EXPECT_EQ(name == expected, NameReadsBackAsItself((const Utf16Unit *)name.data(), name.size()));
        std::u16string masked = name;
        MaskRewrittenCharacters((Utf16Unit *)&masked[0], masked.size());
        EXPECT_TRUE(masked == expected) << std::string(masked.begin(), masked.end());
    }
    EXPECT_FALSE(NameReadsBackAsItself((const Utf16Unit *)u"", 0));
    EXPECT_FALSE(NameReadsBackAsItself(NULL, 0));
}

// The walk's shortcut takes a name exactly when it is ASCII and the full way (each table's code
// page and maps, then NameReadsBackAsItself) takes it as itself, and gives the same codes:
// every ASCII unit at a name's start, inside and at its end, devices, and the buffer's last
// byte. One name too many would reach the host as a name that Windows rewrites.
TEST(ExactName, PlainNamesTakeTheShortcutOnlyWhereTheFullWayAgrees)
{
    std::vector<std::u16string> names = {u"NUL.txt", u"com1", u"aux .log", u"COM10", u"x\u00e9", u""};
    for (char16_t unit = 1; unit < 0x80; unit++)
        for (size_t at = 0; at < 3; at++)
            names.push_back(std::u16string(u"ab").insert(at, 1, unit));
    for (const LocaleEntry *locale = kLocaleEntries + 1; locale->name[0] != '\0'; locale++) {
        CodePageMaps maps;
        BuildCodePageMaps(locale->table, kCodePageTableCapacity, &maps);
        for (const std::u16string &name : names) {
            SCOPED_TRACE(std::string(locale->name) + ": " + std::string(name.begin(), name.end()));
            const Utf16Unit *units = (const Utf16Unit *)name.c_str();
            char plain[16], full[16];
            size_t plainLength = 0, fullLength = 0;
            bool taken = PlainNameToCodes(units, plain, sizeof plain, &plainLength);
            bool exact = Utf16ToSingleByte(WindowsCodePageUpperHalf(locale->codePage), &maps, units,
                                           name.size(), full, sizeof full, &fullLength) == kNameFits &&
                         NameReadsBackAsItself(units, name.size()) &&
                         std::all_of(name.begin(), name.end(), [](char16_t u) { return u < 0x80; });
            ASSERT_EQ(exact, taken);
            if (taken)
                EXPECT_EQ(std::string(full, fullLength), std::string(plain, plainLength));
        }
    }
    size_t length = 0;
    char out[8];
    EXPECT_TRUE(PlainNameToCodes((const Utf16Unit *)u"abcdefg", out, sizeof out, &length) && length == 7);
    EXPECT_FALSE(PlainNameToCodes((const Utf16Unit *)u"abcdefgh", out, sizeof out, &length));
}
