// The host's main window as the plug-in finds it: the owner it gives the file dialog.
#include <windows.h>
#include <commdlg.h>
#include <gtest/gtest.h>
#include <string>

#include "plugin/handlers.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

HWND dialogOwner;
int dialogCalls;
BOOL WINAPI RecordOwner(LPOPENFILENAMEW record)
{
    dialogOwner = record->hwndOwner;
    dialogCalls++;
    return FALSE;
}

// Another process whose top-level window has the given class, for as long as it lives.
struct WindowPeer {
    PROCESS_INFORMATION process = {};
    bool started = false;
    explicit WindowPeer(const char *className)
    {
        std::string eventName = "tarvel-window-peer-" + std::to_string(GetCurrentProcessId());
        HANDLE ready = CreateEventA(NULL, TRUE, FALSE, eventName.c_str());
        char self[MAX_PATH] = {0};
        GetModuleFileNameA(NULL, self, MAX_PATH - 1);
        std::string command = std::string("\"") + self + "\" --window-peer " + className + " " + eventName;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        started = CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process) &&
                  WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
        CloseHandle(ready);
    }
    ~WindowPeer()
    {
        if (process.hProcess != NULL) {
            TerminateProcess(process.hProcess, 0);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
};

class HostWindowTest : public PluginTest {
protected:
    HostWindowTest() { createMainWindow_ = false; }
    void SetUp() override
    {
        PluginTest::SetUp();
        dialogOwner = (HWND)-1;
        dialogCalls = 0;
        ASSERT_TRUE(fmhost::HookImportAs("comdlg32.dll", "GetOpenFileNameW", RecordOwner));
    }
    HWND OwnerOfTheFileDialog()
    {
        Call(kTarvGetFilePath, "");
        EXPECT_EQ(1, dialogCalls);
        dialogCalls = 0;
        return dialogOwner;
    }
};

}  // namespace

// Class names "FMPRO" and a digit, in any case and with anything after, are the host's.
TEST_F(HostWindowTest, ClassNamesOfTheHostQualify)
{
    static const char *const classes[] = {"FMPRO6", "fmpro7abc", "FmPro5", "FMPRO6.0APP"};
    for (const char *name : classes) {
        SCOPED_TRACE(name);
        HWND window = fmhost::CreateMainWindow(name);
        ASSERT_TRUE(window != NULL);
        EXPECT_EQ(window, OwnerOfTheFileDialog());
        fmhost::DestroyMainWindow();
    }
}

// Other class names never qualify, and without a host window the dialog has no owner.
TEST_F(HostWindowTest, OtherClassNamesGiveNoOwner)
{
    EXPECT_EQ(NULL, OwnerOfTheFileDialog());
    static const char *const classes[] = {"fmpro", "fmproX", "fmpr05", "XFMPRO6"};
    for (const char *name : classes) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fmhost::CreateMainWindow(name) != NULL);
        EXPECT_EQ(NULL, OwnerOfTheFileDialog());
        fmhost::DestroyMainWindow();
    }
}

// A window of the host's class in another process is skipped, and the search goes on to
// this process's own window, even when the other one comes first.
TEST_F(HostWindowTest, WindowOfAnotherProcessIsSkipped)
{
    HWND own = fmhost::CreateMainWindow("FMPRO6.0APP");
    ASSERT_TRUE(own != NULL);
    WindowPeer peer("FmPro5");
    ASSERT_TRUE(peer.started) << "the other process did not make its window";
    HWND other = FindWindowA("FmPro5", NULL);
    ASSERT_TRUE(other != NULL);
    DWORD otherProcess = 0;
    GetWindowThreadProcessId(other, &otherProcess);
    ASSERT_NE(GetCurrentProcessId(), otherProcess);
    EXPECT_EQ(own, OwnerOfTheFileDialog());
    fmhost::DestroyMainWindow();
    EXPECT_EQ(NULL, OwnerOfTheFileDialog()) << "the other process's window must never be taken";
}
