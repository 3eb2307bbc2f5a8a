#include "memory/object_registry.h"

#include <cassert>
#include <cstdint>

#include "driver/driver.h"
#include "memory/heap_calls.h"

namespace huecast {

ObjectRegistry* ProcessObjects;

namespace {

void* PayloadOf(LinkHeader* header) {
  return header + 1;
}

// Tells whether number is the payload address of a dynamic object still in
// the registry's list. Numbers are only trusted after this check, so an
// arbitrary value is never read as an address.
bool IsListedDynamicObject(const ObjectRegistry* registry, std::int64_t number) {
  for (LinkHeader* header = registry->dynamicList; header != nullptr; header = header->next) {
    if (reinterpret_cast<std::intptr_t>(PayloadOf(header)) == number) return true;
  }
  return false;
}

bool InSlotRange(const ObjectRegistry* registry, std::int64_t number) {
  return number >= 0 && number < registry->capacity;
}

// Grows the slot array to number + increment entries, the new ones null.
// Leaves the old array and capacity alone when that cannot be done.
bool GrowSlots(ObjectRegistry* registry, std::int64_t number) {
  if (number > INT64_MAX - registry->increment) return false;
  const std::int64_t capacity = number + registry->increment;
  if (static_cast<std::uint64_t>(capacity) > SIZE_MAX / sizeof(void*)) return false;
  const SIZE_T bytes = static_cast<SIZE_T>(capacity) * sizeof(void*);
  void* slots = registry->slots == nullptr
                    ? AllocateFromHeap(MainHeap, HEAP_ZERO_MEMORY, bytes)
                    : ResizeInHeap(MainHeap, HEAP_ZERO_MEMORY, registry->slots, bytes);
  if (slots == nullptr) return false;
  registry->slots = static_cast<void**>(slots);
  registry->capacity = capacity;
  return true;
}

// Tells whether an object is live: its first word, or as much of it as the
// object holds, is nonzero. Nothing past the object is read.
bool IsLive(const ObjectRegistry* registry, const void* object) {
  const std::int32_t size = registry->objectSize < 8 ? registry->objectSize : 8;
  const auto* bytes = static_cast<const unsigned char*>(object);
  for (std::int32_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return true;
  }
  return false;
}

}  // namespace

ObjectRegistry* CreateRegistry(std::int32_t objectSize, std::int32_t increment,
                               ReleaseRoutine releaseRoutine) {
  // Each object's first word tells whether it is live, so an object holds
  // at least that word. LookupObject stays within smaller objects all the same.
  assert(objectSize >= 8 && "CreateRegistry: objectSize below 8");
  auto* registry = static_cast<ObjectRegistry*>(
      AllocateFromHeap(MainHeap, HEAP_ZERO_MEMORY, sizeof(ObjectRegistry)));
  if (registry == nullptr) return nullptr;
  registry->objectSize = objectSize;
  registry->increment = increment;
  registry->releaseRoutine = releaseRoutine;
  registry->dynamicList = nullptr;
  registry->slots = static_cast<void**>(
      AllocateFromHeap(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(increment) * sizeof(void*)));
  // Without a first slot array the registry starts empty and grows on demand.
  registry->capacity = registry->slots == nullptr ? 0 : increment;
  return registry;
}

void* ObtainObject(ObjectRegistry* registry, std::int64_t number) {
  if (registry == nullptr || number < -1) return nullptr;
  if (number == -1) {
    return LinkDynamicObject(&registry->dynamicList,
                             static_cast<std::int32_t>(sizeof(LinkHeader)) + registry->objectSize);
  }
  if (number >= registry->capacity && !GrowSlots(registry, number)) return nullptr;
  void* memory = registry->slots[number];
  if (memory != nullptr) {
    // The same block is handed out again, after its old use is ended.
    if (registry->releaseRoutine != nullptr) registry->releaseRoutine(number);
    return memory;
  }
  memory = AllocateFromHeap(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(registry->objectSize));
  registry->slots[number] = memory;
  return memory;
}

void* LookupObject(ObjectRegistry* registry, std::int64_t number) {
  if (registry == nullptr) return nullptr;
  void* candidate = nullptr;
  if (InSlotRange(registry, number)) {
    candidate = registry->slots[number];
  } else if (IsListedDynamicObject(registry, number)) {
    candidate = reinterpret_cast<void*>(static_cast<std::intptr_t>(number));
  }
  if (candidate == nullptr || !IsLive(registry, candidate)) return nullptr;
  return candidate;
}

void ReleaseObject(ObjectRegistry* registry, std::int64_t number) {
  if (registry == nullptr) return;
  if (InSlotRange(registry, number)) {
    // Zeroed in place and kept in its slot, so obtaining it again is free.
    void* memory = registry->slots[number];
    if (memory != nullptr && registry->objectSize > 0) {
      crt::memset(memory, 0, static_cast<std::size_t>(registry->objectSize));
    }
  } else if (IsListedDynamicObject(registry, number)) {
    UnlinkDynamicObject(&registry->dynamicList,
                        reinterpret_cast<void*>(static_cast<std::intptr_t>(number)));
  }
}

void* LinkDynamicObject(LinkHeader** list, std::int32_t blockSize) {
  if (blockSize < static_cast<std::int32_t>(sizeof(LinkHeader))) return nullptr;
  auto* header = static_cast<LinkHeader*>(
      AllocateFromHeap(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(blockSize)));
  if (header == nullptr) return nullptr;
  if (*list != nullptr) {
    header->next = *list;
    (*list)->previous = header;
  }
  *list = header;
  return PayloadOf(header);
}

BOOL UnlinkDynamicObject(LinkHeader** list, void* payload) {
  LinkHeader* header = static_cast<LinkHeader*>(payload) - 1;
  if (header == *list) {
    *list = header->next;
    if (*list != nullptr) (*list)->previous = nullptr;
  } else {
    header->previous->next = header->next;
    if (header->next != nullptr) header->next->previous = header->previous;
  }
  return FreeToHeap(MainHeap, 0, header);
}

void CloseProcessObject(std::int64_t number) {
  void* object = LookupObject(ProcessObjects, number);
  if (object == nullptr) return;
  CloseHandle(*static_cast<HANDLE*>(object));
  ReleaseObject(ProcessObjects, number);
}

}  // namespace huecast
