// The process heap: HeapAlloc and HeapFree, their trace and their faults.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "test_machine.h"

namespace {

using rq47test::TestMachine;

TEST(ProcessHeap, BlocksAreDistinctZeroedOnRequestAndFreedOnce) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  HANDLE heap = GetProcessHeap();
  ASSERT_EQ(heap, GetProcessHeap());
  auto* plain = static_cast<unsigned char*>(HeapAlloc(heap, 0, 64));
  auto* zeroed = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
  void* empty = HeapAlloc(heap, 0, 0);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(zeroed, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty, plain);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(zeroed), 64), std::string(64, '\0'));
  EXPECT_NE(plain[0], 0) << "memory not asked to be zeroed is not zero";
  plain[63] = 'x';  // the whole block is the program's
  EXPECT_EQ(run.heapBlockCount(), 3u);

  EXPECT_TRUE(HeapFree(heap, 0, plain));
  EXPECT_FALSE(HeapFree(heap, 0, plain)) << "a block is freed once";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(HeapFree(heap, 0, zeroed + 1)) << "only a block's own address frees it";
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  EXPECT_EQ(run.heapBlockCount(), 2u);
  EXPECT_EQ(run.trace()[0], "HeapAlloc(#540000, 0x0, 64) = block 1");
  EXPECT_EQ(run.trace()[3], "HeapFree(#540000, 0x0, block 1) = TRUE");
  EXPECT_EQ(run.trace()[4], "HeapFree(#540000, 0x0, ?) = FALSE, ERROR_INVALID_PARAMETER");
  // What the program leaves goes with the run.
  EXPECT_EQ(machine.newRun().heapBlockCount(), 0u);
}

TEST(ProcessHeap, AFailingAllocationGivesNullAndLeavesTheLastError) {
  TestMachine machine;
  winsim::Run& run = machine.run();
  run.addFault({"HeapAlloc", "", 2, 0});
  run.lastError = ERROR_FILE_NOT_FOUND;
  void* first = HeapAlloc(GetProcessHeap(), 0, 16);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 16), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(run.trace().back(), "HeapAlloc(#540000, 0x0, 16) = NULL [injected fault]");
  EXPECT_EQ(run.heapBlockCount(), 1u);
  EXPECT_EQ(HeapAlloc(reinterpret_cast<HANDLE>(0x1234), 0, 16), nullptr) << "not a heap";
}

}  // namespace
