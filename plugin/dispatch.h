// Dispatch of an external-function call to its handler.
#ifndef TARVEL_DISPATCH_H
#define TARVEL_DISPATCH_H

#include <stdint.h>
#include "plugin/host_record.h"

// Calls the handler of functionId (0 to 14) with the call's two handles. Any other number
// sounds the asterisk beep and writes nothing: the result keeps what the host put there.
void Dispatch(uint32_t functionId, HostHandle parameter, HostHandle result);

#endif
