// The fixture that loads tarvel.fmx through the host emulator for each test.
#include <windows.h>
#include <string.h>
#include <string>

#include "tests/win/support/plugin_fixture.h"
#include "tests/win/support/unix_link.h"

std::string ProgramFolder()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH - 1);
    char *slash = strrchr(path, '\\');
    if (slash != NULL)
        *slash = '\0';
    return path;
}

std::string PluginPath() { return ProgramFolder() + "\\tarvel.fmx"; }

bool MakeFile(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

static std::string scratchFolder;
static std::wstring currentFolderAtSetUp;

static std::wstring Wide(const std::string &text)
{
    std::wstring wide((size_t)MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, NULL, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size());
    wide.resize(wide.size() > 0 ? wide.size() - 1 : 0);
    return wide;
}

// Removes folder (an absolute path) with everything in it; true when it is gone. By the wide
// functions and long-path names, so that names the ANSI code page cannot hold and trees past
// the ANSI length limit go as well. A linked folder (a Unix symbolic link, which Wine lists as
// a folder with the reparse-point attribute) is removed as a link and never entered: the
// tests' links lead back up the tree, and the shell's delete followed them.
static bool RemoveTree(const std::wstring &folder)
{
    std::string error;
    const std::wstring longFolder = L"\\\\?\\" + folder;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((longFolder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            std::wstring longPath = longFolder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(longPath.c_str(), FILE_ATTRIBUTE_NORMAL);
            bool linked = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !linked)
                RemoveTree(path);
            else if (linked)
                RemoveUnixLink(path, &error);
            else
                DeleteFileW(longPath.c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(longFolder.c_str());
    return GetFileAttributesW(longFolder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string TestScratchFolder()
{
    if (!scratchFolder.empty())
        return scratchFolder;
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "scratch";
    for (char &c : name)
        if (c == '/' || c == '\\')
            c = '_';
    char temp[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH - 1, temp);
    scratchFolder = std::string(temp) + "tarvel-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    // Wine gives process ids again after its server restarts: a folder of this name may be
    // left from an earlier run that was killed.
    if (!RemoveTree(Wide(scratchFolder)))
        ADD_FAILURE() << "cannot remove the scratch folder an earlier run left: " << scratchFolder;
    if (!CreateDirectoryA(scratchFolder.c_str(), NULL))
        ADD_FAILURE() << "cannot create the scratch folder " << scratchFolder << ", error " << GetLastError();
    return scratchFolder;
}

void PluginTest::SetUp()
{
    // The open-file dialog makes the chosen file's folder the current one, and a folder that
    // is current cannot be removed: TearDown puts this one back first.
    DWORD length = GetCurrentDirectoryW(0, NULL);
    currentFolderAtSetUp.assign(length, L'\0');
    if (length == 0 || GetCurrentDirectoryW(length, &currentFolderAtSetUp[0]) == 0)
        currentFolderAtSetUp.clear();
    else
        currentFolderAtSetUp.resize(length - 1);
    std::string error;
    ASSERT_TRUE(fmhost::LoadPlugin(PluginPath(), &error)) << error;
    fmhost::ClearViolations();
    fmhost::ClearClosedModals();
    fmhost::ResetCounts();
    // Nothing may ever wait for a person: any box the plug-in shows is closed and recorded.
    fmhost::SetAutoCloseModals(true);
    if (createMainWindow_) {
        ASSERT_TRUE(fmhost::CreateMainWindow() != NULL);
    }
    if (sendInit_) {
        ASSERT_EQ(kInitAccepted, fmhost::SendInit(fmhost::kFileMaker60));
    }
}

void PluginTest::TearDown()
{
    fmhost::SendShutdown();
    fmhost::SetAutoCloseModals(false);
    for (const std::string &violation : fmhost::Violations())
        ADD_FAILURE() << "host rule broken: " << violation;
    fmhost::ClearViolations();
    fmhost::UnloadPlugin();
    fmhost::DestroyMainWindow();
    if (!currentFolderAtSetUp.empty())
        SetCurrentDirectoryW(currentFolderAtSetUp.c_str());
    // A program that the shell started from the scratch folder as the current one holds it
    // for a moment after it has ended, under Wine.
    bool removed = scratchFolder.empty();
    for (int tries = 0; !removed && tries < 20; tries++)
        removed = RemoveTree(Wide(scratchFolder)) || (Sleep(100), false);
    if (!removed)
        ADD_FAILURE() << "the scratch folder stays behind: " << scratchFolder;
    scratchFolder.clear();
}

fmhost::CallResult PluginTest::Call(uint32_t functionId, const std::string &parameter,
                                    const fmhost::CallOptions &options)
{
    return fmhost::CallFunction(functionId, parameter, options);
}

std::string PluginTest::CallText(uint32_t functionId, const std::string &parameter)
{
    return fmhost::CallFunction(functionId, parameter).text;
}
