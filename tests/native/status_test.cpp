// Status texts for every code, and the codes that have none.
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>
#include "plugin/status.h"

// Every code of the table gives its exact text; a wrong message index or sign would show here.
TEST(StatusText, EveryCodeOfTheTable)
{
    static const struct {
        int32_t code;
        const char *text;
    } cases[] = {
        {0, "000 (OK)"},
        {-1, "-001 (Incorrect option)"},
        {-2, "-002 (Directory not found)"},
        {-3, "-003 (Cannot iterate directory)"},
        {-4, "-004 (File not found)"},
        {-5, "-005 (Error launching file)"},
        {-6, "-006 (Cannot copy icon)"},
        {-7, "-007 (Cannot restore clipboard content)"},
        // Positive codes are never produced, but a magnitude below 8 still has a text.
        {4, "004 (File not found)"},
        {7, "007 (Cannot restore clipboard content)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        char text[kStatusTextCapacity];
        ASSERT_TRUE(FormatStatusResult(c.code, text, sizeof text));
        EXPECT_STREQ(c.text, text);
    }
}

// Codes outside the table give no text: the caller must leave the result untouched.
TEST(StatusText, CodesOutsideTheTableHaveNoText)
{
    static const int32_t codes[] = {8, -8, 1000, -1000, INT32_MAX, INT32_MIN, INT32_MIN + 1};
    for (int32_t code : codes) {
        SCOPED_TRACE(code);
        char text[kStatusTextCapacity];
        memset(text, 'x', sizeof text);
        EXPECT_FALSE(FormatStatusResult(code, text, sizeof text));
        EXPECT_STREQ("", text);
    }
}

// A small buffer is never written past; the text is cut to capacity - 1 characters.
TEST(StatusText, SmallBufferIsCut)
{
    char text[8];
    memset(text, 'x', sizeof text);
    ASSERT_TRUE(FormatStatusResult(-7, text, 6));
    EXPECT_STREQ("-007 ", text);
    EXPECT_EQ('x', text[6]);
    EXPECT_EQ('x', text[7]);
    EXPECT_FALSE(FormatStatusResult(0, text, 0));
}
