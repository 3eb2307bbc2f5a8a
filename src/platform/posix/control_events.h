// Console control events on POSIX: a thread of its own takes SIGINT,
// SIGQUIT, SIGHUP and SIGTERM with sigwait and calls the registered routines
// with the matching event code, newest routine first. When none of them
// handles the event, the process ends by the signal. A signal that the
// process inherited as ignored or blocked stays so and is no event.
#ifndef HUECAST_PLATFORM_POSIX_CONTROL_EVENTS_H_
#define HUECAST_PLATFORM_POSIX_CONTROL_EVENTS_H_

#include "platform/platform.h"

namespace huecast {

// Adds or removes a routine; the first addition starts the control thread.
BOOL RegisterControlRoutine(PHANDLER_ROUTINE routine, BOOL add);
// Returns the event code of a signal, or -1 for a signal that is no event.
int ControlEventOf(int signalNumber);
// Waits until no event is being dispatched, so that a process end does not
// overtake the end by signal that a dispatch may lead to.
void AwaitControlDispatch();

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_CONTROL_EVENTS_H_
