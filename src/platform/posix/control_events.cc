#include "platform/posix/control_events.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

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

// The handler reads the table without a lock, so every field it reads is a
// lock-free atomic: safe in a signal handler and free of data races.
static_assert(std::atomic<PHANDLER_ROUTINE>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

struct ControlRecord {
  pthread_mutex_t lock;  // serialises registrations; the handler never takes it
  std::atomic<PHANDLER_ROUTINE> routines[kMostRoutines];  // in order of registration
  std::atomic<int> count;     // routines registered, published after the routine itself
  bool taking;                // the handler is installed for the event signals
  std::atomic<int> handling;  // handler invocations under way
};

ControlRecord Control = {
    .lock = PTHREAD_MUTEX_INITIALIZER,
    .routines = {},
    .count = 0,
    .taking = false,
    .handling = 0,
};

sigset_t EventSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const SignalEvent& entry : kSignalEvents) sigaddset(&set, entry.signalNumber);
  return set;
}

// Ends the process by a signal, as the default handling would have. The
// first process of a PID namespace is not ended by a signal at its default,
// even one it sends itself; it exits with the status a shell reports for
// death by that signal instead.
[[noreturn]] void EndBySignal(int signalNumber) {
  signal(signalNumber, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signalNumber);
  _exit(128 + signalNumber);
}

// Calls the routines, newest first, until one handles the event; when none
// does, the process ends by the signal. The other event signals wait in the
// handler's mask, so one event is dispatched at a time.
void TakeControlSignal(int signalNumber) {
  const int savedErrno = errno;
  Control.handling.fetch_add(1);
  const auto event = static_cast<DWORD>(ControlEventOf(signalNumber));
  bool handled = false;
  for (int i = Control.count.load(std::memory_order_acquire) - 1; i >= 0 && !handled; --i) {
    handled = Control.routines[i].load(std::memory_order_relaxed)(event) != FALSE;
  }
  if (!handled) EndBySignal(signalNumber);
  Control.handling.fetch_sub(1);
  errno = savedErrno;
}

// Installs the handler for each event signal that the process inherited
// neither blocked nor ignored; runs with the event signals blocked, and
// `inherited` is the mask from before. A blocked one must stay pending for
// the caller, as it does for any program; an ignored one (nohup, trap '' INT)
// gets its disposition back at once, which also discards one that arrived
// meanwhile, so nothing is taken.
void TakeEventSignals(const sigset_t& inherited) {
  struct sigaction take {};
  take.sa_handler = TakeControlSignal;
  take.sa_mask = EventSignals();
  // A write that a routine let go on resumes where it was.
  take.sa_flags = SA_RESTART;
  for (const SignalEvent& entry : kSignalEvents) {
    if (sigismember(&inherited, entry.signalNumber) == 1) continue;
    struct sigaction previous {};
    if (sigaction(entry.signalNumber, &take, &previous) != 0) continue;
    if (previous.sa_handler == SIG_IGN) sigaction(entry.signalNumber, &previous, nullptr);
  }
}

bool AddRoutine(PHANDLER_ROUTINE routine) {
  const int count = Control.count.load(std::memory_order_relaxed);
  if (count == kMostRoutines) return false;
  Control.routines[count].store(routine, std::memory_order_relaxed);
  Control.count.store(count + 1, std::memory_order_release);
  return true;
}

bool RemoveRoutine(PHANDLER_ROUTINE routine) {
  const int count = Control.count.load(std::memory_order_relaxed);
  for (int i = count - 1; i >= 0; --i) {
    if (Control.routines[i].load(std::memory_order_relaxed) != routine) continue;
    for (int j = i; j + 1 < count; ++j) {
      Control.routines[j].store(Control.routines[j + 1].load(std::memory_order_relaxed),
                                std::memory_order_relaxed);
    }
    Control.count.store(count - 1, std::memory_order_release);
    return true;
  }
  return false;
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
  // Held back while the table changes, so that the handler, which may run on
  // this thread, never finds it half changed.
  const sigset_t events = EventSignals();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &events, &previous);
  pthread_mutex_lock(&Control.lock);
  const bool done = add != FALSE ? AddRoutine(routine) : RemoveRoutine(routine);
  // Installed after the first routine is in the table: the handler always
  // finds one.
  if (done && add != FALSE && !Control.taking) {
    Control.taking = true;
    TakeEventSignals(previous);
  }
  pthread_mutex_unlock(&Control.lock);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return done ? TRUE : FALSE;
}

bool HandlingControlSignal() {
  return Control.handling.load() != 0;
}

// The entries stay as they were: a handler that read the old count just
// before still calls a routine, never a null entry.
void ZeroControlRecord() {
  pthread_mutex_lock(&Control.lock);
  Control.count.store(0, std::memory_order_release);
  pthread_mutex_unlock(&Control.lock);
}

}  // namespace huecast
