// One process at a time changes a machine folder. A program's run, or a
// winsim command that changes the machine, holds it from its start to its end;
// a second one is refused at once (or waits, when asked to), told who holds
// it. Commands that only read take no hold and may run beside a holder.
//
// The hold is an advisory lock (flock) on .winsim/lock in the machine folder,
// which the kernel lets go however the holder ends, so a killed run never
// leaves the machine held. The lock file names the holder; the holder removes
// it, and the private folder when it is empty, when it lets go. The lock is
// only ever a regular file with no other link (one planted as a link to
// another file is refused, never written), and only a folder holding
// machine.ini and registry.reg is held at all: in any other folder winsim
// makes and removes nothing.
//
// Whoever takes the hold first finishes what a killed holder left: the
// journal of its run (its files are put back) and the temporary files of a
// save that was cut short.
#ifndef WINSIM_MACHINE_HOLD_H
#define WINSIM_MACHINE_HOLD_H

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace winsim {

// Another process holds the machine; holder() says who ("winsim run rq47set
// (process 1234, since 2024-05-02 10:41:07)").
class MachineBusy : public std::runtime_error {
 public:
  MachineBusy(const std::string& folder, std::string holder, bool stoppedWaiting);
  const std::string& holder() const { return holder_; }
  // The holder took the machine as `who` (the name a MachineHold was given).
  bool heldBy(const std::string& who) const;
  // The person stopped the wait for the holder (Ctrl-C).
  bool stoppedWaiting() const { return stoppedWaiting_; }

 private:
  std::string holder_;
  bool stoppedWaiting_;
};

class MachineHold {
 public:
  // Takes the machine folder for this process; `who` names this process to
  // others ("rq47set", "winsim reg import"). With `wait`, waits for a holder
  // to end (calling `waiting` once, with the holder, before it waits; a
  // Ctrl-C ends the wait); else throws MachineBusy at once. Throws
  // MachineError when the folder cannot be held (it is read-only, its private
  // folder is a link) or what a killed holder left cannot be put back.
  MachineHold(const std::filesystem::path& folder, const std::string& who, bool wait,
              const std::function<void(const std::string&)>& waiting = {});
  ~MachineHold();
  MachineHold(const MachineHold&) = delete;
  MachineHold& operator=(const MachineHold&) = delete;

  // What the hold put back of a killed holder's run, as a sentence; empty
  // when nothing was left.
  const std::string& tidied() const { return tidied_; }

  // For commands that only read: when a killed process left something and
  // nobody holds the machine, puts it back so that the reader never sees it.
  // Returns what was put back (empty when nothing was, or when the machine is
  // held or cannot be written). Throws JournalRefused only: a journal that
  // must not be followed leaves the machine unreadable as it stands.
  static std::string TidyIfLeft(const std::filesystem::path& folder, const std::string& who);

 private:
  void take(const std::string& who, bool wait,
            const std::function<void(const std::string&)>& waiting);
  void release();

  std::filesystem::path folder_;
  int directory_ = -1;
  int lock_ = -1;
  bool held_ = false;
  std::string tidied_;
};

}  // namespace winsim

#endif  // WINSIM_MACHINE_HOLD_H
