// Console control events on POSIX: SIGINT, SIGQUIT, SIGHUP and SIGTERM stand
// for Ctrl+C, Ctrl+Break, the close event and the shutdown event. A signal
// handler calls the registered routines with the event code, newest first,
// on whatever the thread was doing; when none handles the event, it ends the
// process by the signal. No thread waits for the signals: the handler acts
// at once, also in a write that blocks, and what it runs must be
// async-signal-safe. The program's one routine, for the close event, runs
// the end routine: an atomic guard and the destruction of a heap, which
// inside the handler frees nothing (freeing could break into the allocator
// that the signal interrupted) and leaves the memory to the process end
// that follows. A signal that the process inherited as ignored or blocked
// stays so and is no event.
#ifndef HUECAST_PLATFORM_POSIX_CONTROL_EVENTS_H_
#define HUECAST_PLATFORM_POSIX_CONTROL_EVENTS_H_

#include "platform/platform.h"

namespace huecast {

// Adds or removes a routine; the first addition installs the handler.
BOOL RegisterControlRoutine(PHANDLER_ROUTINE routine, BOOL add);
// Returns the event code of a signal, or -1 for a signal that is no event.
int ControlEventOf(int signalNumber);
// Tells whether the control-signal handler is running: what it calls must be
// async-signal-safe.
bool HandlingControlSignal();
// Empties the routine table, as it is when the process starts. The handler,
// once installed, stays: it mirrors the signals' dispositions, which the
// process keeps, and finds no routine.
void ZeroControlRecord();

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_CONTROL_EVENTS_H_
