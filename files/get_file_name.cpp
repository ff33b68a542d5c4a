// Tarv-GetFileName (function 4): the file name of a path, as FileNameOfPath takes it.
#include "encoding/wide_text.h"
#include "files/file_name.h"
#include "plugin/handlers.h"
#include "plugin/host_text.h"

// Writes the part of the parameter after its last backslash (see FileNameOfPath); the empty
// text for an empty parameter. Always writes a result; converts nothing. Without a table in
// force, on a system whose code page is double-byte, the path is read by its characters.
void TarvGetFileName(HostHandle parameter, HostHandle result)
{
    char path[kTextUnits];
    LeadBytes leads;
    ReadTextParameter(parameter, path, sizeof path);
    WriteTextResult(result, FileNameOfPath(path, HostTextLeadBytes(&leads)));
}
