// MakeUnixLink: ln, run through Wine's start.exe, on the Unix name of a Windows path.
#include <windows.h>
#include <string.h>

#include "unix_link.h"

bool MakeUnixLink(const std::string &target, const std::string &link, std::string *error)
{
    typedef char *(CDECL * UnixNameProc)(LPCWSTR);
    UnixNameProc unixName = (UnixNameProc)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                 "wine_get_unix_file_name");
    WCHAR wideLink[MAX_PATH];
    if (unixName == NULL) {
        *error = "not running under Wine: cannot make a Unix link";
        return false;
    }
    if (MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wideLink, MAX_PATH) == 0) {
        *error = "the link's path is too long: " + link;
        return false;
    }
    char *unixLink = unixName(wideLink);
    if (unixLink == NULL) {
        *error = "no Unix name for " + link;
        return false;
    }
    std::string command = "start.exe /wait /unix /bin/ln -s \"" + target + "\" \"" + unixLink + "\"";
    HeapFree(GetProcessHeap(), 0, unixLink);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        *error = "cannot run " + command + ", error " + std::to_string(GetLastError());
        return false;
    }
    WaitForSingleObject(process.hProcess, 10000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // start.exe does not always wait for a Unix program: give the link a moment to appear.
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    for (int tries = 0; tries < 100 && attributes == INVALID_FILE_ATTRIBUTES; tries++) {
        attributes = GetFileAttributesA(link.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            Sleep(50);
    }
    if (code != 0 || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        char attributesText[16];
        snprintf(attributesText, sizeof attributesText, "0x%lX", (unsigned long)attributes);
        *error = command + " gave " + std::to_string(code) + ", attributes " + attributesText;
        return false;
    }
    return true;
}
