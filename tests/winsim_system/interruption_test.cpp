// A run stopped after k calls ends as a killed process does: no later call has
// any effect, and the closes and frees that RAII owners make while the stop
// unwinds the program neither throw again nor show in the trace.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "winsim/machine.h"
#include "winsim/run.h"

namespace {

// Closes its key when it goes, as the programs' key owners do.
struct ClosingKey {
  HKEY key = nullptr;
  ~ClosingKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

class Interruption : public ::testing::Test {
 protected:
  Interruption() {
    machine_.registry.create("HKLM\\Software\\Zelvaran")->setValue("Version", REG_SZ,
                                                                 std::string("3\0", 2));
  }
  winsim::Machine machine_;
  winsim::Run run_{machine_};
};

void OpenQueryAndWrite() {
  ClosingKey key;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelvaran", 0, KEY_ALL_ACCESS, &key.key);
  DWORD size = 0;
  RegQueryValueExA(key.key, "Version", nullptr, nullptr, nullptr, &size);
  const BYTE one = 1;
  RegSetValueExA(key.key, "Country", 0, REG_BINARY, &one, 1);
}

TEST_F(Interruption, StopUnwindsThroughClosingOwnersWithoutEndingTheProcess) {
  run_.stopAfterCalls(2);
  EXPECT_THROW(OpenQueryAndWrite(), winsim::RunStopped);
  EXPECT_TRUE(run_.stopped());
  EXPECT_EQ(run_.trace().size(), 2u);  // the open and the query; nothing after the stop
  EXPECT_EQ(machine_.registry.value("HKLM\\Software\\Zelvaran", "Country"), nullptr);
  // The kill left the key open, as the platform finds a killed process's handles.
  EXPECT_EQ(run_.openHandleCount(), 1u);
}

TEST_F(Interruption, StopFallingOnACloseWaitsForTheNextOtherCall) {
  run_.stopAfterCalls(1);
  {
    ClosingKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zelvaran", 0, KEY_READ, &key.key),
              ERROR_SUCCESS);
  }  // the close is call 2: it must not throw out of the destructor
  EXPECT_TRUE(run_.stopped());
  DWORD size = 0;
  EXPECT_THROW(RegQueryValueExA(HKEY_LOCAL_MACHINE, "Version", nullptr, nullptr, nullptr, &size),
               winsim::RunStopped);
  EXPECT_EQ(run_.trace().size(), 1u);
}

TEST_F(Interruption, StopFallingOnAFreeWaitsForTheNextOtherCall) {
  // Frees its block when it goes, as the programs' heap buffers do.
  struct FreeingBlock {
    void* block = HeapAlloc(GetProcessHeap(), 0, 16);
    ~FreeingBlock() { HeapFree(GetProcessHeap(), 0, block); }
  };
  run_.stopAfterCalls(1);
  { FreeingBlock owner; }  // the free is call 2: it must not throw out of the destructor
  EXPECT_TRUE(run_.stopped());
  EXPECT_EQ(run_.trace().size(), 1u);
  EXPECT_EQ(run_.heapBlockCount(), 1u) << "the kill left the block to the run";
}

}  // namespace
