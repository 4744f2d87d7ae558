// What a run changes in the files, recorded so that it can be put back: every
// kind of change the file calls make, undone whole, kept whole, and undone
// after the process was killed; and no write reaches a file outside the machine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "test_machine.h"
#include "winsim/file_journal.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace fs = std::filesystem;

namespace {

using rq47test::FolderContents;
using rq47test::TempDir;

void Write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteThrough(const char* path, DWORD disposition, const char* text) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  CloseHandle(file);
}

// Every kind of change a program makes to the files, through the platform calls.
void ChangeEverything() {
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\a.txt", "C:\\WINDOWS\\SYSTEM\\new.txt", FALSE));
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\a.txt", "C:\\WINDOWS\\b.txt", FALSE));
  ASSERT_TRUE(DeleteFileA("C:\\WINDOWS\\c.txt"));
  ASSERT_TRUE(CreateDirectoryA("C:\\WINDOWS\\New Folder", nullptr));
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\a.txt", "C:\\WINDOWS\\New Folder\\in.txt", FALSE));
  WriteThrough("C:\\WINDOWS\\d.txt", OPEN_EXISTING, "XY");
  WriteThrough("C:\\WINDOWS\\e.txt", CREATE_ALWAYS, "new e");
  WriteThrough("C:\\WINDOWS\\f.txt", CREATE_NEW, "new f");
  // Replaced, deleted, then made again; deleted, then made again.
  ASSERT_TRUE(DeleteFileA("C:\\WINDOWS\\b.txt"));
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\d.txt", "C:\\WINDOWS\\b.txt", FALSE));
  ASSERT_TRUE(CopyFileA("C:\\WINDOWS\\a.txt", "C:\\WINDOWS\\c.txt", FALSE));
}

class FileJournalTest : public testing::Test {
 protected:
  // A machine with a few files, and winsim's private folder that a hold makes.
  static std::unique_ptr<winsim::Machine> MakeMachine(const fs::path& folder) {
    auto machine = std::make_unique<winsim::Machine>(winsim::Machine::create(folder));
    fs::path windows = folder / "drive_c" / "WINDOWS";
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) {
      Write(windows / name, std::string("old ") + name);
    }
    fs::create_directory(folder / winsim::kPrivateFolderName);
    return machine;
  }

  // The files as a run without a journal leaves them.
  std::map<std::string, std::string> Unjournalled() {
    TempDir twin;
    auto machine = MakeMachine(twin.path());
    {
      winsim::Run run(*machine);
      ChangeEverything();
    }
    return FolderContents(twin.path());
  }

  TempDir dir_;
  std::unique_ptr<winsim::Machine> machine_ = MakeMachine(dir_.path());
  const std::map<std::string, std::string> before_ = FolderContents(dir_.path());
};

TEST_F(FileJournalTest, RollbackPutsEveryFileBackAndCommitKeepsEveryChange) {
  for (bool keep : {false, true}) {
    winsim::FileJournal journal(machine_->folder());
    {
      winsim::Run run(*machine_);
      run.setJournal(&journal);
      ChangeEverything();
    }
    EXPECT_EQ(Read(dir_.path() / "drive_c" / "WINDOWS" / "c.txt"), "old a.txt");
    if (keep) {
      journal.commit();
      auto kept = FolderContents(dir_.path());
      EXPECT_EQ(kept, Unjournalled());
    } else {
      journal.rollback();
      EXPECT_EQ(FolderContents(dir_.path()), before_);
    }
  }
}

TEST_F(FileJournalTest, AJournalAKilledProcessLeftIsUndoneAtTheNextStart) {
  {
    winsim::FileJournal journal(machine_->folder());
    winsim::Run run(*machine_);
    run.setJournal(&journal);
    ChangeEverything();
  }  // neither kept nor undone: the process died here
  // The kill cut its last record short.
  std::ofstream(dir_.path() / winsim::kPrivateFolderName / "journal" / "log", std::ios::app)
      << "K 99 40 drive_c/WIN";
  EXPECT_TRUE(winsim::FileJournal::LeftJournal(machine_->folder()));
  EXPECT_TRUE(winsim::FileJournal::FinishLeftJournal(machine_->folder()));
  EXPECT_EQ(FolderContents(dir_.path()), before_);
  EXPECT_FALSE(winsim::FileJournal::FinishLeftJournal(machine_->folder()));
}

TEST_F(FileJournalTest, AWriteNeverReachesAFileOutsideTheMachine) {
  const fs::path outside = dir_.path().parent_path() / (dir_.path().filename().string() + ".out");
  for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    Write(outside, "outside");
    fs::path shared = dir_.path() / "drive_c" / "WINDOWS" / "shared.txt";
    fs::remove(shared);
    fs::create_hard_link(outside, shared);
    {
      winsim::Run run(*machine_);
      WriteThrough("C:\\WINDOWS\\shared.txt", disposition, "machine");
    }
    EXPECT_EQ(Read(outside), "outside") << disposition;
    EXPECT_EQ(Read(shared).substr(0, 7), "machine") << disposition;
  }
  fs::remove(outside);
}

}  // namespace
