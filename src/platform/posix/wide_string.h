// Pieces of the wide-string routines that the platforms build on.
#ifndef HUECAST_PLATFORM_POSIX_WIDE_STRING_H_
#define HUECAST_PLATFORM_POSIX_WIDE_STRING_H_

namespace huecast {

// Copies a text and its terminator into a block of exactly that size from
// malloc, as _wcsdup does; null when no memory is left.
char16_t* PosixDuplicateText(const char16_t* text);

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_WIDE_STRING_H_
