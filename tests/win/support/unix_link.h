// Unix symbolic links in the Wine prefix, for the tests and the benchmark of linked folders:
// Wine has no Windows call that makes or removes one, but runs Unix programs.
#ifndef TARVEL_TEST_UNIX_LINK_H
#define TARVEL_TEST_UNIX_LINK_H

#include <string>

// Makes a symbolic link at link (a Windows path) to target (as ln takes it, e.g. ".." or
// "../b"), and waits until Windows sees it as a linked folder or file. On failure returns
// false and says why in *error.
bool MakeUnixLink(const std::string &target, const std::string &link, std::string *error);

// Removes the symbolic link at link (a Windows path), not what it leads to, and waits until
// Windows no longer sees it. On failure returns false and says why in *error.
bool RemoveUnixLink(const std::wstring &link, std::string *error);

#endif
