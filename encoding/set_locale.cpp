// Tarv-SetLocale (function 14): chooses the code-page table that the path conversions use.
#include "encoding/codepage.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"
#include "plugin/status.h"

// Parameter: a locale name, "english", "western", "cyrillic" or "czech" in any case of
// letters. Selects that table; any other name (blanks around it, empty, cut because it was
// too long) leaves no conversion in force. The result is 000 (OK) either way.
void TarvSetLocale(HostHandle parameter, HostHandle result)
{
    char localeName[kTextUnits];  // as the script passed it, cut to kTextUnits - 1 bytes
    ReadTextParameter(parameter, localeName, sizeof localeName);
    SelectLocale(localeName);
    WriteStatusResult(result, kStatusOk);
}
