// NameReadsBackAsItself, its shortcut for plain names, and MaskRewrittenCharacters: the names
// that a path carries as they are, and what stands in a path for the rest so that it names no
// file.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>

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
        // The walk's shortcut takes the exact names of ASCII alone, each as its own codes.
        bool ascii = std::all_of(name.begin(), name.end(), [](char16_t u) { return u < 0x80; });
        char plain[32] = {0};
        size_t length = 0;
        ASSERT_EQ(name == expected && ascii,
                  PlainNameToCodes((const Utf16Unit *)name.c_str(), plain, sizeof plain, &length));
        if (ascii && name == expected)
            EXPECT_EQ(std::string(name.begin(), name.end()), std::string(plain, length));
    }
    EXPECT_FALSE(NameReadsBackAsItself((const Utf16Unit *)u"", 0));
    EXPECT_FALSE(NameReadsBackAsItself(NULL, 0));
    // Ten units and the terminator fill eleven bytes; given ten, the shortcut leaves the name to
    // the full way, which finds it too long.
    char out[11];
    size_t length = 0;
    EXPECT_TRUE(PlainNameToCodes((const Utf16Unit *)u"report.txt", out, 11, &length));
    EXPECT_FALSE(PlainNameToCodes((const Utf16Unit *)u"report.txt", out, 10, &length));
}
