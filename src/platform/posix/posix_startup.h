// Start-up of the POSIX stand-ins, run by main before the program's entry.
#ifndef HUECAST_PLATFORM_POSIX_POSIX_STARTUP_H_
#define HUECAST_PLATFORM_POSIX_POSIX_STARTUP_H_

namespace huecast {

// Builds the command line from argv; ignores SIGPIPE and SIGXFSZ, so that a
// write into a pipe whose reader has gone or past the file-size limit fails
// instead of killing the process; reads NO_COLOR and TERM to decide whether
// the terminal gets colours. Refuses to start, with status 206, when the
// command line is too long.
void PosixStartup(int argc, const char* const* argv);

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_POSIX_STARTUP_H_
