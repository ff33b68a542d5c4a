// Reading parameters from and writing results to the host's handles, through the callbacks
// of the call record in progress; and writing status results.
#include <string.h>

#include "plugin/host_text.h"
#include "plugin/plugin_state.h"
#include "plugin/status.h"

int32_t ReadTextParameter(HostHandle parameter, char *buffer, int32_t capacity)
{
    const ExternCallRecord *record = pluginState.callRecord;
    memset(buffer, 0, (size_t)capacity);
    record->lockHandle(parameter);
    int32_t size = record->getHandleSize(parameter);
    if (size > 0) {
        int32_t limit = size < capacity - 1 ? size : capacity - 1;
        const char *block = *parameter;
        // The host's text has no terminator; a zero byte inside it ends it early.
        for (int32_t i = 0; i < limit && block[i] != '\0'; i++)
            buffer[i] = block[i];
    }
    record->unlockHandle(parameter);
    return size;
}

void WriteTextResult(HostHandle result, const char *text)
{
    const ExternCallRecord *record = pluginState.callRecord;
    int32_t length = (int32_t)strlen(text);
    record->setHandleSize(result, length);
    // A host on the Macintosh memory manager reports the error of its last memory call, so
    // the lock would clear a failed resize's error: ask before locking, and take the block's
    // size as proof too. A block that did not take the new size is left as it is.
    if (record->memoryError() != 0 || record->getHandleSize(result) != length)
        return;
    record->lockHandle(result);
    memcpy(*result, text, (size_t)length);
    record->unlockHandle(result);
}

void WriteStatusResult(HostHandle result, int32_t code)
{
    char text[kStatusTextCapacity];
    if (FormatStatusResult(code, text, sizeof text))
        WriteTextResult(result, text);
}
