// MakeUnixLink and RemoveUnixLink: ln and rm, run through Wine's start.exe, on the Unix name
// of a Windows path.
#include <windows.h>
#include <string.h>

#include "unix_link.h"

// The Unix name of a Windows path, or "" (and why in *error).
static std::string UnixName(const std::wstring &path, std::string *error)
{
    typedef char *(CDECL * UnixNameProc)(LPCWSTR);
    UnixNameProc unixName = (UnixNameProc)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                 "wine_get_unix_file_name");
    if (unixName == NULL) {
        *error = "not running under Wine: no Unix names";
        return std::string();
    }
    char *name = unixName(path.c_str());
    if (name == NULL) {
        *error = "no Unix name for a path";
        return std::string();
    }
    std::string copy = name;
    HeapFree(GetProcessHeap(), 0, name);
    return copy;
}

// Runs "start.exe /wait /unix " + command; its exit code, or false with *error.
static bool RunUnixProgram(const std::string &command, DWORD *code, std::string *error)
{
    std::string line = "start.exe /wait /unix " + command;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        *error = "cannot run " + line + ", error " + std::to_string(GetLastError());
        return false;
    }
    WaitForSingleObject(process.hProcess, 10000);
    *code = 1;
    GetExitCodeProcess(process.hProcess, code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Attributes of path once present is as wanted, waiting up to 5 s: start.exe does not
// always wait for a Unix program.
static DWORD AttributesOnceSettled(const std::wstring &path, bool present)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    for (int tries = 0; tries < 100 && (attributes != INVALID_FILE_ATTRIBUTES) != present; tries++) {
        Sleep(50);
        attributes = GetFileAttributesW(path.c_str());
    }
    return attributes;
}

bool MakeUnixLink(const std::string &target, const std::string &link, std::string *error)
{
    WCHAR wideLink[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wideLink, MAX_PATH) == 0) {
        *error = "the link's path is too long: " + link;
        return false;
    }
    std::string unixLink = UnixName(wideLink, error);
    DWORD code = 1;
    if (unixLink.empty() ||
        !RunUnixProgram("/bin/ln -s \"" + target + "\" \"" + unixLink + "\"", &code, error))
        return false;
    DWORD attributes = AttributesOnceSettled(wideLink, true);
    if (code != 0 || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        char attributesText[16];
        snprintf(attributesText, sizeof attributesText, "0x%lX", (unsigned long)attributes);
        *error = "ln -s " + target + " " + unixLink + " gave " + std::to_string(code) +
                 ", attributes " + attributesText;
        return false;
    }
    return true;
}

bool RemoveUnixLink(const std::wstring &link, std::string *error)
{
    std::string unixLink = UnixName(link, error);
    DWORD code = 1;
    if (unixLink.empty() || !RunUnixProgram("/bin/rm -f \"" + unixLink + "\"", &code, error))
        return false;
    if (code != 0 || AttributesOnceSettled(link, false) != INVALID_FILE_ATTRIBUTES) {
        *error = "rm -f " + unixLink + " gave " + std::to_string(code) + ", and the link stays";
        return false;
    }
    return true;
}
