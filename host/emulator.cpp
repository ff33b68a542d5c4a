// The emulated host: loading the plug-in, reading its string resources, the host's main
// window, and sending the messages with the checks that follow every call.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <string>
#include <vector>

#include "host/emulator.h"
#include "host/internal.h"

namespace fmhost {

namespace {

typedef void (*EntryPoint)(ExternCallRecord *record);

HMODULE pluginModule = NULL;
EntryPoint entryPoint = nullptr;
// The message being built by a Send function; once it has returned, the record as the
// plug-in left it. The plug-in itself gets a copy of its own for each message.
ExternCallRecord record;
int messagesInProgress = 0;
std::vector<std::string> violations;
HWND mainWindow = NULL;
PVOID crashHandler = nullptr;

// Says, before the process dies, which rule an access violation broke.
LONG CALLBACK ReportCrash(EXCEPTION_POINTERS *info)
{
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    const void *address = (const void *)info->ExceptionRecord->ExceptionInformation[1];
    std::string what = detail::DescribeAddress(address);
    if (what.empty())
        what = detail::DescribeRecordAddress(address);
    if (what.empty())
        what = detail::DescribeHeapAddress(address);
    if (what.empty())
        return EXCEPTION_CONTINUE_SEARCH;  // not ours; whoever expects it may handle it
    fprintf(stderr, "fmhost: access violation %s at %p (%s)\n",
            info->ExceptionRecord->ExceptionInformation[0] ? "writing" : "reading", address,
            what.c_str());
    fflush(stderr);
    // Handle memory is the host's: touching it wrongly is always a plug-in fault. End at
    // once rather than wait for a debugger.
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Sends the message built in record, on a record of its own that is unusable once the
// message has returned, and then checks the locks: with no other message in progress every
// handle must be unlocked; inside another message's modal loop every lock must be as it was
// before, since the interrupted call may hold locks of its own.
void Deliver(const char *what)
{
    record.entryPoint = (uint32_t)(uintptr_t)entryPoint;
    detail::FillCallbacks(&record);
    if (entryPoint == nullptr) {
        violations.push_back(std::string("no plug-in loaded for ") + what);
        return;
    }
    ExternCallRecord *own = detail::NewCallRecord(record);
    if (own == nullptr) {
        violations.push_back(std::string("the emulator could not allocate a record for ") + what);
        return;
    }
    std::vector<int> locksBefore;
    if (messagesInProgress > 0)
        locksBefore = detail::LockCounts();
    messagesInProgress++;
    entryPoint(own);
    messagesInProgress--;
    record = *own;
    detail::RetireCallRecord(own);
    if (messagesInProgress == 0)
        detail::CheckAllUnlocked(what);
    else
        detail::CheckLocksAsBefore(locksBefore, what);
    detail::CheckHeapBlocks(what);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string LoadPluginString(UINT id, bool *found)
{
    char text[1024] = {0};
    int length = LoadStringA(pluginModule, id, text, sizeof text);
    *found = length > 0;
    return std::string(text, length > 0 ? (size_t)length : 0);
}

}  // namespace

namespace detail {
void AddViolation(const std::string &what) { violations.push_back(what); }
}  // namespace detail

// Any other crash: say what and where, and end the process instead of starting a debugger.
static LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS *info)
{
    fprintf(stderr, "fmhost: unhandled exception 0x%08lX at %p\n",
            (unsigned long)info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

std::string DescribeWindowsError(DWORD code)
{
    // The causes a person meets when loading a module, in words; any other from Windows.
    static const struct {
        DWORD code;
        const char *meaning;
    } known[] = {
        {ERROR_FILE_NOT_FOUND, "the file was not found"},
        {ERROR_PATH_NOT_FOUND, "the folder was not found"},
        {ERROR_ACCESS_DENIED, "access was denied"},
        {ERROR_MOD_NOT_FOUND, "the file or a DLL it needs was not found"},
        {ERROR_PROC_NOT_FOUND, "a DLL it needs lacks a function it imports"},
        {ERROR_BAD_EXE_FORMAT, "the file is not a 32-bit Windows module"},
        {ERROR_DLL_INIT_FAILED, "its DllMain refused to load"},
    };
    std::string text = "error " + std::to_string(code) + ": ";
    for (const auto &k : known)
        if (k.code == code)
            return text + k.meaning;
    wchar_t message[512] = {0};
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                                  message, (DWORD)(sizeof message / sizeof message[0]) - 1, NULL);
    while (length > 0 && (message[length - 1] == L'\n' || message[length - 1] == L'\r' ||
                          message[length - 1] == L' ' || message[length - 1] == L'.'))
        message[--length] = 0;
    char utf8[2048] = {0};
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, message, -1, utf8, (int)sizeof utf8 - 1, NULL, NULL);
    return text + (utf8[0] != 0 ? utf8 : "no description");
}

bool LoadPlugin(const std::wstring &path, std::string *error)
{
    if (crashHandler == nullptr) {
        crashHandler = AddVectoredExceptionHandler(1, ReportCrash);
        SetUnhandledExceptionFilter(ReportUnhandled);
    }
    UnloadPlugin();
    char shown[4096] = {0};
    WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, shown, (int)sizeof shown - 1, NULL, NULL);
    pluginModule = LoadLibraryW(path.c_str());
    if (pluginModule == NULL) {
        *error = std::string("cannot load module ") + shown + " (" + DescribeWindowsError(GetLastError()) + ")";
        return false;
    }
    entryPoint = (EntryPoint)(void *)GetProcAddress(pluginModule, "FMExternCallProc");
    std::string guardError = entryPoint != nullptr ? detail::InstallHeapGuards() : std::string();
    if (entryPoint == nullptr || !guardError.empty()) {
        *error = entryPoint == nullptr ? std::string("no entry point FMExternCallProc in ") + shown
                                       : guardError + " (" + shown + ")";
        FreeLibrary(pluginModule);
        pluginModule = NULL;
        entryPoint = nullptr;
        return false;
    }
    return true;
}

// A path typed in UTF-8, or in the ANSI code page when its bytes are no UTF-8, as UTF-16,
// so that a module in a folder whose name the ANSI code page cannot hold loads too.
static std::wstring WidePath(const std::string &path)
{
    UINT codePage = CP_UTF8;
    int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.c_str(), -1, NULL, 0);
    if (units == 0) {
        codePage = CP_ACP;
        units = MultiByteToWideChar(codePage, 0, path.c_str(), -1, NULL, 0);
    }
    std::wstring wide((size_t)(units > 0 ? units : 1), L'\0');
    if (units > 0)
        MultiByteToWideChar(codePage, 0, path.c_str(), -1, &wide[0], units);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

bool LoadPlugin(const std::string &path, std::string *error)
{
    return LoadPlugin(WidePath(path), error);
}

void UnloadPlugin()
{
    ClearNestedMessages();
    UnhookAllImports();
    detail::DisposeAllHandles();
    if (pluginModule != NULL)
        FreeLibrary(pluginModule);
    detail::ReleaseGuardedHeaps();
    pluginModule = NULL;
    entryPoint = nullptr;
}

HMODULE PluginModule() { return pluginModule; }

bool ReadPluginListing(PluginListing *listing, std::string *error)
{
    *listing = PluginListing();
    if (pluginModule == NULL) {
        *error = "no plug-in loaded";
        return false;
    }
    bool found = false;
    listing->name = LoadPluginString(128, &found);
    if (!found) {
        *error = "the module has no name string (128)";
        return false;
    }
    listing->description = LoadPluginString(129, &found);
    listing->options = LoadPluginString(131, &found);
    if (listing->options.size() < 4) {
        *error = "the module's options string (131) is shorter than four characters";
        return false;
    }
    std::string prefix = listing->options.substr(0, 4);
    for (UINT id = 144;; id++) {
        std::string name = LoadPluginString(id, &found);
        if (!found)
            break;
        if (name.compare(0, 4, prefix) != 0) {
            *error = "function name \"" + name + "\" does not start with the prefix " + prefix;
            return false;
        }
        listing->functions.push_back(name);
    }
    return true;
}

int FunctionNumber(const PluginListing &listing, const std::string &name)
{
    for (size_t i = 0; i < listing.functions.size(); i++)
        if (listing.functions[i] == name)
            return (int)i;
    return -1;
}

HWND CreateMainWindow(const char *className)
{
    DestroyMainWindow();
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    mainWindow = CreateWindowExA(0, className, "FileMaker Pro", WS_OVERLAPPEDWINDOW, 0, 0, 640,
                                 480, NULL, NULL, GetModuleHandleA(NULL), NULL);
    return mainWindow;
}

void DestroyMainWindow()
{
    if (mainWindow != NULL)
        DestroyWindow(mainWindow);
    mainWindow = NULL;
}

HWND MainWindow() { return mainWindow; }

int32_t SendInit(int16_t hostVersion)
{
    memset(&record, 0, sizeof record);
    record.messageKind = kMessageInit;
    record.extnVersion = hostVersion;
    record.moduleInstance = (uint32_t)(uintptr_t)pluginModule;
    Deliver("init");
    return (int32_t)record.result;
}

void SendIdle(uint8_t level)
{
    memset(&record, 0, sizeof record);
    record.messageKind = kMessageIdle;
    record.unused0A = level;
    Deliver("idle");
}

void SendShutdown()
{
    memset(&record, 0, sizeof record);
    record.messageKind = kMessageShutdown;
    Deliver("shutdown");
    // The host may unload the module next: nothing it allocated may stay behind. Not so for a
    // shutdown sent from inside a call: the module cannot go while its code runs, and what
    // the call holds is released when it ends.
    if (messagesInProgress == 0 && detail::GuardedHeapsLeft() != 0)
        violations.push_back(std::to_string(detail::GuardedHeapsLeft()) +
                             " private heap(s) of the plug-in outlived shutdown");
}

void SendPreferences()
{
    memset(&record, 0, sizeof record);
    record.messageKind = kMessagePreferences;
    Deliver("preferences");
}

uint32_t SendRawMessage(uint8_t kind, uint32_t resultField)
{
    memset(&record, 0, sizeof record);
    record.messageKind = kind;
    record.result = resultField;
    Deliver("a message");
    return record.result;
}

CallResult CallFunction(uint32_t functionId, const std::string &parameter, const CallOptions &options)
{
    HostHandle parameterHandle = detail::NewHandle(parameter);
    std::string before = options.prefillResult ? options.resultMarker : std::string();
    HostHandle resultHandle = detail::NewHandle(before);
    if (options.reportedParameterSize >= 0)
        detail::SetReportedSize(parameterHandle, options.reportedParameterSize);

    memset(&record, 0, sizeof record);
    record.messageKind = kMessageExternalFunction;
    record.functionId = functionId;
    record.parameter = parameterHandle;
    record.result = (uint32_t)(uintptr_t)resultHandle;
    char what[64];
    snprintf(what, sizeof what, "external function %u", (unsigned)functionId);
    Deliver(what);

    if (!detail::IsLiveHandle(parameterHandle) || detail::HandleContents(parameterHandle) != parameter)
        violations.push_back(std::string("the parameter handle was changed by ") + what);
    CallResult result;
    result.text = detail::HandleContents(resultHandle);
    result.touched = result.text != before || detail::HandleSize(resultHandle) != (int32_t)before.size();
    result.resized = detail::WasResized(resultHandle);
    detail::DisposeHandle(parameterHandle);
    detail::DisposeHandle(resultHandle);
    return result;
}

const ExternCallRecord &LastRecord() { return record; }
int MessagesInProgress() { return messagesInProgress; }

const std::vector<std::string> &Violations() { return violations; }
void ClearViolations() { violations.clear(); }

std::string Utf8ToHost(const std::string &utf8, unsigned codePage)
{
    if (codePage == 0 || utf8.empty())
        return utf8;
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), NULL, 0);
    std::wstring wide((size_t)wideLength, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], wideLength);
    int length = WideCharToMultiByte(codePage, 0, wide.data(), wideLength, NULL, 0, NULL, NULL);
    std::string host((size_t)length, '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), wideLength, &host[0], length, NULL, NULL);
    return host;
}

std::string HostToUtf8(const std::string &host, unsigned codePage)
{
    if (codePage == 0 || host.empty())
        return host;
    int wideLength = MultiByteToWideChar(codePage, 0, host.data(), (int)host.size(), NULL, 0);
    std::wstring wide((size_t)wideLength, L'\0');
    MultiByteToWideChar(codePage, 0, host.data(), (int)host.size(), &wide[0], wideLength);
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, NULL, 0, NULL, NULL);
    std::string utf8((size_t)length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], length, NULL, NULL);
    return utf8;
}

}  // namespace fmhost
