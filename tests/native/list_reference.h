// Plain std::string restatements of how the plug-in reads ';'-separated lists and applies the
// scan's extension filter: the reference that the fuzzers and the call storm compare against.
#ifndef TARVEL_TEST_LIST_REFERENCE_H
#define TARVEL_TEST_LIST_REFERENCE_H

#include <string>
#include <vector>

#include "plugin/portable.h"

// The tokens of a list: blanks before each dropped, each cut to cut characters, read up to the
// end of the list or a ';' that is its last character.
inline std::vector<std::string> ReferenceSplitList(const std::string &list, size_t cut)
{
    std::vector<std::string> tokens;
    size_t at = 0;
    for (;;) {
        while (at < list.size() && list[at] == ' ')
            at++;
        size_t end = list.find(';', at);
        std::string token = list.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (token.size() > cut)
            token.resize(cut);
        tokens.push_back(token);
        if (end == std::string::npos || end + 1 >= list.size())
            return tokens;
        at = end + 1;
    }
}

// The extension filter's rule: "." and ".." never pass; an empty filter passes all; the first
// token that is empty or has no dot ends the test; "*.*" passes all; otherwise the name must
// end with the token's part from its first dot, letters compared without regard to case.
// Tokens are cut to tokenLimit characters.
inline bool ReferenceMatchesExtensionFilter(const std::string &name, const std::string &filter,
                                            size_t tokenLimit)
{
    if (name == "." || name == "..")
        return false;
    if (filter.empty())
        return true;
    for (const std::string &token : ReferenceSplitList(filter, tokenLimit)) {
        if (token.empty())
            return false;
        if (token == "*.*")
            return true;
        size_t dot = token.find('.');
        if (dot == std::string::npos)
            return false;
        std::string extension = token.substr(dot);
        if (name.size() >= extension.size() &&
            _strnicmp(name.c_str() + name.size() - extension.size(), extension.c_str(),
                      extension.size()) == 0)
            return true;
    }
    return false;
}

#endif
