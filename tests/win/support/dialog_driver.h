// Driving the modal dialogs that a plug-in call opens, from the test itself: the open-file
// dialog and the shell's folder browser. A thread-local CBT hook notices the dialog when it
// becomes active; a thread timer then runs the test's steps inside the dialog's own modal
// loop, one step per tick. A watchdog closes a dialog that is still open after its time, so
// that no test ever waits for a person; the test then sees TimedOut().
//
// The control ids are those of Wine's dialogs (comdlg32 and shell32), kept here in one place.
#ifndef TARVEL_TEST_DIALOG_DRIVER_H
#define TARVEL_TEST_DIALOG_DRIVER_H

#include <windows.h>
#include <shlobj.h>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

// Open-file dialog controls.
enum {
    kFileNameBox = 0x47C,   // cmb13: a ComboBoxEx whose inner edit shares the id
    kFileTypeList = 0x470,  // cmb1
    kLookInList = 0x471     // cmb2
};
// Folder browser controls.
enum {
    kBrowserTree = 0x3741,
    kBrowserTitle = 0x3742,
    kBrowserEditBox = 0x3745
};

// One step of a dialog script; runs inside the dialog's modal loop. Record there and check
// with EXPECT_* only: ASSERT_* would return from the step, not from the test.
typedef std::function<void(HWND dialog)> DialogStep;

// Drives the first dialog-class window (#32770) that becomes active on this thread while the
// driver lives. One driver at a time.
class DialogDriver {
public:
    // Steps run one per tick (tickMs apart), the first one tick after the dialog became
    // active. The last step should close the dialog. timeoutMs counts from that activation.
    explicit DialogDriver(std::vector<DialogStep> steps, DWORD timeoutMs = 20000, UINT tickMs = 100);
    ~DialogDriver();
    DialogDriver(const DialogDriver &) = delete;
    DialogDriver &operator=(const DialogDriver &) = delete;

    bool Seen() const { return dialog_ != NULL; }
    HWND Owner() const { return owner_; }          // the dialog's owner when it appeared
    const std::string &Caption() const { return caption_; }  // read at the first tick
    int StepsRun() const { return stepsRun_; }
    bool TimedOut() const { return timedOut_; }

private:
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    static DWORD WINAPI Watchdog(void *driver);
    void CloseEverything();

    std::vector<DialogStep> steps_;
    DWORD timeoutMs_;
    UINT tickMs_;
    HHOOK hook_ = NULL;
    UINT_PTR timer_ = 0;
    HANDLE finished_ = NULL;   // set by the destructor; the watchdog thread waits on it
    HANDLE watchdog_ = NULL;
    DWORD threadId_;
    HWND dialog_ = NULL;
    HWND owner_ = NULL;
    std::string caption_;
    std::atomic<DWORD> seenAt_{0};  // also read by the watchdog thread
    int stepsRun_ = 0;
    std::atomic<bool> timedOut_{false};
};

// Presses a button by sending its command to the dialog, as a click would. Returns false,
// pressing nothing, when the button is missing or disabled (Wine would act on a disabled one).
bool PressButton(HWND dialog, int buttonId);
// The window text of a control, or "<missing>".
std::string ControlText(HWND dialog, int controlId);

// Open-file dialog: type a name or path into the file-name box; the file-type list's entries
// and its selection.
void TypeFileName(HWND dialog, const std::string &name);
std::vector<std::string> FileTypeNames(HWND dialog);
int SelectedFileType(HWND dialog);

// Folder browser: select a folder by its path (in the code page, or wide for any name), going
// down the tree by the names it shows, or a tree item by its text (searched three levels deep, expanding as it goes, e.g. "My Computer",
// "Control Panel"). The browser's callback has run when these return. false when the item
// was not found or the selection did not move to it.
bool SelectFolderPath(HWND dialog, const std::string &path);
bool SelectFolderPath(HWND dialog, const std::wstring &path);
bool SelectTreeItem(HWND dialog, const std::string &text);
// Folder browser: select the child of the selected folder that the tree shows as shownName.
bool SelectChildFolder(HWND dialog, const std::wstring &shownName);

// The item identifier list of a path, from the shell allocator (free with CoTaskMemFree), or
// NULL when the shell cannot parse the path.
LPITEMIDLIST ItemListOfPath(const std::string &path);

#endif
