// ReadToken: tokens of ';'-separated lists, the positions it returns, and its bounds.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "files/token.h"

// Reads every token of text, the way the list readers do, until ReadToken returns NULL.
static std::vector<std::string> ReadAll(const char *text, size_t capacity = 250)
{
    std::vector<std::string> tokens;
    const char *position = text;
    std::vector<char> token(capacity + 1, '#');  // one sentinel byte past the capacity
    do {
        memset(token.data(), 0, capacity);
        position = ReadToken(position, token.data(), capacity, NULL);
        EXPECT_EQ('#', token[capacity]) << "written past the token buffer";
        tokens.push_back(token.data());
    } while (position != NULL);
    return tokens;
}

TEST(ReadToken, SplitsAtSemicolonsAndSkipsLeadingBlanksOnly)
{
    static const struct {
        const char *text;
        std::vector<std::string> tokens;
    } cases[] = {
        {"Text files;*.txt", {"Text files", "*.txt"}},
        {"  Text ;  *.txt", {"Text ", "*.txt"}},
        {"a;b;", {"a", "b"}},            // a final ';' ends the list
        {"a;;b", {"a", "", "b"}},        // an empty token between two ';'
        {";a", {"", "a"}},
        {"   ", {""}},
        {"", {""}},
        {"\ta ;b", {"\ta ", "b"}},       // tabs are not blanks
        {";", {""}},
        {" ; ", {"", ""}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.tokens, ReadAll(c.text));
    }
}

TEST(ReadToken, ReturnsNullForNullPositionOrBuffer)
{
    char token[8] = {0};
    EXPECT_EQ(NULL, ReadToken(NULL, token, sizeof token, NULL));
    EXPECT_STREQ("", token);
    EXPECT_EQ(NULL, ReadToken("a;b", NULL, 8, NULL));
    EXPECT_EQ(NULL, ReadToken("a;b", token, 0, NULL));
}

TEST(ReadToken, ReturnsThePositionAfterTheSemicolon)
{
    const char *text = "ab; cd";
    char token[8] = {0};
    EXPECT_EQ(text + 3, ReadToken(text, token, sizeof token, NULL));
}

// A token longer than the buffer is cut to capacity - 1 characters and the list goes on.
TEST(ReadToken, LongTokenIsCutAtTheBufferAndReadingContinues)
{
    std::string longToken(300, 'x');
    std::string text = longToken + ";*.txt";
    std::vector<std::string> tokens = ReadAll(text.c_str(), 250);
    ASSERT_EQ(2u, tokens.size());
    EXPECT_EQ(std::string(249, 'x'), tokens[0]);
    EXPECT_EQ("*.txt", tokens[1]);
    // Exactly capacity - 1 fits whole; one more is cut.
    EXPECT_EQ(std::vector<std::string>({std::string(249, 'y')}),
              ReadAll(std::string(249, 'y').c_str(), 250));
    EXPECT_EQ(std::vector<std::string>({std::string(249, 'z')}),
              ReadAll(std::string(250, 'z').c_str(), 250));
}
