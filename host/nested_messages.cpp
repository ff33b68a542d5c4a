// Messages the emulated host sends while a call of the plug-in is in progress: scheduled by a
// test, sent from a timer of a hidden message-only window of the emulator, so from inside
// whatever modal loop the plug-in runs at the time (see emulator.h for the rules).
#include <windows.h>
#include <string>
#include <vector>

#include "host/emulator.h"

namespace fmhost {

namespace {

const UINT_PTR kTimerId = 1;
const UINT kTickMs = 10;
const char kWindowClass[] = "fmhost nested messages";

HWND timerWindow = NULL;
bool timerRunning = false;
std::vector<NestedOutcome> outcomes;
std::vector<DWORD> scheduledAt;  // beside outcomes: GetTickCount when each was scheduled
unsigned clears = 0;             // tells a message in progress that its outcome was dropped

void StopTimer()
{
    if (timerRunning)
        KillTimer(timerWindow, kTimerId);
    timerRunning = false;
}

CallbackCounts CountsSince(const CallbackCounts &before)
{
    CallbackCounts now = Counts();
    CallbackCounts made;
    made.setSize = now.setSize - before.setSize;
    made.getSize = now.getSize - before.getSize;
    made.lock = now.lock - before.lock;
    made.unlock = now.unlock - before.unlock;
    made.memoryError = now.memoryError - before.memoryError;
    made.forbidden = now.forbidden - before.forbidden;
    return made;
}

// Sends outcome index's message and fills in what came of it. The vector may grow while the
// message runs (a test may schedule more from inside it), so the outcome is found again after.
void Send(size_t index)
{
    outcomes[index].state = NestedState::kSending;
    outcomes[index].depth = MessagesInProgress();
    NestedOutcome message = outcomes[index];
    unsigned clearsBefore = clears;
    size_t violationsBefore = Violations().size();
    CallbackCounts countsBefore = Counts();
    CallResult result = CallResult();
    switch (message.kind) {
    case NestedKind::kIdle: SendIdle(0); break;
    case NestedKind::kFunction: result = CallFunction(message.functionId, message.parameter); break;
    case NestedKind::kPreferences: SendPreferences(); break;
    }
    if (clears != clearsBefore)
        return;  // cleared while it ran
    NestedOutcome &outcome = outcomes[index];
    outcome.result = result;
    outcome.counts = CountsSince(countsBefore);
    const std::vector<std::string> &all = Violations();
    for (size_t i = violationsBefore; i < all.size(); i++)
        outcome.violations.push_back(all[i]);
    outcome.state = NestedState::kSent;
}

// One tick: the first message still waiting goes out when its time has come and a call is in
// progress. Re-entered from inside a message that runs a modal loop of its own.
void Tick()
{
    size_t next = 0;
    while (next < outcomes.size() && outcomes[next].state != NestedState::kWaiting)
        next++;
    if (next == outcomes.size()) {
        StopTimer();
        return;
    }
    if (GetTickCount() - scheduledAt[next] < outcomes[next].delayMs || MessagesInProgress() == 0)
        return;
    Send(next);
}

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == kTimerId) {
        Tick();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

size_t Schedule(NestedKind kind, DWORD delayMs, uint32_t functionId, const std::string &parameter)
{
    if (timerWindow == NULL) {
        WNDCLASSA windowClass = WNDCLASSA();
        windowClass.lpfnWndProc = TimerWindowProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);  // fails harmlessly when already registered
        // Message-only: the plug-in's search for the host's main window never finds it.
        timerWindow = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                      GetModuleHandleA(NULL), NULL);
    }
    NestedOutcome outcome = NestedOutcome();
    outcome.kind = kind;
    outcome.functionId = functionId;
    outcome.parameter = parameter;
    outcome.delayMs = delayMs;
    outcome.state = NestedState::kWaiting;
    outcomes.push_back(outcome);
    scheduledAt.push_back(GetTickCount());
    if (!timerRunning && timerWindow != NULL)
        timerRunning = SetTimer(timerWindow, kTimerId, kTickMs, NULL) != 0;
    return outcomes.size() - 1;
}

}  // namespace

size_t ScheduleNestedIdle(DWORD delayMs) { return Schedule(NestedKind::kIdle, delayMs, 0, ""); }

size_t ScheduleNestedCall(DWORD delayMs, uint32_t functionId, const std::string &parameter)
{
    return Schedule(NestedKind::kFunction, delayMs, functionId, parameter);
}

size_t ScheduleNestedPreferences(DWORD delayMs)
{
    return Schedule(NestedKind::kPreferences, delayMs, 0, "");
}

const std::vector<NestedOutcome> &NestedOutcomes() { return outcomes; }

void ClearNestedMessages()
{
    StopTimer();
    outcomes.clear();
    scheduledAt.clear();
    clears++;
}

}  // namespace fmhost
