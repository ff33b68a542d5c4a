// Unix links and Unix names in the Wine prefix, for the tests and the benchmark: Wine has no
// Windows call that makes or removes a link, nor a name that Windows could never make ("tdot.txt.",
// "a\.."), but it runs Unix programs.
#ifndef TARVEL_TEST_UNIX_LINK_H
#define TARVEL_TEST_UNIX_LINK_H

#include <string>

// The Unix name of a Windows path, in UTF-8; empty when Wine gives none (or when not running
// under Wine).
std::string UnixPathOf(const std::string &windowsPath);

// text in single quotes for /bin/sh, whatever it holds.
std::string ShellQuoted(const std::string &text);

// Runs script (UTF-8) with /bin/sh as a Unix program and waits until it has run to its end.
// On failure (not under Wine, the program not started or not finished within 20 s) returns
// false and says why in *error.
bool RunUnixScript(const std::string &script, std::string *error);

// Makes a symbolic link at link (a Windows path) to target (as ln takes it, e.g. ".." or
// "../b"), and waits until Windows sees it as a linked folder or file. On failure returns
// false and says why in *error.
bool MakeUnixLink(const std::string &target, const std::string &link, std::string *error);

// Removes the symbolic link at link (a Windows path), not what it leads to. On failure returns
// false and says why in *error.
bool RemoveUnixLink(const std::wstring &link, std::string *error);

// A tree made on the Unix side (path: its Unix name), removed from there whatever happens:
// Windows' own removal would follow its names where they lead, or take one name for another.
struct UnixTree {
    std::string path;
    ~UnixTree()
    {
        std::string ignored;
        RunUnixScript("rm -rf " + ShellQuoted(path), &ignored);
    }
};

#endif
