// The program's parameters, taken from the process command line. Nothing is
// cached: every fetch scans the command line from its first character.
#ifndef HUECAST_PARAMS_PARAMETERS_H_
#define HUECAST_PARAMS_PARAMETERS_H_

#include <cstdint>

#include "platform/platform.h"

namespace huecast {

// The per-thread parameter block: 24 zero-filled bytes from MainHeap.
struct ParameterCursorBlock {
  std::int32_t next;           // number of the next parameter to fetch
  unsigned char reserved[20];  // unused, stays zero
};

extern ParameterCursorBlock* ParameterCursor;
// Stands in for the cursor block when MainHeap cannot supply it, so that
// fetching still works.
extern ParameterCursorBlock FallbackCursor;
// The process lock that belongs with ProcessObjects; never entered.
extern CRITICAL_SECTION ProcessLock;

// Creates the cursor, the process-object registry and the process lock.
void ParameterSupportStartup();
// Scans the command line. Fetch mode (length given): returns the address of
// the token the cursor names, as an integer, and stores its length (0 at
// the end of the line when there is none). Count mode (null): returns the
// number of parameters, -1 for an entirely empty command line.
std::intptr_t ScanCommandLine(std::int32_t* length);
// Writes the parameter the cursor names at pos and returns the copy.
char16_t* NextParameter(std::int32_t pos);
// Sets the cursor to number (when 0 or more), then as NextParameter.
char16_t* ParameterAt(std::int32_t number, std::int32_t pos);
// Returns the number of parameters.
std::int64_t CountParameters();

}  // namespace huecast

#endif  // HUECAST_PARAMS_PARAMETERS_H_
