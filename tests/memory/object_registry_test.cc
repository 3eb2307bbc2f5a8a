#include "memory/object_registry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/driver.h"
#include "fake/fake_platform.h"
#include "memory/memory_heap.h"

namespace huecast {
namespace {

std::int64_t NumberOf(void* payload) {
  return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(payload));
}

void StoreWord(void* object, std::uint64_t value) {
  std::memcpy(object, &value, sizeof value);
}

std::uint64_t WordOf(void* object) {
  std::uint64_t value;
  std::memcpy(&value, object, sizeof value);
  return value;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeReset(u"huecast.exe");
    MainHeap = HeapCreate(0, 4096, 0);
    registry = CreateRegistry(8, 4, nullptr);
    ASSERT_NE(registry, nullptr);
  }
  void TearDown() override {
    ProcessObjects = nullptr;
    HeapDestroy(MainHeap);
    MainHeap = nullptr;
  }
  ObjectRegistry* registry = nullptr;
};

// An obtained slot is found once its first word is set; obtained again while
// live it keeps its contents (no release routine); released, it is zeroed,
// kept and handed out again.
TEST_F(RegistryTest, SlotIsObtainedFoundReleasedAndHandedOutAgain) {
  void* object = ObtainObject(registry, 2);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(registry->slots[2], object);
  EXPECT_EQ(WordOf(object), 0u);
  EXPECT_EQ(LookupObject(registry, 2), nullptr);
  StoreWord(object, 7);
  EXPECT_EQ(LookupObject(registry, 2), object);
  EXPECT_EQ(ObtainObject(registry, 2), object);
  EXPECT_EQ(WordOf(object), 7u);
  ReleaseObject(registry, 2);
  EXPECT_EQ(WordOf(object), 0u);
  EXPECT_EQ(LookupObject(registry, 2), nullptr);
  EXPECT_EQ(ObtainObject(registry, 2), object);
}

TEST_F(RegistryTest, GrowthKeepsOldSlotsAndAddsIncrementBeyondTheNumber) {
  void* first[4];
  for (int i = 0; i < 4; ++i) {
    first[i] = ObtainObject(registry, i);
    StoreWord(first[i], 100 + i);
  }
  ASSERT_NE(ObtainObject(registry, 4), nullptr);
  EXPECT_EQ(registry->capacity, 8);
  ASSERT_NE(ObtainObject(registry, 10), nullptr);
  EXPECT_EQ(registry->capacity, 14);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(registry->slots[i], first[i]);
    EXPECT_EQ(WordOf(first[i]), 100u + i);
  }
  for (int i = 5; i < 14; ++i) EXPECT_EQ(registry->slots[i] != nullptr, i == 10) << i;
}

// A failed growth, slot or dynamic object changes nothing, and neither does a
// number below -1 or a capacity that cannot be; a later call tries again.
TEST_F(RegistryTest, FailedAllocationAndImpossibleNumbersChangeNothing) {
  void* kept = ObtainObject(registry, 0);
  void* listed = ObtainObject(registry, -1);
  void** slots = registry->slots;
  const struct {
    std::int64_t number;
    bool allocationFails;
  } cases[] = {{6, true},   {1, true},          {-1, true},
               {-2, false}, {INT64_MAX, false}, {INT64_MAX / 16, false}};  // last: too large
  for (const auto& [number, allocationFails] : cases) {
    Fake.failAllocation = allocationFails ? Fake.allocations + 1 : 0;
    EXPECT_EQ(ObtainObject(registry, number), nullptr) << number;
    EXPECT_EQ(registry->capacity, 4);
    EXPECT_EQ(registry->slots, slots);
    EXPECT_EQ(registry->slots[0], kept);
    EXPECT_EQ(registry->slots[1], nullptr);
    EXPECT_EQ(registry->dynamicList + 1, listed);
    EXPECT_EQ(registry->dynamicList->previous, nullptr);
  }
  EXPECT_NE(ObtainObject(registry, 6), nullptr);
  EXPECT_NE(ObtainObject(registry, 1), nullptr);
}

// Newest first with back links; releasing either of two leaves the other alone.
TEST_F(RegistryTest, DynamicObjectsAreListedNewestFirstWithBackLinks) {
  for (const bool releaseNewer : {false, true}) {
    void* older = ObtainObject(registry, -1);
    void* newer = ObtainObject(registry, -1);
    ASSERT_NE(older, nullptr);
    ASSERT_NE(newer, nullptr);
    LinkHeader* head = registry->dynamicList;
    EXPECT_EQ(head + 1, newer);
    EXPECT_EQ(head->previous, nullptr);
    EXPECT_EQ(head->next + 1, older);
    EXPECT_EQ(head->next->previous, head);
    EXPECT_EQ(head->next->next, nullptr);
    ReleaseObject(registry, NumberOf(releaseNewer ? newer : older));
    EXPECT_EQ(registry->dynamicList + 1, releaseNewer ? older : newer);
    EXPECT_EQ(registry->dynamicList->next, nullptr);
    EXPECT_EQ(registry->dynamicList->previous, nullptr);
    ReleaseObject(registry, NumberOf(releaseNewer ? older : newer));
    EXPECT_EQ(registry->dynamicList, nullptr);
  }
}

// A listed dynamic object is found by its number. Numbers that name no live
// object (an empty slot, a released dynamic object, memory elsewhere, slots
// beyond the capacity or below -1) find nothing, and releasing them reads,
// writes, allocates and frees nothing.
TEST_F(RegistryTest, NumbersOfNoLiveObjectAreNeverRead) {
  void* object = ObtainObject(registry, -1);
  StoreWord(object, 5);
  EXPECT_EQ(LookupObject(registry, NumberOf(object)), object);
  ReleaseObject(registry, NumberOf(object));
  std::uint64_t elsewhere = 42;
  Fake.calls.clear();
  const std::int64_t numbers[] = {1, NumberOf(object), NumberOf(&elsewhere), 1000, -5};
  for (const std::int64_t number : numbers) {
    EXPECT_EQ(LookupObject(registry, number), nullptr) << number;
    ReleaseObject(registry, number);
  }
  EXPECT_EQ(elsewhere, 42u);
  EXPECT_EQ(registry->slots[1], nullptr);
  EXPECT_TRUE(Fake.calls.empty());
}

class ProcessObjectsTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    ProcessObjects = CreateRegistry(8, 4, CloseProcessObject);
  }
};

// Obtaining a live object again closes its handle and zeroes it; closing one
// closes its handle and releases it, a dynamic one unlinked and freed. No
// other number closes anything: an object with no handle stored, one closed
// already, one never obtained.
TEST_F(ProcessObjectsTest, EachStoredHandleIsClosedOnce) {
  ObtainObject(ProcessObjects, 1);  // no handle stored
  void* slot = ObtainObject(ProcessObjects, 2);
  void* dynamic = ObtainObject(ProcessObjects, -1);
  StoreWord(slot, 0x4242);
  StoreWord(dynamic, 0x4343);
  Fake.calls.clear();
  EXPECT_EQ(ObtainObject(ProcessObjects, 2), slot);
  EXPECT_EQ(WordOf(slot), 0u);
  StoreWord(slot, 0x4444);
  // The slot, the dynamic object, then every number again.
  const std::int64_t numbers[] = {2, NumberOf(dynamic), 0, 1, 2, 3, 50, -1, NumberOf(dynamic)};
  for (const std::int64_t number : numbers) CloseProcessObject(number);
  std::vector<std::int64_t> closed;
  for (const FakeCall& call : Fake.calls) {
    if (call.kind == FakeCallKind::kCloseHandle) closed.push_back(NumberOf(call.handle));
  }
  EXPECT_EQ(closed, (std::vector<std::int64_t>{0x4242, 0x4444, 0x4343}));
  EXPECT_EQ(WordOf(slot), 0u);
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapFree), 1);
  EXPECT_EQ(ProcessObjects->dynamicList, nullptr);
}

TEST_F(RegistryTest, AllocateZeroedGivesZeroBytesAndRunsTheInitialiserOnSuccessOnly) {
  static int initialised;
  initialised = 0;
  const auto initialise = [](void*) { ++initialised; };
  auto* block = static_cast<unsigned char*>(AllocateZeroed(24, nullptr));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_NE(AllocateZeroed(8, initialise), nullptr);
  EXPECT_EQ(initialised, 1);
  Fake.failAllocation = Fake.allocations + 1;
  EXPECT_EQ(AllocateZeroed(8, initialise), nullptr);
  EXPECT_EQ(initialised, 1);
}

TEST_F(RegistryTest, RegistryWithoutFirstSlotArrayStartsEmptyAndGrows) {
  Fake.failAllocation = Fake.allocations + 2;  // the record succeeds, the slots do not
  ObjectRegistry* empty = CreateRegistry(8, 4, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->capacity, 0);
  EXPECT_EQ(LookupObject(empty, 0), nullptr);
  EXPECT_NE(ObtainObject(empty, 0), nullptr);
  EXPECT_EQ(empty->capacity, 4);
}

// Below 8 bytes an object cannot hold its live word: a caller's fault, loud
// in debug builds. Even so, LookupObject reads only the object's own bytes.
TEST_F(RegistryTest, ObjectSizeBoundsTheLiveTestAndTheRelease) {
  EXPECT_DEBUG_DEATH(CreateRegistry(4, 4, nullptr), "objectSize below 8");
  for (const std::int32_t size : {4, 16}) {
    registry->objectSize = size;  // as a release build accepts it
    for (const std::int64_t number : {std::int64_t{size}, std::int64_t{-1}}) {
      auto* object = static_cast<unsigned char*>(ObtainObject(registry, number));
      const std::int64_t found = number == -1 ? NumberOf(object) : number;
      object[size - 1] = 1;  // beyond the live word when the object is larger
      EXPECT_EQ(LookupObject(registry, found), size <= 8 ? object : nullptr) << size;
      object[0] = 1;
      EXPECT_EQ(LookupObject(registry, found), object) << size;
    }
    ReleaseObject(registry, size);
    EXPECT_EQ(static_cast<unsigned char*>(registry->slots[size])[size - 1], 0) << size;
  }
}

TEST(MemoryHeap, ShutdownDestroysTheHeapOnce) {
  FakeReset(u"huecast.exe");
  const HANDLE heap = MemoryHeapStartup();
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(MemoryHeap, heap);
  EXPECT_EQ(MemoryHeapShutdown(), TRUE);
  EXPECT_EQ(MemoryHeapShutdown(), FALSE);
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapDestroy), 1);
}

}  // namespace
}  // namespace huecast
