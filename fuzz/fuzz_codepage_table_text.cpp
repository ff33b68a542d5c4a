// Fuzzes the reading of a code-page table text: any bytes, with or without a terminator,
// overlong fields, stray separators. The maps must read the text exactly as the row-by-row
// text walk does, never read past the given capacity (the input fills its allocation
// exactly), and never change a byte below 0x80. Also installs the text as the current table,
// which must convert as the text cut at its buffer does.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "encoding/codepage.h"
#include "tests/native/codepage_reference.h"

// The text walk costs (rows x length) per byte: compare with it only for texts up to this size.
enum { kReferenceLimit = 256 };

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *text = (char *)malloc(size > 0 ? size : 1);
    memcpy(text, data, size);
    CodePageMaps maps;
    BuildCodePageMaps(size > 0 ? text : NULL, size, &maps);
    for (int code = 0; code < 0x80; code++) {
        if (maps.hostToWindows[code] != code || maps.windowsToHost[code] != code)
            abort();
    }

    std::string terminated(text, strnlen(text, size));
    if (terminated.size() <= kReferenceLimit) {
        for (int code = 0x80; code < 256; code++) {
            if (maps.hostToWindows[code] != ReferenceConvertByte(terminated.c_str(), (unsigned char)code, true))
                abort();
            if (maps.windowsToHost[code] != ReferenceConvertByte(terminated.c_str(), (unsigned char)code, false))
                abort();
        }
    }

    // The table in force must convert as the text cut at its buffer does: no conversion for
    // the empty text, else the maps of the first kCodePageTableCapacity - 1 characters.
    SetCurrentCodePageTable(terminated.c_str());
    const CodePageMaps *inForce = CurrentCodePageMaps();
    if (terminated.empty() != (inForce == NULL))
        abort();
    if (inForce != NULL) {
        CodePageMaps cut;
        BuildCodePageMaps(terminated.c_str(), kCodePageTableCapacity - 1, &cut);
        if (memcmp(&cut, inForce, sizeof cut) != 0)
            abort();
    }
    free(text);
    return 0;
}
