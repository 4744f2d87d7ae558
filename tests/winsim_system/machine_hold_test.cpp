// What a killed holder of a machine folder left is put back by the next holder
// or reader, never under a living holder's feet. (Holders refused and waiting
// are tried as processes in entry_test.cpp.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "test_machine.h"
#include "winsim/file_journal.h"
#include "winsim/machine.h"
#include "winsim/machine_hold.h"
#include "winsim/run.h"

namespace fs = std::filesystem;

namespace {

using rq47test::TempDir;

class MachineHoldTest : public testing::Test {
 protected:
  TempDir dir_;
  winsim::Machine machine_ = winsim::Machine::create(dir_.path());
};

TEST_F(MachineHoldTest, AKilledHoldersRunIsPutBackByTheNextOneNotWhileItLives) {
  const fs::path file = dir_.path() / "drive_c" / "WINDOWS" / "kept.txt";
  std::ofstream(file) << "kept";
  {
    auto holder = std::make_unique<winsim::MachineHold>(dir_.path(), "rq47set", false);
    winsim::FileJournal journal(dir_.path());
    winsim::Run run(machine_);
    run.setJournal(&journal);
    ASSERT_TRUE(DeleteFileA("C:\\WINDOWS\\kept.txt"));
    // A reader while the run goes on leaves it alone.
    EXPECT_EQ(winsim::MachineHold::TidyIfLeft(dir_.path(), "winsim diff"), "");
    EXPECT_FALSE(fs::exists(file));
  }  // the run ends undecided, as a killed one does
  std::string tidied = winsim::MachineHold::TidyIfLeft(dir_.path(), "winsim diff");
  EXPECT_NE(tidied.find("was stopped before it ended"), std::string::npos) << tidied;
  EXPECT_TRUE(fs::exists(file));
  EXPECT_FALSE(fs::exists(dir_.path() / winsim::kPrivateFolderName));
}

}  // namespace
