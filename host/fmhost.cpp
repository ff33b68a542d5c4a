// fmhost: call a plug-in's external functions from the command line, the way the database
// host calls them. Lists the plug-in, sends init, runs the calls in order, prints each
// result as the host would show it, sends shutdown, and reports any rule the plug-in broke.
//
//   fmhost [options] tarvel.fmx                          list the plug-in and its functions
//   fmhost [options] tarvel.fmx CALL...                  call functions in order
//   fmhost [options] --script FILE tarvel.fmx            calls from a file, one per line
//
// A CALL is Name, Name=parameter, or a function number instead of the name (3=Title), any
// unsigned 32-bit number in decimal or 0x hexadecimal. Lines of a script are CALLs too, or
// host messages: ":init 17", ":idle", ":shutdown", ":preferences"; blank lines and lines
// starting with '#' are skipped. A number out of range is refused, never cut to fit.
#include <windows.h>
#include <ctype.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fstream>
#include <string>
#include <vector>

#include "emulator.h"

namespace {

struct Options {
    int16_t hostVersion = fmhost::kFileMaker60;
    unsigned codePage = 10000;  // Mac OS Roman
    bool raw = false;
    bool window = true;
    bool autoClose = false;
    uint32_t slowScanMs = 0;  // > 0: the plug-in's folder search waits this long per entry
    bool list = false;
    std::string module;
    std::string script;
    std::vector<std::string> calls;
};

void Print(const std::string &text) { fwrite(text.data(), 1, text.size(), stdout); }

std::string WideToUtf8(const wchar_t *wide)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    std::string text(length > 0 ? (size_t)length - 1 : 0, '\0');
    if (length > 1)
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], length, NULL, NULL);
    return text;
}

// --slow-scan: the plug-in's folder search, made slower per entry.
DWORD slowScanMs;
BOOL(WINAPI *realFindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
BOOL WINAPI SlowFindNextFileW(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    Sleep(slowScanMs);
    return realFindNextFileW(search, entry);
}

void Usage()
{
    Print("usage: fmhost [options] MODULE.fmx [CALL...]\n"
          "  CALL                 Name, Name=parameter, or N=parameter (function number N)\n"
          "options:\n"
          "  --list               list the plug-in even when calls are given\n"
          "  --script FILE        read calls (and :init N, :idle, :shutdown, :preferences) from FILE\n"
          "  --charset NAME       the host's character set for typed texts: roman (default),\n"
          "                       cyrillic, central-european, or raw (bytes as given; \\xNN escapes)\n"
          "  --host-version N     host interface version sent at init (default 17, FileMaker 6):\n"
          "                       -32768 to 65535, decimal or 0x hexadecimal\n"
          "  --no-window          run without the host's main window\n"
          "  --auto-close         cancel every dialog the plug-in shows (OK when it has no\n"
          "                       Cancel); a dialog still open after 10 s ends the run (status 4)\n"
          "  --slow-scan MS       make every entry of a folder scan take MS milliseconds more\n"
          "                       (0 to 10000), so that a small folder shows the scan's progress\n"
          "                       window\n");
}

enum class Number { kValid, kNotANumber, kOutOfRange };

// A whole number in decimal, or in hexadecimal after "0x": digits only, no sign, no spaces,
// at most limit.
Number ReadUnsigned(const std::string &text, uint32_t limit, uint32_t *value)
{
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t start = hex ? 2 : 0;
    if (text.size() <= start)
        return Number::kNotANumber;
    uint64_t total = 0;
    bool tooLarge = false;
    for (size_t i = start; i < text.size(); i++) {
        unsigned char c = (unsigned char)text[i];
        if (hex ? !isxdigit(c) : !isdigit(c))
            return Number::kNotANumber;
        unsigned digit = isdigit(c) ? (unsigned)(c - '0') : (unsigned)(tolower(c) - 'a' + 10);
        total = total * (hex ? 16 : 10) + digit;
        if (total > limit) {
            tooLarge = true;   // keep reading: "12x" is no number at all, whatever its size
            total = (uint64_t)limit + 1;
        }
    }
    if (tooLarge)
        return Number::kOutOfRange;
    *value = (uint32_t)total;
    return Number::kValid;
}

// A host version: a 16-bit value written signed (-32768 to 32767) or unsigned (0 to 65535),
// decimal or 0x hexadecimal; the host sends its 16 bits. False, with *error, otherwise.
bool ReadHostVersion(const std::string &text, int16_t *version, std::string *error)
{
    bool negative = !text.empty() && text[0] == '-';
    uint32_t magnitude = 0;
    Number read = ReadUnsigned(negative ? text.substr(1) : text, negative ? 32768u : 65535u, &magnitude);
    if (read != Number::kValid) {
        *error = read == Number::kNotANumber
                     ? "host version \"" + text + "\" is not a number (decimal or 0x hexadecimal)"
                     : "host version " + text + " is out of range: -32768 to 65535 (16 bits)";
        return false;
    }
    *version = (int16_t)(uint16_t)(negative ? 0u - magnitude : magnitude);
    return true;
}

std::string ShowHostVersion(int16_t version)
{
    char text[32];
    if (version < 0)
        snprintf(text, sizeof text, "%d = 0x%04X", version, (unsigned)(uint16_t)version);
    else
        snprintf(text, sizeof text, "%d", version);
    return text;
}

bool ParseArguments(int argc, wchar_t **argv, Options *options)
{
    for (int i = 1; i < argc; i++) {
        std::string arg = WideToUtf8(argv[i]);
        auto next = [&](std::string *value) {
            if (i + 1 >= argc)
                return false;
            *value = WideToUtf8(argv[++i]);
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            return false;
        } else if (arg == "--list") {
            options->list = true;
        } else if (arg == "--no-window") {
            options->window = false;
        } else if (arg == "--auto-close") {
            options->autoClose = true;
        } else if (arg == "--slow-scan") {
            if (!next(&value))
                return false;
            if (ReadUnsigned(value, 10000, &options->slowScanMs) != Number::kValid) {
                fprintf(stderr, "fmhost: --slow-scan: %s is not a number of milliseconds from 0 to 10000\n",
                        value.c_str());
                return false;
            }
        } else if (arg == "--script") {
            if (!next(&options->script))
                return false;
        } else if (arg == "--host-version") {
            if (!next(&value))
                return false;
            std::string error;
            if (!ReadHostVersion(value, &options->hostVersion, &error)) {
                fprintf(stderr, "fmhost: --host-version: %s\n", error.c_str());
                return false;
            }
        } else if (arg == "--charset") {
            if (!next(&value))
                return false;
            if (value == "roman") options->codePage = 10000;
            else if (value == "cyrillic") options->codePage = 10007;
            else if (value == "central-european") options->codePage = 10029;
            else if (value == "raw") { options->codePage = 0; options->raw = true; }
            else { fprintf(stderr, "fmhost: unknown character set %s\n", value.c_str()); return false; }
        } else if (options->module.empty()) {
            options->module = arg;
        } else {
            options->calls.push_back(arg);
        }
    }
    return !options->module.empty();
}

// \xNN escapes in raw mode become bytes.
std::string Unescape(const std::string &text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && isxdigit((unsigned char)text[i + 2]) &&
            isxdigit((unsigned char)text[i + 3])) {
            bytes += (char)strtol(text.substr(i + 2, 2).c_str(), NULL, 16);
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::string Escape(const std::string &bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            text += escape;
        } else {
            text += (char)c;
        }
    }
    return text;
}

std::string ToHost(const Options &options, const std::string &typed)
{
    return options.raw ? Unescape(typed) : fmhost::Utf8ToHost(typed, options.codePage);
}

std::string FromHost(const Options &options, const std::string &host)
{
    return options.raw ? Escape(host) : fmhost::HostToUtf8(host, options.codePage);
}

void ReportViolations()
{
    for (const std::string &v : fmhost::Violations())
        fprintf(stderr, "fmhost: rule broken: %s\n", v.c_str());
    fflush(stderr);
}

// One call or host message, and where it was written ("calls.txt, line 3"), for errors.
struct Line {
    std::string text;
    std::string place;
};

void LineError(const Line &line, const std::string &what)
{
    fflush(stdout);
    fprintf(stderr, "fmhost: %s (\"%s\"): %s\n", line.place.c_str(), line.text.c_str(), what.c_str());
}

// Runs one call or host message; returns false on an error that ends the run.
bool Run(const Options &options, const fmhost::PluginListing &listing, const Line &line)
{
    const std::string &text = line.text;
    if (text.empty() || text[0] == '#')
        return true;
    if (text[0] == ':') {
        if (text == ":init" || text.compare(0, 6, ":init ") == 0) {
            int16_t version = options.hostVersion;
            size_t from = text.find_first_not_of(' ', 5);
            std::string error;
            if (from != std::string::npos &&
                !ReadHostVersion(text.substr(from, text.find_last_not_of(' ') + 1 - from), &version, &error)) {
                LineError(line, error);
                return false;
            }
            int32_t answer = fmhost::SendInit(version);
            Print("init (host version " + ShowHostVersion(version) + ") -> " + std::to_string(answer) + "\n");
        } else if (text == ":idle") {
            fmhost::SendIdle(0);
        } else if (text == ":shutdown") {
            fmhost::SendShutdown();
            Print("shutdown\n");
        } else if (text == ":preferences") {
            fmhost::SendPreferences();
            Print("preferences: the information dialog was closed\n");
        } else {
            LineError(line, "unknown host message (:init N, :idle, :shutdown, :preferences)");
            return false;
        }
        fflush(stdout);
        return true;
    }
    size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    std::string parameter = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    uint32_t number = 0;
    int listed = fmhost::FunctionNumber(listing, name);
    if (listed >= 0) {
        number = (uint32_t)listed;
    } else {
        Number read = ReadUnsigned(name, 0xFFFFFFFFu, &number);
        if (read == Number::kOutOfRange) {
            LineError(line, "function number " + name + " is out of range: 0 to 4294967295 (0xFFFFFFFF)");
            return false;
        }
        if (read == Number::kNotANumber) {
            LineError(line, "unknown function name " + name + " (the plug-in lists " +
                                std::to_string(listing.functions.size()) +
                                " functions; a number is decimal or 0x hexadecimal)");
            return false;
        }
    }
    std::string shownName = number < listing.functions.size() ? listing.functions[number]
                                                               : "#" + std::to_string(number);
    fmhost::CallResult result = fmhost::CallFunction(number, ToHost(options, parameter));
    Print("External(\"" + shownName + "\", \"" + parameter + "\") = ");
    // A result the plug-in wrote, even the empty text, is quoted; a handle it left as the
    // host passed it is no result (the calculation then gets the empty text all the same).
    bool written = result.resized || result.touched;
    Print(written ? "\"" + FromHost(options, result.text) + "\"\n" : "(no result)\n");
    fflush(stdout);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        Usage();
        return 1;
    }
    std::vector<Line> lines;
    for (size_t i = 0; i < options.calls.size(); i++)
        lines.push_back(Line{options.calls[i], "call " + std::to_string(i + 1) + " of the command line"});
    if (!options.script.empty()) {
        std::ifstream file(options.script.c_str());
        if (!file) {
            fprintf(stderr, "fmhost: cannot read script %s\n", options.script.c_str());
            return 1;
        }
        std::string text;
        for (int number = 1; std::getline(file, text); number++) {
            if (!text.empty() && text.back() == '\r')
                text.pop_back();
            lines.push_back(Line{text, options.script + ", line " + std::to_string(number)});
        }
    }

    std::string error;
    if (!fmhost::LoadPlugin(options.module, &error)) {
        fprintf(stderr, "fmhost: %s\n", error.c_str());
        return 1;
    }
    fmhost::PluginListing listing;
    if (!fmhost::ReadPluginListing(&listing, &error)) {
        fprintf(stderr, "fmhost: %s\n", error.c_str());
        return 1;
    }
    if (options.list || lines.empty()) {
        Print("Plug-in: " + listing.name + "\n");
        Print("Description: " + listing.description + "\n");
        Print("Options: " + listing.options + "\n");
        Print("External functions (" + std::to_string(listing.functions.size()) + "):\n");
        for (size_t i = 0; i < listing.functions.size(); i++)
            Print("  " + std::to_string(i) + "  " + listing.functions[i] + "\n");
    }
    if (options.window)
        fmhost::CreateMainWindow();
    fmhost::SetAutoCloseModals(options.autoClose);
    if (options.slowScanMs > 0) {
        slowScanMs = options.slowScanMs;
        realFindNextFileW = (BOOL(WINAPI *)(HANDLE, LPWIN32_FIND_DATAW))fmhost::HookImport(
            "kernel32.dll", "FindNextFileW", (void *)SlowFindNextFileW);
    }

    int32_t answer = fmhost::SendInit(options.hostVersion);
    if (answer != kInitAccepted)
        Print("init (host version " + ShowHostVersion(options.hostVersion) + ") -> " +
              std::to_string(answer) + ": the plug-in refused this host\n");
    bool ok = true;
    for (const Line &line : lines)
        if (ok)
            ok = Run(options, listing, line);
    fmhost::SendShutdown();
    ReportViolations();
    bool clean = fmhost::Violations().empty();
    fmhost::UnloadPlugin();
    fmhost::DestroyMainWindow();
    if (!ok)
        return 1;
    return clean ? 0 : 2;
}
