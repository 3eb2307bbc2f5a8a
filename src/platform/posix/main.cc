// The POSIX entry point: set up the stand-ins, then run the program.
#include "driver/driver.h"
#include "platform/posix/posix_startup.h"

int main(int argc, char** argv) {
  huecast::PosixStartup(argc, argv);
  huecast::ProgramEntry();
}
