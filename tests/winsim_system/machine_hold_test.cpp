// What a killed holder of a machine folder left is put back by the next holder
// or reader, never under a living holder's feet. (Holders refused and waiting
// are tried as processes in entry_test.cpp.)
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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

TEST_F(MachineHoldTest, HoldersTakingTurnsNeverSeeEachOthersLockAsForeign) {
  // A waiter may open the lock file just before its holder lets go and removes
  // it; that file is gone, not someone else's, and the waiter takes the next one.
  std::vector<std::string> failures[2];
  auto takeTurns = [this](std::vector<std::string>& failed) {
    for (int turn = 0; turn < 400; ++turn) {
      try {
        winsim::MachineHold hold(dir_.path(), "winsim reg", true);
      } catch (const std::exception& error) {
        failed.push_back(error.what());
      }
    }
  };
  std::thread other(takeTurns, std::ref(failures[1]));
  takeTurns(failures[0]);
  other.join();
  for (const auto& failed : failures) {
    EXPECT_EQ(failed.size(), 0u) << (failed.empty() ? "" : failed.front());
  }
}

}  // namespace
