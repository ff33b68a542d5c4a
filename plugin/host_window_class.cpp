// The host's main-window class test: "fmpro" in any case followed by a decimal digit.
#include "plugin/host_window_class.h"
#include "plugin/portable.h"
#include <stddef.h>

bool IsHostWindowClassName(const char *className)
{
    if (className == NULL)
        return false;
    if (_strnicmp(className, "fmpro", 5) != 0)
        return false;
    // The first five characters matched, so none of them is the terminator.
    return className[5] >= '0' && className[5] <= '9';
}
