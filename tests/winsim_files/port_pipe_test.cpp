// Serial ports opened by name, and the two ends of an anonymous pipe.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "test_machine.h"

namespace {

using rq47test::TestMachine;
using winsim::PortState;
using winsim::RunStopped;

HANDLE OpenPort(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
}

class Ports : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.config().ports["COM1"] = PortState::Free;
    machine_.config().ports["COM2"] = PortState::Busy;
    machine_.run();
  }
  TestMachine machine_;
};

TEST_F(Ports, AFreePortOpensOnceAtATime) {
  HANDLE port = OpenPort("COM1");
  ASSERT_NE(port, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OpenPort("\\\\.\\com1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(machine_.run().openHandleCount(), 1u);

  OVERLAPPED overlapped{};
  DWORD count = 99;
  EXPECT_TRUE(WriteFile(port, "ATZ\r", 4, &count, &overlapped));
  EXPECT_EQ(count, 4u);
  char buffer[8];
  count = 99;
  EXPECT_TRUE(ReadFile(port, buffer, sizeof buffer, &count, &overlapped));
  EXPECT_EQ(count, 0u);

  EXPECT_TRUE(CloseHandle(port));
  HANDLE again = OpenPort("\\\\.\\COM1");
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_EQ(machine_.run().openHandleCount(), 0u);
  // A port is a device, never a file on the drive.
  EXPECT_FALSE(machine_.exists("C:\\WINDOWS\\COM1"));
}

TEST_F(Ports, BusyAndUnlistedPortsDoNotOpen) {
  EXPECT_EQ(OpenPort("COM2"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(OpenPort("COM3"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  machine_.run().addFault({"CreateFileA", "COM1", 0, 0});
  EXPECT_EQ(OpenPort("COM1"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(machine_.run().openHandleCount(), 0u);
}

class Pipes : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.run();
    ASSERT_TRUE(CreatePipe(&read_, &write_, nullptr, 0));
  }
  std::string Take(DWORD size) {
    std::string buffer(size, '\0');
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(read_, buffer.data(), size, &got, nullptr)) << GetLastError();
    buffer.resize(got);
    return buffer;
  }
  bool Put(const std::string& text) {
    DWORD wrote = 0;
    bool ok = WriteFile(write_, text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr);
    EXPECT_EQ(wrote, ok ? text.size() : 0u);
    return ok;
  }
  TestMachine machine_;
  HANDLE read_ = nullptr;
  HANDLE write_ = nullptr;
};

TEST_F(Pipes, BytesPassInOrderAndTheEndsKeepTheirDirection) {
  EXPECT_TRUE(Put("hello, "));
  EXPECT_TRUE(Put("child"));
  EXPECT_EQ(Take(3), "hel");
  EXPECT_EQ(Take(100), "lo, child");

  DWORD count = 0;
  char byte = 0;
  EXPECT_FALSE(ReadFile(write_, &byte, 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(WriteFile(read_, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Pipes, AClosedWriteEndEndsTheInputAfterWhatItLeft) {
  EXPECT_TRUE(Put("last words"));
  EXPECT_TRUE(CloseHandle(write_));
  EXPECT_EQ(Take(64), "last words");
  char byte = 0;
  DWORD count = 5;
  EXPECT_FALSE(ReadFile(read_, &byte, 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(CloseHandle(read_));
  EXPECT_EQ(machine_.run().openHandleCount(), 0u);
}

TEST_F(Pipes, AClosedReadEndBreaksTheWriter) {
  EXPECT_TRUE(CloseHandle(read_));
  EXPECT_FALSE(Put("nobody listens"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_TRUE(CloseHandle(write_));
}

TEST_F(Pipes, WaitingForeverStopsTheRun) {
  // Reading an empty pipe whose writer is still open would never return.
  try {
    Take(1);
    FAIL() << "ReadFile returned on an empty pipe with its write end open";
  } catch (const RunStopped& stopped) {
    EXPECT_EQ(stopped.reason, RunStopped::Reason::Deadlock);
    EXPECT_NE(std::string(stopped.what()).find("write end"), std::string::npos) << stopped.what();
  }
  // The pipe holds 4096 bytes; one more with nobody reading would block forever.
  EXPECT_TRUE(Put(std::string(4000, 'a')));
  EXPECT_TRUE(Put(std::string(96, 'b')));
  try {
    Put("c");
    FAIL() << "WriteFile returned on a full pipe";
  } catch (const RunStopped& stopped) {
    EXPECT_EQ(stopped.reason, RunStopped::Reason::Deadlock);
    EXPECT_NE(std::string(stopped.what()).find("4096"), std::string::npos) << stopped.what();
  }
  EXPECT_EQ(Take(4096), std::string(4000, 'a') + std::string(96, 'b'));
}

}  // namespace
