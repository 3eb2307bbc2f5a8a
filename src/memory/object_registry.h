// The numbered-object registry: objects of one fixed size handed out by
// slot number, and a doubly linked list of unnumbered dynamic objects whose
// number is the address of their payload. All memory comes from MainHeap.
#ifndef HUECAST_MEMORY_OBJECT_REGISTRY_H_
#define HUECAST_MEMORY_OBJECT_REGISTRY_H_

#include <cstdint>

#include "platform/platform.h"

namespace huecast {

using ReleaseRoutine = void (*)(std::int64_t number);

// Header in front of each dynamic object's payload.
struct LinkHeader {
  LinkHeader* next;      // next older dynamic object, null for the oldest
  LinkHeader* previous;  // next newer dynamic object, null for the newest
};

struct ObjectRegistry {
  std::int32_t objectSize;        // bytes of each object, numbered or dynamic
  std::int32_t increment;         // growth step of the slot array
  std::int64_t capacity;          // entries in the slot array
  void** slots;                   // entry n: memory of number n, or null
  LinkHeader* dynamicList;        // newest dynamic object, or null
  ReleaseRoutine releaseRoutine;  // run on a number obtained again, or null
};

// The registry of process objects, each holding one system handle; created
// by the parameter support at start-up.
extern ObjectRegistry* ProcessObjects;

// Creates a registry with increment empty slots; null when MainHeap cannot
// supply the record. Without a slot array it starts with capacity 0.
// objectSize is 8 or more, room for the live word (checked in debug builds).
ObjectRegistry* CreateRegistry(std::int32_t objectSize, std::int32_t increment,
                               ReleaseRoutine releaseRoutine);
// Returns the memory of slot number (0 or more), growing the slot array as
// needed, or a new dynamic object for -1. Null for other numbers and when
// memory cannot be had.
void* ObtainObject(ObjectRegistry* registry, std::int64_t number);
// Returns the memory of a live object (first word nonzero), else null. A
// number outside the slot range counts only as a dynamic object of this
// registry that has not been released.
void* LookupObject(ObjectRegistry* registry, std::int64_t number);
// Zeroes a numbered object in place, or unlinks and frees a dynamic one.
void ReleaseObject(ObjectRegistry* registry, std::int64_t number);
// Puts a new zero-filled block of blockSize bytes at the head of the list;
// returns its payload, or null (list unchanged).
void* LinkDynamicObject(LinkHeader** list, std::int32_t blockSize);
// Unlinks the object of a payload and gives its block back to MainHeap.
BOOL UnlinkDynamicObject(LinkHeader** list, void* payload);
// Closes the handle of a live process object and releases it.
void CloseProcessObject(std::int64_t number);

}  // namespace huecast

#endif  // HUECAST_MEMORY_OBJECT_REGISTRY_H_
