// IsDeviceName: the names that Windows opens as devices wherever they stand, and the
// ordinary names that merely look like them.
#include <gtest/gtest.h>
#include <string>

#include "files/device_name.h"

TEST(IsDeviceName, RecognisesDevicesWithExtensionsFoldersAndBlanks)
{
    static const struct {
        const char16_t *path;
        bool device;
    } cases[] = {
        {u"NUL", true}, {u"con", true}, {u"Aux", true}, {u"PRN", true},
        {u"COM1", true}, {u"com9", true}, {u"LPT1", true}, {u"lpt9", true},
        {u"COM\u00b9", true}, {u"LPT\u00b3", true},
        {u"CONIN$", true}, {u"conout$", true},
        {u"C:\\x\\AUX.txt", true}, {u"NUL.tar.gz", true}, {u"C:NUL", true},
        {u"C:\\x\\NUL\\", true}, {u"c:/x/com1", true}, {u"NUL  ", true}, {u"NUL  .txt", true},
        {u"CON:", true}, {u"nul:stream", true},
        {u"\\\\.\\C:", true}, {u"\\\\.\\PhysicalDrive0", true}, {u"//./pipe/x", true},
        {u"\\\\?\\GLOBALROOT\\Device", true},
        // The object manager's namespace, handed on without being read as a path.
        {u"\\??\\GLOBALROOT\\Device\\Null", true}, {u"\\??\\C:\\Data\\a.txt", true},
        {u"/?\?/C:/Data", true}, {u"\\\\?\\globalroot\\Device", true},
        // "." and ".." after "\\.\" or "\\?\": Win32 resolves ".." past the drive.
        {u"\\\\.\\C:\\..\\GLOBALROOT\\Device\\Null", true}, {u"//./C:/../GLOBALROOT", true},
        {u"\\\\?\\C:\\a\\..\\..\\x", true}, {u"\\\\?\\UNC\\server\\..\\x", true},
        {u"\\\\.\\C:\\.\\x", true}, {u"\\\\?\\C:\\Data\\..", true}, {u"\\\\.\\C:/x/.", true},
        // Names of dots and blanks alone, which Win32 may trim to ".." in a "\\.\" path.
        {u"\\\\.\\C:\\...\\GLOBALROOT", true}, {u"\\\\.\\C:\\.. \\GLOBALROOT", true},
        // Ordinary names.
        {u"", false}, {u"C:\\", false}, {u"C:", false}, {u"CONSOLE", false}, {u"NULL.txt", false},
        {u"COM0", false}, {u"COM10", false}, {u"LPT", false}, {u"xNUL", false}, {u" NUL", false},
        {u"C:\\NUL\\x.txt", false},  // a device only as the last name
        {u"C:\\Data\\AUXILIARY", false}, {u".NUL", false},
        {u"\\\\?\\C:\\Data", false}, {u"\\\\?\\UNC\\server\\share", false}, {u"\\\\.\\C:\\x", false},
        {u"\\\\?\\C:\\windows", false}, {u"\\\\?\\UNC\\server\\share\\x", false},
        {u"\\\\?\\C:\\...\\x", false}, {u"\\\\?\\C:\\.a\\a.\\b..", false},  // dots in names
        {u"C:\\a\\..\\b", false}, {u"\\\\server\\share\\..\\x", false},  // clamped at the root
        {u"\\\\server\\share\\file", false},
        {u"\\?\\x", false}, {u"C:\\??\\x", false},  // "?" is no namespace there
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
        EXPECT_EQ(c.device, IsDeviceName((const Utf16Unit *)c.path));
    }
    EXPECT_FALSE(IsDeviceName(NULL));
}
