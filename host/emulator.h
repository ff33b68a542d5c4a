// fmhost: a stand-in for the database host's plug-in side. It loads a plug-in module, reads
// its string resources as the host does, builds the call record with the host's handle
// callbacks, sends the lifecycle and function messages, and checks after every call that the
// plug-in played by the host's rules (handles unlocked, parameter untouched, no forbidden
// callbacks, no stale block addresses). It can also patch the plug-in's import table so that
// tests observe or fake the Windows calls the plug-in makes.
//
// One emulated host per process, used from one thread, as the real host does.
#ifndef FMHOST_EMULATOR_H
#define FMHOST_EMULATOR_H

#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "plugin/host_record.h"

namespace fmhost {

// Host interface versions that the real hosts pass at init.
enum HostVersion : int16_t {
    kFileMaker40 = 11,
    kFileMaker41 = 12,
    kFileMaker50 = 14,
    kFileMaker60 = 17,
    kFileMaker70 = 50
};

// ---- module ----------------------------------------------------------------------------
// Loads the module with LoadLibraryW and finds FMExternCallProc. On failure returns false
// and says why in *error, in UTF-8 ("cannot load module PATH (error 126: the file or a DLL
// it needs was not found)", "no entry point FMExternCallProc ..."). The narrow form takes a
// path in UTF-8, or in the ANSI code page when it is no valid UTF-8.
bool LoadPlugin(const std::wstring &path, std::string *error);
bool LoadPlugin(const std::string &path, std::string *error);
// "error N: what it means", for a Windows error code, in UTF-8.
std::string DescribeWindowsError(DWORD code);
// FreeLibrary; also removes every import hook, disposes every live handle.
void UnloadPlugin();
HMODULE PluginModule();

struct PluginListing {
    std::string name;         // string 128
    std::string description;  // string 129
    std::string options;      // string 131
    std::vector<std::string> functions;  // strings 144 onwards, until the first missing one
};
// Reads the string resources as the host does. Fails (with *error) when the options string
// is shorter than four characters or a function name does not start with its prefix.
bool ReadPluginListing(PluginListing *listing, std::string *error);
// Function number of a listed name (exact match), or -1.
int FunctionNumber(const PluginListing &listing, const std::string &name);

// ---- the host's main window -------------------------------------------------------------
// A top-level window of this process with the given class name (the host's is "FMPRO6.0APP").
// Not shown. Returns NULL on failure.
HWND CreateMainWindow(const char *className = "FMPRO6.0APP");
void DestroyMainWindow();
HWND MainWindow();

// ---- messages ---------------------------------------------------------------------------
// Each returns after the entry point returns, then runs the post-call checks.
int32_t SendInit(int16_t hostVersion = kFileMaker60);  // returns the record's result field
void SendIdle(uint8_t level = 0);
void SendShutdown();
void SendPreferences();
// Any message kind, with the result field pre-set to resultField; returns the result field after.
uint32_t SendRawMessage(uint8_t kind, uint32_t resultField = 0);

struct CallResult {
    bool touched;       // the result handle's size or contents differ from what the host passed
    bool resized;       // the plug-in set the result handle's size, to any size (an empty
                        // text it wrote leaves the handle as empty as it came, yet resized)
    std::string text;   // the result handle's contents after the call (raw bytes)
};
struct CallOptions {
    bool prefillResult = false;       // hand the result handle over holding resultMarker
    std::string resultMarker = "<untouched>";
    int32_t reportedParameterSize = -1;  // >= 0: the get-size callback reports this for the parameter
};
// Sends message 3 with the parameter's bytes in a fresh handle and an empty (or marked)
// result handle, as the host does.
CallResult CallFunction(uint32_t functionId, const std::string &parameter,
                        const CallOptions &options = CallOptions());

// The record as the plug-in left it when the last message to return returned (with nested
// messages, the outermost one returns last). Each message is sent on a record of its own,
// which is poisoned and (with the handle guards on) made inaccessible once the message
// returns: a plug-in that uses it afterwards faults, and the emulator names the fault
// ("stale record") and ends the process.
const ExternCallRecord &LastRecord();
// Messages whose entry-point call has not returned yet: 0 between messages, 1 during a call,
// 2 and more while nested messages are being sent (see below).
int MessagesInProgress();

// ---- handles ----------------------------------------------------------------------------
// Makes the next memory-error query of the plug-in answer value (once). 0 clears it.
void InjectMemoryError(int16_t value);
// Plays a host built on the Macintosh memory manager, whose memory-error callback reports the
// error of the last memory call: the plug-in's next set-size call fails with error (once),
// leaving the block as it was, and the next lock, unlock or size query succeeds and so
// clears the error. 0 cancels a failure not yet made.
void FailNextResize(int16_t error);
// Plays a host whose resize can fail without a word: the plug-in's next set-size call leaves
// the block as it was, and no memory error is reported for it.
void FailNextResizeSilently();
// Guarded handles (the default): every block on pages of its own, inaccessible while
// unlocked, with an unmapped page after its end, and left inaccessible when it moves. Off:
// plain heap blocks, still moved on every resize and lock-counted, for timing the plug-in
// without the guards' page-protection costs. Affects handles made from then on.
void SetHandleGuards(bool on);
// Counts of callback calls since the last reset, for tests.
struct CallbackCounts {
    int setSize, getSize, lock, unlock, memoryError, forbidden;
};
CallbackCounts Counts();
void ResetCounts();

// Rule breaks seen since the last ClearViolations (stale handle, unbalanced lock, resize while
// locked, forbidden callback, parameter changed, ...). Each is one readable sentence.
const std::vector<std::string> &Violations();
void ClearViolations();

// ---- the plug-in's private heaps ---------------------------------------------------------
// Guarded heaps (the default): the heaps the plug-in makes with HeapCreate are the emulator's,
// reached through its imports of HeapCreate, HeapDestroy, HeapAlloc, HeapReAlloc, HeapFree and
// HeapSize (a module that imports another heap call does not load). Every block sits at the
// end of pages of its own with an unmapped page after it; it starts on an 8-byte boundary, as
// HeapAlloc's blocks do, and the few bytes from its end to that boundary hold a pattern. So a
// write past a block's end faults, and the emulator names the fault ("buffer overrun") and
// ends the process, or, within the pattern, is a rule break found after the message. Every
// HeapReAlloc moves the block to fresh pages, except with HEAP_REALLOC_IN_PLACE_ONLY (then a
// block that would outgrow its 8-byte boundary fails); freed and moved blocks stay
// inaccessible for a while. New bytes hold 0xC5 unless HEAP_ZERO_MEMORY asks for zeros; a heap
// made with a maximum size refuses blocks that would take it past that; a failure leaves the
// block where and as it was (and raises with HEAP_GENERATE_EXCEPTIONS). A heap still there
// after shutdown is a rule break. Off: the plug-in's heap calls go to Windows untouched.
// Takes effect at the next LoadPlugin; calls on any other heap (the process heap) always go
// to Windows. Hooks that tests put on these imports wrap the guarded heap calls.
void SetHeapGuards(bool on);

// ---- messages that arrive while a call is in progress ----------------------------------
// The host sends its messages from its message loop, so it may call the plug-in again while
// a call runs a modal loop of its own (a dialog, a progress window). Tests make that happen
// with these: a scheduled message is sent from a WM_TIMER of a hidden window of the emulator,
// that is from inside whatever loop dispatches this thread's messages then, once
//   - at least delayMs have passed since it was scheduled (real time, by the emulator's own
//     clock: a clock faked through the plug-in's imports does not move it),
//   - another message is in progress (MessagesInProgress() > 0): it is never sent from a loop
//     outside every call, it waits for the next one instead, and
//   - every message scheduled before it has been sent: they go out one at a time, in order.
// A message that runs a modal loop itself (preferences, a dialog function) lets the next one
// go out inside it, one level deeper. Each is sent as SendIdle, CallFunction or
// SendPreferences would send it: its own record and handles, and the checks after it, with
// one difference: the locks must be as they were before it (the interrupted call may hold
// some), not all released. Schedule before the outer call (the delay counts from then), or
// from inside its modal loop (a dialog step, for example).
enum class NestedKind { kIdle, kFunction, kPreferences };
enum class NestedState { kWaiting, kSending, kSent };
struct NestedOutcome {
    NestedKind kind;
    uint32_t functionId;      // kFunction: the function number
    std::string parameter;    // kFunction: the parameter's bytes
    DWORD delayMs;
    NestedState state;        // kWaiting: no loop inside a call dispatched its timer yet
    int depth;                // MessagesInProgress() when it was sent: 1 inside one call
    CallResult result;        // kFunction: what the host found in the result handle
    CallbackCounts counts;    // the callbacks the plug-in made while it ran
    std::vector<std::string> violations;  // rule breaks recorded from its start to its end,
                                          // also in Violations()
};
// Each returns the index of the message's outcome in NestedOutcomes().
size_t ScheduleNestedIdle(DWORD delayMs);
size_t ScheduleNestedCall(DWORD delayMs, uint32_t functionId, const std::string &parameter);
size_t ScheduleNestedPreferences(DWORD delayMs);
// Every message scheduled since the last clear, in the order scheduled: sent or waiting.
const std::vector<NestedOutcome> &NestedOutcomes();
// Forgets the outcomes and drops the messages still waiting. UnloadPlugin does this too.
void ClearNestedMessages();

// ---- import-table hooks -----------------------------------------------------------------
// Points the plug-in's import of dll!function (case-insensitive names; ordinal imports as
// "#17") at replacement. Returns the address it had (the real function), or NULL when the
// plug-in does not import it. Hooks stay until UnhookImport/UnhookAllImports/UnloadPlugin.
// A function the plug-in does not import, but looks up by name at run time (a function that
// older Windows lack), is hooked through the plug-in's import of GetProcAddress, which then
// answers with replacement for that name of that dll; a NULL replacement makes the function
// look absent, as on a Windows without it. Returns the real function, or NULL when Windows
// has none or the plug-in imports no GetProcAddress.
void *HookImport(const char *dll, const char *function, void *replacement);
// HookImport for a replacement of the function's own type: returns the real function as that
// type (NULL when the module does not import it).
template <typename Function>
Function HookImportAs(const char *dll, const char *function, Function replacement)
{
    return (Function)HookImport(dll, function, (void *)replacement);
}
void UnhookImport(const char *dll, const char *function);
void UnhookAllImports();
// Names of every function the plug-in imports, as "dll!function" (dll in lower case).
std::vector<std::string> ListImports();

// ---- modal windows ----------------------------------------------------------------------
// While on, any dialog-class window (#32770) that becomes active on this thread is recorded
// and closed a short moment later: by its Cancel button when it has one, else by OK, else by
// WM_CLOSE, pressed again every second while it stays. A dialog still open giveUpAfterMs
// after it became active ends the process with kExitDialogDidNotClose and a message on
// standard error. Off forgets the dialogs not yet closed.
const int kExitDialogDidNotClose = 4;
struct ModalRecord {
    std::string caption;
    std::string text;     // the message-box text (static 0xFFFF), if any
    HWND owner;
    DWORD style, exStyle;
    int closedBy;         // IDCANCEL or IDOK: the button pressed; 0: WM_CLOSE
};
void SetAutoCloseModals(bool on, DWORD giveUpAfterMs = 10000);
// The plug-in's scan progress window (known by its folder and count lines), which waits for
// nobody and goes when the scan ends: auto-close leaves it alone.
bool IsScanProgressWindow(HWND window);
// A dialog (class #32770) of the calling thread. Under Wine a thread's CBT hook also sees
// other processes' windows become active: a dialog of another program on the same Wine server
// is not this thread's to drive, close or report.
bool IsDialogOfThisThread(HWND window);
const std::vector<ModalRecord> &ClosedModals();
void ClearClosedModals();

// ---- character codes for people ---------------------------------------------------------
// The host's Macintosh character set for typed texts: code page 10000 (Roman), 10007
// (Cyrillic) or 10029 (Central European); 0 passes bytes through.
std::string Utf8ToHost(const std::string &utf8, unsigned codePage);
std::string HostToUtf8(const std::string &host, unsigned codePage);

}  // namespace fmhost

#endif
