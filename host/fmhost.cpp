// fmhost: call a plug-in's external functions from the command line, the way the database
// host calls them. Lists the plug-in, reads and checks every call first, sends init, runs the
// calls in order, prints each result as the host would show it, sends shutdown, and reports
// any rule the plug-in broke and any dialog it could not show.
//
//   fmhost [options] tarvel.fmx                          list the plug-in and its functions
//   fmhost [options] tarvel.fmx CALL...                  call functions in order
//   fmhost [options] --script FILE tarvel.fmx            calls from a file, one per line
//
// A CALL is Name, Name=parameter, or a function number instead of the name (3=Title), any
// unsigned 32-bit number in decimal or 0x hexadecimal; or a host message: ":init 17",
// ":idle", ":shutdown", ":preferences". Lines of a script are the same; blank lines and lines
// starting with '#' are skipped. A number out of range is refused, never cut to fit, and a
// parameter the host's character set cannot carry is refused, never altered. A line with an
// error stops the run before anything is sent, and so does an unknown option. A refused init
// ends the run. Every dialog that --auto-close closed is named after the line it belongs to,
// so that fmhost's Cancel never passes for a person's.
#include <windows.h>
#include <ctype.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>

#include "host/dialog_watch.h"
#include "host/emulator.h"

namespace {

// Exit status of a run that the plug-in's refusal at init ended.
const int kExitInitRefused = 5;

// The host's Macintosh character sets for typed texts.
const struct Charset {
    const char *name;
    unsigned codePage;
} kCharsets[] = {
    {"roman", 10000},
    {"cyrillic", 10007},
    {"central-european", 10029},
};

struct Options {
    int16_t hostVersion = fmhost::kFileMaker60;
    const Charset *charset = &kCharsets[0];
    bool raw = false;  // --charset raw: bytes as typed
    bool window = true;
    bool autoClose = false;
    uint32_t slowScanMs = 0;  // > 0: the plug-in's folder search waits this long per entry
    bool list = false;
    std::wstring module;
    std::wstring script;
    std::vector<std::string> calls;  // UTF-8
};

void Print(const std::string &text) { fwrite(text.data(), 1, text.size(), stdout); }

std::string WideToUtf8(const std::wstring &wide)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
    std::string text(length > 0 ? (size_t)length - 1 : 0, '\0');
    if (length > 1)
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], length, NULL, NULL);
    return text;
}

// --slow-scan: the plug-in's folder listing, made slower per entry. The walk reads a folder's
// entries through a folder handle (GetFileInformationByHandleEx, looked up at run time), many
// at a time; here it gets a few at a time, so that each read waits only for those. Where
// Windows lacks that call, it reads them one by one with FindNextFileW.
DWORD slowScanMs;
BOOL(WINAPI *realDirectoryQuery)(HANDLE, int, LPVOID, DWORD);
BOOL WINAPI SlowDirectoryQuery(HANDLE folder, int kind, LPVOID buffer, DWORD size)
{
    // Room for one record (FILE_ID_BOTH_DIR_INFO) of the longest name.
    const DWORD kFewEntries = 104 + MAX_PATH * sizeof(WCHAR);
    BOOL read = realDirectoryQuery(folder, kind, buffer, std::min(size, kFewEntries));
    for (BYTE *record = (BYTE *)buffer; read; record += *(DWORD *)record) {
        Sleep(slowScanMs);
        if (*(DWORD *)record == 0)
            break;
    }
    return read;
}
BOOL(WINAPI *realFindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
BOOL WINAPI SlowFindNextFileW(HANDLE search, LPWIN32_FIND_DATAW entry)
{
    Sleep(slowScanMs);
    return realFindNextFileW(search, entry);
}

void Usage(FILE *to)
{
    fputs("usage: fmhost [options] MODULE.fmx [CALL...]\n"
          "  CALL                 Name, Name=parameter, N=parameter (function number N), or a host\n"
          "                       message: :init N, :idle, :shutdown, :preferences\n"
          "options:\n"
          "  --list               list the plug-in even when calls are given\n"
          "  --script FILE        read calls and host messages from FILE, one per line (UTF-8)\n"
          "  --charset NAME       the host's character set for typed texts: roman (default),\n"
          "                       cyrillic, central-european, or raw (bytes as given; \\xNN escapes,\n"
          "                       a backslash written \\x5C)\n"
          "  --host-version N     host interface version sent at init (default 17, FileMaker 6):\n"
          "                       -32768 to 65535, decimal or 0x hexadecimal\n"
          "  --no-window          run without the host's main window\n"
          "  --auto-close         cancel every dialog the plug-in shows (OK when it has no\n"
          "                       Cancel) and say so after the result; a dialog still open after\n"
          "                       10 s ends the run (status 4)\n"
          "  --slow-scan MS       make every entry of a folder scan take MS milliseconds more\n"
          "                       (0 to 10000), so that a small folder shows the scan's progress\n"
          "                       window\n"
          "exit status: 0 done, 1 bad arguments or lines (nothing was sent), 2 a host rule broken,\n"
          "3 the plug-in crashed, 4 a dialog did not auto-close, 5 the plug-in refused init\n",
          to);
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

enum class Arguments { kRun, kHelp, kBad };

Arguments ParseArguments(int argc, wchar_t **argv, Options *options)
{
    for (int i = 1; i < argc; i++) {
        std::string arg = WideToUtf8(argv[i]);
        auto next = [&](std::string *value) {
            if (i + 1 >= argc) {
                fprintf(stderr, "fmhost: %s needs a value\n", arg.c_str());
                return false;
            }
            *value = WideToUtf8(argv[++i]);
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            return Arguments::kHelp;
        } else if (arg == "--list") {
            options->list = true;
        } else if (arg == "--no-window") {
            options->window = false;
        } else if (arg == "--auto-close") {
            options->autoClose = true;
        } else if (arg == "--slow-scan") {
            if (!next(&value))
                return Arguments::kBad;
            if (ReadUnsigned(value, 10000, &options->slowScanMs) != Number::kValid) {
                fprintf(stderr, "fmhost: --slow-scan: %s is not a number of milliseconds from 0 to 10000\n",
                        value.c_str());
                return Arguments::kBad;
            }
        } else if (arg == "--script") {
            if (i + 1 >= argc) {
                fprintf(stderr, "fmhost: --script needs a file\n");
                return Arguments::kBad;
            }
            options->script = argv[++i];
        } else if (arg == "--host-version") {
            if (!next(&value))
                return Arguments::kBad;
            std::string error;
            if (!ReadHostVersion(value, &options->hostVersion, &error)) {
                fprintf(stderr, "fmhost: --host-version: %s\n", error.c_str());
                return Arguments::kBad;
            }
        } else if (arg == "--charset") {
            if (!next(&value))
                return Arguments::kBad;
            options->raw = value == "raw";
            const Charset *chosen = nullptr;
            for (const Charset &charset : kCharsets)
                if (value == charset.name)
                    chosen = &charset;
            if (chosen == nullptr && !options->raw) {
                fprintf(stderr, "fmhost: unknown character set %s\n", value.c_str());
                return Arguments::kBad;
            }
            if (chosen != nullptr)
                options->charset = chosen;
        } else if (arg.size() > 1 && arg[0] == '-') {
            // No call starts with '-': a mistyped option would otherwise be read as the module.
            fprintf(stderr, "fmhost: unknown option %s\n", arg.c_str());
            return Arguments::kBad;
        } else if (options->module.empty()) {
            options->module = argv[i];
        } else {
            options->calls.push_back(arg);
        }
    }
    if (options->module.empty()) {
        fprintf(stderr, "fmhost: no plug-in module given\n");
        return Arguments::kBad;
    }
    return Arguments::kRun;
}

bool IsEscapeAt(const std::string &text, size_t i)
{
    return text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && isxdigit((unsigned char)text[i + 2]) &&
           isxdigit((unsigned char)text[i + 3]);
}

// A backslash that starts no \xNN escape: sent as itself, but "C:\x41" would not be, so a
// raw text should spell every backslash \x5C.
bool HasLoneBackslash(const std::string &text)
{
    for (size_t i = 0; i < text.size(); i++) {
        if (IsEscapeAt(text, i))
            i += 3;
        else if (text[i] == '\\')
            return true;
    }
    return false;
}

// \xNN escapes in raw mode become bytes.
std::string Unescape(const std::string &text)
{
    std::string bytes;
    for (size_t i = 0; i < text.size(); i++) {
        if (IsEscapeAt(text, i)) {
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

// Length of the UTF-8 character that starts at text[at], or 0 when none does (a stray
// continuation byte, a cut sequence, an overlong form, a surrogate, past U+10FFFF).
size_t Utf8CharacterAt(const std::string &text, size_t at)
{
    unsigned char lead = (unsigned char)text[at];
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                                      : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || length > text.size() - at)
        return 0;
    if (length > 1 &&
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + at, (int)length, NULL, 0) == 0)
        return 0;
    return length;
}

// Offset of the first byte that is no part of a UTF-8 character, or npos.
size_t FirstNonUtf8Byte(const std::string &text)
{
    for (size_t at = 0; at < text.size();) {
        size_t length = Utf8CharacterAt(text, at);
        if (length == 0)
            return at;
        at += length;
    }
    return std::string::npos;
}

// A text as fmhost quotes it in a message: as typed, or escaped where it is not UTF-8.
std::string Shown(const std::string &text)
{
    return FirstNonUtf8Byte(text) == std::string::npos ? text : Escape(text);
}

// The character (count UTF-16 units) in the single-byte code page, when it comes back from
// that byte as itself: false for a character the code page lacks or stands in for.
bool Encode(unsigned codePage, const wchar_t *units, int count, char *byte)
{
    wchar_t back[2];
    if (WideCharToMultiByte(codePage, 0, units, count, byte, 1, NULL, NULL) != 1)
        return false;
    return MultiByteToWideChar(codePage, 0, byte, 1, back, 2) == count &&
           memcmp(back, units, (size_t)count * sizeof(wchar_t)) == 0;
}

// The typed text (UTF-8) as the host would pass it, in the chosen character set. False, with
// *error, for a text that is not UTF-8 or holds characters the set cannot carry: sent as they
// would be, they would reach the plug-in as '?' or as other characters.
bool TypedToHost(const Options &options, const std::string &typed, std::string *host, std::string *error)
{
    if (options.raw) {
        *host = Unescape(typed);
        return true;
    }
    size_t bad = FirstNonUtf8Byte(typed);
    if (bad != std::string::npos) {
        char what[160];
        snprintf(what, sizeof what, "byte 0x%02X at position %u is not UTF-8 (write scripts in UTF-8, or send "
                 "bytes with --charset raw)", (unsigned char)typed[bad], (unsigned)bad + 1);
        *error = what;
        return false;
    }
    const size_t kCharsetCount = sizeof kCharsets / sizeof kCharsets[0];
    bool carriesAll[kCharsetCount];
    for (size_t i = 0; i < kCharsetCount; i++)
        carriesAll[i] = true;
    std::vector<std::string> lacking;
    std::string sent;
    for (size_t at = 0; at < typed.size();) {
        size_t length = Utf8CharacterAt(typed, at);
        if (length == 1) {  // ASCII: the same code in every Macintosh character set
            sent += typed[at++];
            continue;
        }
        wchar_t units[2];
        int count = MultiByteToWideChar(CP_UTF8, 0, typed.data() + at, (int)length, units, 2);
        char byte = 0;
        for (size_t i = 0; i < kCharsetCount; i++)
            carriesAll[i] = carriesAll[i] && Encode(kCharsets[i].codePage, units, count, &byte);
        std::string character = typed.substr(at, length);
        if (Encode(options.charset->codePage, units, count, &byte))
            sent += byte;
        else if (std::find(lacking.begin(), lacking.end(), character) == lacking.end())
            lacking.push_back(character);
        at += length;
    }
    if (lacking.empty()) {
        *host = sent;
        return true;
    }
    *error = std::string("the character set ") + options.charset->name + " cannot carry ";
    for (size_t i = 0; i < lacking.size(); i++)
        *error += (i > 0 ? " " : "") + lacking[i];
    const Charset *suggested = nullptr;
    for (size_t i = 0; i < kCharsetCount && suggested == nullptr; i++)
        if (carriesAll[i])
            suggested = &kCharsets[i];
    if (suggested != nullptr)
        *error += std::string("; --charset ") + suggested->name + " carries this text";
    else
        *error += "; no character set carries the whole text (--charset raw sends bytes as given)";
    return false;
}

std::string FromHost(const Options &options, const std::string &host)
{
    return options.raw ? Escape(host) : fmhost::HostToUtf8(host, options.charset->codePage);
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
    fprintf(stderr, "fmhost: %s (\"%s\"): %s\n", line.place.c_str(), Shown(line.text).c_str(), what.c_str());
}

// Reads a script whole, one line each (UTF-8; a byte-order mark is skipped, CR LF is a line
// end). False, with *error, when it cannot be read.
bool ReadScript(const std::wstring &path, std::vector<Line> *lines, std::string *error)
{
    const std::string shown = WideToUtf8(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = "cannot read script " + shown + " (" + fmhost::DescribeWindowsError(GetLastError()) + ")";
        return false;
    }
    std::string bytes;
    char buffer[16384];
    DWORD got = 0;
    BOOL read;
    while ((read = ReadFile(file, buffer, sizeof buffer, &got, NULL)) && got > 0)
        bytes.append(buffer, got);
    DWORD readError = GetLastError();
    CloseHandle(file);
    if (!read) {
        *error = "cannot read script " + shown + " (" + fmhost::DescribeWindowsError(readError) + ")";
        return false;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    size_t start = 0;
    for (int number = 1; start < bytes.size(); number++) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string text = bytes.substr(start, end - start);
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        lines->push_back(Line{text, shown + ", line " + std::to_string(number)});
        start = end + 1;
    }
    return true;
}

// What one line asks fmhost to send, read and checked before anything is sent.
enum class Step { kSkip, kCall, kInit, kIdle, kShutdown, kPreferences };
struct Action {
    Step step = Step::kSkip;
    Line line;
    int16_t version = 0;        // kInit
    uint32_t function = 0;      // kCall
    std::string shownName;      // kCall: as the plug-in lists it, or #N
    std::string parameter;      // kCall: the bytes the plug-in gets, in the host's character set
    std::string warning;        // what fmhost sends as asked but the writer may not have meant
};

// Reads one line into *action; false, with *error, for a line fmhost cannot send.
bool ReadAction(const Options &options, const fmhost::PluginListing &listing, const Line &line,
                Action *action, std::string *error)
{
    const std::string &text = line.text;
    action->line = line;
    if (text.find_first_not_of(" \t") == std::string::npos || text[0] == '#') {
        action->step = Step::kSkip;
        return true;
    }
    if (text[0] == ':') {
        if (text == ":init" || text.compare(0, 6, ":init ") == 0) {
            action->step = Step::kInit;
            action->version = options.hostVersion;
            size_t from = text.find_first_not_of(' ', 5);
            return from == std::string::npos ||
                   ReadHostVersion(text.substr(from, text.find_last_not_of(' ') + 1 - from), &action->version, error);
        }
        const struct {
            const char *text;
            Step step;
        } messages[] = {{":idle", Step::kIdle}, {":shutdown", Step::kShutdown}, {":preferences", Step::kPreferences}};
        for (const auto &message : messages) {
            if (text == message.text) {
                action->step = message.step;
                return true;
            }
        }
        *error = "unknown host message (:init N, :idle, :shutdown, :preferences)";
        return false;
    }
    size_t equals = text.find('=');
    std::string name = text.substr(0, equals);
    int listed = fmhost::FunctionNumber(listing, name);
    if (listed >= 0) {
        action->function = (uint32_t)listed;
    } else {
        Number read = ReadUnsigned(name, 0xFFFFFFFFu, &action->function);
        if (read == Number::kOutOfRange) {
            *error = "function number " + name + " is out of range: 0 to 4294967295 (0xFFFFFFFF)";
            return false;
        }
        if (read == Number::kNotANumber) {
            *error = "unknown function name " + Shown(name) + " (the plug-in lists " +
                     std::to_string(listing.functions.size()) +
                     " functions; a number is decimal or 0x hexadecimal)";
            return false;
        }
    }
    action->step = Step::kCall;
    action->shownName = action->function < listing.functions.size() ? listing.functions[action->function]
                                                                     : "#" + std::to_string(action->function);
    std::string typed = equals == std::string::npos ? std::string() : text.substr(equals + 1);
    if (options.raw && HasLoneBackslash(typed))
        action->warning = "a \\ that starts no \\xNN escape is sent as itself; under --charset raw write a "
                          "backslash as \\x5C, since \\ before xNN reads as one byte";
    return TypedToHost(options, typed, &action->parameter, error);
}

// What a line adds for what the person would have seen: a dialog that could not be shown,
// beeps, and every dialog that --auto-close closed (a Cancel of fmhost's must not read as a
// person's). The first dialog that could not be shown is explained once, on standard error.
std::string Notes(bool dialogs)
{
    static bool explained = false;
    const fmhost::Sightings &seen = fmhost::SightingsSinceReset();
    std::string notes;
    if (!seen.unshownDialogs.empty() && !explained) {
        explained = true;
        fflush(stdout);
        fprintf(stderr, "fmhost: %s returned without showing its dialog: Windows could not create a window "
                "(no display, or no usable graphics driver in this Wine prefix; scripts/wine-prefix.sh "
                "makes a prefix whose null driver shows every dialog)\n", seen.unshownDialogs[0].c_str());
        fflush(stderr);
    }
    if (dialogs && !seen.unshownDialogs.empty())
        notes += " (the dialog could not be shown)";
    if (seen.beeps == 1)
        notes += " (beep)";
    else if (seen.beeps > 1)
        notes += " (" + std::to_string(seen.beeps) + " beeps)";
    for (const fmhost::ModalRecord &closed : fmhost::ClosedModals()) {
        const char *button = closed.closedBy == IDCANCEL ? " with Cancel" : closed.closedBy == IDOK ? " with OK" : "";
        // The auto-closer reads captions in the ANSI code page.
        notes += " (fmhost closed \"" + fmhost::HostToUtf8(closed.caption, GetACP()) + "\"" + button + ")";
    }
    return notes;
}

// What became of the dialogs of the preferences message.
std::string PreferencesOutcome()
{
    const fmhost::Sightings &seen = fmhost::SightingsSinceReset();
    if (!seen.closedDialogs.empty()) {
        std::string captions;
        for (size_t i = 0; i < seen.closedDialogs.size(); i++)
            captions += (i > 0 ? ", \"" : "\"") + seen.closedDialogs[i] + "\"";
        return (seen.closedDialogs.size() == 1 ? "the dialog " : "the dialogs ") + captions +
               (seen.closedDialogs.size() == 1 ? " was shown and closed" : " were shown and closed");
    }
    if (!seen.unshownDialogs.empty())
        return "the dialog could not be shown";
    return "the plug-in showed no dialog";
}

std::string InitLine(int16_t version, int32_t answer)
{
    return "init (host version " + ShowHostVersion(version) + ") -> " + std::to_string(answer) +
           (answer == kInitAccepted ? "" : ": the plug-in refused this host");
}

// Sends one checked line and prints what came of it; false when the plug-in refused init.
bool Send(const Options &options, const Action &action)
{
    fmhost::ResetSightings();
    fmhost::ClearClosedModals();
    switch (action.step) {
    case Step::kSkip:
        return true;
    case Step::kInit: {
        int32_t answer = fmhost::SendInit(action.version);
        Print(InitLine(action.version, answer) + Notes(true) + "\n");
        fflush(stdout);
        return answer == kInitAccepted;
    }
    case Step::kIdle: {
        fmhost::SendIdle(0);
        std::string notes = Notes(true);
        if (!notes.empty())
            Print("idle" + notes + "\n");
        break;
    }
    case Step::kShutdown:
        fmhost::SendShutdown();
        Print("shutdown" + Notes(true) + "\n");
        break;
    case Step::kPreferences:
        fmhost::SendPreferences();
        Print("preferences: " + PreferencesOutcome() + Notes(false) + "\n");
        break;
    case Step::kCall: {
        fmhost::CallResult result = fmhost::CallFunction(action.function, action.parameter);
        // The parameter as the plug-in got it. A result the plug-in wrote, even the empty
        // text, is quoted; a handle it left as the host passed it is no result (the
        // calculation then gets the empty text all the same).
        bool written = result.resized || result.touched;
        Print("External(\"" + action.shownName + "\", \"" + FromHost(options, action.parameter) + "\") = " +
              (written ? "\"" + FromHost(options, result.text) + "\"" : std::string("(no result)")) +
              Notes(true) + "\n");
        break;
    }
    }
    fflush(stdout);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    Arguments arguments = ParseArguments(argc, argv, &options);
    if (arguments == Arguments::kHelp) {
        Usage(stdout);
        return 0;
    }
    if (arguments == Arguments::kBad) {
        if (argc <= 1)
            Usage(stderr);
        else
            fprintf(stderr, "fmhost: fmhost --help lists the options\n");
        return 1;
    }
    std::vector<Line> lines;
    for (size_t i = 0; i < options.calls.size(); i++)
        lines.push_back(Line{options.calls[i], "call " + std::to_string(i + 1) + " of the command line"});
    std::string error;
    if (!options.script.empty() && !ReadScript(options.script, &lines, &error)) {
        fprintf(stderr, "fmhost: %s\n", error.c_str());
        return 1;
    }

    if (!fmhost::LoadPlugin(options.module, &error)) {
        fprintf(stderr, "fmhost: %s\n", error.c_str());
        return 1;
    }
    fmhost::PluginListing listing;
    if (!fmhost::ReadPluginListing(&listing, &error)) {
        fprintf(stderr, "fmhost: %s\n", error.c_str());
        fmhost::UnloadPlugin();
        return 1;
    }
    // Every line is checked before the first is sent: a bad line runs nothing.
    std::vector<Action> actions(lines.size());
    int bad = 0;
    for (size_t i = 0; i < lines.size(); i++) {
        if (!ReadAction(options, listing, lines[i], &actions[i], &error)) {
            LineError(lines[i], error);
            bad++;
        } else if (!actions[i].warning.empty()) {
            LineError(lines[i], "warning: " + actions[i].warning);
        }
    }
    if (bad > 0) {
        fprintf(stderr, "fmhost: %d line%s with errors: nothing was sent to the plug-in\n", bad, bad == 1 ? "" : "s");
        fmhost::UnloadPlugin();
        return 1;
    }
    if (options.list || lines.empty()) {
        Print("Plug-in: " + listing.name + "\n");
        Print("Description: " + listing.description + "\n");
        Print("Options: " + listing.options + "\n");
        Print("External functions (" + std::to_string(listing.functions.size()) + "):\n");
        for (size_t i = 0; i < listing.functions.size(); i++)
            Print("  " + std::to_string(i) + "  " + listing.functions[i] + "\n");
        fflush(stdout);
    }
    // FileMaker's window has the foreground while its scripts run, so a dialog that a call
    // shows opens active, its caption drawn so. The window itself stays hidden.
    if (options.window && fmhost::CreateMainWindow() != NULL)
        SetForegroundWindow(fmhost::MainWindow());
    fmhost::SetAutoCloseModals(options.autoClose);
    fmhost::StartDialogWatch(!options.autoClose);
    if (options.slowScanMs > 0) {
        slowScanMs = options.slowScanMs;
        realDirectoryQuery = fmhost::HookImportAs("kernel32.dll", "GetFileInformationByHandleEx",
                                                  SlowDirectoryQuery);
        realFindNextFileW = fmhost::HookImportAs("kernel32.dll", "FindNextFileW", SlowFindNextFileW);
    }

    // A plug-in that refuses init is not enabled, and the host sends it nothing more.
    fmhost::ResetSightings();
    fmhost::ClearClosedModals();
    int32_t answer = fmhost::SendInit(options.hostVersion);
    bool refused = answer != kInitAccepted;
    const Line *refusedAt = nullptr;
    if (refused) {
        Print(InitLine(options.hostVersion, answer) + Notes(true) + "\n");
        fflush(stdout);
    }
    for (size_t i = 0; i < actions.size() && !refused; i++) {
        refused = !Send(options, actions[i]);
        if (refused)
            refusedAt = &actions[i].line;
    }
    if (refused) {
        std::string where = refusedAt != nullptr ? refusedAt->place + " (\"" + refusedAt->text + "\"): " : "";
        fprintf(stderr, "fmhost: %sthe plug-in refused init; the host would not call it, so the run ends here\n",
                where.c_str());
    } else {
        fmhost::SendShutdown();
    }
    ReportViolations();
    bool clean = fmhost::Violations().empty();
    fmhost::UnloadPlugin();
    fmhost::DestroyMainWindow();
    if (!clean)
        return 2;
    return refused ? kExitInitRefused : 0;
}
