// Wide texts as the tests see them: in bytes of a code page (the system's ANSI code page
// unless a test names another). The fakes of the plug-in's wide Windows calls record and
// compare through these the very bytes its ANSI calls used to receive, and answer with the
// UTF-16 of the bytes a test chooses.
#ifndef TARVEL_TEST_ANSI_TEXT_H
#define TARVEL_TEST_ANSI_TEXT_H

#include <windows.h>
#include <string>

// The bytes of text (length units, zeros included) in codePage. A character the code page
// has no code of its own for becomes '?', never a best-fit look-alike, so that a wrong
// conversion shows.
std::string Narrow(const std::wstring &text, UINT codePage = CP_ACP);
// The same for a zero-terminated text; NULL gives "<NULL>".
std::string NarrowOrNull(const WCHAR *text, UINT codePage = CP_ACP);
// The UTF-16 of bytes (zeros included) read in codePage.
std::wstring Widen(const std::string &bytes, UINT codePage = CP_ACP);
// Writes the UTF-16 of text into buffer (capacity units), cut at capacity - 1 units and
// always terminated, as lstrcpynA writes bytes.
void CopyWide(const std::string &text, WCHAR *buffer, size_t capacity, UINT codePage = CP_ACP);

#endif
