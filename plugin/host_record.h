// The host's call record and handle callbacks, in the host's packed 32-bit layout.
// Shared by the plug-in and by the host emulator in host/, so both agree byte for byte.
#ifndef TARVEL_HOST_RECORD_H
#define TARVEL_HOST_RECORD_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define TARVEL_HOSTCALL __stdcall
#else
#define TARVEL_HOSTCALL
#endif

// A host handle points at a master pointer, which holds the address of the block.
// The block may move whenever the handle is unlocked: read the master pointer only
// after locking, and use what it gave only until the matching unlock.
typedef char **HostHandle;

typedef HostHandle(TARVEL_HOSTCALL *HostNewHandleProc)(int32_t size);
typedef void(TARVEL_HOSTCALL *HostSetHandleSizeProc)(HostHandle handle, int32_t size);
typedef int32_t(TARVEL_HOSTCALL *HostGetHandleSizeProc)(HostHandle handle);
typedef void(TARVEL_HOSTCALL *HostDisposeHandleProc)(HostHandle handle);
typedef void(TARVEL_HOSTCALL *HostMoveHighProc)(HostHandle handle);
typedef void(TARVEL_HOSTCALL *HostLockProc)(HostHandle handle);
typedef void(TARVEL_HOSTCALL *HostUnlockProc)(HostHandle handle);
typedef void *(TARVEL_HOSTCALL *HostNewPointerProc)(int32_t size);
typedef void(TARVEL_HOSTCALL *HostDisposePointerProc)(void *pointer);
typedef int16_t(TARVEL_HOSTCALL *HostMemoryErrorProc)(void);

enum MessageKind {
    kMessageInit = 0,
    kMessageIdle = 1,
    kMessageExternalFunction = 3,
    kMessageShutdown = 4,
    kMessagePreferences = 5
};

// Answers of the init message, written into the record's result field.
enum {
    kInitAccepted = 4,       // the plug-in interface version this module implements
    kInitRefused = -2
};

#pragma pack(push, 1)
typedef struct ExternCallRecord {
    int16_t extnVersion;            // 0x00 host interface version
    int16_t unused02;               // 0x02
    uint32_t entryPoint;            // 0x04 the entry point's address, set by the host
    uint8_t unused08;               // 0x08
    uint8_t messageKind;            // 0x09 MessageKind
    uint8_t unused0A;               // 0x0A (idle level for message 1)
    uint8_t unused0B;               // 0x0B
    uint32_t functionId;            // 0x0C ExternalFunctionId, unsigned
    HostHandle parameter;           // 0x10 parameter handle
    uint32_t moduleInstance;        // 0x14 the module instance (init)
    uint32_t result;                // 0x18 init answer, or the result handle of a function call
    uint32_t unused1C;              // 0x1C
    HostNewHandleProc newHandle;            // 0x20 never called by the plug-in
    HostSetHandleSizeProc setHandleSize;    // 0x24
    HostGetHandleSizeProc getHandleSize;    // 0x28
    HostDisposeHandleProc disposeHandle;    // 0x2C never called by the plug-in
    HostMoveHighProc moveHigh;              // 0x30 never called by the plug-in
    HostLockProc lockHandle;                // 0x34
    HostUnlockProc unlockHandle;            // 0x38
    HostNewPointerProc newPointer;          // 0x3C never called by the plug-in
    HostDisposePointerProc disposePointer;  // 0x40 never called by the plug-in
    HostMemoryErrorProc memoryError;        // 0x44
} ExternCallRecord;
#pragma pack(pop)

#if defined(_WIN32) && !defined(_WIN64)
static_assert(offsetof(ExternCallRecord, messageKind) == 0x09, "record layout");
static_assert(offsetof(ExternCallRecord, functionId) == 0x0C, "record layout");
static_assert(offsetof(ExternCallRecord, parameter) == 0x10, "record layout");
static_assert(offsetof(ExternCallRecord, moduleInstance) == 0x14, "record layout");
static_assert(offsetof(ExternCallRecord, result) == 0x18, "record layout");
static_assert(offsetof(ExternCallRecord, newHandle) == 0x20, "record layout");
static_assert(offsetof(ExternCallRecord, memoryError) == 0x44, "record layout");
static_assert(sizeof(ExternCallRecord) == 0x48, "record layout");
#endif

#endif
