// Tarv-CopyLargeFileIcon and Tarv-CopySmallFileIcon: the shell's icon as a bitmap on the
// clipboard with its palette beside it, transparent pixels in the window colour, host codes
// converted, COM left as found, and no GDI object or memory lost over many requests.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>
#include "tests/win/clipboard_test_support.h"

using namespace cliptest;

namespace {

const COLORREF kWindowColour = RGB(0x12, 0x80, 0x34);

bool IsTransparent(COLORREF colour, COLORREF mask)
{
    return (colour & 0xFFFFFF) == 0 && (mask & 0xFFFFFF) == 0xFFFFFF;
}

// The shell's own icon for a path in Windows codes, as the test asks for it.
bool ShellIconPixels(const std::string &path, bool small, IconPixels *pixels)
{
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    UINT flags = SHGFI_ICON | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON);
    if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, flags) == 0)
        return false;
    bool read = ReadIconPixels(info.hIcon, pixels);
    DestroyIcon(info.hIcon);
    return read;
}

// Busy bytes of the process heap, where Wine keeps global blocks and GDI objects alike.
size_t ProcessHeapInUse()
{
    HANDLE heap = GetProcessHeap();
    PROCESS_HEAP_ENTRY entry;
    memset(&entry, 0, sizeof entry);
    size_t busy = 0;
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
            busy += entry.cbData;
    HeapUnlock(heap);
    return busy;
}

// A top-down 32-bit DIB section of width x height with the given pixels (0x00rrggbb).
HBITMAP ColourBitmap(LONG width, LONG height, const DWORD *pixels)
{
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (bitmap != NULL)
        memcpy(bits, pixels, (size_t)(width * height) * sizeof(DWORD));
    return bitmap;
}

// A DIB section of the given depth (1, 4 or 8 bits) whose colour table entry i is
// RGB(i, 255 - i, 7 i); table receives those entries.
HBITMAP TableBitmap(LONG size, WORD bits, std::vector<RGBQUAD> *table)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info;
    memset(&info, 0, sizeof info);
    info.header.biSize = sizeof info.header;
    info.header.biWidth = size;
    info.header.biHeight = size;
    info.header.biPlanes = 1;
    info.header.biBitCount = bits;
    info.header.biCompression = BI_RGB;
    table->clear();
    for (int i = 0; i < (1 << bits); i++) {
        RGBQUAD entry = {(BYTE)(7 * i), (BYTE)(255 - i), (BYTE)i, 0};
        info.colours[i] = entry;
        table->push_back(entry);
    }
    void *pixels = NULL;
    return CreateDIBSection(NULL, (BITMAPINFO *)&info, DIB_RGB_COLORS, &pixels, NULL, 0);
}

}  // namespace

// Large and small icons of a file (also named with '/'), a folder and a name with characters
// above 127 (sent in host codes) land as CF_BITMAP of the shell's sizes, owned by the host
// window, with CF_PALETTE beside it (NULL for these 32-bit bitmaps), every transparent pixel
// in the window colour and every other pixel as the shell drew it; guards against a wrong
// size, an unconverted path, a '/' handed to Wine's shell (which finds nothing there), a wrong
// pixel rule and a missing palette entry.
TEST_F(ClipboardTest, IconsLandAsBitmapsOfTheShellSizesWithTransparencyInTheWindowColour)
{
    auto Slashed = [](std::string path) { std::replace(path.begin(), path.end(), '\\', '/'); return path; };
    ASSERT_EQ(1252u, GetACP()) << "the test names its file in code page 1252";
    // "Café Ärger.txt": host codes (Macintosh Roman) for the call, code page 1252 on disk.
    const std::string hostName = fmhost::Utf8ToHost("Caf\xC3\xA9 \xC3\x84rger.txt", 10000);
    const std::string windowsName = "Caf\xE9 \xC4rger.txt";
    ASSERT_NE(hostName, windowsName);
    const std::string accented = TestScratchFolder() + "\\" + windowsName;
    HANDLE file = CreateFileA(accented.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);

    const struct {
        const char *name;
        std::string hostPath, windowsPath;
    } paths[] = {
        {"file", TextFile(), TextFile()},
        {"file named with '/'", Slashed(TextFile()), TextFile()},
        {"folder", Folder(), Folder()},
        {"accented name", TestScratchFolder() + "\\" + hostName, accented},
    };
    WindowColourGuard colour(kWindowColour);
    ASSERT_EQ(kWindowColour, GetSysColor(COLOR_WINDOW));
    for (const auto &path : paths) {
        for (bool small : {false, true}) {
            SCOPED_TRACE(std::string(path.name) + (small ? ", small" : ", large"));
            IconPixels shell;
            ASSERT_TRUE(ShellIconPixels(path.windowsPath, small, &shell));
            fmhost::CallResult result = small ? CopySmallIcon(path.hostPath) : CopyLargeIcon(path.hostPath);
            EXPECT_EQ(kStatusOk, result.text);

            ClipboardBitmap bitmap;
            ASSERT_TRUE(ReadClipboardBitmap(window_, &bitmap));
            EXPECT_EQ(GetSystemMetrics(small ? SM_CXSMICON : SM_CXICON), bitmap.width);
            EXPECT_EQ(GetSystemMetrics(small ? SM_CYSMICON : SM_CYICON), bitmap.height);
            EXPECT_TRUE(bitmap.paletteListed);
            EXPECT_TRUE(bitmap.palette.empty()) << "a palette for " << bitmap.bitsPixel << " bits per pixel";
            EXPECT_TRUE(GetClipboardOwner() == fmhost::MainWindow());

            ASSERT_EQ(shell.width, bitmap.width);
            ASSERT_EQ(shell.height, bitmap.height);
            int transparent = 0, wrong = 0;
            for (size_t i = 0; i < shell.colour.size(); i++) {
                bool clear = IsTransparent(shell.colour[i], shell.mask[i]);
                transparent += clear;
                COLORREF expected = clear ? kWindowColour : shell.colour[i] & 0xFFFFFF;
                if ((bitmap.pixels[i] & 0xFFFFFF) != expected && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << i << ": " << std::hex << bitmap.pixels[i]
                                  << ", expected " << expected;
            }
            EXPECT_EQ(0, wrong);
            EXPECT_GT(transparent, 0) << "the shell's icon has no transparent pixel to test";
        }
    }
    ExpectClosedAndNothingLive("after the icon copies");
}

// Pixel by pixel: black over a white mask takes the window colour; opaque black, opaque colours
// and pixels that invert the screen (white mask, colour not black) keep theirs.
TEST_F(ClipboardTest, OnlyBlackOverAWhiteMaskTakesTheWindowColour)
{
    static const DWORD colours[16] = {
        0x000000, 0x000000, 0xFF0000, 0x00FF00,
        0x000000, 0x010101, 0x0000FF, 0x000000,
        0xFFFFFF, 0x000000, 0x000001, 0x808080,
        0x000000, 0x000000, 0x000000, 0xFFFFFF,
    };
    // One row per WORD, leftmost pixel in the highest bit of the first byte.
    static const WORD maskRows[4] = {0x50, 0xC0, 0x70, 0x30};
    static const bool transparent[16] = {
        false, true, false, false,
        true, false, false, false,
        false, true, false, false,
        false, false, true, false,
    };
    HBITMAP colour = ColourBitmap(4, 4, colours);
    HBITMAP mask = CreateBitmap(4, 4, 1, 1, maskRows);
    ASSERT_TRUE(colour != NULL && mask != NULL);
    ICONINFO parts = {TRUE, 0, 0, mask, colour};
    HICON icon = CreateIconIndirect(&parts);
    DeleteObject(colour);
    DeleteObject(mask);
    ASSERT_TRUE(icon != NULL);
    IconPixels made;
    ASSERT_TRUE(ReadIconPixels(icon, &made));
    for (int i = 0; i < 16; i++) {
        int x = i % 4, y = i / 4;
        ASSERT_EQ(transparent[i], IsTransparent(made.colour[x * 4 + y], made.mask[x * 4 + y]))
            << "the test icon is not what it should be at " << x << "," << y;
    }

    WindowColourGuard guard(kWindowColour);
    InjectedFaults().shellIcon = icon;  // the plug-in destroys it
    EXPECT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
    ClipboardBitmap bitmap;
    ASSERT_TRUE(ReadClipboardBitmap(window_, &bitmap));
    ASSERT_EQ(4, bitmap.width);
    ASSERT_EQ(4, bitmap.height);
    for (int i = 0; i < 16; i++) {
        int x = i % 4, y = i / 4;
        SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
        COLORREF expected = transparent[i] ? kWindowColour : made.colour[x * 4 + y] & 0xFFFFFF;
        EXPECT_EQ(expected, bitmap.pixels[x * 4 + y] & 0xFFFFFF);
    }
    ExpectClosedAndNothingLive("after the icon copy");
}

// A colour bitmap of 8 bits per pixel or fewer gets a palette of 2^depth entries holding its
// colour table; guards against an empty or black palette read while the bitmap is selected
// into the pixel pass's context.
TEST_F(ClipboardTest, PaletteOfATableBitmapHoldsItsColourTable)
{
    for (WORD bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        std::vector<RGBQUAD> table;
        Faults &faults = InjectedFaults();
        faults.replaceIconColour = true;
        faults.iconColour = TableBitmap(GetSystemMetrics(SM_CXICON), bits, &table);
        ASSERT_TRUE(faults.iconColour != NULL);
        EXPECT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);

        ClipboardBitmap bitmap;
        ASSERT_TRUE(ReadClipboardBitmap(window_, &bitmap));
        ASSERT_EQ(table.size(), bitmap.palette.size());
        for (size_t i = 0; i < table.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(table[i].rgbRed, bitmap.palette[i].peRed);
            EXPECT_EQ(table[i].rgbGreen, bitmap.palette[i].peGreen);
            EXPECT_EQ(table[i].rgbBlue, bitmap.palette[i].peBlue);
            EXPECT_EQ(0, bitmap.palette[i].peFlags);
        }
        ExpectClosedAndNothingLive("after the icon copy");
    }
}

// A palette that the clipboard refuses is deleted, and the bitmap still goes on the clipboard:
// the palette's outcome does not decide the request.
TEST_F(ClipboardTest, RefusedPaletteIsDeletedAndTheBitmapStillPlaced)
{
    std::vector<RGBQUAD> table;
    Faults &faults = InjectedFaults();
    faults.replaceIconColour = true;
    faults.iconColour = TableBitmap(GetSystemMetrics(SM_CXICON), 8, &table);
    faults.setClipboardFormat = CF_PALETTE;
    EXPECT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
    EXPECT_TRUE(HasFormat(window_, CF_BITMAP));
    EXPECT_FALSE(HasFormat(window_, CF_PALETTE));
    ExpectClosedAndNothingLive("after the icon copy");
}

// A path that names nothing (missing, empty, spaces only, a wildcard, longer than the shell
// reads), a device or an object manager's path: -001, the clipboard as it was (not even emptied), and the snapshot taken all the same,
// so a restore brings back the same content. Only the missing files go to the shell, which
// finds nothing there: a device or an object manager's path is never handed to it (Wine's
// shell finds nothing at most of them either, so the answer alone would not show the refusal),
// nor a blank path, for which the shell answers with a generic icon.
TEST_F(ClipboardTest, MissingPathAnswers001AndLeavesTheClipboardAsItWas)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "still here"}}));
    std::string unicode;
    ASSERT_TRUE(ReadBlock(window_, CF_UNICODETEXT, &unicode));
    DWORD sequence = GetClipboardSequenceNumber();
    ResetCounts();

    const std::string missing = TestScratchFolder() + "\\no such file.txt";
    // The shell reads '*' and '?' as wildcards and a path only to its 259th unit: such paths
    // would get the icon of e.txt, or of the device NUL.
    ASSERT_TRUE(MakeFile(TestScratchFolder() + "\\e.txt"));
    const std::string padded = TestScratchFolder() + "\\" + std::string(259 - 7 - TestScratchFolder().size(), 'p');
    ASSERT_TRUE(CreateDirectoryA(padded.c_str(), NULL));
    ASSERT_TRUE(MakeFile(padded + "\\e.txt"));
    const struct {
        std::string path;
        bool asksShell;
    } cases[] = {
        {missing, true}, {"\\\\?\\" + missing, true},
        {TestScratchFolder() + "\\*.txt", false}, {TestScratchFolder() + "\\?.txt", false},
        {TestScratchFolder() + "\\*", false}, {padded + "\\e.txt\\nothing.txt", false},
        {padded + "\\x.txt", true}, {padded + "\\xx.txt", false},  // 259 units whole, 260 not
        {padded + "\\q\\NULxxxx.txt", false},
        {"NUL", false}, {"COM1", false}, {TestScratchFolder() + "\\aux.txt", false},
        {"\\?\?\\GLOBALROOT\\Device\\Null", false}, {"\\?\?\\C:\\windows\\notepad.exe", false},
        {"\\\\.\\C:\\..\\GLOBALROOT\\Device\\Null", false},
        {"", false}, {"   ", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("\"" + c.path + "\"");
        ShellInfoPaths().clear();
        EXPECT_EQ(kStatusIncorrectOption, CopyLargeIcon(c.path).text);
        EXPECT_EQ(kStatusIncorrectOption, CopySmallIcon(c.path).text);
        EXPECT_EQ(sequence, GetClipboardSequenceNumber());
        std::vector<std::wstring> asked;
        if (c.asksShell)
            asked.assign(2, std::wstring(c.path.begin(), c.path.end()));  // ASCII; large, small
        EXPECT_EQ(asked, ShellInfoPaths());
    }
    EXPECT_EQ(1, Counts().openClipboard) << "only the snapshot opens the clipboard";

    EXPECT_EQ(kStatusOk, Restore().text);
    std::string restored;
    ASSERT_TRUE(ReadBlock(window_, CF_UNICODETEXT, &restored));
    EXPECT_EQ(unicode, restored);
    ExpectClosedAndNothingLive("after the restore");
}

// Each request undoes exactly the OLE and COM initialisations that took: the thread's COM
// state afterwards is what it was before, whether it started uninitialised or in the
// multithreaded apartment (where both initialisations fail).
TEST_F(ClipboardTest, IconRequestLeavesComAsItFoundIt)
{
    const std::string file = TextFile();
    ResetCounts();
    EXPECT_EQ(kStatusOk, CopyLargeIcon(file).text);
    EXPECT_EQ(1, Counts().oleInitialize);
    EXPECT_EQ(1, Counts().oleUninitialize);
    EXPECT_EQ(1, Counts().coInitialize);
    EXPECT_EQ(1, Counts().coUninitialize);
    HRESULT probe = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(S_OK, probe) << "COM was left initialised on the thread";
    if (SUCCEEDED(probe))
        CoUninitialize();

    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    ResetCounts();
    EXPECT_EQ(kStatusOk, CopySmallIcon(file).text);
    EXPECT_EQ(0, Counts().oleUninitialize) << "uninitialised what failed to initialise";
    EXPECT_EQ(0, Counts().coUninitialize);
    EXPECT_EQ(S_FALSE, CoInitializeEx(NULL, COINIT_MULTITHREADED)) << "the test's own COM was torn down";
    CoUninitialize();
    CoUninitialize();
}

namespace {

// Wine 8 keeps 1 KB of its own heap for every GetClipboardData while a window owns the
// clipboard, whoever reads and whatever the size. The same number of reads made by the test
// measures what Wine keeps for the plug-in's own reads.
long long WineHeapCostOfReads(HWND owner, int reads)
{
    const size_t before = ProcessHeapInUse();
    std::string bytes;
    for (int i = 0; i < reads; i++)
        ReadBlock(owner, CF_UNICODETEXT, &bytes);
    return (long long)ProcessHeapInUse() - (long long)before;
}

// The heap bounds below are Wine 8's, whose shell keeps nothing per icon request. Wine 10's
// shell keeps some 137 KB of the heap in lumps over its first 2,700 or so icon requests, in a
// program without the plug-in as well, and nothing over 9,000 more; the plug-in's round trips
// grow it by some 220 KB over their first three thousand and by nothing over the next three,
// where a leak would go on growing. Where the lumps fall depends on what the process did
// before, so no bare loop in the same run measures the plug-in's share. Under any other Wine,
// and on Windows, the heap is measured and shown, not bounded.
bool HeapBoundsAreWine8s(long long growth)
{
    typedef const char *(CDECL * WineVersion)(void);
    WineVersion version = (WineVersion)(void *)GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");
    const bool wine8 = version != NULL && strncmp(version(), "8.", 2) == 0;
    if (!wine8)
        printf("heap grew by %lld bytes under %s%s, which the heap bounds are not calibrated for\n", growth,
               version != NULL ? "Wine " : "Windows", version != NULL ? version() : "");
    return wine8;
}

class IconHygieneTest : public ClipboardTest {
protected:
    // Runs icon copies (alternately large and small) each followed by a restore; returns how
    // many rounds answered 000 twice and left nothing of the plug-in's behind.
    int RoundTrips(const std::string &file, int rounds)
    {
        int good = 0;
        for (int i = 0; i < rounds; i++) {
            bool copied = (i % 2 ? CopySmallIcon(file) : CopyLargeIcon(file)).text == kStatusOk;
            bool restored = Restore().text == kStatusOk;
            good += copied && restored && LiveObjects().empty();
        }
        return good;
    }
};

// The host's usual case has a main window; without one the clipboard is opened with no owner.
class IconHygieneWithoutHostWindowTest : public IconHygieneTest {
protected:
    IconHygieneWithoutHostWindowTest() { createMainWindow_ = false; }
};

}  // namespace

// A thousand icon copies and restores leave no GDI object, icon, context or block of the
// plug-in behind (counted at every creation and release the plug-in makes) and the process
// heap where it was (under Wine 8), apart from what Wine itself keeps for each clipboard read;
// guards against a leak per request that only shows over a long session.
TEST_F(IconHygieneTest, ThousandCopiesAndRestoresLeaveGdiAndHeapWhereTheyWere)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "survives a thousand round trips"}}));
    std::string unicode;
    ASSERT_TRUE(ReadBlock(window_, CF_UNICODETEXT, &unicode));
    const std::string file = TextFile();
    ASSERT_EQ(10, RoundTrips(file, 10)) << "warm-up";

    ResetCounts();
    const size_t heapBefore = ProcessHeapInUse();
    EXPECT_EQ(1000, RoundTrips(file, 1000));
    const long long growth = (long long)ProcessHeapInUse() - (long long)heapBefore;
    ExpectClosedAndNothingLive("after the round trips");

    EXPECT_EQ(1000, Counts().getClipboardData) << "the snapshot reads once a round";
    const long long wineCost = WineHeapCostOfReads(window_, Counts().getClipboardData);
    if (HeapBoundsAreWine8s(growth)) {
        EXPECT_LT(growth, wineCost + 8192) << "heap grew by " << growth << " bytes; Wine keeps "
                                           << wineCost << " for as many reads";
    }
    std::string restored;
    ASSERT_TRUE(ReadBlock(window_, CF_UNICODETEXT, &restored));
    EXPECT_EQ(unicode, restored);
}

// Without a host window the clipboard has no owner, Wine keeps nothing per read, and the
// heap must come back to where it was (under Wine 8).
TEST_F(IconHygieneWithoutHostWindowTest, ThousandCopiesAndRestoresLeaveTheHeapWhereItWas)
{
    ASSERT_TRUE(PlaceOnClipboard(NULL, {{CF_TEXT, "no host window"}}));
    std::string unicode;
    ASSERT_TRUE(ReadBlock(NULL, CF_UNICODETEXT, &unicode));
    const std::string file = TextFile();
    ASSERT_EQ(10, RoundTrips(file, 10)) << "warm-up";

    const size_t heapBefore = ProcessHeapInUse();
    EXPECT_EQ(1000, RoundTrips(file, 1000));
    const long long growth = (long long)ProcessHeapInUse() - (long long)heapBefore;
    ExpectClosedAndNothingLive("after the round trips");
    if (HeapBoundsAreWine8s(growth)) {
        EXPECT_LT(growth, 8192) << "heap grew by " << growth << " bytes";
    }
    EXPECT_TRUE(GetClipboardOwner() == NULL);
    std::string restored;
    ASSERT_TRUE(ReadBlock(NULL, CF_UNICODETEXT, &restored));
    EXPECT_EQ(unicode, restored);
}
