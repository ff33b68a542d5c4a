// The dialog's file-type list: which stored lists are accepted, the exact double-zero form
// the dialog receives, and that building it never writes past the buffer.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "files/dialog_filter.h"

namespace {

const size_t kListCapacity = 4096;  // the stored list's buffer
const char kSentinel = '#';

// The dialog form of list built into a buffer of capacity bytes followed by sentinel bytes;
// returns the bytes up to and including the closing zero. Fails the test when a sentinel
// changed or the closing zero is missing.
std::string Build(const std::string &list, size_t capacity, size_t *pairs = NULL)
{
    std::vector<char> buffer(capacity + 16, kSentinel);
    size_t count = BuildDialogFilter(list.c_str(), buffer.data(), capacity, NULL);
    if (pairs != NULL)
        *pairs = count;
    for (size_t i = capacity; i < buffer.size(); i++)
        EXPECT_EQ(kSentinel, buffer[i]) << "written past the filter buffer at " << i;
    // Strings follow each other until an empty one closes the list.
    size_t end = 0;
    while (end < capacity && buffer[end] != '\0')
        end += strlen(buffer.data() + end) + 1;
    EXPECT_LT(end, capacity) << "no closing zero inside the buffer";
    return std::string(buffer.data(), end < capacity ? end + 1 : capacity);
}

std::string BuildFull(const std::string &list, size_t *pairs = NULL)
{
    return Build(list, DIALOG_FILTER_CAPACITY(kListCapacity - 1), pairs);
}

}  // namespace

// Stored lists are accepted exactly when each description before the first empty token has
// a pattern; a wrong answer either rejects a usable list or stores one the dialog cannot show.
TEST(DialogFilter, AcceptsListsWhoseDescriptionsAllHavePatterns)
{
    static const struct {
        const char *list;
        bool accepted;
    } cases[] = {
        {"", true},
        {"Text files;*.txt", true},
        {"Text files;*.txt;Word files;*.doc", true},
        {"Text files;*.txt;;Word files", true},   // what follows an empty description is not read
        {"Text files;*.txt;", true},              // the final ';' ends the list
        {"   ", true},                            // blanks only: no file types
        {";Text files", true},                    // begins with ';': no file types
        {"  Text ;  *.txt", true},
        {"Text files", false},                    // a description alone
        {"Text files;", false},
        {"Text files;*.txt;Word files", false},   // the last description has no pattern
        {"Text files;;*.txt", false},             // an empty pattern between two ';'
        {"Text files;   ;*.txt", false},          // a pattern of blanks is empty
        {"\t;*.txt", true},                       // a tab is a description, not a blank
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.list);
        EXPECT_EQ(c.accepted, IsDialogFilterAccepted(c.list, NULL));
    }
    EXPECT_TRUE(IsDialogFilterAccepted(NULL, NULL));
}

// The bytes the dialog receives for each kind of stored list; a missing or extra zero would
// shift descriptions and patterns in the dialog's type list.
TEST(DialogFilter, BuildsTheDialogFormOfAStoredList)
{
    static const struct {
        const char *list;
        std::string filter;
        size_t pairs;
    } cases[] = {
        {"", std::string("All Files\0*.*\0", 15), 1},
        {"Text files;*.txt", std::string("Text files\0*.txt\0", 18), 1},
        {"Text files;*.txt;Word files;*.doc",
         std::string("Text files\0*.txt\0Word files\0*.doc\0", 35), 2},
        {"Text files;*.txt;;Word files", std::string("Text files\0*.txt\0", 18), 1},
        {"Text files;*.txt;", std::string("Text files\0*.txt\0", 18), 1},
        {"  Text files ;  *.txt", std::string("Text files \0*.txt\0", 19), 1},
        {"   ", std::string("\0", 1), 0},
        {";Text files;*.txt", std::string("\0", 1), 0},
        {"Text files", std::string("\0", 1), 0},  // never stored; a lone description is dropped
        {"A;*.a;B", std::string("A\0*.a\0", 7), 1},
        {"A;;B;*.b", std::string("\0", 1), 0},    // an empty pattern is never written
        {"Text;*.txt;*.text", std::string("Text\0*.txt\0", 12), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.list);
        size_t pairs = 99;
        EXPECT_EQ(c.filter, BuildFull(c.list, &pairs));
        EXPECT_EQ(c.pairs, pairs);
    }
    EXPECT_EQ(std::string("All Files\0*.*\0", 15), Build(std::string(), 16));
    char filter[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
    EXPECT_EQ(0u, BuildDialogFilter("A;*.a", filter, 0, NULL));
    EXPECT_EQ(kSentinel, filter[0]);
    EXPECT_EQ(0u, BuildDialogFilter("A;*.a", NULL, 4, NULL));
}

// The longest stored list of one-character tokens needs every byte of the buffer: it must
// come out whole, with its closing zero in the last byte.
TEST(DialogFilter, LongestListOfShortTokensFillsTheBufferExactly)
{
    std::string list;
    while (list.size() < kListCapacity - 1)
        list += list.size() % 4 == 0 ? "d;" : "p;";
    list.resize(kListCapacity - 1);  // 4095 bytes: 2048 tokens, "d;p;...;d;p"
    ASSERT_EQ('p', list.back());
    std::string expected;
    for (int i = 0; i < 1024; i++)
        expected += std::string("d\0p\0", 4);
    expected += '\0';
    EXPECT_EQ(DIALOG_FILTER_CAPACITY(kListCapacity - 1), expected.size());
    size_t pairs = 0;
    EXPECT_TRUE(IsDialogFilterAccepted(list.c_str(), NULL));
    EXPECT_EQ(expected, BuildFull(list, &pairs));
    EXPECT_EQ(1024u, pairs);

    // One byte less for the buffer: the last pair no longer fits and is left out whole.
    EXPECT_EQ(expected.substr(0, 1023 * 4) + '\0',
              Build(list, DIALOG_FILTER_CAPACITY(kListCapacity - 1) - 1, &pairs));
    EXPECT_EQ(1023u, pairs);
}

// Tokens longer than the token buffer are cut to 249 characters, in the test and in the
// dialog form alike.
TEST(DialogFilter, LongTokensAreCutToTheTokenBuffer)
{
    std::string description(300, 'D'), pattern(300, 'P');
    std::string list = description + ";" + pattern + ";" + description + ";" + pattern;
    EXPECT_TRUE(IsDialogFilterAccepted(list.c_str(), NULL));
    std::string cut = std::string(kFilterTokenCapacity - 1, 'D') + '\0' +
                      std::string(kFilterTokenCapacity - 1, 'P') + '\0';
    EXPECT_EQ(cut + cut + '\0', BuildFull(list));
    EXPECT_FALSE(IsDialogFilterAccepted((description + ";" + pattern + ";" + description).c_str(), NULL));
}

// In a buffer too small for the list, the pairs that fit are written whole, the rest left
// out, and the closing zero stays inside the buffer whatever the capacity.
TEST(DialogFilter, SmallBufferKeepsWholePairsAndTheClosingZero)
{
    const std::string list = "Text;*.txt;Word;*.doc";
    const std::string first("Text\0*.txt\0", 11), second("Word\0*.doc\0", 11);
    for (size_t capacity = 1; capacity <= 30; capacity++) {
        SCOPED_TRACE(capacity);
        size_t pairs = 0;
        std::string filter = Build(list, capacity, &pairs);
        if (capacity >= first.size() + second.size() + 1) {
            EXPECT_EQ(first + second + '\0', filter);
            EXPECT_EQ(2u, pairs);
        } else if (capacity >= first.size() + 1) {
            EXPECT_EQ(first + '\0', filter);
            EXPECT_EQ(1u, pairs);
        } else {
            EXPECT_EQ(std::string(1, '\0'), filter);
            EXPECT_EQ(0u, pairs);
        }
    }
}
