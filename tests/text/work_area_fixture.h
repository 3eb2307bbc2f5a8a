// A fixture that gives each test a fresh fake platform, MainHeap and string
// work area, with helpers to read texts back from the work area.
#ifndef HUECAST_TESTS_TEXT_WORK_AREA_FIXTURE_H_
#define HUECAST_TESTS_TEXT_WORK_AREA_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "driver/driver.h"
#include "fake/fake_platform.h"
#include "text/string_work_area.h"

namespace huecast {

class WorkAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeReset(u"prog");
    MainHeap = HeapCreate(0, 4096, 0);
    StringWorkAreaStartup();
  }
  void TearDown() override {
    StringWorkAreaShutdown();
    HeapDestroy(MainHeap);
  }
  // The text that begins at a work-area position.
  static std::u16string TextFrom(std::int64_t pos) { return Str(TextAt(pos)); }
  // A text, null read as the empty text.
  static std::u16string Str(const char16_t* text) { return text == nullptr ? u"" : text; }
  // Makes the next allocation of the fake fail.
  static void FailNextAllocation() { Fake.failAllocation = Fake.allocations + 1; }
  // The byte count of the last recorded call of a kind, or -1.
  static std::int64_t LastBytes(FakeCallKind kind) {
    for (auto call = Fake.calls.rbegin(); call != Fake.calls.rend(); ++call) {
      if (call->kind == kind) return static_cast<std::int64_t>(call->value);
    }
    return -1;
  }
};

}  // namespace huecast

#endif  // HUECAST_TESTS_TEXT_WORK_AREA_FIXTURE_H_
