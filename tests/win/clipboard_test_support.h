// What the clipboard and icon tests share: a fixture that owns a window of its own for the
// clipboard and leaves the clipboard empty before and after each test; helpers that place
// and read clipboard content; a ledger of the handles and blocks the plug-in creates and
// releases (Wine's GetGuiResources is a stub, so the plug-in's own calls are counted through
// its import table), with faults injected in the same hooks; a second process that places
// text or holds the clipboard open; and a guard that restores the window colour.
#ifndef TARVEL_CLIPBOARD_TEST_SUPPORT_H
#define TARVEL_CLIPBOARD_TEST_SUPPORT_H

#include <windows.h>
#include <map>
#include <string>
#include <vector>
#include "tests/win/support/plugin_fixture.h"

namespace cliptest {

extern const char kStatusOk[];              // "000 (OK)"
extern const char kStatusIncorrectOption[]; // "-001 (Incorrect option)"
extern const char kStatusCannotRestore[];   // "-007 (Cannot restore clipboard content)"

// ---- placing and reading content ------------------------------------------------------------
// One format to place. Global-block formats take bytes; CF_PALETTE gets a small palette and
// CF_METAFILEPICT a metafile picture made by MakeMetafilePicture (bytes are ignored for both).
struct Placement {
    UINT format;
    std::string bytes;
};
// Opens the clipboard with owner, empties it, places every item in order, closes it.
bool PlaceOnClipboard(HWND owner, const std::vector<Placement> &items);
// Formats in the clipboard's enumeration order (empty when it can't be opened).
std::vector<UINT> ClipboardFormats(HWND owner);
bool HasFormat(HWND owner, UINT format);
// The bytes of a global-block format, bounded by the block's size. False when it is missing.
bool ReadBlock(HWND owner, UINT format, std::string *bytes);

// A metafile picture: mapping mode 8 (anisotropic), extents and a few drawing records.
HGLOBAL MakeMetafilePicture(LONG mm, LONG xExt, LONG yExt);
struct MetafilePicture {
    LONG mm, xExt, yExt;
    std::string bits;  // GetMetaFileBitsEx of the metafile the record names
};
bool ReadMetafilePicture(HWND owner, MetafilePicture *picture);
// What MakeMetafilePicture makes, read back the same way without the clipboard.
MetafilePicture ExpectedMetafilePicture(LONG mm, LONG xExt, LONG yExt);

// The CF_BITMAP on the clipboard with its pixels, and the CF_PALETTE beside it.
struct ClipboardBitmap {
    LONG width, height;
    WORD bitsPixel;
    std::vector<COLORREF> pixels;  // x outer, y inner: pixels[x * height + y]
    bool paletteListed;            // CF_PALETTE is among the formats
    std::vector<PALETTEENTRY> palette;  // its entries; empty for a NULL palette
};
bool ReadClipboardBitmap(HWND owner, ClipboardBitmap *bitmap);
// The pixels of an icon's colour and mask bitmaps, in the same order.
struct IconPixels {
    LONG width, height;
    std::vector<COLORREF> colour, mask;
};
bool ReadIconPixels(HICON icon, IconPixels *pixels);

// ---- the plug-in's calls: ledger and faults --------------------------------------------------
// Call numbers count from 1 since InstallHooks; 0 injects nothing, -1 fails every call.
struct Faults {
    int openClipboard;
    int emptyClipboard;
    int globalAlloc;
    int getIconInfo;
    UINT setClipboardFormat;    // SetClipboardData refuses this format (0: none)
    bool replaceIconColour;     // GetIconInfo hands over iconColour instead of the real one
    HBITMAP iconColour;         // (NULL: a monochrome icon); handed over once, then cleared
    HICON shellIcon;            // SHGetFileInfoW hands over this icon once instead of the shell's
};
struct CallCounts {
    int openClipboard, emptyClipboard, setClipboardData, getClipboardData, globalAlloc, getIconInfo;
    int oleInitialize, oleUninitialize, coInitialize, coUninitialize;
};
// Hooks the plug-in's imports (after the module is loaded); clears faults, counts, ledger.
void InstallHooks();
Faults &InjectedFaults();
const CallCounts &Counts();
void ResetCounts();
// The paths the plug-in asked SHGetFileInfoW about since InstallHooks, in order (tests may
// clear it): a path that never reaches the shell is not in it.
std::vector<std::wstring> &ShellInfoPaths();
// Everything the plug-in created that is neither released nor taken by the clipboard, one
// description each ("bitmap 0x1234 from GetIconInfo"). Objects that passed to the clipboard
// are dropped when SetClipboardData took them.
std::vector<std::string> LiveObjects();

// ---- a second program ------------------------------------------------------------------------
// clipboard_peer.exe beside the test program. The destructor ends a peer still running by its
// own process handle.
class ClipboardPeer {
public:
    ClipboardPeer();
    ~ClipboardPeer();
    // Places text as CF_TEXT from the other process (its own window owns the clipboard) and
    // waits for that process to end.
    bool PlaceText(const std::string &text);
    // Starts the peer holding the clipboard open with a window of its own; returns once it has.
    bool Hold();
    // Lets the holding peer close the clipboard and waits for it to end.
    bool Release();

private:
    bool Start(const std::string &arguments);
    bool WaitForExit(DWORD milliseconds);
    PROCESS_INFORMATION process_;
    HANDLE ready_;
    HANDLE release_;
    std::string readyName_, releaseName_;
};

// Sets COLOR_WINDOW for the lifetime of the guard; the destructor puts the old colour back,
// on every path out of the test (the colour is shared by everything on the wineserver).
class WindowColourGuard {
public:
    explicit WindowColourGuard(COLORREF colour);
    ~WindowColourGuard();

private:
    COLORREF saved_;
};

// The fixture: the plug-in loaded and initialised, the hooks in place, a message-only
// window of the test's own for placing content, the clipboard empty before and after.
class ClipboardTest : public PluginTest {
protected:
    void SetUp() override;
    void TearDown() override;

    fmhost::CallResult CopyLargeIcon(const std::string &path);
    fmhost::CallResult CopySmallIcon(const std::string &path);
    fmhost::CallResult Restore(const std::string &parameter = std::string());
    // A text file and a folder in the scratch folder, in Windows codes (ASCII).
    std::string TextFile();
    std::string Folder();

    // Fails the test when the plug-in left the clipboard open or holds objects it should
    // have released; what names the moment.
    void ExpectClosedAndNothingLive(const char *what);

    HWND window_ = NULL;
};

}  // namespace cliptest

#endif
