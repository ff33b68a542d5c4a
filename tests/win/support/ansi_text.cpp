// Conversions between the tests' bytes and the UTF-16 that the wide Windows calls take.
#include "tests/win/support/ansi_text.h"

#include <string.h>

std::string Narrow(const std::wstring &text, UINT codePage)
{
    if (text.empty())
        return std::string();
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), (int)text.size(),
                                     NULL, 0, "?", &usedDefault);
    std::string bytes(length > 0 ? (size_t)length : 0, '\0');
    if (length > 0)
        WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), (int)text.size(),
                            &bytes[0], length, "?", &usedDefault);
    return bytes;
}

std::string NarrowOrNull(const WCHAR *text, UINT codePage)
{
    return text != NULL ? Narrow(std::wstring(text), codePage) : std::string("<NULL>");
}

std::wstring Widen(const std::string &bytes, UINT codePage)
{
    if (bytes.empty())
        return std::wstring();
    int length = MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), NULL, 0);
    std::wstring text(length > 0 ? (size_t)length : 0, L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), &text[0], length);
    return text;
}

void CopyWide(const std::string &text, WCHAR *buffer, size_t capacity, UINT codePage)
{
    if (buffer == NULL || capacity == 0)
        return;
    std::wstring wide = Widen(text, codePage);
    size_t units = wide.size() < capacity - 1 ? wide.size() : capacity - 1;
    memcpy(buffer, wide.data(), units * sizeof(WCHAR));
    buffer[units] = 0;
}
