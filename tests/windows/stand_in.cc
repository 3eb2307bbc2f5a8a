// HuecastStandIn.exe: stands in for a Huecast.exe that fails the way the
// acceptance program must survive. With standard output on a pipe it never
// ends; on a file it crashes; anywhere else it ends with exit code 0.
#include <windows.h>

// Picks the fault by the kind of standard output; never returns.
extern "C" [[noreturn]] void StandInStart() {
  const DWORD kind = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE));
  if (kind == FILE_TYPE_PIPE) {
    for (;;) Sleep(INFINITE);
  }
  if (kind == FILE_TYPE_DISK) {
    // An address the compiler cannot see, in the page that is never mapped.
    volatile ULONG_PTR nowhere = 16;
    *reinterpret_cast<volatile int*>(nowhere) = 1;
  }
  ExitProcess(0);
}
