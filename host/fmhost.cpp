// fmhost: call a plug-in's external functions from the command line, the way the database
// host calls them. Lists the plug-in, sends init, runs the calls in order, prints each
// result as the host would show it, sends shutdown, and reports any rule the plug-in broke.
//
//   fmhost [options] tarvel.fmx                          list the plug-in and its functions
//   fmhost [options] tarvel.fmx CALL...                  call functions in order
//   fmhost [options] --script FILE tarvel.fmx            calls from a file, one per line
//
// A CALL is Name, Name=parameter, or a function number instead of the name (3=Title).
// Lines of a script are CALLs too, or host messages: ":init 17", ":idle", ":shutdown",
// ":preferences"; blank lines and lines starting with '#' are skipped.
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
    int hostVersion = fmhost::kFileMaker60;
    unsigned codePage = 10000;  // Mac OS Roman
    bool raw = false;
    bool window = true;
    bool autoClose = false;
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

void Usage()
{
    Print("usage: fmhost [options] MODULE.fmx [CALL...]\n"
          "  CALL                 Name, Name=parameter, or N=parameter (function number N)\n"
          "options:\n"
          "  --list               list the plug-in even when calls are given\n"
          "  --script FILE        read calls (and :init N, :idle, :shutdown, :preferences) from FILE\n"
          "  --charset NAME       the host's character set for typed texts: roman (default),\n"
          "                       cyrillic, central-european, or raw (bytes as given; \\xNN escapes)\n"
          "  --host-version N     host interface version sent at init (default 17, FileMaker 6)\n"
          "  --no-window          run without the host's main window\n"
          "  --auto-close         close every dialog the plug-in shows right away\n");
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
        } else if (arg == "--script") {
            if (!next(&options->script))
                return false;
        } else if (arg == "--host-version") {
            if (!next(&value))
                return false;
            options->hostVersion = (int)strtol(value.c_str(), NULL, 0);
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

// Runs one call or host message; returns false on an error that ends the run.
bool Run(const Options &options, const fmhost::PluginListing &listing, const std::string &line)
{
    if (line.empty() || line[0] == '#')
        return true;
    if (line[0] == ':') {
        if (line.compare(0, 5, ":init") == 0) {
            int version = line.size() > 5 ? (int)strtol(line.c_str() + 5, NULL, 0) : options.hostVersion;
            int32_t answer = fmhost::SendInit((int16_t)version);
            Print("init (host version " + std::to_string(version) + ") -> " + std::to_string(answer) + "\n");
        } else if (line == ":idle") {
            fmhost::SendIdle(0);
        } else if (line == ":shutdown") {
            fmhost::SendShutdown();
            Print("shutdown\n");
        } else if (line == ":preferences") {
            fmhost::SendPreferences();
            Print("preferences: the information dialog was closed\n");
        } else {
            fprintf(stderr, "fmhost: unknown host message %s\n", line.c_str());
            return false;
        }
        return true;
    }
    size_t equals = line.find('=');
    std::string name = line.substr(0, equals);
    std::string parameter = equals == std::string::npos ? std::string() : line.substr(equals + 1);
    int number = fmhost::FunctionNumber(listing, name);
    if (number < 0) {
        char *end = NULL;
        long n = strtol(name.c_str(), &end, 0);
        if (name.empty() || *end != '\0') {
            fprintf(stderr, "fmhost: unknown function name %s (the plug-in lists %u functions)\n",
                    name.c_str(), (unsigned)listing.functions.size());
            return false;
        }
        number = (int)n;
    }
    std::string shownName = number >= 0 && (size_t)number < listing.functions.size()
                                ? listing.functions[(size_t)number] : "#" + std::to_string(number);
    fmhost::CallResult result = fmhost::CallFunction((uint32_t)number, ToHost(options, parameter));
    Print("External(\"" + shownName + "\", \"" + parameter + "\") = ");
    Print(result.touched ? "\"" + FromHost(options, result.text) + "\"\n" : "(no result)\n");
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
    std::vector<std::string> lines = options.calls;
    if (!options.script.empty()) {
        std::ifstream file(options.script.c_str());
        if (!file) {
            fprintf(stderr, "fmhost: cannot read script %s\n", options.script.c_str());
            return 1;
        }
        std::string line;
        while (std::getline(file, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
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

    int32_t answer = fmhost::SendInit((int16_t)options.hostVersion);
    if (answer != kInitAccepted)
        Print("init (host version " + std::to_string(options.hostVersion) + ") -> " +
              std::to_string(answer) + ": the plug-in refused this host\n");
    bool ok = true;
    for (const std::string &line : lines)
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
