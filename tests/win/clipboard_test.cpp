// Tarv-RestoreClipboard and the snapshot that an icon copy takes: which format is saved,
// round trips byte for byte, the clipboard held by another program, and injected failures.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "tests/win/clipboard_test_support.h"

using namespace cliptest;

namespace {

// A DIB with a 16-entry colour table and rows of pixels whose bytes all differ.
std::string SampleDib()
{
    BITMAPINFOHEADER header;
    memset(&header, 0, sizeof header);
    header.biSize = sizeof header;
    header.biWidth = 6;
    header.biHeight = 3;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = BI_RGB;
    header.biClrUsed = 16;
    std::string dib((const char *)&header, sizeof header);
    for (int i = 0; i < 16; i++) {
        RGBQUAD entry = {(BYTE)(i * 3), (BYTE)(200 - i), (BYTE)(i * 15), 0};
        dib.append((const char *)&entry, sizeof entry);
    }
    for (int i = 0; i < 3 * 8; i++)  // rows of 6 pixels padded to 8 bytes
        dib += (char)(i % 16);
    return dib;
}

// Reads the Unicode text on the clipboard; empty when there is none.
std::string UnicodeText(HWND owner)
{
    std::string text;
    ReadBlock(owner, CF_UNICODETEXT, &text);
    return text;
}

}  // namespace

// Text that another program placed as CF_TEXT is saved as the Unicode text the system offers
// beside it and comes back byte for byte; guards against saving CF_TEXT, or nothing.
TEST_F(ClipboardTest, UnicodeTextPlacedByAnotherProgramComesBack)
{
    ClipboardPeer peer;
    ASSERT_TRUE(peer.PlaceText("Gr\xFC\xDF" "e aus dem Nachbarprogramm"));
    std::string unicode = UnicodeText(window_);
    ASSERT_FALSE(unicode.empty());

    EXPECT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
    EXPECT_TRUE(HasFormat(window_, CF_BITMAP));
    EXPECT_FALSE(HasFormat(window_, CF_UNICODETEXT));

    EXPECT_EQ(kStatusOk, Restore().text);
    EXPECT_EQ(unicode, UnicodeText(window_));
    std::string ansi;
    ASSERT_TRUE(ReadBlock(window_, CF_TEXT, &ansi));
    EXPECT_STREQ("Gr\xFC\xDF" "e aus dem Nachbarprogramm", ansi.c_str());
    EXPECT_FALSE(HasFormat(window_, CF_BITMAP));
    ExpectClosedAndNothingLive("after the restore");
}

// A DIB comes back whole: header, colour table and pixels; guards against a short copy.
TEST_F(ClipboardTest, DibComesBackByteForByte)
{
    const std::string dib = SampleDib();
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_DIB, dib}}));

    EXPECT_EQ(kStatusOk, CopySmallIcon(TextFile()).text);
    EXPECT_EQ(kStatusOk, Restore().text);

    std::string restored;
    ASSERT_TRUE(ReadBlock(window_, CF_DIB, &restored));
    EXPECT_EQ(dib.size(), restored.size());
    EXPECT_TRUE(dib == restored) << "the DIB's bytes differ after the round trip";
    ExpectClosedAndNothingLive("after the restore");
}

// A metafile picture comes back with its mapping mode, extents and the metafile's bits, and
// nothing of the icon stays beside it; guards against keeping only the clipboard's metafile
// handle, which emptying the clipboard deletes.
TEST_F(ClipboardTest, MetafilePictureComesBackWithModeExtentsAndBits)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_METAFILEPICT, ""}}));
    const MetafilePicture expected = ExpectedMetafilePicture(MM_ANISOTROPIC, 1234, 5678);
    ASSERT_FALSE(expected.bits.empty());

    EXPECT_EQ(kStatusOk, CopyLargeIcon(Folder()).text);
    EXPECT_FALSE(HasFormat(window_, CF_METAFILEPICT));
    EXPECT_EQ(kStatusOk, Restore().text);

    MetafilePicture restored = {0, 0, 0, std::string()};
    ASSERT_TRUE(ReadMetafilePicture(window_, &restored));
    EXPECT_EQ(MM_ANISOTROPIC, restored.mm);
    EXPECT_EQ(1234, restored.xExt);
    EXPECT_EQ(5678, restored.yExt);
    EXPECT_TRUE(expected.bits == restored.bits) << "metafile of " << restored.bits.size()
                                                << " bytes, expected " << expected.bits.size();
    for (UINT format : {CF_BITMAP, CF_PALETTE, CF_DIB})
        EXPECT_FALSE(HasFormat(window_, format)) << "format " << format;
    ExpectClosedAndNothingLive("after the restore");
}

// A metafile picture reached only after another standard format is still saved by its bits:
// a byte copy of its record would name a metafile that no longer exists at the restore.
TEST_F(ClipboardTest, MetafilePictureAfterAPaletteComesBackWithItsBits)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_PALETTE, ""}, {CF_METAFILEPICT, ""}}));
    ASSERT_FALSE(HasFormat(window_, CF_UNICODETEXT));
    const MetafilePicture expected = ExpectedMetafilePicture(MM_ANISOTROPIC, 1234, 5678);

    EXPECT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
    EXPECT_EQ(kStatusOk, Restore().text);

    MetafilePicture restored = {0, 0, 0, std::string()};
    ASSERT_TRUE(ReadMetafilePicture(window_, &restored));
    EXPECT_EQ(1234, restored.xExt);
    EXPECT_EQ(5678, restored.yExt);
    EXPECT_TRUE(expected.bits == restored.bits);
    EXPECT_FALSE(HasFormat(window_, CF_PALETTE)) << "only one format is saved";
    ExpectClosedAndNothingLive("after the restore");
}

// The one saved format follows the clipboard's enumeration: past display and application
// formats to the first standard one; a metafile picture or DIB as it is; otherwise Unicode
// text when offered, else the next standard format; a GDI object or nothing after the first
// standard format saves nothing, and the restore then leaves the icon alone.
TEST_F(ClipboardTest, SavesTheOneFormatThatTheEnumerationChooses)
{
    const UINT kPrivate = 0xFFFF;  // stands for an application-defined format registered below
    static const struct {
        const char *name;
        std::vector<Placement> placed;  // in this order
        UINT saved;                     // the format that comes back; 0 for none
        std::vector<UINT> absent;       // placed formats that must not come back
    } cases[] = {
        {"SYLK then TIFF", {{CF_SYLK, "sylk"}, {CF_TIFF, "tiff"}}, CF_TIFF, {CF_SYLK}},
        {"private, DIF, RIFF", {{kPrivate, "private"}, {CF_DIF, "dif"}, {CF_RIFF, "riff"}}, CF_RIFF,
         {CF_DIF, kPrivate}},
        {"display text, WAVE, SYLK", {{CF_DSPTEXT, "display"}, {CF_WAVE, "wave"}, {CF_SYLK, "sylk"}},
         CF_SYLK, {CF_DSPTEXT, CF_WAVE}},
        {"palette then TIFF", {{CF_PALETTE, ""}, {CF_TIFF, "tiff"}}, CF_TIFF, {CF_PALETTE}},
        {"OEM text", {{CF_OEMTEXT, "oem text"}}, CF_UNICODETEXT, {}},
        {"SYLK alone", {{CF_SYLK, "sylk"}}, 0, {}},
        {"TIFF then palette", {{CF_TIFF, "tiff"}, {CF_PALETTE, ""}}, 0, {}},
        {"private only", {{kPrivate, "private"}}, 0, {}},
        {"nothing", {}, 0, {}},
    };
    const UINT registered = RegisterClipboardFormatA("tarvel test: application data");
    ASSERT_NE(0u, registered);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Placement> placed = c.placed;
        for (Placement &item : placed)
            if (item.format == kPrivate)
                item.format = registered;
        ASSERT_TRUE(PlaceOnClipboard(window_, placed));
        std::string before;
        if (c.saved != 0) {
            ASSERT_TRUE(ReadBlock(window_, c.saved, &before));
        }

        ASSERT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
        DWORD sequence = GetClipboardSequenceNumber();
        ResetCounts();
        fmhost::CallResult restored = Restore();

        if (c.saved == 0) {
            EXPECT_EQ(kStatusCannotRestore, restored.text);
            EXPECT_EQ(0, Counts().openClipboard) << "a restore with nothing saved opened the clipboard";
            EXPECT_EQ(sequence, GetClipboardSequenceNumber()) << "nothing saved, yet the clipboard changed";
            EXPECT_TRUE(HasFormat(window_, CF_BITMAP)) << "the icon must stay";
        } else {
            EXPECT_EQ(kStatusOk, restored.text);
            std::string after;
            EXPECT_TRUE(ReadBlock(window_, c.saved, &after));
            EXPECT_TRUE(before == after) << "format " << c.saved << " differs after the round trip";
            for (UINT format : c.absent)
                EXPECT_FALSE(HasFormat(window_, format == kPrivate ? registered : format))
                    << "format " << format << " came back";
        }
        ExpectClosedAndNothingLive("after the restore");
    }
}

// Two icon copies, one restore: the content from before the first copy comes back, and the
// second copy does not open the clipboard for a snapshot; guards against a second snapshot
// overwriting the first with the first icon.
TEST_F(ClipboardTest, TwoIconCopiesThenOneRestoreBringBackTheContentBeforeTheFirst)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "before the first copy"}}));
    const std::string unicode = UnicodeText(window_);

    ResetCounts();
    EXPECT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
    EXPECT_EQ(2, Counts().openClipboard) << "one open for the snapshot, one for the icon";
    ResetCounts();
    EXPECT_EQ(kStatusOk, CopySmallIcon(Folder()).text);
    EXPECT_EQ(1, Counts().openClipboard) << "a held snapshot takes no new one";
    ClipboardBitmap bitmap;
    ASSERT_TRUE(ReadClipboardBitmap(window_, &bitmap));
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), bitmap.width) << "the clipboard holds the second icon";

    EXPECT_EQ(kStatusOk, Restore().text);
    EXPECT_EQ(unicode, UnicodeText(window_));
    ExpectClosedAndNothingLive("after the restore");
}

// A restore with nothing saved answers -007 and never opens the clipboard, whatever its
// parameter; guards against wiping the user's clipboard.
TEST_F(ClipboardTest, RestoreWithoutIconCopyLeavesTheClipboardAlone)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "the user's text"}}));
    const std::string unicode = UnicodeText(window_);
    const std::string parameters[] = {"", "anything at all", std::string(5000, 'x')};
    for (const std::string &parameter : parameters) {
        SCOPED_TRACE(parameter.size());
        DWORD sequence = GetClipboardSequenceNumber();
        ResetCounts();
        EXPECT_EQ(kStatusCannotRestore, Restore(parameter).text);
        EXPECT_EQ(0, Counts().openClipboard);
        EXPECT_EQ(sequence, GetClipboardSequenceNumber());
        EXPECT_EQ(unicode, UnicodeText(window_));
    }
}

// Two restores in a row: the first puts the content back, the second answers -007 and leaves
// it there; guards against the second restore emptying the clipboard.
TEST_F(ClipboardTest, SecondRestoreAnswers007AndKeepsTheRestoredContent)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "restored once"}}));
    const std::string unicode = UnicodeText(window_);
    ASSERT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);

    EXPECT_EQ(kStatusOk, Restore().text);
    DWORD sequence = GetClipboardSequenceNumber();
    ResetCounts();
    EXPECT_EQ(kStatusCannotRestore, Restore().text);
    EXPECT_EQ(0, Counts().openClipboard);
    EXPECT_EQ(sequence, GetClipboardSequenceNumber());
    EXPECT_EQ(unicode, UnicodeText(window_));
    ExpectClosedAndNothingLive("after both restores");
}

// While another program holds the clipboard open, an icon copy answers -001 without a
// snapshot (the clipboard can't be opened for one either) and changes nothing.
TEST_F(ClipboardTest, IconCopyWhileAnotherProgramHoldsTheClipboardAnswers001)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "held elsewhere"}}));
    const std::string unicode = UnicodeText(window_);
    DWORD sequence = GetClipboardSequenceNumber();
    {
        ClipboardPeer peer;
        ASSERT_TRUE(peer.Hold());
        ResetCounts();
        EXPECT_EQ(kStatusIncorrectOption, CopyLargeIcon(TextFile()).text);
        EXPECT_EQ(2, Counts().openClipboard) << "the snapshot's and the icon's attempts";
        ASSERT_TRUE(peer.Release());
    }
    EXPECT_EQ(sequence, GetClipboardSequenceNumber());
    EXPECT_EQ(unicode, UnicodeText(window_));
    // Nothing was saved, so there is nothing to restore and nothing is touched.
    EXPECT_EQ(kStatusCannotRestore, Restore().text);
    EXPECT_EQ(unicode, UnicodeText(window_));
    ExpectClosedAndNothingLive("after the restore");
}

// A restore while another program holds the clipboard answers -007 and keeps the snapshot, so
// that a restore after the other program closed the clipboard succeeds.
TEST_F(ClipboardTest, RestoreWhileAnotherProgramHoldsTheClipboardKeepsTheSnapshot)
{
    ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "wait for me"}}));
    const std::string unicode = UnicodeText(window_);
    ASSERT_EQ(kStatusOk, CopyLargeIcon(TextFile()).text);
    {
        ClipboardPeer peer;
        ASSERT_TRUE(peer.Hold());
        EXPECT_EQ(kStatusCannotRestore, Restore().text);
        ASSERT_TRUE(peer.Release());
    }
    EXPECT_TRUE(HasFormat(window_, CF_BITMAP)) << "the refused restore changed the clipboard";
    EXPECT_EQ(kStatusOk, Restore().text);
    EXPECT_EQ(unicode, UnicodeText(window_));
    ExpectClosedAndNothingLive("after the restore");
}

// Failures of the clipboard, of allocation and of the icon's parts, one at a time: each gives
// its documented answer, leaves the clipboard as documented, closes it, leaks nothing, and a
// snapshot kept through a failed restore still comes back later.
TEST_F(ClipboardTest, InjectedFailuresGiveTheDocumentedAnswersAndLeakNothing)
{
    enum Content { kText, kMetafile };
    enum Shows { kTheContent, kTheIcon, kNeither };
    static const struct {
        const char *name;
        Content content;
        int failOpen, failEmpty, failAlloc, failIconInfo;  // call numbers; -1 every call
        UINT refusedFormat;
        bool monochrome;
        const char *iconStatus;
        Shows afterIcon;
        const char *restoreStatus;
        Shows afterRestore;
        const char *laterRestoreStatus;  // a second restore without faults
        Shows afterLaterRestore;
    } cases[] = {
        {"every open refused", kText, -1, 0, 0, 0, 0, false,
         kStatusIncorrectOption, kTheContent, kStatusCannotRestore, kTheContent, kStatusCannotRestore, kTheContent},
        {"icon's open refused", kText, 2, 0, 0, 0, 0, false,
         kStatusIncorrectOption, kTheContent, kStatusOk, kTheContent, kStatusCannotRestore, kTheContent},
        {"restore's open refused", kText, 3, 0, 0, 0, 0, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kTheIcon, kStatusOk, kTheContent},
        {"icon's empty refused", kText, 0, 1, 0, 0, 0, false,
         kStatusIncorrectOption, kTheContent, kStatusOk, kTheContent, kStatusCannotRestore, kTheContent},
        {"restore's empty refused", kText, 0, 2, 0, 0, 0, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kTheIcon, kStatusOk, kTheContent},
        {"bitmap refused", kText, 0, 0, 0, 0, CF_BITMAP, false,
         kStatusIncorrectOption, kNeither, kStatusOk, kTheContent, kStatusCannotRestore, kTheContent},
        {"saved text refused", kText, 0, 0, 0, 0, CF_UNICODETEXT, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kNeither, kStatusCannotRestore, kNeither},
        {"snapshot's copy not allocated", kText, 0, 0, 1, 0, 0, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kTheIcon, kStatusCannotRestore, kTheIcon},
        {"icon parts not had", kText, 0, 0, 0, 1, 0, false,
         kStatusIncorrectOption, kTheContent, kStatusOk, kTheContent, kStatusCannotRestore, kTheContent},
        {"monochrome icon", kText, 0, 0, 0, 0, 0, true,
         kStatusIncorrectOption, kTheContent, kStatusOk, kTheContent, kStatusCannotRestore, kTheContent},
        {"metafile bits not allocated", kMetafile, 0, 0, 1, 0, 0, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kTheIcon, kStatusCannotRestore, kTheIcon},
        {"metafile record not allocated", kMetafile, 0, 0, 2, 0, 0, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kNeither, kStatusCannotRestore, kNeither},
        {"metafile picture refused", kMetafile, 0, 0, 0, 0, CF_METAFILEPICT, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kNeither, kStatusCannotRestore, kNeither},
        {"restore's open refused, metafile", kMetafile, 3, 0, 0, 0, 0, false,
         kStatusOk, kTheIcon, kStatusCannotRestore, kTheIcon, kStatusOk, kTheContent},
    };
    const std::string file = TextFile();
    const MetafilePicture metafile = ExpectedMetafilePicture(MM_ANISOTROPIC, 1234, 5678);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.content == kText)
            ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_TEXT, "content to keep"}}));
        else
            ASSERT_TRUE(PlaceOnClipboard(window_, {{CF_METAFILEPICT, ""}}));
        const std::string unicode = UnicodeText(window_);
        auto expectShows = [&](Shows shows, const char *when) {
            SCOPED_TRACE(when);
            bool contentThere;
            if (c.content == kText) {
                contentThere = UnicodeText(window_) == unicode;
            } else {
                MetafilePicture read = {0, 0, 0, std::string()};
                contentThere = ReadMetafilePicture(window_, &read) && read.bits == metafile.bits &&
                               read.xExt == 1234 && read.yExt == 5678;
            }
            EXPECT_EQ(shows == kTheContent, contentThere);
            EXPECT_EQ(shows == kTheIcon, HasFormat(window_, CF_BITMAP));
            EXPECT_TRUE(GetOpenClipboardWindow() == NULL) << "the clipboard was left open";
        };

        Faults &faults = InjectedFaults();
        memset(&faults, 0, sizeof faults);
        faults.openClipboard = c.failOpen;
        faults.emptyClipboard = c.failEmpty;
        faults.globalAlloc = c.failAlloc;
        faults.getIconInfo = c.failIconInfo;
        faults.setClipboardFormat = c.refusedFormat;
        faults.replaceIconColour = c.monochrome;
        ResetCounts();

        EXPECT_EQ(c.iconStatus, CopyLargeIcon(file).text);
        expectShows(c.afterIcon, "after the icon copy");
        EXPECT_EQ(c.restoreStatus, Restore().text);
        expectShows(c.afterRestore, "after the restore");
        memset(&faults, 0, sizeof faults);
        EXPECT_EQ(c.laterRestoreStatus, Restore().text);
        expectShows(c.afterLaterRestore, "after a later restore");
        ExpectClosedAndNothingLive(c.name);
    }
}
