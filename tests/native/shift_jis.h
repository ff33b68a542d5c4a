// The lead bytes of code page 932 (Shift-JIS), as Windows reports them: a double-byte code
// page for the native tests and fuzzers.
#ifndef TARVEL_TESTS_SHIFT_JIS_H
#define TARVEL_TESTS_SHIFT_JIS_H

#include "encoding/lead_bytes.h"

inline LeadBytes ShiftJisLeadBytes()
{
    LeadBytes leads = {};
    for (int code = 0x81; code <= 0x9F; code++)
        leads.isLead[code] = true;
    for (int code = 0xE0; code <= 0xFC; code++)
        leads.isLead[code] = true;
    return leads;
}

#endif
