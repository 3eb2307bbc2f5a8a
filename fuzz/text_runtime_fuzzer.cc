// Fuzzes the text runtime with random sequences of operations that keep the
// evaluation discipline: pushes, leading units, replacement in every
// overload and mode, conversion in all three formats, reservations, given
// back units, assignments to variables and setting the position back. Every
// result is compared with std::u16string references, and after every
// operation the work area must hold exactly the modelled units and keep its
// growth rules. An operation may be told that its next allocation fails.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "fake/fake_platform.h"
#include "platform/platform.h"
#include "platform/posix/code_page.h"
#include "platform/posix/heap.h"
#include "reference.h"
#include "text/string_work_area.h"
#include "text/text_operations.h"

using huecast::StringWorkArea;
using huecast_fuzz::ByteReader;
using huecast_fuzz::Check;
using huecast_fuzz::CompactUnit;
using huecast_fuzz::Fold;
using huecast_fuzz::ReferenceParse;
using huecast_fuzz::ReferenceReplace;
using huecast_fuzz::UpToZero;

namespace {

constexpr int kVariables = 4;
// Units the operations and the model may touch in one run, searches counted
// at their worst (source by find): enough for several growths of the
// buffer, little enough that a run takes well under a second.
constexpr std::int64_t kWorkBudget = 1000000;

char16_t FlipCase(char16_t unit) {
  return Fold(unit) >= u'a' && Fold(unit) <= u'z' ? static_cast<char16_t>(unit ^ 32) : unit;
}

// A text argument: its pointer (computed just before the call for texts in
// the work area) and the text it reads as.
struct Argument {
  const char16_t* pointer;
  std::u16string text;
  std::int64_t segment;  // index of the work-area segment it begins at, or -1
};

struct Harness {
  ByteReader* in;
  std::u16string area;              // the occupied units, [0, position / 2)
  std::vector<std::size_t> starts;  // where the results in the area begin, ascending
  bool terminated;                  // a zero stands at the position
  huecast::StringVariable variables[kVariables];
  std::u16string stored[kVariables];   // the variables' units, by count
  std::deque<std::u16string> outside;  // texts outside the work area, kept alive
  mutable std::int64_t work;           // units touched so far, against kWorkBudget

  // Fails unless the work area holds exactly the modelled units.
  void CheckArea(const char* what) const {
    Check(StringWorkArea.position == 2 * static_cast<std::int64_t>(area.size()), what);
    Check(std::memcmp(StringWorkArea.base, area.data(), 2 * area.size()) == 0, what);
    if (terminated) Check(StringWorkArea.base[area.size()] == 0, what);
    Check(StringWorkArea.position < StringWorkArea.capacity - 4, "terminator room");
  }

  // Returns the text that begins at a unit of the area, as operations read it.
  std::u16string TextFrom(std::size_t unit) const {
    std::size_t end = area.find(u'\0', unit);
    if (end == std::u16string::npos) end = area.size();
    work += static_cast<std::int64_t>(end - unit);
    return area.substr(unit, end - unit);
  }

  // Reads a start or count for a text of length units: half the time one of
  // the edges where faults hide, otherwise a small number of either sign.
  std::int32_t Number(std::size_t length) {
    const std::uint8_t kind = in->Byte();
    const auto units = static_cast<std::int64_t>(length);
    const std::int64_t edges[] = {-2, -1, 0, 1, units, units + 1, INT32_MAX, INT32_MIN};
    if (kind < 0x80) return static_cast<std::int32_t>(edges[kind % 8]);
    return ((kind & 0x7F) - 64) / 4;
  }

  // Keeps a text outside the work area alive and returns it as an argument.
  Argument Keep(const std::u16string& text) {
    outside.push_back(text);
    return {outside.back().c_str(), text, -1};
  }

  // Makes a text outside the work area: null, short, or long enough to
  // make the buffer grow.
  Argument Outside() {
    const std::uint8_t length = in->Byte();
    if (length == 0xFF) return {nullptr, u"", -1};
    std::u16string text;
    if ((length & 0x80) != 0) {
      const std::uint8_t unit = in->Byte();
      text.assign(static_cast<std::size_t>(length & 0x7F) * 97, CompactUnit(unit));
    } else {
      for (int i = 0; i < (length & 15); ++i) text += CompactUnit(in->Byte());
    }
    return Keep(text);
  }

  // Picks find: about half the time a slice of the source, at an offset and
  // of a length the input chooses, its letters' case flipped now and then,
  // so that the search finds something; otherwise as Pick, or, outside the
  // work area only, as Outside.
  Argument PickFind(const std::u16string& source, bool workArea) {
    const std::uint8_t kind = in->Byte();
    if ((kind & 1) == 0) return workArea ? Pick(true) : Outside();
    const std::size_t offset = in->Byte() * source.size() / 255;
    std::u16string text = source.substr(offset, (kind >> 2) % 8 + 1);
    if ((kind & 2) != 0) std::transform(text.begin(), text.end(), text.begin(), FlipCase);
    return Keep(text);
  }

  // Picks an argument: outside text, a variable or, when allowed, a text in
  // the work area.
  Argument Pick(bool workArea) {
    const std::uint8_t kind = in->Byte();
    if (workArea && !starts.empty() && (kind & 3) == 3) {
      const std::size_t i = (kind >> 2) % starts.size();
      return {nullptr, TextFrom(starts[i]), static_cast<std::int64_t>(i)};
    }
    const int k = (kind >> 2) % kVariables;
    if ((kind & 3) == 2) return {variables[k], UpToZero(stored[k]), -1};
    return Outside();
  }

  // Turns a work-area argument into a pointer, valid until the next reservation.
  const char16_t* Resolve(const Argument& argument) const {
    if (argument.segment < 0) return argument.pointer;
    return huecast::TextAt(2 * static_cast<std::int64_t>(starts[argument.segment]));
  }

  // Picks where a result goes: the position, or the start of an earlier
  // result that it replaces (with all that follows), never beyond limit.
  std::size_t PickPosition(std::size_t limit) {
    const std::uint8_t kind = in->Byte();
    if (starts.empty() || (kind & 3) != 0) return area.size() < limit ? area.size() : limit;
    std::size_t unit = starts[(kind >> 2) % starts.size()];
    return unit < limit ? unit : limit;
  }

  // Records a result at unit pos in the model.
  void Produced(std::size_t pos, const std::u16string& result) {
    Truncate(pos);
    starts.push_back(pos);
    area += result;
    terminated = true;
  }

  // Drops the modelled units from unit on, and the results that begin there.
  void Truncate(std::size_t unit) {
    area.resize(unit);
    while (!starts.empty() && starts.back() >= unit) starts.pop_back();
    terminated = false;
  }
};

// Replaces through the overload the input chose; the shorter ones supply
// their defaults (the plain one has no mode, so it never replaces in place).
void ReplaceBy(int overload, const char16_t* s, const char16_t* f, const char16_t* r,
               std::int32_t mode, std::int32_t start, std::int32_t count, std::int32_t at) {
  if (overload == 0) huecast::ReplaceText(s, f, r, mode, start, count, at);
  if (overload == 1) huecast::ReplaceText(s, f, r, mode, start, at);
  if (overload == 2) huecast::ReplaceText(s, f, r, mode, at);
  if (overload == 3) huecast::ReplaceText(s, f, r, at);
}

// Makes the next allocation (HeapAlloc, HeapReAlloc or _wcsdup) fail, or
// lets every allocation succeed.
void FailNextAllocation(bool fail) {
  huecast::Fake.failAllocation = fail ? huecast::Fake.allocations + 1 : 0;
}

// Tells whether the allocation set to fail has been made, and so failed.
bool NextAllocationFailed() {
  return huecast::Fake.failAllocation != 0 &&
         huecast::Fake.allocations >= huecast::Fake.failAllocation;
}

void CheckGrowth(std::int64_t positionBefore, std::int64_t capacityBefore, std::int64_t reserved,
                 bool failed) {
  const std::int64_t need = positionBefore + 2 * reserved;
  if (reserved >= 0 && !failed && need >= capacityBefore - 4) {
    Check(StringWorkArea.capacity == need + huecast::kGrowthMargin, "capacity grows by the margin");
    Check(huecast::PosixHeapBlockBytes(StringWorkArea.base) ==
              static_cast<std::size_t>(StringWorkArea.capacity + huecast::kSlackBytes),
          "buffer is capacity + 10 bytes");
  } else {
    Check(StringWorkArea.capacity == capacityBefore, "capacity unchanged");
  }
}

std::int64_t Push(Harness* h, bool* produced, std::size_t* pos) {
  const Argument argument = h->Pick(false);
  *pos = h->area.size();
  huecast::PushText(argument.pointer);
  h->work += static_cast<std::int64_t>(argument.text.size());
  *produced = true;
  h->Produced(*pos, argument.text);
  return argument.pointer == nullptr ? -1 : static_cast<std::int64_t>(argument.text.size());
}

std::int64_t Left(Harness* h, bool* produced, std::size_t* pos) {
  const Argument argument = h->Pick(true);
  const std::int32_t count = h->Number(argument.text.size());
  const std::size_t limit = argument.segment < 0 ? h->area.size() : h->starts[argument.segment];
  *pos = h->PickPosition(limit);
  huecast::LeftText(h->Resolve(argument), count, static_cast<std::int32_t>(2 * *pos));
  std::int64_t keep = count < 0 ? 0 : count;
  if (keep > static_cast<std::int64_t>(argument.text.size())) keep = argument.text.size();
  *produced = true;
  h->Produced(*pos, argument.text.substr(0, static_cast<std::size_t>(keep)));
  return keep;
}

// Bounds the search: it compares find at every unit, so two long texts would
// take minutes, and a long find is only useful against a short source. The
// search's worst case is charged to the run's budget.
Argument BoundedFind(Harness* h, const Argument& find, std::size_t sourceUnits) {
  const bool bounded = find.text.size() * sourceUnits > 1000000;
  h->work += static_cast<std::int64_t>(sourceUnits * ((bounded ? 2 : find.text.size()) + 1));
  return bounded ? Argument{u"aX", u"aX", -1} : find;
}

std::int64_t Replace(Harness* h, bool inPlace, bool* produced, std::size_t* pos) {
  const std::uint8_t shape = h->in->Byte();
  const int overload = inPlace ? shape % 3 : shape % 4;
  std::int32_t mode = (shape >> 2) & 1;
  mode |= static_cast<std::int32_t>(h->in->Byte() & 0xF0) << 4;  // ignored bits
  if (inPlace) mode |= huecast::kReplaceInPlace;
  if (overload == 3) mode = 0;
  const bool ignoreCase = (mode & 1) != 0;

  if (inPlace) {
    // A writable source: a text in the work area or a variable, and its model.
    const std::uint8_t which = h->in->Byte();
    const bool inArea = !h->starts.empty() && (which & 1) != 0;
    const int k = (which >> 1) % kVariables;
    const std::size_t unit = inArea ? h->starts[(which >> 1) % h->starts.size()] : 0;
    std::u16string* model = inArea ? &h->area : &h->stored[k];
    const std::u16string before = inArea ? h->TextFrom(unit) : UpToZero(*model);
    const std::int32_t start = overload <= 1 ? h->Number(before.size()) : 1;
    const std::int32_t count = overload == 0 ? h->Number(before.size()) : -1;
    const Argument find = BoundedFind(h, h->PickFind(before, false), before.size());
    Argument replacement = h->Outside();
    // Only a replacement of find's length changes anything in place.
    if (h->in->Byte() % 4 != 0) {
      std::u16string fitted = replacement.text;
      fitted.resize(find.text.size(), u'#');
      replacement = h->Keep(fitted);
    }
    char16_t* source =
        inArea ? huecast::TextAt(2 * static_cast<std::int64_t>(unit)) : h->variables[k];
    ReplaceBy(overload, source, find.pointer, replacement.pointer, mode, start, count, 0);
    const std::u16string after =
        ReferenceReplace(before, find.text, replacement.text, ignoreCase, start, count, true);
    model->replace(unit, after.size(), after);
    if (source != nullptr) Check(std::u16string(source, after.size()) == after, "in place");
    *produced = false;
    return -1;
  }

  const Argument source = h->Pick(true);
  const std::int32_t start = overload <= 1 ? h->Number(source.text.size()) : 1;
  const std::int32_t count = overload == 0 ? h->Number(source.text.size()) : -1;
  const Argument find = BoundedFind(h, h->PickFind(source.text, true), source.text.size());
  Argument replacement = h->Pick(true);
  // Each occurrence may be as short as one unit, so a long replacement in a
  // long source would make a result too large to model.
  if (replacement.text.size() * source.text.size() > 1000000) replacement = {u"Y", u"Y", -1};
  *pos = h->PickPosition(h->area.size());
  const auto at = static_cast<std::int32_t>(2 * *pos);
  ReplaceBy(overload, h->Resolve(source), h->Resolve(find), h->Resolve(replacement), mode, start,
            count, at);
  const std::u16string result =
      ReferenceReplace(source.text, find.text, replacement.text, ignoreCase, start, count, false);
  h->work += static_cast<std::int64_t>(result.size());
  *produced = true;
  h->Produced(*pos, result);
  return static_cast<std::int64_t>(result.size());
}

std::int64_t Convert(Harness* h, bool* produced, std::size_t* pos) {
  const std::uint8_t shape = h->in->Byte();
  constexpr std::int32_t kFormats[] = {huecast::kConvertUtf16, huecast::kConvertUtf8,
                                       huecast::kConvertAnsi};
  // Any other format is ANSI.
  const std::int32_t format = (shape & 3) == 3 ? 7 + (shape >> 4) : kFormats[shape & 3];
  const bool null = (shape & 12) == 12;
  const bool utf16 = format == huecast::kConvertUtf16;
  const std::uint8_t sizeKind = h->in->Byte();
  const std::uint8_t size = sizeKind & 31;
  const std::uint8_t lengthKind = h->in->Byte();
  std::int64_t length = lengthKind == 0xFF ? -1 : lengthKind == 0xFE ? -5 : lengthKind % (size + 4);

  // The memory: generated, or (bit 5) the text at a result in the work area
  // from a byte offset on (even for units), which the result may overwrite
  // or the growth move. It ends with a zero, so -1 finds an end.
  std::string memory;
  std::int64_t offset = -1;
  if ((sizeKind & 0x20) != 0 && !h->starts.empty() && !null) {
    const std::size_t unit = h->starts[h->in->Byte() % h->starts.size()];
    const std::u16string text = h->TextFrom(unit);
    const std::size_t skip = h->in->Byte() % (2 * text.size() + 1) & (utf16 ? ~1u : ~0u);
    offset = 2 * static_cast<std::int64_t>(unit) + static_cast<std::int64_t>(skip);
    memory.assign(reinterpret_cast<const char*>(text.data()) + skip, 2 * text.size() - skip);
  } else {
    for (int i = 0; i < size; ++i) {
      const std::uint8_t byte = h->in->Byte();
      const char16_t unit = byte == 0xFF ? u'\0' : CompactUnit(byte);
      memory.append(
          utf16 ? reinterpret_cast<const char*>(&unit) : reinterpret_cast<const char*>(&byte),
          utf16 ? 2 : 1);
    }
  }
  memory.append(utf16 || offset >= 0 ? 2 : 1, '\0');
  // The memory holds length bytes (units for UTF-16) at least, or a zero.
  if (!utf16 && length > static_cast<std::int64_t>(memory.size())) length = memory.size();
  h->work += static_cast<std::int64_t>(memory.size());
  h->outside.emplace_back(memory.size() / 2 + 1, u'\0');  // kept alive, aligned for units
  char* kept = reinterpret_cast<char*>(h->outside.back().data());
  std::copy(memory.begin(), memory.end(), kept);

  *pos = h->PickPosition(h->area.size());
  const char* address =
      offset < 0 ? kept : reinterpret_cast<const char*>(StringWorkArea.base) + offset;
  huecast::ConvertText(null ? nullptr : address, length, format,
                       static_cast<std::int32_t>(2 * *pos));
  *produced = true;
  std::u16string result;
  if (length < -1 || null) length = 0;
  if (utf16) {
    result = UpToZero(reinterpret_cast<const char16_t*>(kept));
    if (length == -1) length = static_cast<std::int64_t>(result.size());
    result = result.substr(0, static_cast<std::size_t>(length));
  } else {
    if (length == -1) length = static_cast<std::int64_t>(std::strlen(kept));
    // The platform's own conversion is the reference for the units.
    const huecast::UINT codePage =
        format == huecast::kConvertUtf8 ? huecast::CP_UTF8 : huecast::CP_ACP;
    const auto count = static_cast<int>(length);
    result.resize(
        count == 0 ? 0 : huecast::PosixMultiByteToWideChar(codePage, kept, count, nullptr, 0));
    if (count > 0)
      huecast::PosixMultiByteToWideChar(codePage, kept, count, result.data(), result.size());
  }
  h->Produced(*pos, result);
  return null ? 0 : utf16 ? length : static_cast<std::int64_t>(result.size());
}

std::int64_t Reserve(Harness* h, bool* produced, std::size_t* pos) {
  const std::uint8_t kind = h->in->Byte();
  const std::int32_t count = (kind & 0x80) != 0 ? (kind & 0x7F) * 173 : kind & 15;
  *pos = h->PickPosition(h->area.size());
  const auto at = static_cast<std::int32_t>(2 * *pos);
  char16_t* room = huecast::ReserveText(count, at);
  std::u16string fill;
  for (std::int32_t i = 0; i < count; ++i) fill += CompactUnit(static_cast<std::uint8_t>(i + kind));
  if (room != nullptr) {
    Check(room == huecast::TextAt(at), "ReserveText returns base + pos");
    for (std::int32_t i = 0; i < count; ++i) room[i] = fill[static_cast<std::size_t>(i)];
    room[count] = 0;
  }
  *produced = true;
  h->Produced(*pos, fill);
  return count;
}

void Assign(Harness* h, bool failed) {
  const std::uint8_t kind = h->in->Byte();
  const int k = kind % kVariables;
  std::size_t start = h->area.size();
  if (!h->starts.empty() && (kind & 4) != 0) start = h->starts[(kind >> 3) % h->starts.size()];
  const bool wasNull = h->variables[k] == nullptr;
  huecast::AssignString(&h->variables[k], static_cast<std::int32_t>(2 * start));
  const std::u16string text = h->area.substr(start);
  h->work += static_cast<std::int64_t>(text.size());
  h->Truncate(start);
  if (failed) {
    Check(UpToZero(h->variables[k] == nullptr ? u"" : h->variables[k]).empty(),
          "a variable that could not be resized reads as empty");
    Check(wasNull == (h->variables[k] == nullptr), "a failed assignment keeps the slot");
    h->stored[k].clear();
    return;
  }
  Check(h->variables[k] != nullptr, "an assigned variable is never null");
  Check(std::u16string(h->variables[k], text.size()) == text, "assigned units, by count");
  Check(h->variables[k][text.size()] == 0, "assigned text is terminated");
  h->stored[k] = text;
}

void GiveBack(Harness* h) {
  if (h->starts.empty()) return;
  const std::size_t last = h->area.size() - h->starts.back();
  const auto count = static_cast<std::int32_t>(h->in->Byte() % (last + 1));
  const std::int64_t position = huecast::GiveBackText(count);
  Check(position == 2 * static_cast<std::int64_t>(h->area.size() - count), "GiveBackText result");
  h->area.resize(h->area.size() - static_cast<std::size_t>(count));
  // The caller that gives back writes the terminator itself.
  huecast::PushText(nullptr);
  h->terminated = true;
}

void Reads(Harness* h) {
  const Argument a = h->Pick(true);
  const Argument b = h->Pick(true);
  const char16_t* pa = h->Resolve(a);
  const char16_t* pb = h->Resolve(b);
  h->work += static_cast<std::int64_t>(a.text.size() + b.text.size());
  Check(huecast::TextLength(pa) == static_cast<std::int64_t>(a.text.size()), "TextLength");
  Check(huecast::TextEquals(pa, pb) == (a.text == b.text ? 1 : 0), "TextEquals");
  Check(huecast::ParseNumber(pa) == ReferenceParse(a.text), "ParseNumber");
  const char16_t* base = StringWorkArea.base;
  const std::int64_t position = StringWorkArea.position;
  Check(huecast::WorkAreaOffset(base) == 1, "offset of base");
  Check(huecast::WorkAreaOffset(base + position / 2) == position + 1, "offset of the position");
  Check(huecast::WorkAreaOffset(base + position / 2 + 1) == 0, "offset beyond the position");
  Check(huecast::WorkAreaOffset(nullptr) == 0, "offset of null");
  if (a.segment < 0 && pa != nullptr) {
    Check(huecast::WorkAreaOffset(pa) == 0, "offset of an outside text");
  }
  if (a.segment >= 0) {
    const std::int64_t reference = huecast::WorkAreaOffset(pa);
    Check(huecast::WorkAreaPointer(static_cast<std::int32_t>(reference)) == pa,
          "WorkAreaPointer undoes WorkAreaOffset");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader reader{data, size, 0};
  Harness h{&reader, u"", {}, true, {}, {}, {}, 0};
  huecast::FakeReset(u"");
  huecast::StringWorkAreaStartup();
  Check(StringWorkArea.capacity == 16 && StringWorkArea.position == 0, "start-up state");
  // The first buffer's contents are undefined; the model starts with a zero.
  huecast::PushText(nullptr);

  // Texts pushed from variables may double the area at each step, and each
  // search may compare a long find at every unit of a long text: the budget
  // ends a run before it only measures the machine.
  for (int step = 0; step < 256 && !reader.AtEnd() && h.work < kWorkBudget; ++step) {
    const std::uint8_t op = reader.Byte();
    if (!h.terminated) {
      huecast::PushText(nullptr);
      h.terminated = true;
    }
    const std::int64_t positionBefore = StringWorkArea.position;
    const std::int64_t capacityBefore = StringWorkArea.capacity;
    const std::int64_t failuresBefore = StringWorkArea.failures;
    // Bit 7: the operation's first allocation fails.
    FailNextAllocation((op & 0x80) != 0);
    bool produced = false;
    std::size_t pos = 0;
    std::int64_t reserved = -1;  // units the operation reserved, -1 for none
    bool assigned = false;
    bool emptyAssignment = false;
    switch (op & 15) {
      case 0:
      case 1:
        reserved = Push(&h, &produced, &pos);
        break;
      case 2:
        reserved = Left(&h, &produced, &pos);
        break;
      case 3:
      case 4:
        reserved = Replace(&h, false, &produced, &pos);
        break;
      case 5:
      case 15:
        reserved = Replace(&h, true, &produced, &pos);
        break;
      case 6:
      case 7:
        reserved = Convert(&h, &produced, &pos);
        break;
      case 8:
        reserved = Reserve(&h, &produced, &pos);
        break;
      case 9:
      case 10: {
        assigned = true;
        // Assign reads the failure itself; a failure only happens on its
        // one allocation, so the outcome is known after the call.
        const std::size_t before = h.area.size();
        const bool fail = (op & 0x80) != 0;
        Assign(&h, fail);
        emptyAssignment = before == h.area.size();
        break;
      }
      case 11:
        GiveBack(&h);
        break;
      case 12: {
        const std::size_t unit = h.starts.empty() || (reader.Byte() & 1) ? 0 : h.starts.back();
        h.Truncate(unit);
        StringWorkArea.position = 2 * static_cast<std::int64_t>(unit);
        break;
      }
      default:
        Reads(&h);
        break;
    }
    const bool failed = NextAllocationFailed();
    FailNextAllocation(false);
    if (failed && produced) {
      // The result reads as the empty text at pos, the position at pos.
      h.Produced(pos, u"");
    }
    if (failed && !(assigned && emptyAssignment)) {
      Check(StringWorkArea.failures == failuresBefore + 1, "a failed allocation is counted");
    } else {
      Check(StringWorkArea.failures == failuresBefore, "no failure, nothing counted");
    }
    h.CheckArea("work area after an operation");
    h.work += static_cast<std::int64_t>(h.area.size());
    CheckGrowth(positionBefore, capacityBefore, reserved, failed);
  }
  huecast::StringWorkAreaShutdown();
  return 0;
}
