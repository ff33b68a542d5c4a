// Tarv-ChooseFolder through the real module: the browser record, observed (and the
// browser's answer faked) through an import-table hook on SHBrowseForFolderW; the release of
// the returned item list and the balance of OLE and COM initialisation; and the real browser,
// driven from the test, with the plug-in's callback watched through its SendMessageA import
// (Wine sends BFFM_ENABLEOK itself after the callback, so the OK button alone proves nothing).
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/dialog_driver.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

// What the plug-in handed to SHBrowseForFolderW.
struct BrowserRecord {
    int calls = 0;
    BROWSEINFOW fields;
    std::string title;  // in the system's ANSI code page
    bool comReady = false;  // COM was initialised on the thread while the browser ran
};

// How the faked browser answers.
enum BrowserAnswer {
    kAnswerCancel,    // NULL
    kAnswerItemList,  // answerList (the plug-in owns it from then on)
    kAnswerReal       // the real browser, with the plug-in's callback wrapped
};

BrowserRecord seen;
BrowserAnswer answer = kAnswerCancel;
LPITEMIDLIST answerList = NULL;
LPITEMIDLIST(WINAPI *realSHBrowseForFolderW)(LPBROWSEINFOW) = NULL;

// The plug-in's callback, and what it sent while it ran.
BFFCALLBACK pluginCallback = NULL;
int callbackDepth = 0;
struct EnableOk {
    HWND window;
    WPARAM wParam;
    LPARAM lParam;
    bool insideCallback;
};
std::vector<EnableOk> enableOkSent;
LRESULT(WINAPI *realSendMessageA)(HWND, UINT, WPARAM, LPARAM) = NULL;

LRESULT WINAPI WatchSendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BFFM_ENABLEOK)
        enableOkSent.push_back(EnableOk{window, wParam, lParam, callbackDepth > 0});
    return realSendMessageA(window, message, wParam, lParam);
}

int CALLBACK WrappedCallback(HWND window, UINT message, LPARAM parameter, LPARAM data)
{
    callbackDepth++;
    int answer = pluginCallback(window, message, parameter, data);
    callbackDepth--;
    return answer;
}

// True when COM is initialised on this thread (CoInitializeEx as multithreaded then fails
// with RPC_E_CHANGED_MODE or reports S_FALSE); leaves the thread as it found it.
bool ComInitialisedHere()
{
    HRESULT probe = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    if (SUCCEEDED(probe))
        CoUninitialize();
    return probe != S_OK;
}

LPITEMIDLIST WINAPI FakeSHBrowseForFolderW(LPBROWSEINFOW record)
{
    seen.calls++;
    seen.fields = *record;
    seen.title = NarrowOrNull(record->lpszTitle);
    seen.comReady = ComInitialisedHere();
    switch (answer) {
    case kAnswerCancel:
        return NULL;
    case kAnswerItemList: {
        LPITEMIDLIST list = answerList;
        answerList = NULL;
        return list;
    }
    case kAnswerReal: {
        BROWSEINFOW wrapped = *record;
        pluginCallback = record->lpfn;
        wrapped.lpfn = WrappedCallback;
        return realSHBrowseForFolderW(&wrapped);
    }
    }
    return NULL;
}

// Counting wrappers of the initialisation calls; each can be told to fail instead.
struct InitCalls {
    int oleInit = 0, oleUninit = 0, comInit = 0, comUninit = 0;
    HRESULT oleFailure = S_OK, comFailure = S_OK;  // returned without calling the real one when set
};
InitCalls init;
HRESULT(WINAPI *realOleInitialize)(LPVOID) = NULL;
void(WINAPI *realOleUninitialize)(void) = NULL;
HRESULT(WINAPI *realCoInitializeEx)(LPVOID, DWORD) = NULL;
void(WINAPI *realCoUninitialize)(void) = NULL;
void(WINAPI *realCoTaskMemFree)(LPVOID) = NULL;
std::vector<void *> freed;

HRESULT WINAPI CountOleInitialize(LPVOID reserved)
{
    init.oleInit++;
    return init.oleFailure != S_OK ? init.oleFailure : realOleInitialize(reserved);
}
void WINAPI CountOleUninitialize(void)
{
    init.oleUninit++;
    realOleUninitialize();
}
HRESULT WINAPI CountCoInitializeEx(LPVOID reserved, DWORD model)
{
    init.comInit++;
    return init.comFailure != S_OK ? init.comFailure : realCoInitializeEx(reserved, model);
}
void WINAPI CountCoUninitialize(void)
{
    init.comUninit++;
    realCoUninitialize();
}
void WINAPI WatchCoTaskMemFree(LPVOID block)
{
    freed.push_back(block);
    realCoTaskMemFree(block);
}

class FolderChooserTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        seen = BrowserRecord();
        answer = kAnswerCancel;
        answerList = NULL;
        init = InitCalls();
        freed.clear();
        enableOkSent.clear();
        callbackDepth = 0;
        realSHBrowseForFolderW = fmhost::HookImportAs(
            "shell32.dll", "SHBrowseForFolderW", FakeSHBrowseForFolderW);
        ASSERT_TRUE(realSHBrowseForFolderW != NULL) << "the plug-in does not import SHBrowseForFolderW";
        realCoTaskMemFree = fmhost::HookImportAs("ole32.dll", "CoTaskMemFree", WatchCoTaskMemFree);
        ASSERT_TRUE(realCoTaskMemFree != NULL) << "the plug-in does not import CoTaskMemFree";
        realOleInitialize = fmhost::HookImportAs("ole32.dll", "OleInitialize", CountOleInitialize);
        realOleUninitialize = fmhost::HookImportAs(
            "ole32.dll", "OleUninitialize", CountOleUninitialize);
        realCoInitializeEx = fmhost::HookImportAs("ole32.dll", "CoInitializeEx", CountCoInitializeEx);
        realCoUninitialize = fmhost::HookImportAs(
            "ole32.dll", "CoUninitialize", CountCoUninitialize);
        ASSERT_TRUE(realOleInitialize && realOleUninitialize && realCoInitializeEx && realCoUninitialize)
            << "the plug-in does not import the OLE and COM initialisation it balances";
        realSendMessageA = fmhost::HookImportAs("user32.dll", "SendMessageA", WatchSendMessageA);
        ASSERT_TRUE(realSendMessageA != NULL) << "the plug-in does not import SendMessageA";
    }

    void TearDown() override
    {
        if (answerList != NULL)
            CoTaskMemFree(answerList);  // a list the plug-in never received
        answerList = NULL;
        PluginTest::TearDown();
    }
};

class FolderChooserWithoutHostWindowTest : public FolderChooserTest {
protected:
    FolderChooserWithoutHostWindowTest() { createMainWindow_ = false; }
};

// The real browser, driven from the test: nothing may close it behind the driver's back.
class RealBrowserTest : public FolderChooserTest {
protected:
    void SetUp() override
    {
        FolderChooserTest::SetUp();
        if (HasFatalFailure())
            return;
        fmhost::SetAutoCloseModals(false);
        answer = kAnswerReal;
    }
};

}  // namespace

// The record has the documented fields; the flags decide which items the browser offers and
// whether it has an edit box, the owner keeps it in front of the host.
TEST_F(FolderChooserTest, BrowserRecordHasTheDocumentedFields)
{
    fmhost::CallOptions options;
    options.prefillResult = true;
    fmhost::CallResult result = Call(kTarvChooseFolder, "", options);
    ASSERT_EQ(1, seen.calls);
    EXPECT_EQ(fmhost::MainWindow(), seen.fields.hwndOwner);
    EXPECT_TRUE(fmhost::MainWindow() != NULL);
    EXPECT_EQ(NULL, seen.fields.pidlRoot);
    EXPECT_TRUE(seen.fields.pszDisplayName != NULL);
    EXPECT_EQ("Select folder", seen.title);
    EXPECT_EQ(0x51u, seen.fields.ulFlags);
    EXPECT_TRUE(seen.fields.lpfn != NULL);
    EXPECT_EQ(0, (int)seen.fields.lParam);
    EXPECT_EQ(0, seen.fields.iImage);
    EXPECT_TRUE(seen.comReady) << "COM must be initialised while the browser runs";
    EXPECT_FALSE(result.touched) << "a cancelled browser writes nothing";
}

// Without a host window the browser has no owner.
TEST_F(FolderChooserWithoutHostWindowTest, BrowserHasNoOwner)
{
    ASSERT_EQ(NULL, fmhost::MainWindow());
    Call(kTarvChooseFolder, "");
    ASSERT_EQ(1, seen.calls);
    EXPECT_EQ(NULL, seen.fields.hwndOwner);
}

// The title is used as given (characters above 127 unconverted), cut at 4095 characters.
TEST_F(FolderChooserTest, TitleIsUsedAsGivenAndCut)
{
    Call(kTarvChooseFolder, "Pick a r\xE9sum\xE9 folder");
    EXPECT_EQ("Pick a r\xE9sum\xE9 folder", seen.title);
    Call(kTarvChooseFolder, std::string(5000, 't'));
    EXPECT_EQ(std::string(4095, 't'), seen.title);
}

// The returned item list is freed once, after its path is taken; the path is written
// unconverted (Windows codes), and nothing is freed after a cancel.
TEST_F(FolderChooserTest, ChosenItemListIsFreedAndItsPathWritten)
{
    const std::string folder = TestScratchFolder() + "\\r\xE9sum\xE9";  // Windows codes
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    answerList = ItemListOfPath(folder);
    ASSERT_TRUE(answerList != NULL);
    void *handedOver = answerList;
    answer = kAnswerItemList;
    fmhost::CallResult result = Call(kTarvChooseFolder, "");
    EXPECT_EQ(folder, result.text);
    EXPECT_EQ(std::vector<void *>({handedOver}), freed);

    freed.clear();
    answer = kAnswerCancel;
    Call(kTarvChooseFolder, "");
    EXPECT_TRUE(freed.empty()) << "freed something after a cancel";
}

// An item without a file-system path, if the browser returns one, gives the empty text (and
// its list is still freed).
TEST_F(FolderChooserTest, VirtualItemGivesTheEmptyText)
{
    ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(NULL, CSIDL_DRIVES, &answerList));
    void *handedOver = answerList;
    answer = kAnswerItemList;
    fmhost::CallOptions options;
    options.prefillResult = true;
    fmhost::CallResult result = Call(kTarvChooseFolder, "", options);
    EXPECT_TRUE(result.touched);
    EXPECT_EQ("", result.text);
    EXPECT_EQ(std::vector<void *>({handedOver}), freed);
}

// Every call uninitialises OLE and COM as often as it initialised them, so the host thread's
// counts do not grow with each browser: afterwards the thread is as uninitialised as before.
TEST_F(FolderChooserTest, EachCallBalancesOleAndComInitialisation)
{
    ASSERT_FALSE(ComInitialisedHere()) << "the test thread should start without COM";
    for (int i = 0; i < 3; i++)
        Call(kTarvChooseFolder, "");
    EXPECT_EQ(3, init.oleInit);
    EXPECT_EQ(3, init.oleUninit);
    EXPECT_EQ(3, init.comInit);
    EXPECT_EQ(3, init.comUninit);
    EXPECT_TRUE(seen.comReady);
    EXPECT_FALSE(ComInitialisedHere()) << "the calls left COM initialised on the host thread";
}

// On a host thread that already has OLE, the plug-in's initialisations succeed with S_FALSE
// and must still be undone: the host's own uninitialise then leaves the thread clean.
TEST_F(FolderChooserTest, AlreadyInitialisedThreadKeepsItsCount)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(NULL)));
    Call(kTarvChooseFolder, "");
    Call(kTarvChooseFolder, "");
    EXPECT_EQ(2, init.oleUninit);
    EXPECT_EQ(2, init.comUninit);
    OleUninitialize();
    EXPECT_FALSE(ComInitialisedHere()) << "the plug-in's S_FALSE initialisations were not undone";
}

// An initialisation that fails is not answered by an uninitialise, which would take away a
// count that belongs to the host.
TEST_F(FolderChooserTest, FailedInitialisationIsNotUndone)
{
    const struct {
        HRESULT oleFailure, comFailure;
        int oleUninit, comUninit;
    } cases[] = {
        {RPC_E_CHANGED_MODE, S_OK, 0, 1},
        {S_OK, RPC_E_CHANGED_MODE, 1, 0},
        {E_OUTOFMEMORY, E_OUTOFMEMORY, 0, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const auto &c = cases[i];
        SCOPED_TRACE(i);
        init = InitCalls();
        init.oleFailure = c.oleFailure;
        init.comFailure = c.comFailure;
        Call(kTarvChooseFolder, "");
        EXPECT_EQ(1, seen.calls);
        EXPECT_EQ(1, init.oleInit);
        EXPECT_EQ(1, init.comInit);
        EXPECT_EQ(c.oleUninit, init.oleUninit);
        EXPECT_EQ(c.comUninit, init.comUninit);
        EXPECT_FALSE(ComInitialisedHere());
        seen.calls = 0;
    }
}

// The real browser returns the picked folder's path as the shell gives it: characters above
// 127 stay in Windows codes.
TEST_F(RealBrowserTest, PickingAFolderReturnsItsPathUnconverted)
{
    const std::string folder = TestScratchFolder() + "\\r\xE9sum\xE9";  // Windows codes
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    std::string title;
    bool selected = false, pressed = false;
    DialogDriver driver({
        [&](HWND dialog) {
            title = ControlText(dialog, kBrowserTitle);
            selected = SelectFolderPath(dialog, folder);
        },
        [&](HWND dialog) { pressed = PressButton(dialog, IDOK); },
    });
    fmhost::CallResult result = Call(kTarvChooseFolder, "");
    ASSERT_TRUE(driver.Seen()) << "the browser never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ(fmhost::MainWindow(), driver.Owner());
    EXPECT_EQ("Select folder", title);
    EXPECT_TRUE(selected);
    EXPECT_TRUE(pressed) << "OK was disabled for a folder";
    EXPECT_TRUE(result.touched);
    EXPECT_EQ(folder, result.text);
}

// The reference's pattern for a chosen folder with accented letters: its path is in Windows
// codes, so with "western" in force a scan reads it as another folder and finds nothing, while
// with "english" the scan finds its files by paths that name them; Tarv-SetInitialFolder takes
// the path as it comes under either.
TEST_F(RealBrowserTest, ChosenAccentedFolderScansWithoutConversion)
{
    const std::string folder = TestScratchFolder() + "\\Dossier \xE9t\xE9";  // Windows codes
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(MakeFile(folder + "\\r\xE9sum\xE9.txt"));
    DialogDriver driver({
        [&](HWND dialog) { EXPECT_TRUE(SelectFolderPath(dialog, folder)); },
        [&](HWND dialog) { EXPECT_TRUE(PressButton(dialog, IDOK)); },
    });
    const std::string chosen = CallText(kTarvChooseFolder, "Folder to import from");
    ASSERT_TRUE(driver.Seen()) << "the browser never appeared";
    ASSERT_EQ(folder, chosen);
    EXPECT_EQ("000 (OK)", CallText(kTarvSetFolder, chosen));
    EXPECT_FALSE(Call(kTarvGetNextFilePath).touched) << "western found files in another folder";
    EXPECT_EQ("000 (OK)", CallText(kTarvSetInitialFolder, chosen));
    EXPECT_EQ("000 (OK)", CallText(kTarvSetLocale, "english"));
    EXPECT_EQ("000 (OK)", CallText(kTarvSetFolder, chosen));
    EXPECT_EQ(folder + "\\r\xE9sum\xE9.txt", CallText(kTarvGetNextFilePath));
    EXPECT_EQ("000 (OK)", CallText(kTarvSetInitialFolder, chosen));
}

// A drive's root keeps its trailing backslash.
TEST_F(RealBrowserTest, DriveRootKeepsItsBackslash)
{
    DialogDriver driver({
        [&](HWND dialog) { EXPECT_TRUE(SelectFolderPath(dialog, "C:\\")); },
        [&](HWND dialog) { EXPECT_TRUE(PressButton(dialog, IDOK)); },
    });
    fmhost::CallResult result = Call(kTarvChooseFolder, "Pick a drive");
    ASSERT_TRUE(driver.Seen()) << "the browser never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ("C:\\", result.text);
}

// Cancelling the real browser leaves the result handle exactly as the host passed it.
TEST_F(RealBrowserTest, CancellingLeavesTheResultUntouched)
{
    std::string title;
    bool pressed = false;
    DialogDriver driver({[&](HWND dialog) {
        title = ControlText(dialog, kBrowserTitle);
        pressed = PressButton(dialog, IDCANCEL);
    }});
    fmhost::CallOptions options;
    options.prefillResult = true;
    fmhost::CallResult result = Call(kTarvChooseFolder, "Where do the reports go?", options);
    ASSERT_TRUE(driver.Seen()) << "the browser never appeared";
    EXPECT_FALSE(driver.TimedOut());
    EXPECT_EQ("Where do the reports go?", title);
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(result.touched) << "wrote \"" << result.text << "\"";
}

// The plug-in's callback disables OK for virtual items (the computer, the control panel) and
// enables it for drives and folders, sending BFFM_ENABLEOK to the browser from inside itself.
TEST_F(RealBrowserTest, CallbackEnablesOkExactlyForItemsWithAPath)
{
    const std::string folder = TestScratchFolder();
    const struct {
        const char *item;  // a tree item's text, or NULL for folder
        LPARAM enable;
    } steps[] = {
        {"My Computer", 0},
        {NULL, 1},
        {"Control Panel", 0},
        {" (C:)", 1},
        {"Trash", 0},
    };
    const size_t count = sizeof steps / sizeof steps[0];
    std::vector<bool> selected(count, false);
    std::vector<size_t> sentBefore(count, 0), sentAfter(count, 0);
    HWND browser = NULL;
    std::vector<DialogStep> script;
    for (size_t i = 0; i < count; i++) {
        script.push_back([&, i](HWND dialog) {
            browser = dialog;
            sentBefore[i] = enableOkSent.size();
            selected[i] = steps[i].item != NULL ? SelectTreeItem(dialog, steps[i].item)
                                                : SelectFolderPath(dialog, folder);
            sentAfter[i] = enableOkSent.size();
        });
    }
    script.push_back([](HWND dialog) { PressButton(dialog, IDCANCEL); });
    DialogDriver driver(script);
    Call(kTarvChooseFolder, "");
    ASSERT_TRUE(driver.Seen()) << "the browser never appeared";
    EXPECT_FALSE(driver.TimedOut());
    ASSERT_EQ((int)count + 1, driver.StepsRun());
    for (size_t i = 0; i < count; i++) {
        SCOPED_TRACE(steps[i].item != NULL ? steps[i].item : folder.c_str());
        EXPECT_TRUE(selected[i]) << "item not found in the tree";
        ASSERT_EQ(sentBefore[i] + 1, sentAfter[i]) << "one BFFM_ENABLEOK per selection change";
        const EnableOk &sent = enableOkSent[sentAfter[i] - 1];
        EXPECT_TRUE(sent.insideCallback);
        EXPECT_EQ(browser, sent.window);
        EXPECT_EQ(0u, sent.wParam);
        EXPECT_EQ(steps[i].enable, sent.lParam);
    }
    for (const EnableOk &sent : enableOkSent)
        EXPECT_TRUE(sent.insideCallback) << "BFFM_ENABLEOK sent outside the callback";
}
