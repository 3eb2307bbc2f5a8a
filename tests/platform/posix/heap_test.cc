#include "platform/posix/heap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace huecast {
namespace {

// New blocks and the grown part of a block are zero-filled, the rest kept; a
// request that cannot be supplied gives null and leaves the block intact;
// anything still held goes with the heap (valgrind and ASan see no leak).
TEST(PosixHeap, ZeroFillsGivesNullForTooMuchAndDestroysEveryBlock) {
  HANDLE heap = PosixHeapCreate();
  auto* block = static_cast<unsigned char*>(PosixHeapAlloc(heap, HEAP_ZERO_MEMORY, 16));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
  std::memset(block, 0xAB, 16);
  block = static_cast<unsigned char*>(PosixHeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0xAB) << i;
  for (int i = 16; i < 4096; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(PosixHeapAlloc(heap, 0, SIZE_MAX - 8), nullptr);
  EXPECT_EQ(PosixHeapReAlloc(heap, 0, block, SIZE_MAX - 8), nullptr);
  EXPECT_EQ(PosixHeapBlockCount(heap), 1u);
  void* blocks[5];
  for (void*& more : blocks) more = PosixHeapAlloc(heap, 0, 100);
  EXPECT_EQ(PosixHeapFree(heap, blocks[2]), TRUE);
  EXPECT_EQ(PosixHeapBlockCount(heap), 5u);
  EXPECT_EQ(PosixHeapDestroy(heap), TRUE);
}

// A null heap is an access violation on Windows; the stand-ins and the
// recording fake (whose routines these tests link) end the run just as
// surely, so no test can pass by handing one on.
TEST(PosixHeapDeathTest, NullHeapIsAFault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  char16_t block[8] = {};
  EXPECT_DEATH(PosixHeapAlloc(nullptr, 0, 8), "HeapAlloc was given a null heap");
  EXPECT_DEATH(HeapAlloc(nullptr, 0, 8), "HeapAlloc was given a null heap");
  EXPECT_DEATH(HeapReAlloc(nullptr, 0, block, 8), "HeapReAlloc was given a null heap");
  EXPECT_DEATH(HeapFree(nullptr, 0, block), "HeapFree was given a null heap");
  EXPECT_DEATH(HeapDestroy(nullptr), "HeapDestroy was given a null heap");
}

}  // namespace
}  // namespace huecast
