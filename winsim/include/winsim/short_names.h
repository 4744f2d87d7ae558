// The 8.3 short names of a machine's long file names, kept with the files as a
// VFAT drive keeps them in its folders.
//
// The rule (Windows 95/98 VFAT):
// - A name that fits 8.3 (up to eight characters, a dot, up to three, all of
//   them allowed in short names) is its own short name in upper case.
// - Any other name gets its stem upper-cased without blanks and dots (+ , ; =
//   [ ] become underscores), cut to six characters, then ~1, ~2 ..., then a dot
//   and the first three characters of its extension ("Program Files" ->
//   PROGRA~1). From ~10 on the stem is cut to five characters, from ~100 on to
//   four.
// - A short name is given once, when its file or folder is made: the lowest
//   ~n that no other entry of the folder has at that moment. It stays while
//   other entries come and go, and goes only with its entry.
// - Entries put into a machine folder by hand (or copied there from another
//   machine) get theirs the first time winsim looks into their folder, before
//   anything there changes or is looked up by a short name: in the
//   case-insensitive alphabetical order of their long names (of "Zelvaran
//   IncZQRTMODM.inf" and "ZelvaranSERWAVE.inf" the first is ZELVAR~1.INF, the
//   second ZELVAR~2.INF). That is the order they would get if every folder
//   were looked at when the machine is loaded.
//
// The machine folder keeps them in short-names.txt, beside registry.reg, where
// no program sees it: one line a name, the short name, a tab, and the full
// Windows path with the long names ("PROGRA~1<tab>C:\Program Files"); lines
// that start with ';' are comments. Only names that do not fit 8.3 are listed.
// winsim writes the file when a short name was given or given up, and reads it
// when the machine is loaded; a line removed from it gives that entry a short
// name anew, by the rule for entries put in by hand.
#ifndef WINSIM_SHORT_NAMES_H
#define WINSIM_SHORT_NAMES_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class ShortNames {
 public:
  // The file in the machine folder.
  static constexpr const char* kFile = "short-names.txt";

  // The text of short-names.txt. Throws MachineError (the file, the line and
  // what is wrong) for a line that is not a short name and a path.
  static ShortNames Parse(std::string_view text);
  // The text to save, entries in the alphabetical order of their paths.
  std::string text() const;
  // Whether a short name was given or given up since the text was read or saved.
  bool changed() const { return changed_; }
  void markSaved() { changed_ = false; }

  // The short names of the entries of one folder ("C:" for the root of drive
  // C:, "C:\WINDOWS\INF" below it), in the order of `names`, the long names on
  // disk. settle() also keeps what it works out: records of entries that are
  // gone are dropped, and entries without one get theirs.
  std::vector<std::string> settle(const std::string& folder, const std::vector<std::string>& names);
  // The same without keeping anything.
  std::vector<std::string> aliases(const std::string& folder,
                                   const std::vector<std::string>& names) const;

 private:
  using Folder = std::map<std::string, std::string>;  // long name -> short name
  std::vector<std::string> work(const Folder* known, const std::vector<std::string>& names,
                                Folder* kept) const;

  std::map<std::string, Folder> folders_;
  bool changed_ = false;
};

}  // namespace winsim

#endif  // WINSIM_SHORT_NAMES_H
