// One holder of a machine folder at a time: a second is refused and told who
// holds it; a holder leaves nothing behind; a read-only folder is refused; what
// a killed holder left is put back by the next holder or reader, never under a
// living holder's feet.
#include <gtest/gtest.h>
#include <unistd.h>
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

TEST_F(MachineHoldTest, ASecondHolderIsToldWhoHoldsTheMachine) {
  {
    winsim::MachineHold first(dir_.path(), "winsim run rq47set", false);
    try {
      winsim::MachineHold second(dir_.path(), "rq47set", false);
      ADD_FAILURE() << "two holders at once";
    } catch (const winsim::MachineBusy& busy) {
      EXPECT_EQ(busy.holder().rfind(
                    "winsim run rq47set (process " + std::to_string(getpid()) + ", since ", 0),
                0u)
          << busy.holder();
      EXPECT_FALSE(busy.stoppedWaiting());
    }
  }
  { winsim::MachineHold again(dir_.path(), "rq47set", false); }
  EXPECT_FALSE(fs::exists(dir_.path() / winsim::kPrivateFolderName));
}

TEST_F(MachineHoldTest, AReadOnlyFolderIsRefusedBeforeAnythingIsWritten) {
  fs::permissions(dir_.path(), fs::perms::owner_write, fs::perm_options::remove);
  try {
    winsim::MachineHold hold(dir_.path(), "rq47set", false);
    ADD_FAILURE() << "a read-only folder was held";
  } catch (const winsim::MachineError& error) {
    EXPECT_NE(error.problem().find("is read-only"), std::string::npos) << error.problem();
    EXPECT_NE(error.problem().find("chmod u+w"), std::string::npos) << error.problem();
  }
  fs::permissions(dir_.path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_FALSE(fs::exists(dir_.path() / winsim::kPrivateFolderName));
}

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
