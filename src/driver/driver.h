// The command driver: the entry routine, start-up and shutdown order, the
// help screen, the loop over code/string pairs and the exit status.
#ifndef HUECAST_DRIVER_DRIVER_H_
#define HUECAST_DRIVER_DRIVER_H_

#include <cstdint>

#include "platform/platform.h"
#include "text/string_work_area.h"

namespace huecast {

// The driver's process-wide variables, all zeroed first thing in ProgramEntry
// (ZeroProcessRecords).
extern HANDLE MainHeap;            // private heap of the cursor, registry and line buffers
extern std::int64_t Code;          // colour code of the current pair, as decoded
extern std::int64_t Background;    // Code shifted right by 4
extern std::int64_t Foreground;    // Code AND 15
extern std::int64_t ExitStatus;    // result accumulator, handed to the process end
extern std::int64_t PrintedCount;  // non-empty strings written so far
extern std::int64_t ParamIndex;    // next parameter to fetch (0 = first after the path)
extern StringVariable Argument;    // text of the parameter just fetched

// Bits and values of ExitStatus.
constexpr std::int64_t kExitSameColours = 1;  // a code named one colour for text and background
constexpr std::int64_t kExitTextLost = 2;     // some text could not be delivered
constexpr std::int64_t kExitHelp = 255;       // the help screen was shown

// Runs start-up, the command and shutdown, and ends the process with the
// low 32 bits of ExitStatus.
[[noreturn]] void ProgramEntry();
// Zeroes every process-wide record: the driver's variables, then each
// subsystem's record, then the platform layer's. ProgramEntry calls it
// first, so that every run in a process begins as the process's first did.
void ZeroProcessRecords();
// Releases what the libraries keep until the very end: destroys MemoryHeap.
// Runs its work once, however often and from whichever thread it is called.
void RunEndRoutines();

}  // namespace huecast

#endif  // HUECAST_DRIVER_DRIVER_H_
