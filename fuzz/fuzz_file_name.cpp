// Fuzzes FileNameOfPath over arbitrary texts: the name it points at lies inside the path,
// just after a backslash that is not the first character (or is the whole path), and holds
// no backslash. Read as Shift-JIS, the name still lies inside the path, just after a
// backslash, and no read passes the terminator.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "files/file_name.h"
#include "tests/native/shift_jis.h"

static const LeadBytes kShiftJis = ShiftJisLeadBytes();

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char *path = (char *)malloc(size + 1);  // exactly the text and its terminator
    memcpy(path, data, size);
    path[size] = '\0';
    size_t length = strlen(path);
    const char *name = FileNameOfPath(path, NULL);
    if (name < path || name > path + length)
        abort();
    if (name == path) {
        if (length > 1 && memchr(path + 1, '\\', length - 1) != NULL)
            abort();  // a backslash after the first character was missed
    } else if (name - path < 2 || name[-1] != '\\' || strchr(name, '\\') != NULL) {
        abort();  // not just after the last backslash
    }
    name = FileNameOfPath(path, &kShiftJis);
    if (name < path || name > path + length || (name != path && (name - path < 2 || name[-1] != '\\')))
        abort();
    free(path);
    return 0;
}
