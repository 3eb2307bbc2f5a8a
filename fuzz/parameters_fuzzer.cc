// Fuzzes the command-line scanner and both fetches against the reference
// splitter. Input: a flag byte (bit 0: raw UTF-16LE command line rather than
// one unit per byte; bits 1-4: number of fetches), three bytes per fetch,
// then the command line. The command line lies in a buffer of exactly its
// length plus the terminator.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fake/fake_platform.h"
#include "params/parameters.h"
#include "platform/platform.h"
#include "reference.h"
#include "text/string_work_area.h"

using huecast_fuzz::ByteReader;
using huecast_fuzz::Check;

namespace {

struct Fetch {
  bool byNumber;        // ParameterAt rather than NextParameter
  std::int32_t number;  // for ParameterAt
  std::int32_t prefix;  // units pushed before the fetch, so pos is not 0
  bool keepPosition;    // leave the result in place for the next fetch
};

// Reads one fetch; a few numbers are extreme, the rest small.
Fetch ReadFetch(ByteReader* reader) {
  const std::uint8_t kind = reader->Byte();
  const auto value = static_cast<std::int8_t>(reader->Byte());
  const std::uint8_t prefix = reader->Byte();
  Fetch fetch;
  fetch.byNumber = (kind & 1) != 0;
  fetch.number = value;
  if ((kind & 6) == 2) fetch.number = INT32_MAX;
  if ((kind & 6) == 4) fetch.number = INT32_MIN;
  // A long prefix makes the reservation for the parameter grow the buffer.
  fetch.prefix = (prefix & 0xC0) == 0xC0 ? (prefix & 0x3F) * 331 : prefix & 7;
  fetch.keepPosition = (kind & 8) != 0;
  return fetch;
}

// Runs the fetches and compares texts, positions and the cursor with the
// reference.
void RunFetches(const std::vector<Fetch>& fetches, const std::vector<std::u16string>& tokens) {
  // Parameters are tokens 0, 1, ...; tokens[0] of the reference is token -1.
  const auto parameterCount = static_cast<std::int64_t>(tokens.size()) - 1;
  std::int64_t cursor = 0;
  std::u16string expectedArea;
  for (const Fetch& fetch : fetches) {
    const std::u16string prefix(static_cast<std::size_t>(fetch.prefix), u'x');
    const auto noted = static_cast<std::int32_t>(huecast::StringWorkArea.position);
    huecast::PushText(prefix.c_str());
    const auto pos = static_cast<std::int32_t>(huecast::StringWorkArea.position);

    if (fetch.byNumber && fetch.number >= 0) cursor = fetch.number;
    std::u16string expected;
    if (cursor >= 0 && cursor < parameterCount) {
      expected = tokens[static_cast<std::size_t>(cursor) + 1];
      ++cursor;
    }
    const char16_t* got =
        fetch.byNumber ? huecast::ParameterAt(fetch.number, pos) : huecast::NextParameter(pos);

    Check(got == huecast::TextAt(pos), "fetch returns the text at pos");
    Check(huecast::StringWorkArea.position == pos + 2 * static_cast<std::int64_t>(expected.size()),
          "position after a fetch");
    Check(huecast::ParameterCursor->next == cursor, "cursor after a fetch");
    // The prefix and the fetched parameter lie behind one another; what lies
    // before them is compared once at the end.
    expectedArea += prefix + expected;
    Check(std::u16string(huecast::TextAt(noted)) == huecast_fuzz::UpToZero(prefix + expected),
          "prefix and parameter in the work area");
    Check(huecast::StringWorkArea.position < huecast::StringWorkArea.capacity - 4,
          "terminator room after a fetch");
    if (!fetch.keepPosition) {
      huecast::StringWorkArea.position = noted;
      expectedArea.resize(static_cast<std::size_t>(noted / 2));
      huecast::PushText(nullptr);
    }
  }
  Check(std::u16string(huecast::TextAt(0)) == huecast_fuzz::UpToZero(expectedArea),
        "work area after the fetches");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader reader{data, size, 0};
  const std::uint8_t flags = reader.Byte();
  std::vector<Fetch> fetches;
  for (int i = 0; i < ((flags >> 1) & 15); ++i) fetches.push_back(ReadFetch(&reader));
  const std::u16string units = huecast_fuzz::UnitsFromBytes(&reader, (flags & 1) != 0);

  // Exactly the units and one terminator: a read past it is an overflow.
  std::vector<char16_t> buffer(units.begin(), units.end());
  buffer.push_back(0);
  buffer.shrink_to_fit();
  huecast::FakeReset(u"");
  huecast::Fake.commandLineBuffer = buffer.data();

  huecast::MainHeap = huecast::HeapCreate(0, 4096, 0);
  huecast::StringWorkAreaStartup();
  huecast::ParameterSupportStartup();
  // The first buffer's contents are undefined until something is written.
  huecast::PushText(nullptr);

  // The command line ends at its first zero unit.
  const std::vector<std::u16string> tokens =
      huecast_fuzz::ReferenceSplit(huecast_fuzz::UpToZero(units));
  Check(huecast::CountParameters() == static_cast<std::int64_t>(tokens.size()) - 1,
        "parameter count");
  Check(huecast::ParameterCursor->next == 0, "count mode leaves the cursor");
  RunFetches(fetches, tokens);
  Check(std::u16string(buffer.data(), units.size()) == units, "command line unchanged");

  huecast::StringWorkAreaShutdown();
  huecast::HeapDestroy(huecast::MainHeap);
  huecast::MainHeap = nullptr;
  return 0;
}
