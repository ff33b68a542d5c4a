// The fixture that loads tarvel.fmx through the host emulator for each test.
#include <windows.h>
#include <shellapi.h>
#include <string.h>
#include <string>

#include "plugin_fixture.h"

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

static void RemoveTree(const std::string &folder)
{
    if (folder.empty())
        return;
    // SHFileOperation wants a double-zero-terminated list. The wide form, so that files whose
    // names the ANSI code page cannot hold go as well.
    std::wstring from((size_t)MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, NULL, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, &from[0], (int)from.size());
    from += L'\0';
    SHFILEOPSTRUCTW operation;
    memset(&operation, 0, sizeof operation);
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&operation);
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
    RemoveTree(scratchFolder);
    CreateDirectoryA(scratchFolder.c_str(), NULL);
    return scratchFolder;
}

void PluginTest::SetUp()
{
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
    RemoveTree(scratchFolder);
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
