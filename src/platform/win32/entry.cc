// The process entry of the Windows executable. The loader calls it directly
// (the link names it with -e), so no C runtime start-up runs: nothing is
// parsed, nothing is constructed, and the program reads its command line
// itself. The system C runtime (msvcrt.dll) initialises itself when loaded.
#include "driver/driver.h"

// Runs the program; it ends the process itself and never returns.
extern "C" [[noreturn]] void HuecastStart() {
  huecast::ProgramEntry();
}
