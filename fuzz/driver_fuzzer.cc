// Fuzzes the whole driver with the recording fake: a command line gives the
// units written with their attributes, the attributes set, the file bytes and
// the exit status of a reference model of
// the help screen and the pair loop. Input: a flag byte (bit 0: raw UTF-16LE
// command line; bit 1: output redirected to a file; bit 2: put "Huecast "
// in front as the program path; bit 3: fail one allocation; bit 4: fail one
// write, when no allocation fails), a byte for each failure's number, then the command line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/expected_help.h"
#include "fake/fake_platform.h"
#include "reference.h"

using huecast_fuzz::ByteReader;
using huecast_fuzz::Check;

namespace {

struct Expected {
  std::vector<huecast::FakeUnit> written;  // each unit with the attribute in force
  std::vector<huecast::WORD> attributes;   // set on the console, in order
  huecast::WORD attribute;                 // in force at the end
  std::int64_t exitCode;
};

// Appends the units of a text, each in the attribute in force.
void Write(Expected* expected, const std::u16string& text) {
  for (const char16_t unit : text) expected->written.push_back({unit, expected->attribute});
}

// Returns the attributes the console was given, from the call list.
std::vector<huecast::WORD> AttributesSet() {
  std::vector<huecast::WORD> attributes;
  for (const huecast::FakeCall& call : huecast::Fake.calls) {
    if (call.kind == huecast::FakeCallKind::kSetAttribute && call.succeeded) {
      attributes.push_back(static_cast<huecast::WORD>(call.value));
    }
  }
  return attributes;
}

// Models the driver: the help screen, or the pairs of code and string.
Expected Model(const std::u16string& commandLine, bool console) {
  const std::vector<std::u16string> tokens = huecast_fuzz::ReferenceSplit(commandLine);
  const auto parameter = [&tokens](std::size_t i) {
    return i + 1 < tokens.size() ? tokens[i + 1] : std::u16string();
  };
  Expected expected{{}, {}, huecast::kFakeStartAttribute, 0};
  if (parameter(0).empty() || parameter(0) == u"/?") {
    Write(&expected, huecast::kHelpScreen);
    expected.exitCode = 255;
    return expected;
  }
  std::int64_t printed = 0;
  std::size_t index = 0;
  for (;;) {
    // A code is the hexadecimal number among its parameter's first two units.
    const std::int64_t code = huecast_fuzz::ReferenceParse(u"$" + parameter(index++).substr(0, 2));
    if (code != 0) {
      if ((code >> 4) == (code & 15)) {
        expected.exitCode |= 1;
      } else if (console) {
        expected.attribute = static_cast<huecast::WORD>(code);
        expected.attributes.push_back(expected.attribute);
      }
    }
    const std::u16string text = parameter(index++);
    if (!text.empty()) {
      // Each pair of apostrophes, left to right, is a double quote.
      Write(&expected, huecast_fuzz::ReferenceReplace(text, u"''", u"\"", false, 1, -1, false));
      ++printed;
    }
    if (code == 0 && text.empty()) break;
  }
  if (printed != 0) Write(&expected, u"\r\n");
  return expected;
}

// Tells whether an allocation of the text runtime failed: StringHeap itself,
// a block on it, or a duplicate. The first heap created is MainHeap.
bool TextMemoryFailed() {
  using K = huecast::FakeCallKind;
  huecast::HANDLE mainHeap = nullptr;
  int heaps = 0;
  bool failed = false;
  for (const huecast::FakeCall& call : huecast::Fake.calls) {
    if (call.kind == K::kHeapCreate && heaps++ == 0) {
      mainHeap = call.handle;
    } else if (call.kind == K::kHeapCreate || call.kind == K::kDuplicate) {
      failed |= !call.succeeded;
    } else if (call.kind == K::kHeapAlloc || call.kind == K::kHeapReAlloc) {
      failed |= !call.succeeded && call.handle != mainHeap;
    }
  }
  return failed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader reader{data, size, 0};
  const std::uint8_t flags = reader.Byte();
  const std::int64_t failAllocation = (flags & 8) != 0 ? reader.Byte() + 1 : 0;
  // One fault per run: with two, the help screen shown for a parameter lost
  // to memory may itself be lost, and nothing tells the outcomes apart.
  std::int64_t failWrite = (flags & 16) != 0 ? reader.Byte() + 1 : 0;
  if (failAllocation != 0) failWrite = 0;
  std::u16string commandLine = (flags & 4) != 0 ? u"Huecast " : u"";
  commandLine += huecast_fuzz::UnitsFromBytes(&reader, (flags & 1) != 0);
  const bool console = (flags & 2) == 0;

  huecast::FakeReset(commandLine);
  huecast::Fake.outputIsConsole = console;
  huecast::Fake.failAllocation = failAllocation;
  huecast::Fake.failWrite = failWrite;
  const std::int64_t exitCode = huecast::FakeRunProgram();
  const Expected expected = Model(huecast_fuzz::UpToZero(commandLine), console);

  Check(huecast::Fake.heapsCreated.size() == huecast::Fake.heapsDestroyed.size(),
        "every heap created is destroyed");
  const bool faulted = huecast::Fake.allocations >= failAllocation && failAllocation != 0;
  const bool writeFaulted = huecast::Fake.writes >= failWrite && failWrite != 0;
  if (!faulted && !writeFaulted) {
    Check(huecast::Fake.written == expected.written, "units written and their attributes");
    Check(huecast::Fake.attribute == expected.attribute, "attribute left");
    Check(AttributesSet() == expected.attributes, "attributes set");
    Check(huecast::Fake.fileBytes.size() == (console ? 0 : 2 * expected.written.size()),
          "file bytes");
    Check(exitCode == expected.exitCode, "exit code");
    return 0;
  }
  // One allocation or one write failed: the run must still end, and the
  // exit status must tell whether the delivered text is complete. Memory the
  // text runtime could not get cuts a result short, which sets bit 1 even
  // where the result did not matter (a code that reads as 0, or parameters
  // that could not be read at all); a first parameter that is read again
  // after a failure loses nothing.
  const bool textMemoryFailed = TextMemoryFailed();
  if (expected.exitCode == 255) {
    // Without text memory only a command line without parameters is known
    // to ask for help.
    Check(exitCode == 255 || (textMemoryFailed && (exitCode & 2) != 0),
          "the help screen exits 255 even when faulted");
  } else if (huecast::Fake.written == expected.written) {
    if (textMemoryFailed) {
      // The lost code may also have been a rejected one (bit 0).
      Check(exitCode == expected.exitCode || exitCode == 2 || exitCode == 3,
            "text memory lost sets bit 1, or is recovered");
    } else {
      Check(exitCode == expected.exitCode, "complete output, unfaulted exit code");
    }
  } else {
    Check((exitCode & 2) != 0, "lost output sets bit 1");
  }
  return 0;
}
