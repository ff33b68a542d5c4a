// RunUnixScript, MakeUnixLink and RemoveUnixLink: /bin/sh, run through Wine's start.exe, on
// the Unix names of Windows paths.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "tests/win/support/unix_link.h"

static std::string UnixPathOfWide(const std::wstring &windowsPath)
{
    typedef char *(CDECL * UnixNameProc)(LPCWSTR);
    UnixNameProc unixName = (UnixNameProc)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                 "wine_get_unix_file_name");
    if (unixName == NULL)
        return std::string();
    char *unix = unixName(windowsPath.c_str());
    if (unix == NULL)
        return std::string();
    std::string path = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return path;
}

std::string UnixPathOf(const std::string &windowsPath)
{
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH) == 0)
        return std::string();
    return UnixPathOfWide(wide);
}

std::string ShellQuoted(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

static bool WriteWholeFile(const std::string &path, const std::string &content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == content.size();
}

bool RunUnixScript(const std::string &script, std::string *error)
{
    char temp[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH - 1, temp);
    std::string base = std::string(temp) + "tarvel-unix-" + std::to_string(GetCurrentProcessId());
    std::string scriptPath = base + ".sh", donePath = base + ".done";
    DeleteFileA(donePath.c_str());
    std::string unixScript = UnixPathOf(scriptPath), unixDone = UnixPathOf(donePath);
    if (unixScript.empty() || unixDone.empty()) {
        *error = "not running under Wine: no Unix names";
        return false;
    }
    // start.exe does not always wait for a Unix program: the script's last step writes the
    // status of the rest, which stops at its first failing command.
    if (!WriteWholeFile(scriptPath, "(\nset -e\n" + script + "\n)\necho $? >" + ShellQuoted(unixDone) + "\n")) {
        *error = "cannot write " + scriptPath;
        return false;
    }
    std::string command = "start.exe /wait /unix /bin/sh " + unixScript;
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        *error = "cannot run " + command + ", error " + std::to_string(GetLastError());
        DeleteFileA(scriptPath.c_str());
        return false;
    }
    WaitForSingleObject(process.hProcess, 20000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string status;
    for (int tries = 0; tries < 400 && status.empty(); tries++) {
        HANDLE file = CreateFileA(donePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  NULL, OPEN_EXISTING, 0, NULL);
        char text[16] = {0};
        DWORD read = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, text, sizeof text - 1, &read, NULL);
            CloseHandle(file);
        }
        status = std::string(text, read);
        if (status.find('\n') == std::string::npos) {
            status.clear();
            Sleep(50);
        }
    }
    DeleteFileA(scriptPath.c_str());
    DeleteFileA(donePath.c_str());
    if (status != "0\n")
        *error = status.empty() ? command + " did not finish within 20 s"
                                : "the script ended with status " + status + ":\n" + script;
    return status == "0\n";
}

bool MakeUnixLink(const std::string &target, const std::string &link, std::string *error)
{
    std::string unixLink = UnixPathOf(link);
    if (unixLink.empty()) {
        *error = "no Unix name for " + link;
        return false;
    }
    if (!RunUnixScript("ln -s " + ShellQuoted(target) + " " + ShellQuoted(unixLink), error))
        return false;
    DWORD attributes = GetFileAttributesA(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        char attributesText[16];
        snprintf(attributesText, sizeof attributesText, "0x%lX", (unsigned long)attributes);
        *error = "ln -s " + target + " " + unixLink + " gave attributes " + attributesText;
        return false;
    }
    return true;
}

bool RemoveUnixLink(const std::wstring &link, std::string *error)
{
    std::string unixLink = UnixPathOfWide(link);
    if (unixLink.empty()) {
        *error = "no Unix name for a link";
        return false;
    }
    if (!RunUnixScript("rm -f " + ShellQuoted(unixLink), error))
        return false;
    if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) {
        *error = "rm -f " + unixLink + " left the link there";
        return false;
    }
    return true;
}
