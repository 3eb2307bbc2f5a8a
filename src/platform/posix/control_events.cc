#include "platform/posix/control_events.h"

#include <pthread.h>
#include <signal.h>

namespace huecast {

namespace {

struct SignalEvent {
  int signalNumber;
  DWORD event;
};

constexpr SignalEvent kSignalEvents[] = {
    {SIGINT, CTRL_C_EVENT},
    {SIGQUIT, CTRL_BREAK_EVENT},
    {SIGHUP, CTRL_CLOSE_EVENT},
    {SIGTERM, CTRL_SHUTDOWN_EVENT},
};

constexpr int kMostRoutines = 16;
constexpr size_t kControlThreadStack = 64 * 1024;

struct ControlRecord {
  pthread_mutex_t lock;                      // guards the routines and the start
  pthread_mutex_t dispatch;                  // held while an event is dispatched
  PHANDLER_ROUTINE routines[kMostRoutines];  // in order of registration
  int count;                                 // routines registered
  bool started;                              // the control thread runs or has nothing to take
  sigset_t taken;                            // the signals the control thread waits for
};

ControlRecord Control = {
    .lock = PTHREAD_MUTEX_INITIALIZER,
    .dispatch = PTHREAD_MUTEX_INITIALIZER,
    .routines = {},
    .count = 0,
    .started = false,
    .taken = {},
};

// Collects the event signals that the process inherited neither ignored nor
// blocked and returns how many there are; runs while the mask is still the
// inherited one. The others are left as they are. An ignored one, blocked for
// sigwait, would stay pending and be taken, so that a run under nohup or after
// trap '' INT would still end by it; a blocked one must stay pending for the
// caller, as it does for any program.
int CollectEventSignals(sigset_t* set) {
  sigemptyset(set);
  sigset_t inherited;
  sigemptyset(&inherited);
  pthread_sigmask(SIG_BLOCK, nullptr, &inherited);
  int count = 0;
  for (const SignalEvent& entry : kSignalEvents) {
    struct sigaction current {};
    if (sigaction(entry.signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    if (sigismember(&inherited, entry.signalNumber) == 1) continue;
    sigaddset(set, entry.signalNumber);
    ++count;
  }
  return count;
}

bool Dispatch(DWORD event) {
  pthread_mutex_lock(&Control.lock);
  PHANDLER_ROUTINE routines[kMostRoutines];
  const int count = Control.count;
  for (int i = 0; i < count; ++i) routines[i] = Control.routines[i];
  pthread_mutex_unlock(&Control.lock);
  for (int i = count - 1; i >= 0; --i) {
    if (routines[i](event) != FALSE) return true;
  }
  return false;
}

// Ends the process by a signal, as the default handling would have.
[[noreturn]] void EndBySignal(int signalNumber) {
  signal(signalNumber, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signalNumber);
  // A signal whose default is to be ignored cannot reach here; stop anyway.
  for (;;) pause();
}

void* ControlThread(void*) {
  for (;;) {
    int signalNumber = 0;
    if (sigwait(&Control.taken, &signalNumber) != 0) continue;
    const int event = ControlEventOf(signalNumber);
    if (event < 0) continue;
    pthread_mutex_lock(&Control.dispatch);
    if (!Dispatch(static_cast<DWORD>(event))) EndBySignal(signalNumber);
    pthread_mutex_unlock(&Control.dispatch);
  }
  return nullptr;
}

bool StartControlThread() {
  // With every event signal ignored or blocked there is nothing to take.
  if (CollectEventSignals(&Control.taken) == 0) return true;
  // Blocked here before the thread exists, so every thread inherits the mask
  // and only the control thread takes these signals.
  const sigset_t set = Control.taken;
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kControlThreadStack);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const bool started = pthread_create(&thread, &attributes, ControlThread, nullptr) == 0;
  pthread_attr_destroy(&attributes);
  // Without a thread to take them, the signals keep their default effect.
  if (!started) pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  return started;
}

}  // namespace

int ControlEventOf(int signalNumber) {
  for (const SignalEvent& entry : kSignalEvents) {
    if (entry.signalNumber == signalNumber) return static_cast<int>(entry.event);
  }
  return -1;
}

BOOL RegisterControlRoutine(PHANDLER_ROUTINE routine, BOOL add) {
  if (routine == nullptr) return FALSE;
  BOOL result = FALSE;
  pthread_mutex_lock(&Control.lock);
  if (add != FALSE) {
    if (Control.count < kMostRoutines) {
      Control.routines[Control.count++] = routine;
      result = TRUE;
      if (!Control.started) Control.started = StartControlThread();
    }
  } else {
    for (int i = Control.count - 1; i >= 0; --i) {
      if (Control.routines[i] != routine) continue;
      for (int j = i; j + 1 < Control.count; ++j) Control.routines[j] = Control.routines[j + 1];
      --Control.count;
      result = TRUE;
      break;
    }
  }
  pthread_mutex_unlock(&Control.lock);
  return result;
}

void AwaitControlDispatch() {
  pthread_mutex_lock(&Control.dispatch);
  pthread_mutex_unlock(&Control.dispatch);
}

}  // namespace huecast
