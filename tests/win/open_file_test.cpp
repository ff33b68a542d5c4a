// Tarv-OpenFile through the real module: the existence test before the shell, the status for
// every class of ShellExecuteW's answer (faked through the import table), and one real open
// through a file association that the test registers in its own Wine prefix for a test-only
// extension, with a small program that records the path it was started with.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "plugin/handlers.h"
#include "tests/win/support/ansi_text.h"
#include "tests/win/support/plugin_fixture.h"

namespace {

const char kOk[] = "000 (OK)";
const char kFileNotFound[] = "-004 (File not found)";
const char kErrorLaunching[] = "-005 (Error launching file)";
const unsigned kMacRoman = 10000;  // the host's codes under the "western" table, in force after init

// What the plug-in passed to ShellExecuteW, its texts in the system's ANSI code page, and what
// the fake answers.
struct ShellCall {
    HWND owner;
    std::string operation, file, parameters, directory;
    INT show;
    // What a single-threaded initialisation of COM answered during the call: S_FALSE when
    // COM was initialised so, RPC_E_CHANGED_MODE in the multithreaded apartment, S_OK when not.
    HRESULT comProbe;
};
std::vector<ShellCall> shellCalls;
INT_PTR shellAnswer = 42;

HINSTANCE WINAPI FakeShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                                   LPCWSTR directory, INT show)
{
    HRESULT comProbe = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(comProbe))
        CoUninitialize();
    shellCalls.push_back(ShellCall{owner, NarrowOrNull(operation), NarrowOrNull(file),
                                   NarrowOrNull(parameters), NarrowOrNull(directory), show, comProbe});
    return (HINSTANCE)shellAnswer;
}

class OpenFileTest : public PluginTest {
protected:
    void SetUp() override
    {
        PluginTest::SetUp();
        if (HasFatalFailure())
            return;
        shellCalls.clear();
        shellAnswer = 42;
    }

    void FakeTheShell()
    {
        ASSERT_TRUE(fmhost::HookImportAs("shell32.dll", "ShellExecuteW", FakeShellExecuteW) != NULL)
            << "the plug-in does not import ShellExecuteW";
    }

    std::string Open(const std::string &path)
    {
        fmhost::CallOptions options;
        options.prefillResult = true;
        fmhost::CallResult result = Call(kTarvOpenFile, path, options);
        EXPECT_TRUE(result.touched) << "no status written";
        return result.text;
    }
};

// ---- the association test's world ----------------------------------------------------------
const char kExtension[] = ".tarvtest";
const char kProgramId[] = "tarvel.testdocument";

void RemoveAssociation()
{
    const std::string id = kProgramId;
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (id + "\\shell\\open\\command").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (id + "\\shell\\open").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (id + "\\shell").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, id.c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kExtension);
}

bool SetDefaultValue(const std::string &key, const std::string &value)
{
    HKEY handle = NULL;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &handle, NULL) != ERROR_SUCCESS)
        return false;
    LONG status = RegSetValueExA(handle, NULL, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

// The running processes that this process started from open_recorder.exe.
std::vector<DWORD> RecorderChildren()
{
    std::vector<DWORD> children;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && _stricmp(entry.szExeFile, "open_recorder.exe") == 0)
            children.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

std::string ReadWholeFile(const std::string &path, bool *exists)
{
    *exists = false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    *exists = true;
    char buffer[4096];
    DWORD got = 0;
    std::string text;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

class OpenFileAssociationTest : public OpenFileTest {
protected:
    void SetUp() override
    {
        OpenFileTest::SetUp();
        if (HasFatalFailure())
            return;
        RemoveAssociation();  // what a crashed run may have left
        const std::string recorder = ProgramFolder() + "\\open_recorder.exe";
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(recorder.c_str())) << recorder;
        ASSERT_TRUE(SetDefaultValue(kExtension, kProgramId));
        ASSERT_TRUE(SetDefaultValue(std::string(kProgramId) + "\\shell\\open\\command",
                                    "\"" + recorder + "\" \"%1\""));
    }

    void TearDown() override
    {
        EndRecorders();
        RemoveAssociation();
        SetEnvironmentVariableA("TARVEL_OPEN_RECORD", NULL);
        OpenFileTest::TearDown();
    }

    // Waits up to timeoutMs for the record file and for every recorder this process started to
    // end by itself; returns the record. Recorders still running then are ended by their id.
    std::string AwaitRecord(const std::string &recordPath, DWORD timeoutMs, bool *recorded)
    {
        DWORD start = GetTickCount();
        std::string record;
        for (;;) {
            for (DWORD id : RecorderChildren())
                Track(id);
            bool allEnded = true;
            for (HANDLE process : recorders_)
                allEnded = allEnded && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
            record = ReadWholeFile(recordPath, recorded);
            if ((*recorded && allEnded) || GetTickCount() - start > timeoutMs)
                break;
            Sleep(50);
        }
        return record;
    }

    void Track(DWORD id)
    {
        for (DWORD known : recorderIds_)
            if (known == id)
                return;
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE, id);
        if (process == NULL)
            return;  // already gone
        recorderIds_.push_back(id);
        recorders_.push_back(process);
    }

    void EndRecorders()
    {
        for (size_t i = 0; i < recorders_.size(); i++) {
            if (WaitForSingleObject(recorders_[i], 0) == WAIT_TIMEOUT) {
                ADD_FAILURE() << "recorder " << recorderIds_[i] << " was still running; ending it";
                TerminateProcess(recorders_[i], 9);
                WaitForSingleObject(recorders_[i], 5000);
            }
            CloseHandle(recorders_[i]);
        }
        recorders_.clear();
        recorderIds_.clear();
    }

    std::vector<HANDLE> recorders_;
    std::vector<DWORD> recorderIds_;
};

}  // namespace

// No path, or a name that does not exist, answers -004 without asking the shell: the shell
// would otherwise start something for an empty or missing name.
TEST_F(OpenFileTest, EmptyOrMissingPathAnswersFileNotFoundWithoutTheShell)
{
    FakeTheShell();
    const std::string scratch = TestScratchFolder();
    const std::string cases[] = {
        "",
        scratch + "\\missing.txt",
        std::string("\0C:\\windows", 11),           // a block that starts with a zero byte is empty
        "C:\\windows\\" + std::string(4988, 'x'),   // 5000 bytes: the cut name does not exist
    };
    for (const std::string &path : cases) {
        SCOPED_TRACE(path.substr(0, 40) + " (" + std::to_string(path.size()) + " bytes)");
        EXPECT_EQ(kFileNotFound, Open(path));
    }
    EXPECT_TRUE(shellCalls.empty()) << "the shell was asked for \"" << shellCalls[0].file.substr(0, 40) << "\"";
}

// Every class of the shell's answer maps to its status. Once the plug-in has found the file,
// "file/path not found" from the shell (its association names a missing program, or Wine's
// shell takes no path of 256 units or more) is a failure to launch, -005, like every other.
TEST_F(OpenFileTest, ShellAnswersMapToStatus)
{
    FakeTheShell();
    const std::string file = TestScratchFolder() + "\\report.txt";
    ASSERT_TRUE(MakeFile(file));
    const struct {
        INT_PTR returned;
        const char *status;
    } cases[] = {
        {33, kOk},
        {42, kOk},
        {0x7FFFFFFF, kOk},
        {SE_ERR_FNF, kErrorLaunching},      // 2
        {SE_ERR_PNF, kErrorLaunching},      // 3
        {0, kErrorLaunching},               // out of memory
        {1, kErrorLaunching},
        {SE_ERR_ACCESSDENIED, kErrorLaunching},  // 5
        {SE_ERR_OOM, kErrorLaunching},      // 8
        {SE_ERR_NOASSOC, kErrorLaunching},  // 31
        {32, kErrorLaunching},              // the last failure value
        {-1, kErrorLaunching},              // taken as a signed number
        {(INT_PTR)(int32_t)0x80000000u, kErrorLaunching},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((long long)c.returned);
        shellCalls.clear();
        shellAnswer = c.returned;
        EXPECT_EQ(c.status, Open(file));
        ASSERT_EQ(1u, shellCalls.size());
        EXPECT_EQ(NULL, shellCalls[0].owner);
        EXPECT_EQ("open", shellCalls[0].operation);
        EXPECT_EQ(file, shellCalls[0].file);
        EXPECT_EQ("<NULL>", shellCalls[0].parameters);
        EXPECT_EQ("<NULL>", shellCalls[0].directory);
        EXPECT_EQ(SW_SHOW, shellCalls[0].show);
    }
}

// The shell runs with COM initialised on the thread (a file type's handler may be a COM
// object), and the call leaves COM as it found it: uninitialised again, or the host's own
// multithreaded apartment, against which the plug-in's initialisation fails and must not be
// undone.
TEST_F(OpenFileTest, ShellRunsWithComAndComIsLeftAsFound)
{
    FakeTheShell();
    const std::string file = TestScratchFolder() + "\\report.txt";
    ASSERT_TRUE(MakeFile(file));

    EXPECT_EQ(kOk, Open(file));
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(S_FALSE, shellCalls[0].comProbe) << "COM was not initialised for the shell";
    HRESULT after = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(S_OK, after) << "COM was left initialised on the thread";
    if (SUCCEEDED(after))
        CoUninitialize();

    ASSERT_EQ(S_OK, CoInitializeEx(NULL, COINIT_MULTITHREADED));
    EXPECT_EQ(kOk, Open(file));
    ASSERT_EQ(2u, shellCalls.size());
    EXPECT_EQ(RPC_E_CHANGED_MODE, shellCalls[1].comProbe);
    EXPECT_EQ(S_FALSE, CoInitializeEx(NULL, COINIT_MULTITHREADED)) << "the host's own COM was torn down";
    CoUninitialize();
    CoUninitialize();
}

// A folder passes the existence test and is handed to the shell like a file.
TEST_F(OpenFileTest, FolderReachesTheShell)
{
    FakeTheShell();
    const std::string folder = TestScratchFolder();
    EXPECT_EQ(kOk, Open(folder));
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(folder, shellCalls[0].file);
}

// A path sent in host codes is converted before the existence test, so a file whose name
// holds characters above 127 is found, and the shell gets its Windows name.
TEST_F(OpenFileTest, HostCodedPathIsConvertedBeforeTheExistenceTest)
{
    FakeTheShell();
    const std::string folder = TestScratchFolder();
    const std::string windowsPath = folder + "\\r\xE9sum\xE9 \xFC.txt";
    ASSERT_TRUE(MakeFile(windowsPath));
    EXPECT_EQ(kOk, Open(folder + fmhost::Utf8ToHost("\\r\xC3\xA9sum\xC3\xA9 \xC3\xBC.txt", kMacRoman)));
    ASSERT_EQ(1u, shellCalls.size());
    EXPECT_EQ(windowsPath, shellCalls[0].file);
}

// The real shell with a type that has no associated program refuses: -005.
TEST_F(OpenFileTest, TypeWithoutAssociationAnswersErrorLaunching)
{
    const std::string file = TestScratchFolder() + "\\orphan.tarvnone";
    ASSERT_TRUE(MakeFile(file));
    EXPECT_EQ(kErrorLaunching, Open(file));
}

// End to end: the shell starts the program associated with the file's type, with the file's
// Windows path, and the answer is 000 (OK).
TEST_F(OpenFileAssociationTest, AssociatedProgramStartsWithThePath)
{
    const std::string folder = TestScratchFolder();
    const std::string windowsPath = folder + "\\r\xE9sum\xE9 \xFC" + kExtension;
    const std::string record = folder + "\\record.txt";
    ASSERT_TRUE(MakeFile(windowsPath));
    ASSERT_TRUE(SetEnvironmentVariableA("TARVEL_OPEN_RECORD", record.c_str()));

    std::string hostPath = folder + fmhost::Utf8ToHost("\\r\xC3\xA9sum\xC3\xA9 \xC3\xBC", kMacRoman) + kExtension;
    ASSERT_NE(windowsPath, hostPath);
    EXPECT_EQ(kOk, Open(hostPath));

    bool recorded = false;
    std::string started = AwaitRecord(record, 20000, &recorded);
    ASSERT_TRUE(recorded) << "the associated program never recorded a start";
    EXPECT_EQ(windowsPath, started);
}

// A relative name is the current folder's file, and the shell gets its full path: given the
// name, the shell looked in the host program's folder first, and for a name without an
// extension started a program of that name from there.
TEST_F(OpenFileAssociationTest, RelativeNamesOpenTheCurrentFoldersFileAndNeverAProgram)
{
    const std::string folder = TestScratchFolder();
    const std::string record = folder + "\\record.txt";
    const std::string decoy = ProgramFolder() + "\\r" + kExtension, program = ProgramFolder() + "\\h2app.exe";
    ASSERT_TRUE(MakeFile(folder + "\\r" + kExtension) && MakeFile(folder + "\\h2app"));
    ASSERT_TRUE(MakeFile(decoy));
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\open_recorder.exe").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableA("TARVEL_OPEN_RECORD", record.c_str()));

    EXPECT_EQ(kOk, Open(std::string("r") + kExtension));
    bool recorded = false;
    EXPECT_EQ(folder + "\\r" + kExtension, AwaitRecord(record, 20000, &recorded));
    EXPECT_TRUE(recorded) << "the associated program never recorded a start";
    DeleteFileA(record.c_str());
    EXPECT_EQ(kErrorLaunching, Open("h2app"));  // no program for a file without a type
    EXPECT_TRUE(RecorderChildren().empty()) << "h2app.exe was started";
    DeleteFileA(decoy.c_str());
    DeleteFileA(program.c_str());
}
