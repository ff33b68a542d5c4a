// Fuzzes MatchesExtensionFilter over arbitrary filters and names, and JoinScanPath over the
// same texts: no read outside the texts, no write outside the buffers, and every answer
// agrees with a plain restatement of the rules.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "files/extension_filter.h"
#include "files/scan_path.h"
#include "plugin/portable.h"

// The rules restated over std::string, without ReadToken's buffer.
static bool ReferenceMatch(const std::string &name, const std::string &filter)
{
    if (name == "." || name == "..")
        return false;
    if (filter.empty())
        return true;
    size_t start = 0;
    for (;;) {
        while (start < filter.size() && filter[start] == ' ')
            start++;
        size_t end = filter.find(';', start);
        if (end == std::string::npos)
            end = filter.size();
        std::string token = filter.substr(start, end - start);
        if (token.size() > kExtensionTokenCapacity - 1)
            token.resize(kExtensionTokenCapacity - 1);
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
        if (end >= filter.size())
            return false;
        start = end + 1;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is "name\0filter"; without a zero byte the whole input is the filter.
    const uint8_t *zero = (const uint8_t *)memchr(data, 0, size);
    size_t nameLength = zero != NULL ? (size_t)(zero - data) : 0;
    size_t filterStart = zero != NULL ? nameLength + 1 : 0;
    // Exact-size copies, so AddressSanitizer sees any read past a terminator.
    char *name = (char *)malloc(nameLength + 1);
    memcpy(name, data, nameLength);
    name[nameLength] = '\0';
    size_t filterLength = size - filterStart;
    char *filter = (char *)malloc(filterLength + 1);
    memcpy(filter, data + filterStart, filterLength);
    filter[filterLength] = '\0';

    // A zero byte inside the filter ends it for both.
    if (MatchesExtensionFilter(name, filter) != ReferenceMatch(name, std::string(filter)))
        abort();

    size_t capacity = 1 + (size > 0 ? data[0] : 0);
    char *path = (char *)malloc(capacity);
    bool fits = JoinScanPath(filter, name, path, capacity);
    size_t folderLength = strlen(filter);
    size_t expected = folderLength + (folderLength > 0 && filter[folderLength - 1] == '\\' ? 0 : 1) +
                      nameLength;
    if (fits != (expected <= capacity - 1) || strlen(path) != (fits ? expected : 0))
        abort();
    free(path);
    free(filter);
    free(name);
    return 0;
}
