// fmhost.exe as its users run it: each case starts it as a process of its own, with its output
// in files and a time limit, and reads what it printed and how it ended.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "tests/win/support/plugin_fixture.h"

namespace {

const DWORD kRunLimitMs = 60000;

struct FmhostRun {
    DWORD exitCode;
    bool endedByTest;  // still running when the test ended it (see RunFmhost)
    std::string out, err;
};

std::wstring Wide(const std::string &text, UINT codePage)
{
    int length = MultiByteToWideChar(codePage, 0, text.c_str(), -1, NULL, 0);
    std::wstring wide(length > 0 ? (size_t)length : 1, L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// Test texts are UTF-8; the fixture's paths are in the ANSI code page.
std::wstring FromUtf8(const std::string &text) { return Wide(text, CP_UTF8); }
std::wstring FromAnsi(const std::string &text) { return Wide(text, CP_ACP); }

std::string ReadFileBytes(const std::wstring &path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::wstring Scratch(const char *name) { return FromAnsi(TestScratchFolder()) + L"\\" + FromUtf8(name); }
std::wstring Quoted(const std::wstring &text) { return L"\"" + text + L"\" "; }
std::wstring Fmhost() { return FromAnsi(ProgramFolder()) + L"\\fmhost.exe"; }
std::wstring Module() { return Quoted(FromAnsi(PluginPath())); }

// Runs fmhost.exe (beside this program) with the arguments, its output in files of the
// scratch folder. A run that outlives the limit is ended and fails the test; with endWhenErrHas
// it is ended as soon as its standard error holds that text (endedByTest), and fails the test
// when it ends by itself first.
FmhostRun RunFmhost(const std::wstring &arguments, const std::string &endWhenErrHas = std::string())
{
    FmhostRun run = {(DWORD)-1, false, std::string(), std::string()};
    const std::wstring outPath = Scratch("out.txt"), errPath = Scratch("err.txt");
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, sharing, &inherited, CREATE_ALWAYS, 0, NULL);
    HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, sharing, &inherited, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::wstring command = Quoted(Fmhost()) + arguments;
    PROCESS_INFORMATION process = {};
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
        CreateProcessW(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        DWORD started = GetTickCount();
        bool exited = false;
        while (!exited && GetTickCount() - started < kRunLimitMs) {
            exited = WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0;
            if (!exited && !endWhenErrHas.empty() &&
                ReadFileBytes(errPath).find(endWhenErrHas) != std::string::npos) {
                run.endedByTest = true;
                break;
            }
        }
        if (!exited) {
            if (!run.endedByTest)
                ADD_FAILURE() << "fmhost still running after " << kRunLimitMs / 1000 << " s; ending it";
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        } else if (!endWhenErrHas.empty()) {
            ADD_FAILURE() << "fmhost ended before its standard error held \"" << endWhenErrHas << "\"";
        }
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "cannot start fmhost.exe (error " << GetLastError() << ")";
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE)
        CloseHandle(err);
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    return run;
}

// Runs fmhost through cmd on a desktop of its own whose graphics driver is driver ("null":
// every dialog works; a driver that does not exist: no window can be created, as in a Wine
// prefix without a display). Only the exit status and the output files come back.
FmhostRun RunFmhostOnDesktop(const std::wstring &driver, const std::wstring &arguments)
{
    FmhostRun run = {(DWORD)-1, false, std::string(), std::string()};
    const std::wstring batch = Scratch("run.bat"), outPath = Scratch("out.txt"), errPath = Scratch("err.txt"),
                       statusPath = Scratch("status.txt");
    DeleteFileW(statusPath.c_str());
    std::wstring lines = L"@echo off\r\n" + Quoted(Fmhost()) + arguments + L" >" + Quoted(outPath) + L"2>" + Quoted(errPath) +
                         L"\r\necho status %ERRORLEVEL% >" + Quoted(statusPath) + L"\r\n";
    char bytes[8192] = {0};
    WideCharToMultiByte(CP_ACP, 0, lines.c_str(), -1, bytes, sizeof bytes - 1, NULL, NULL);
    if (!WriteFileBytes(batch, bytes)) {
        ADD_FAILURE() << "cannot write run.bat";
        return run;
    }
    std::wstring command = L"explorer.exe /desktop=tarvel-" + driver + L"-" + std::to_wstring(GetCurrentProcessId()) +
                           L",640x480," + driver + L" cmd.exe /c " + Quoted(batch);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        ADD_FAILURE() << "cannot start explorer.exe (error " << GetLastError() << ")";
        return run;
    }
    // The status file is written once fmhost has ended.
    DWORD started = GetTickCount();
    std::string status;
    while ((status = ReadFileBytes(statusPath)).empty() && GetTickCount() - started < kRunLimitMs)
        Sleep(100);
    EXPECT_FALSE(status.empty()) << "fmhost did not end within " << kRunLimitMs / 1000 << " s on the desktop";
    WaitForSingleObject(process.hProcess, 10000);  // the desktop goes with its last program
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (status.compare(0, 7, "status ") == 0)
        run.exitCode = (DWORD)atoi(status.c_str() + 7);
    run.out = ReadFileBytes(outPath);
    run.err = ReadFileBytes(errPath);
    return run;
}

class FmhostTest : public PluginTest {};

}  // namespace

// fmhost as a user meets it, one row per way a run can go: what it prints on each output, what
// it must not print, and its exit status. Every line is checked before anything is sent, so a
// bad line runs nothing (Tarv-OpenFile starts programs); a text the character set cannot carry
// is refused rather than sent as '?'; a refused init ends the run. --auto-close cancels the
// open-file dialog and the folder browser and confirms the information dialog and the refusal
// box, so that every run ends by itself, and names each one after its line's result, so that its
// Cancel never reads as a person's.
TEST_F(FmhostTest, CommandLinesAndScripts)
{
    // 200 files, 10 ms each: the scan takes some 2 s, so its progress window shows after about
    // a second; auto-close leaves it alone, so the scan is not cancelled.
    const std::string scanned = TestScratchFolder() + "\\scanned";
    CreateDirectoryA(scanned.c_str(), NULL);
    for (int i = 0; i < 200; i++)
        ASSERT_TRUE(MakeFile(scanned + "\\" + std::to_string(i) + ".txt"));
    const std::wstring module = Module();
    const struct {
        std::wstring arguments;  // the script, when there is one, comes first
        std::string script;      // written to calls.txt and passed with --script when not empty
        DWORD exitCode;
        std::vector<std::string> out, err;  // texts each output must hold
        std::vector<std::string> notOut;    // texts standard output must not hold
    } cases[] = {
        {module + L"Tarv-GetFileName= Tarv-GetNextFilePath", "", 0,
         {"External(\"Tarv-GetFileName\", \"\") = \"\"\n", "External(\"Tarv-GetNextFilePath\", \"\") = (no result)\n"},
         {}, {}},
        // Numbers past the plug-in's functions are sent; the plug-in beeps.
        {module + L"4294967295=a 0xFFFFFFFF=b 0x80000000=c", "", 0,
         {"External(\"#4294967295\", \"a\") = (no result) (beep)\n",
          "External(\"#4294967295\", \"b\") = (no result) (beep)\n",
          "External(\"#2147483648\", \"c\") = (no result) (beep)\n"}, {}, {}},
        {module + L"Tarv-Version 4294967296=x", "", 1, {},
         {"call 2 of the command line (\"4294967296=x\"): function number 4294967296 is out of range",
          "nothing was sent to the plug-in"}, {"External("}},
        {module + L"0x1FFFFFFFF=x", "", 1, {}, {"function number 0x1FFFFFFFF is out of range"}, {}},
        {L"--auto-close " + module, "# host versions\n:init 0xFFFF\n:init -1\n:init 65536\n", 1, {},
         {"calls.txt, line 4 (\":init 65536\"): host version 65536 is out of range"}, {"init"}},
        {L"--host-version 65536 " + module, "", 1, {}, {"host version 65536 is out of range"}, {}},
        // A bad third line: the two before it are not run either.
        {module, "Tarv-SetFolder=C:\\\nTarv-GetFileName=a\\b\nTarv-Bogus=1\n", 1, {},
         {"calls.txt, line 3 (\"Tarv-Bogus=1\"): unknown function name Tarv-Bogus"}, {"External("}},
        // Lines of blanks are skipped, on the command line and in a script.
        {module + L"\" \t \" Tarv-Version", " \t \n\nTarv-GetFileName=a\\b\n", 0,
         {"External(\"Tarv-Version\", \"\") = \"tarvel v2.0.0.7\"\n",
          "External(\"Tarv-GetFileName\", \"a\\b\") = \"b\"\n"}, {}, {}},
        {module + FromUtf8("\"Tarv-GetFileName=C:\\Ключ\\файл.txt\""), "", 1, {},
         {"the character set roman cannot carry К л ю ч ф а й; --charset cyrillic carries this text"},
         {"External("}},
        {L"--charset cyrillic " + module + FromUtf8("\"Tarv-GetFileName=C:\\Ключ\\файл.txt\""), "", 0,
         {"External(\"Tarv-GetFileName\", \"C:\\Ключ\\файл.txt\") = \"файл.txt\"\n"}, {}, {}},
        {module, "Tarv-GetFileName=caf\xE9\n", 1, {}, {"line 1 (\"Tarv-GetFileName=caf\\xE9\"): byte 0xE9 at position 4 is not UTF-8"},
         {"External("}},
        // Raw: the bytes as typed (é is two bytes in UTF-8), and the echo shows them.
        {L"--charset raw " + module + FromUtf8("\"Tarv-GetFileName=a\\é\\x8E\""), "", 0,
         {"External(\"Tarv-GetFileName\", \"a\\\\xC3\\xA9\\x8E\") = \"\\xC3\\xA9\\x8E\"\n"}, {}, {}},
        {L"--auto-close --host-version 3 " + module + L"Tarv-Version", "", 5,
         {"init (host version 3) -> -2: the plug-in refused this host (fmhost closed \"Error\" with OK)\n"},
         {"the plug-in refused init"},
         {"External("}},
        {L"--auto-close " + module, "Tarv-Version\n:init 3\nTarv-GetFileName=a\\b\n", 5,
         {"External(\"Tarv-Version\", \"\") = \"tarvel v2.0.0.7\"\ninit (host version 3) -> -2: the plug-in refused "
          "this host (fmhost closed \"Error\" with OK)\n"},
         {"calls.txt, line 2 (\":init 3\"): the plug-in refused init"}, {"Tarv-GetFileName"}},
        {L"--auto-close " + module + L"\"Tarv-SetDialogFilter=Text files;*.txt;Word files;*.doc\" " +
             L"Tarv-GetFilePath=Title Tarv-ChooseFolder=Title :preferences", "", 0,
         {"External(\"Tarv-GetFilePath\", \"Title\") = \"\" (fmhost closed \"Title\" with Cancel)\n",
          "External(\"Tarv-ChooseFolder\", \"Title\") = (no result) (fmhost closed \"Browse for Folder\" with Cancel)\n",
          "preferences: the dialog \"Quillon tarvel\" was shown and closed (fmhost closed \"Quillon tarvel\" with OK)\n"},
         {}, {"could not be shown"}},
        // A mistyped option is refused as one, not taken for the module.
        {L"--auto-clsoe " + module + L"Tarv-Version", "", 1, {}, {"fmhost: unknown option --auto-clsoe"}, {"External("}},
        // Raw: a backslash that starts no escape is sent, with a warning.
        {L"--charset raw " + module + L"Tarv-GetFileName=C:\\Data\\x5Cb.txt", "", 0,
         {"External(\"Tarv-GetFileName\", \"C:\\Data\\b.txt\") = \"b.txt\"\n"},
         {"(\"Tarv-GetFileName=C:\\Data\\x5Cb.txt\"): warning: a \\ that starts no \\xNN escape"}, {}},
        {L"--auto-close --slow-scan 10 " + module + L"\"Tarv-SetFolder=" + FromAnsi(scanned) + L"\"", "", 0,
         {"\") = \"000 (OK)\"\n"}, {}, {}},
        {L"--slow-scan 10001 " + module, "", 1, {}, {"--slow-scan: 10001 is not a number"}, {}},
        {L"--help", "", 0, {"usage: fmhost"}, {}, {}},
        {Quoted(Scratch("missing.fmx")), "", 1, {},
         {"missing.fmx (error 126: the file or a DLL it needs was not found)"}, {}},
    };
    const std::wstring script = Scratch("calls.txt");
    for (const auto &c : cases) {
        std::wstring arguments = c.arguments;
        if (!c.script.empty()) {
            ASSERT_TRUE(WriteFileBytes(script, c.script));
            arguments = L"--script " + Quoted(script) + arguments;
        }
        char shown[2048] = {0};
        WideCharToMultiByte(CP_UTF8, 0, arguments.c_str(), -1, shown, sizeof shown - 1, NULL, NULL);
        SCOPED_TRACE(std::string(shown) + (c.script.empty() ? "" : "\nscript:\n" + c.script));
        FmhostRun run = RunFmhost(arguments);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.out << run.err;
        for (const std::string &text : c.out)
            EXPECT_NE(std::string::npos, run.out.find(text)) << "standard output:\n" << run.out;
        for (const std::string &text : c.err)
            EXPECT_NE(std::string::npos, run.err.find(text)) << "standard error:\n" << run.err;
        for (const std::string &text : c.notOut)
            EXPECT_EQ(std::string::npos, run.out.find(text)) << "standard output:\n" << run.out;
        EXPECT_EQ(std::string::npos, run.err.find("fmhost: rule broken")) << run.err;
    }
}

// A plug-in and a script in folders whose names the ANSI code page may lack load all the same.
TEST_F(FmhostTest, PluginAndScriptLoadFromAnyFolder)
{
    for (const char *name : {"Café", "Плагин"}) {
        SCOPED_TRACE(name);
        const std::wstring folder = Scratch(name), module = folder + L"\\tarvel.fmx";
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
        ASSERT_TRUE(CopyFileW(FromAnsi(PluginPath()).c_str(), module.c_str(), FALSE));
        ASSERT_TRUE(WriteFileBytes(folder + L"\\calls.txt", "Tarv-GetFileName=c\\d\n"));
        FmhostRun run = RunFmhost(L"--script " + Quoted(folder + L"\\calls.txt") + Quoted(module) +
                                  L"Tarv-GetFileName=a\\b");
        EXPECT_EQ(0u, run.exitCode) << run.err;
        EXPECT_EQ("External(\"Tarv-GetFileName\", \"a\\b\") = \"b\"\n"
                  "External(\"Tarv-GetFileName\", \"c\\d\") = \"d\"\n", run.out);
    }
}

// Where no window can be created, a dialog is reported as not shown, never as closed; the
// same run on a desktop whose driver works shows that the harness is not what stops it.
TEST_F(FmhostTest, DialogsThatCannotAppearAreReportedSo)
{
    const std::wstring arguments = L"--auto-close " + Module() + L":preferences Tarv-GetFilePath=Pick";
    const struct {
        const char *driver;
        std::vector<std::string> out;
        std::string notOut;
    } cases[] = {
        {"nodriver",
         {"preferences: the dialog could not be shown\n",
          "External(\"Tarv-GetFilePath\", \"Pick\") = \"\" (the dialog could not be shown)\n"},
         "closed"},
        {"null",
         {"preferences: the dialog \"Quillon tarvel\" was shown and closed (fmhost closed \"Quillon tarvel\" with OK)\n",
          "External(\"Tarv-GetFilePath\", \"Pick\") = \"\" (fmhost closed \"Pick\" with Cancel)\n"},
         "could not be shown"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.driver);
        FmhostRun run = RunFmhostOnDesktop(FromUtf8(c.driver), arguments);
        EXPECT_EQ(0u, run.exitCode) << run.out << run.err;
        for (const std::string &text : c.out)
            EXPECT_NE(std::string::npos, run.out.find(text)) << "standard output:\n" << run.out;
        EXPECT_EQ(std::string::npos, run.out.find(c.notOut)) << "standard output:\n" << run.out;
    }
}

// Without --auto-close a dialog waits for the person, and after 3 s fmhost says so on
// standard error rather than wait in silence; it goes on waiting.
TEST_F(FmhostTest, ADialogLeftOpenIsAnnounced)
{
    const DWORD started = GetTickCount();
    FmhostRun run = RunFmhost(Module() + L":preferences", "waiting for dialog");
    const DWORD waited = GetTickCount() - started;
    EXPECT_TRUE(run.endedByTest);
    EXPECT_NE(std::string::npos,
              run.err.find("fmhost: waiting for dialog 'Quillon tarvel' (close it, or run with --auto-close)"))
        << run.err;
    EXPECT_GE(waited, 3000u) << "announced before the dialog had waited 3 s";
}
