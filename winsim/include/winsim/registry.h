// The simulated registry: a tree of keys held in memory, with the rules of the
// Windows 95/98 registry.
//
// - Key and value names compare without regard to case (ASCII letters) and keep
//   the case they were created with.
// - Subkeys enumerate in case-insensitive alphabetical order; values keep the
//   order in which they were first set.
// - A value keeps exactly the bytes written, whatever its type.
// - Deleting a key deletes all its subkeys. A key that was deleted stays alive
//   for whoever still holds it (an open handle), but reports deleted().
// - Keys nest at most kMaxKeyDepth levels below a root. Key and value names
//   cannot hold a carriage return or a line feed, because the registry file
//   (one name per line) could not keep them.
#ifndef WINSIM_REGISTRY_H
#define WINSIM_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// Case-insensitive comparison of registry names, as Windows 95/98 compares
// them: ASCII letters fold to upper case, every other byte compares as itself.
int CompareNames(std::string_view a, std::string_view b);
bool NamesEqual(std::string_view a, std::string_view b);

// The deepest a key can lie below its root (the limit of the NT registry; far
// beyond any real Windows 95/98 registry).
constexpr size_t kMaxKeyDepth = 512;

// True when a key or value name can be kept: no carriage return, no line feed.
bool IsStorableName(std::string_view name);

struct RegValue {
  std::string name;  // empty for the default value
  uint32_t type = 0;
  std::string data;  // the exact bytes stored

  // The text of a string value: its bytes up to the first NUL.
  std::string text() const;
};

class RegKey : public std::enable_shared_from_this<RegKey> {
 public:
  explicit RegKey(std::string name, RegKey* parent = nullptr);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  const std::string& name() const { return name_; }
  RegKey* parent() const { return parent_; }
  bool deleted() const { return deleted_; }
  // How many levels below its root the key lies (0 for a root).
  size_t depth() const { return depth_; }
  // The path from the root, e.g. "HKEY_LOCAL_MACHINE\Enum\PCI". A deleted
  // key's path starts at the top of the subtree that was deleted.
  std::string path() const;

  // Subkeys, in case-insensitive alphabetical order.
  size_t subkeyCount() const { return subkeys_.size(); }
  RegKey* subkey(size_t index) const;
  std::shared_ptr<RegKey> subkeyShared(size_t index) const;
  // A name may also be a path below this key ("Enum\PCI"); empty parts are
  // skipped, and an empty path names this key itself.
  RegKey* findSubkey(std::string_view name) const;
  std::shared_ptr<RegKey> findSubkeyShared(std::string_view name) const;
  // Returns the existing subkey of that name, or a new one (with any missing
  // keys on the way). *created tells whether the last key was made. Throws
  // std::length_error beyond kMaxKeyDepth and std::invalid_argument for a name
  // that IsStorableName refuses; nothing is made then.
  RegKey& createSubkey(std::string_view name, bool* created = nullptr);
  // Deletes the subkey with all of its subkeys; false when there is none (or
  // the path is empty: a key cannot delete itself here).
  bool deleteSubkey(std::string_view name);
  // Deletes every subkey and every value.
  void clear();

  // Values, in the order in which they were first set.
  const std::vector<RegValue>& values() const { return values_; }
  const RegValue* findValue(std::string_view name) const;
  // A value set again keeps its place and the case of its first name.
  // Throws std::invalid_argument for a name that IsStorableName refuses.
  void setValue(std::string_view name, uint32_t type, std::string data);
  bool deleteValue(std::string_view name);
  // Makes room for this many more values (a loader that knows the count).
  void reserveValues(size_t more);

  // Longest subkey name, value name and value data, as RegQueryInfoKeyA reports.
  size_t maxSubkeyNameLength() const;
  size_t maxValueNameLength() const;
  size_t maxValueDataLength() const;

  // Structural equality: same names (exact case), same values, same subkeys.
  bool sameAs(const RegKey& other) const;

 private:
  void markDeleted();
  size_t lowerBound(std::string_view name) const;
  std::shared_ptr<RegKey> findChild(std::string_view name) const;
  RegKey& createChild(std::string_view name, bool* created);
  size_t findValueIndex(std::string_view name) const;
  void indexValue(size_t index) const;
  void rebuildValueIndex() const;

  std::string name_;
  RegKey* parent_;
  uint32_t depth_ = 0;
  bool deleted_ = false;
  // Sorted by CompareNames.
  std::vector<std::shared_ptr<RegKey>> subkeys_;
  std::vector<RegValue> values_;
  // Open-addressing hash of values_ positions (plus one; 0 is free), kept for
  // keys with many values so that setting each of them stays O(1).
  mutable std::vector<uint32_t> valueSlots_;
};

// The predefined root keys of Windows 95/98.
enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

// The full name of a root as REGEDIT4 writes it ("HKEY_LOCAL_MACHINE").
const char* RootName(Root root);
// Parses a full or short root name ("HKEY_LOCAL_MACHINE", "HKLM"), without regard to case.
std::optional<Root> ParseRootName(std::string_view name);

class Registry {
 public:
  Registry();

  RegKey& root(Root root) const;
  static constexpr Root kRoots[] = {Root::LocalMachine, Root::Users,         Root::CurrentUser,
                                    Root::ClassesRoot,  Root::CurrentConfig, Root::DynData};

  // Paths start with a root name: "HKEY_LOCAL_MACHINE\Software\Zelvaran".
  // Doubled and trailing backslashes are accepted.
  RegKey* find(std::string_view path) const;
  // nullptr when the root is not known, the path is too deep or a name cannot
  // be kept.
  RegKey* create(std::string_view path);
  // Deletes the key and its subkeys; false when it is missing or a root.
  bool remove(std::string_view path);

  // Convenience for tests and tools.
  const RegValue* value(std::string_view path, std::string_view name) const;
  std::optional<std::string> text(std::string_view path, std::string_view name) const;

  bool sameAs(const Registry& other) const;

  // Set by every change; the machine saves the registry only when it is set.
  // create, remove, the registry calls and ImportRegedit4 set it; whoever
  // changes a RegKey directly sets it too.
  bool modified = false;

 private:
  std::shared_ptr<RegKey> roots_[6];
};

// Splits a registry path at backslashes, dropping empty parts.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

}  // namespace winsim

#endif  // WINSIM_REGISTRY_H
