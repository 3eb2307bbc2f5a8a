// The string work area: one growable buffer of UTF-16 units in which every
// text expression is evaluated, and the heap-owned string variables that
// keep a text beyond one statement.
#ifndef HUECAST_TEXT_STRING_WORK_AREA_H_
#define HUECAST_TEXT_STRING_WORK_AREA_H_

#include <cstdint>

#include "platform/platform.h"

namespace huecast {

struct StringWorkAreaRecord {
  char16_t* base;         // start of the buffer on StringHeap; moves when it grows
  std::int64_t position;  // byte offset at which the next result is written
  std::int64_t capacity;  // size the growth test of ReserveText works with
  HANDLE heap;            // StringHeap
  std::int64_t failures;  // times StringHeap or _wcsdup could not supply memory;
                          // a result produced then was cut short
};

extern StringWorkAreaRecord StringWorkArea;

// Bytes a growing buffer gets beyond the need.
inline constexpr std::int64_t kGrowthMargin = 16384;
// Bytes the buffer really has beyond its capacity.
inline constexpr std::int64_t kSlackBytes = 10;

// A pointer slot owning a zero-terminated text on StringHeap; null reads as
// the empty text.
using StringVariable = char16_t*;

// Creates StringHeap and the first 16-byte buffer.
void StringWorkAreaStartup();
// Frees the buffer, then destroys StringHeap with every variable's buffer.
void StringWorkAreaShutdown();

// Makes room for count units at pos and moves the position behind them.
// Returns base + pos, or null when the heap cannot grow the buffer; the text
// at pos is then the empty text and the position is pos.
// pos must lie from 0 to the current position (checked in debug builds): the
// growth is counted from the current position, so room beyond it is never
// made. Positions are even; an odd pos names the unit its byte falls in
// (pos - 1), and the position left behind is odd and rounds down alike.
char16_t* ReserveText(std::int32_t count, std::int32_t pos);
// Hands back count units at the end of the occupied part; returns the position.
std::int64_t GiveBackText(std::int32_t count);
// Returns the work-area reference of a pointer: 0 outside the occupied part,
// otherwise its byte offset plus 1.
std::int64_t WorkAreaOffset(const void* pointer);
// Turns a work-area reference back into a pointer.
char16_t* WorkAreaPointer(std::int32_t reference);
// Returns the text that begins at a work-area position, computed afresh
// because the buffer may have moved; null when there is no buffer at all.
char16_t* TextAt(std::int64_t pos);

// Copies count units and writes a zero behind them.
void CopyChars(char16_t* destination, const char16_t* source, std::int32_t count);
// Appends a text (outside the work area) at the current position.
void PushText(const char16_t* text);
// Stores the text from start up to the position in a variable; position := start.
void AssignString(StringVariable* variable, std::int32_t start);

}  // namespace huecast

#endif  // HUECAST_TEXT_STRING_WORK_AREA_H_
