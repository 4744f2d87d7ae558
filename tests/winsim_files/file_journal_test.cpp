// What a run changes in the files, recorded so that it can be put back: every
// kind of change the file calls make, undone whole, kept whole, and undone
// after the process was killed; and no write reaches a file outside the machine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>

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

// A journal found in a machine folder may have been written by anyone: one
// that names anything but a plain path of the machine, is damaged, or lost a
// kept file is refused whole, and the journal, its kept files, the machine and
// everything outside stay as they were.
TEST_F(FileJournalTest, ACraftedOrDamagedJournalIsRefusedAndKept) {
  const fs::path outside = dir_.path().parent_path() / (dir_.path().filename().string() + ".x");
  const fs::path windows = dir_.path() / "drive_c" / "WINDOWS";
  auto rec = [](char kind, const std::string& path, int kept = 0) {
    std::string head = std::string(1, kind) + " " + (kept != 0 ? std::to_string(kept) + " " : "");
    return head + std::to_string(path.size()) + " " + path + "\n";
  };
  const std::string a = "drive_c/WINDOWS/a.txt";
  const struct {
    const char* what;
    std::string log;
    std::vector<int> keptFiles;
    const char* said;
    uintmax_t sparseSize = 0;  // the log made this long, with nothing written after its records
  } cases[] = {
      {"a path out through ..",
       rec('N', "drive_c/../../" + outside.filename().string()),
       {},
       "record 1 names"},
      {"an absolute path",
       rec('N', a) + rec('K', (outside / "victim.txt").string(), 1),
       {1},
       "record 2 names"},
      {"a path through a link",
       rec('N', "drive_c/WINDOWS/link/victim.txt"),
       {},
       "record 1 names \"drive_c/WINDOWS/link/victim.txt\", which leads through a link"},
      {"winsim's own lock", rec('N', ".winsim/lock"), {}, "record 1 names"},
      {"one damaged byte",
       rec('N', a) + "X" + rec('N', a).substr(1) + rec('K', a, 1),
       {1},
       "record 2 is damaged"},
      {"a kept file missing",
       rec('K', a, 1) + rec('K', "drive_c/WINDOWS/b.txt", 2),
       {2},
       "record 1 names a kept file that is missing (kept-1)"},
      {"records lost after the last", rec('K', a, 1), {1, 2, 3}, "kept-3 has no record"},
      {"a log far too long", rec('N', a), {}, "more than 64 MB", uintmax_t{128} << 20},
  };
  fs::create_directory(outside);
  Write(outside / "victim.txt", "outside");
  fs::create_directory_symlink(outside, windows / "link");
  const fs::path journal = dir_.path() / winsim::kPrivateFolderName / "journal";
  const auto machine = FolderContents(dir_.path());
  for (const auto& trial : cases) {
    fs::create_directories(journal);
    Write(journal / "log", trial.log);
    if (trial.sparseSize != 0) fs::resize_file(journal / "log", trial.sparseSize);
    for (int kept : trial.keptFiles) Write(journal / ("kept-" + std::to_string(kept)), "kept");
    const auto left = FolderContents(dir_.path());
    try {
      winsim::FileJournal::FinishLeftJournal(dir_.path());
      ADD_FAILURE() << trial.what << ": not refused";
    } catch (const winsim::JournalRefused& refused) {
      EXPECT_NE(std::string(refused.what()).find(trial.said), std::string::npos)
          << trial.what << ": " << refused.what();
    }
    EXPECT_EQ(FolderContents(dir_.path()), left) << trial.what;
    EXPECT_EQ(FolderContents(outside),
              (std::map<std::string, std::string>{{"victim.txt", "outside"}}))
        << trial.what;
    fs::remove_all(journal);
    EXPECT_EQ(FolderContents(dir_.path()), machine) << trial.what;
  }
  fs::remove_all(outside);
}

// A rollback removes what the run made and nothing else: a folder the run
// found made by someone else between its check and its make, or that someone
// else filled, stays with what it holds.
TEST_F(FileJournalTest, ARollbackRemovesOnlyWhatTheRunMade) {
  const fs::path windows = dir_.path() / "drive_c" / "WINDOWS";
  const struct {
    const char* what;
    bool runMadeIt;
    bool theirFileInIt;
  } cases[] = {{"made by someone else as the run made it", false, false},
               {"made by the run, then filled by someone else", true, true},
               {"made by someone else and filled", false, true}};
  for (const auto& trial : cases) {
    const fs::path folder = windows / "Other";
    {
      winsim::FileJournal journal(machine_->folder());
      ASSERT_EQ(journal.willCreate(folder), 0);
      fs::create_directory(folder);
      if (!trial.runMadeIt) journal.notCreated(folder);  // its mkdir found the folder there
      if (trial.theirFileInIt) Write(folder / "theirs.txt", "theirs");
      journal.rollback();
    }
    EXPECT_EQ(fs::exists(folder), !trial.runMadeIt || trial.theirFileInIt) << trial.what;
    if (trial.theirFileInIt) EXPECT_EQ(Read(folder / "theirs.txt"), "theirs") << trial.what;
    fs::remove_all(folder);
  }
}

// A folder swapped for a link while the run goes leads neither a write nor
// the rollback outside the machine.
TEST_F(FileJournalTest, AFolderSwappedForALinkMidRunLeadsNothingOutside) {
  const fs::path outside = dir_.path().parent_path() / (dir_.path().filename().string() + ".y");
  const fs::path sub = dir_.path() / "drive_c" / "WINDOWS" / "SUB";
  fs::create_directory(outside);
  Write(outside / "x.txt", "outside");
  fs::create_directory(sub);
  Write(sub / "x.txt", "machine");
  winsim::FileJournal journal(machine_->folder());
  {
    winsim::Run run(*machine_);
    run.setJournal(&journal);
    ASSERT_TRUE(DeleteFileA("C:\\WINDOWS\\SUB\\x.txt"));
    fs::rename(sub, dir_.path() / "drive_c" / "moved");
    fs::create_directory_symlink(outside, sub);
    EXPECT_FALSE(CopyFileA("C:\\WINDOWS\\a.txt", "C:\\WINDOWS\\SUB\\new.txt", FALSE));
    EXPECT_FALSE(DeleteFileA("C:\\WINDOWS\\SUB\\x.txt"));
  }
  EXPECT_THROW(journal.rollback(), winsim::MachineError);
  EXPECT_EQ(FolderContents(outside), (std::map<std::string, std::string>{{"x.txt", "outside"}}));
  fs::remove_all(outside);
}

// Swaps two entries again and again (and does `after` each time) until it is
// stopped: a folder changed under a run by someone else at the worst moments.
class Swapper {
 public:
  Swapper(
      fs::path a, fs::path b, std::function<void()> after = [] {})
      : thread_([this, a, b, after] {
          while (!done_) {
            ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
            after();
          }
        }) {}
  ~Swapper() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Starts the built-in regedit on a file and lets go of the process.
void Regedit(const char* file) {
  std::string line = std::string("regedit /s ") + file;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
}

// A folder outside the machine beside it, and C:\WINDOWS\SUB with a link
// "swapped" next to it that leads to that outside folder: what a Swapper
// exchanges under a run.
struct SwapScene {
  fs::path outside;
  fs::path windows;
};
SwapScene MakeSwapScene(const fs::path& machineFolder, const char* suffix) {
  SwapScene scene{machineFolder.parent_path() / (machineFolder.filename().string() + suffix),
                  machineFolder / "drive_c" / "WINDOWS"};
  fs::create_directories(scene.outside);
  fs::create_directories(scene.windows / "SUB");
  fs::create_directory_symlink(scene.outside, scene.windows / "swapped");
  return scene;
}

// A folder swapped again and again with a link to a folder outside while its
// files are read: the copy and regedit read the machine's file or none, never
// the one outside.
TEST_F(FileJournalTest, AFolderSwappedForALinkWhileReadReadsNothingOutside) {
  const auto [outside, windows] = MakeSwapScene(dir_.path(), ".z");
  for (const auto& [folder, name] : {std::pair{outside, "Outside"}, {windows / "SUB", "Inside"}}) {
    Write(folder / "x.txt", name);
    Write(folder / "x.reg", std::string("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\") + name + "]\r\n");
  }
  winsim::Run run(*machine_);
  Swapper swapper(windows / "SUB", windows / "swapped");
  std::set<std::string> copied;
  for (int i = 0; i < 2000; ++i) {
    if (CopyFileA("C:\\WINDOWS\\SUB\\x.txt", "C:\\WINDOWS\\copy.txt", FALSE)) {
      copied.insert(Read(windows / "copy.txt"));
    }
    Regedit("C:\\WINDOWS\\SUB\\x.reg");
  }
  swapper.stop();
  EXPECT_EQ(copied.count("Outside"), 0u);
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Outside", 0, KEY_READ, &key), ERROR_SUCCESS);
  fs::remove_all(outside);
}

// The same swap while files are made and removed there: the short names
// settled are those of the machine's folder, never of the one outside.
TEST_F(FileJournalTest, AFolderSwappedForALinkGivesNoShortNamesToWhatIsOutside) {
  const auto [outside, windows] = MakeSwapScene(dir_.path(), ".s");
  Write(outside / "Outside Long Name.txt", "outside");
  winsim::Run run(*machine_);
  Swapper swapper(windows / "SUB", windows / "swapped");
  // A name settled from outside is given up again once the folder is back:
  // looked for after every change.
  std::string named;
  for (int i = 0; i < 2000 && named.empty(); ++i) {
    const char* name = "C:\\WINDOWS\\SUB\\Inside Long Name.txt";
    CloseHandle(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DeleteFileA(name);
    if (machine_->shortNames.text().find("Outside") != std::string::npos) {
      named = machine_->shortNames.text();
    }
  }
  swapper.stop();
  EXPECT_EQ(named, "");
  fs::remove_all(outside);
}

// Without a journal, a file is removed where the path led when it was
// resolved, or not at all: never through the link swapped in since.
TEST_F(FileJournalTest, AFolderSwappedForALinkWhileFilesGoRemovesNothingOutside) {
  const auto [outside, windows] = MakeSwapScene(dir_.path(), ".d");
  Write(outside / "x.txt", "outside");
  winsim::Run run(*machine_);
  Swapper swapper(windows / "SUB", windows / "swapped");
  for (int i = 0; i < 2000 && fs::exists(outside / "x.txt"); ++i) {
    const char* name = "C:\\WINDOWS\\SUB\\x.txt";
    CloseHandle(CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DeleteFileA(name);
  }
  swapper.stop();
  EXPECT_EQ(Read(outside / "x.txt"), "outside");
  fs::remove_all(outside);
}

// A file swapped again and again with a pipe while it is opened: a handle is
// only ever the file's, and no open waits on the pipe.
TEST_F(FileJournalTest, AFileSwappedForAPipeIsNeverOpenedAsOne) {
  const fs::path windows = dir_.path() / "drive_c" / "WINDOWS";
  const std::string file = (windows / "x.txt").string();
  const std::string pipe = (windows / "x.pipe").string();
  Write(file, "machine");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  winsim::Run run(*machine_);
  // A writer lets an open that waits on the pipe go on (to be caught below).
  Swapper swapper(file, pipe, [&] {
    for (const std::string& name : {file, pipe}) {
      int writer = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer >= 0) ::close(writer);
    }
  });
  std::set<std::string> readOtherwise;
  for (int i = 0; i < 2000; ++i) {
    HANDLE handle =
        CreateFileA("C:\\WINDOWS\\x.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) continue;
    char text[16] = {};
    DWORD got = 0;
    ReadFile(handle, text, sizeof text, &got, nullptr);
    CloseHandle(handle);
    if (std::string(text, got) != "machine") readOtherwise.insert(std::string(text, got));
  }
  swapper.stop();
  EXPECT_EQ(readOtherwise, std::set<std::string>{});
}

// A copy made beside its target (a drive on another file system than the
// journal) is recorded before it exists: a kill before its rename leaves nothing.
TEST_F(FileJournalTest, ATemporaryFileInADriveIsGoneAfterAKill) {
  const fs::path windows = dir_.path() / "drive_c" / "WINDOWS";
  {
    winsim::FileJournal journal(machine_->folder());
    std::string made;
    ASSERT_EQ(journal.newTemporary(windows, made), 0);
    Write(made, "half a copy");
  }  // killed here
  EXPECT_TRUE(winsim::FileJournal::FinishLeftJournal(dir_.path()));
  EXPECT_EQ(FolderContents(dir_.path()), before_);
}

}  // namespace
