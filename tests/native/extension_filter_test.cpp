// MatchesExtensionFilter: the folder scan's name test.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "files/extension_filter.h"

// The filter rules in one table: which names pass which filter.
TEST(MatchesExtensionFilter, FollowsTheFilterRules)
{
    static const struct {
        const char *filter;  // the stored extension filter
        const char *name;    // a file name the scan found
        bool passes;
    } cases[] = {
        // An empty filter lets everything but "." and ".." through.
        {"", "a.txt", true},
        {"", "noextension", true},
        {"", ".", false},
        {"", "..", false},
        {"*.*", "..", false},
        {"*.*", "noextension", true},
        {"*.*", "a.b.c", true},
        // Several tokens; case of ASCII letters does not matter on either side.
        {"*.txt;*.doc", "a.txt", true},
        {"*.txt;*.doc", "a.doc", true},
        {"*.txt;*.doc", "a.xls", false},
        {".TXT", "a.txt", true},
        {".txt", "A.TXT", true},
        {"*.txt", "a.txt.bak", false},
        {"*.txt", "atxt", false},
        // Only the part from the token's first '.' counts; it may span several dots.
        {".gz", "archive.tar.gz", true},
        {"*.tar.gz", "x.tar.gz", true},
        {"*.tar.gz", "x.gz", false},
        {"junk.txt", "b.txt", true},
        {"*.", "trailingdot.", true},
        // The name must be at least as long as the extension part; a name that is the part passes.
        {".txt", ".txt", true},
        {".txt", "txt", false},
        // A dotless token, or an empty one, ends the test: later tokens are never looked at.
        {"txt", "a.txt", false},
        {"*.txt;txt;*.doc", "a.txt", true},
        {"*.txt;txt;*.doc", "a.doc", false},
        {"*.txt;;*.doc", "a.doc", false},
        {";*.txt", "a.txt", false},
        {"*.txt; ;*.doc", "a.doc", false},
        {"*.txt;*.doc;", "a.doc", true},
        // Leading blanks are skipped, trailing blanks belong to the token.
        {"  *.txt", "a.txt", true},
        {"*.txt ", "a.txt", false},
        {"*.txt ;*.doc", "a.doc", true},
        {"   ", "a.txt", false},
        // No wildcards inside the extension part; "*.*" only as a whole token.
        {"*.t?t", "a.txt", false},
        {"*.t?t", "a.t?t", true},
        {"*.*x", "a.x", false},
        {"*.* ", "a.txt", false},
        {"*.doc;*.*", "a.txt", true},
        // Characters above 127 compare byte for byte.
        {"*.\xE9t\xE9", "a.\xE9t\xE9", true},
        {"*.\xE9t\xE9", "a.\xC9T\xC9", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("filter \"") + c.filter + "\", name \"" + c.name + "\"");
        EXPECT_EQ(c.passes, MatchesExtensionFilter(c.name, c.filter, NULL));
    }
}

// NULL arguments are taken as empty texts, never dereferenced.
TEST(MatchesExtensionFilter, NullFilterPassesAndNullNameFails)
{
    EXPECT_TRUE(MatchesExtensionFilter("a.txt", NULL, NULL));
    EXPECT_FALSE(MatchesExtensionFilter(NULL, "*.txt", NULL));
}

// A token longer than the token buffer is cut to its first 255 characters, so an extension
// that the cut shortens matches on those 255 characters; nothing is written past the buffer
// (AddressSanitizer would stop the test).
TEST(MatchesExtensionFilter, OverlongTokenIsCutAt255Characters)
{
    std::string extension255 = "." + std::string(254, 'e');  // exactly the buffer's room
    std::string name = "a" + extension255;
    EXPECT_TRUE(MatchesExtensionFilter(name.c_str(), extension255.c_str(), NULL));
    // One character more: the token's last character is cut off, so the name that carries it
    // does not end in the cut part, and the name without it does.
    std::string extension256 = extension255 + "X";
    EXPECT_FALSE(MatchesExtensionFilter(("a" + extension256).c_str(), extension256.c_str(), NULL));
    EXPECT_TRUE(MatchesExtensionFilter(name.c_str(), extension256.c_str(), NULL));
    // The list goes on after a cut token.
    std::string list = "*." + std::string(4000, 'q') + ";*.txt";
    EXPECT_TRUE(MatchesExtensionFilter("b.txt", list.c_str(), NULL));
}
