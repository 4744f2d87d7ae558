// What a run changes in the files of a machine folder, kept so that all of it
// can be put back when the run is not to be kept (winsim failed, the person
// stopped it, or the process was killed and the next start finds the journal).
//
// The journal lives in the machine folder's private folder, .winsim/journal/,
// outside every drive, so no program and no comparison of machines sees it:
//
//   log        one record for each change, written and flushed before the
//              change is made: a file or folder that will be new, a file kept
//              as kept-N, or a new file or folder that could not be made
//   kept-N     the file as it was, linked (or copied) here before its record
//              is written: a deleted file is moved here instead of being
//              unlinked, a replaced file stays here while the new one is
//              renamed over it
//   copy-*     temporary files the run makes before it renames them into place
//
// Keeping the changes is dropping the journal (renamed to journal.done, then
// removed, so that the rename is the moment of the decision). Putting them
// back walks the log from its end. Both are safe to repeat after a kill.
//
// A machine folder may come from anyone, so a journal found in it is checked
// whole before anything is put back: every record must name a plain path in a
// drive or one of the machine's own files, reached through no link, and every
// kept file it names must be there. A journal that fails is left as it is, and
// the machine is not used until a person has looked at it. The running process
// holds a lock on its log, so a journal whose run still goes is never taken
// for one a killed run left.
#ifndef WINSIM_FILE_JOURNAL_H
#define WINSIM_FILE_JOURNAL_H

#include <filesystem>
#include <set>
#include <string>

#include "winsim/machine.h"

namespace winsim {

// The machine folder's private folder (".winsim"), where winsim keeps its lock
// and the journal of a run.
inline constexpr const char* kPrivateFolderName = ".winsim";

// A journal left in the machine folder that cannot be finished safely: it is
// damaged or crafted, or the run that writes it still goes. Nothing was put
// back and the journal stays.
class JournalRefused : public MachineError {
 public:
  using MachineError::MachineError;
};

class FileJournal {
 public:
  // Starts an empty journal. The private folder must exist and hold no
  // journal. Throws MachineError.
  explicit FileJournal(const std::filesystem::path& machineFolder);
  // Leaves the journal on disk when neither commit() nor rollback() was done,
  // so that the next start puts the files back.
  ~FileJournal();
  FileJournal(const FileJournal&) = delete;
  FileJournal& operator=(const FileJournal&) = delete;

  // Called by the file calls before they change a file of the machine; each
  // returns 0, or the host error (errno) for which the change must not be made.
  // A path already new or kept in this run needs nothing more.
  int willCreate(const std::filesystem::path& host);
  // The file or folder announced by willCreate() was not made (it was there
  // already, or the host refused): the journal must not remove it.
  void notCreated(const std::filesystem::path& host);
  // Names a new temporary file in `folder` (a drive on another file system)
  // and records it as new, so that a kill before its rename leaves nothing;
  // the caller creates it exclusively. 0 or errno.
  int newTemporary(const std::filesystem::path& folder, std::string& name);
  // Keeps the file as it is; the caller then renames another file over it.
  int willReplace(const std::filesystem::path& host);
  // Removes the file, keeping it.
  int remove(const std::filesystem::path& host);
  // True when the path was made or kept in this run: writes to it need no record.
  bool covers(const std::filesystem::path& host) const;
  // Where the run makes its temporary files (on the machine folder's file system).
  const std::filesystem::path& scratchFolder() const { return folder_; }

  // Keeps every change: flushes what the run wrote, then drops the journal.
  // Throws MachineError when it cannot.
  void commit();
  // Puts every file back as it was, newest change first, then drops the
  // journal. Throws MachineError naming what could not be put back; the
  // journal then stays for the next start to finish.
  void rollback();

  // At the start of a run or command that holds the machine: finishes the
  // decision a killed process left, putting the files of an undecided run
  // back. Returns true when there was a run to undo. Throws JournalRefused
  // for a journal it must not follow, MachineError when files cannot be put back.
  static bool FinishLeftJournal(const std::filesystem::path& machineFolder);
  // True when a killed process left a journal.
  static bool LeftJournal(const std::filesystem::path& machineFolder);

 private:
  int append(const std::string& record);
  // Records that the file at `path` is kept, and names where it goes.
  int recordKept(const std::string& path, std::filesystem::path& kept);
  std::string relative(const std::filesystem::path& host) const;

  std::filesystem::path machine_;
  std::filesystem::path folder_;
  int machineFd_ = -1;
  int folderFd_ = -1;
  int log_ = -1;
  unsigned nextKept_ = 1;
  std::set<std::string> covered_;
  std::set<std::string> created_;  // recorded as new; notCreated() may take it back
  bool decided_ = false;
};

}  // namespace winsim

#endif  // WINSIM_FILE_JOURNAL_H
