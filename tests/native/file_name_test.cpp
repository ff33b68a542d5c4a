// FileNameOfPath: the part of a path after its last backslash, and what it never treats as
// a separator.
#include <gtest/gtest.h>
#include <string>
#include "files/file_name.h"

TEST(FileNameOfPath, TakesThePartAfterTheLastBackslash)
{
    static const struct {
        const char *path;
        const char *name;
    } cases[] = {
        {"D:\\Data\\report.txt", "report.txt"},
        {"report.txt", "report.txt"},
        {"D:\\Data\\", ""},                       // ends in a backslash: empty name
        {"\\", "\\"},                             // the first character is never a separator
        {"\\report.txt", "\\report.txt"},
        {"\\\\", ""},                             // the second backslash separates
        {"D:/Data/report.txt", "D:/Data/report.txt"},  // only '\' separates
        {"D:report.txt", "D:report.txt"},
        {"\\\\server\\share\\a b.txt", "a b.txt"},
        {"x\\y", "y"},
        {"", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_STREQ(c.name, FileNameOfPath(c.path, NULL));
    }
}

// The name is a pointer into the path itself: the caller writes it straight from its buffer.
TEST(FileNameOfPath, PointsIntoThePath)
{
    const char *path = "C:\\a\\bc";
    EXPECT_EQ(path + 5, FileNameOfPath(path, NULL));
    EXPECT_EQ(NULL, FileNameOfPath(NULL, NULL));
}

// A path as long as the parameter buffer holds is searched to its start.
TEST(FileNameOfPath, LongPathsAreSearchedWhole)
{
    std::string path = "C:\\" + std::string(280, 'd') + "\\" + std::string(16, 'n');
    EXPECT_EQ(300u, path.size());
    EXPECT_EQ(std::string(16, 'n'), FileNameOfPath(path.c_str(), NULL));
    std::string longest = "\\" + std::string(4094, 'x');  // 4095: the buffer's longest text
    EXPECT_EQ(longest, FileNameOfPath(longest.c_str(), NULL));
    longest[1] = '\\';
    EXPECT_EQ(std::string(4093, 'x'), FileNameOfPath(longest.c_str(), NULL));
}
