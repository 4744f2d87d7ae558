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
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
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

// The bytes of a value's name or data. Held by the registry, it views bytes
// kept in the registry's store, so that a value costs no allocation of its
// own; a copy made of it (a RegValue copied out, or one made by hand) owns
// its bytes, so that it stays as it was whatever the registry does later.
// Packed to 12 bytes: a registry holds a million of them.
#pragma pack(push, 4)
class RegBytes {
 public:
  RegBytes() noexcept : size_(0), owned_(false) {}
  explicit RegBytes(std::string_view bytes) : RegBytes() { own(bytes); }
  // A text of the program's own (so that "text" can stand where bytes are expected).
  RegBytes(const char* text) : RegBytes() { own(text); }
  RegBytes(const RegBytes& other) : RegBytes() { own(other.view()); }
  RegBytes(RegBytes&& other) noexcept
      : data_(other.data_), size_(other.size_), owned_(other.owned_) {
    other.data_ = "";
    other.size_ = 0;
    other.owned_ = false;
  }
  RegBytes& operator=(const RegBytes& other) { return *this = other.view(); }
  RegBytes& operator=(RegBytes&& other) noexcept;
  RegBytes& operator=(std::string_view bytes);
  RegBytes& operator=(const std::string& bytes) { return *this = std::string_view(bytes); }
  RegBytes& operator=(const char* bytes) { return *this = std::string_view(bytes); }
  ~RegBytes() { release(); }

  // Bytes the registry's store keeps (no copy is made).
  static RegBytes Viewing(const char* data, size_t size) noexcept {
    RegBytes bytes;
    bytes.data_ = data;
    bytes.size_ = static_cast<uint32_t>(size) & kLargest;
    return bytes;
  }
  static constexpr uint32_t kLargest = 0x7fffffff;

  const char* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* begin() const { return data_; }
  const char* end() const { return data_ + size_; }
  char operator[](size_t index) const { return data_[index]; }
  char front() const { return data_[0]; }
  char back() const { return data_[size_ - 1]; }
  std::string_view view() const { return std::string_view(data_, size_); }
  size_t find(char c, size_t from = 0) const { return view().find(c, from); }
  size_t find_first_of(std::string_view set, size_t from = 0) const {
    return view().find_first_of(set, from);
  }
  std::string_view substr(size_t from, size_t count = std::string_view::npos) const {
    return view().substr(from, count);
  }
  operator std::string_view() const { return view(); }
  operator std::string() const { return std::string(data_, size_); }

  friend bool operator==(const RegBytes& a, const RegBytes& b) { return a.view() == b.view(); }
  friend bool operator==(const RegBytes& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(std::string_view a, const RegBytes& b) { return a == b.view(); }
  friend bool operator==(const RegBytes& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const std::string& a, const RegBytes& b) { return a == b.view(); }
  friend bool operator==(const RegBytes& a, const char* b) { return a.view() == b; }
  friend bool operator==(const char* a, const RegBytes& b) { return a == b.view(); }
  template <class T>
  friend bool operator!=(const RegBytes& a, const T& b) {
    return !(a == b);
  }
  template <class T, class = std::enable_if_t<!std::is_same_v<T, RegBytes>>>
  friend bool operator!=(const T& a, const RegBytes& b) {
    return !(b == a);
  }
  friend bool operator<(const RegBytes& a, const RegBytes& b) { return a.view() < b.view(); }
  friend std::string operator+(std::string a, const RegBytes& b) { return a.append(b.view()); }
  friend std::string operator+(const RegBytes& a, const std::string& b) {
    return std::string(a.view()).append(b);
  }
  friend std::string operator+(const char* a, const RegBytes& b) {
    return std::string(a).append(b.view());
  }
  friend std::string operator+(const RegBytes& a, const char* b) {
    return std::string(a.view()).append(b);
  }
  friend std::ostream& operator<<(std::ostream& out, const RegBytes& bytes) {
    return out << bytes.view();
  }

 private:
  void own(std::string_view bytes);
  void release() noexcept {
    if (owned_) delete[] data_;
  }

  const char* data_ = "";
  uint32_t size_ : 31;  // less than 2 GB, far beyond any registry value
  uint32_t owned_ : 1;
};
#pragma pack(pop)

struct RegValue {
  RegBytes name;  // empty for the default value
  uint32_t type = 0;
  RegBytes data;  // the exact bytes stored

  // The text of a string value: its bytes up to the first NUL.
  std::string text() const;
};

// Where the registry keeps the bytes of its values' names and data: large
// blocks filled one after the other, never moved, so that a value's bytes
// stay where they are for as long as the registry (or a key still held
// open) lives. Bytes that a value no longer uses are given back only with
// the store.
class ByteStore {
 public:
  ByteStore() = default;
  ByteStore(const ByteStore&) = delete;
  ByteStore& operator=(const ByteStore&) = delete;

  // A copy of the bytes in the store.
  const char* keep(std::string_view bytes);
  // The same for a value's name, kept once for each spelling however many
  // values bear it (a registry names a million values with a few thousand
  // names). Names are never written over, so they can be shared.
  const char* keepName(std::string_view name);

 private:
  struct NameSlot {
    const char* data = nullptr;
    uint32_t size = 0;
    uint32_t hash = 0;
  };
  void growNames();

  static constexpr size_t kBlockSize = size_t{1} << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;
  size_t left_ = 0;
  std::vector<NameSlot> names_;  // open addressing; a power of two long
  size_t nameCount_ = 0;
};

class RegKey : public std::enable_shared_from_this<RegKey> {
 public:
  // A key of its own keeps its values' bytes in a store of its own; a subkey
  // shares its parent's.
  explicit RegKey(std::string name, RegKey* parent = nullptr);
  RegKey(std::string name, std::shared_ptr<ByteStore> store);
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
  void setValue(std::string_view name, uint32_t type, std::string_view data);
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
  std::shared_ptr<ByteStore> store_;
  // Sorted by CompareNames.
  std::vector<std::shared_ptr<RegKey>> subkeys_;
  std::vector<RegValue> values_;
  // Open-addressing hash of values_ positions (plus one; 0 is free), kept for
  // keys with many values so that setting each of them stays O(1).
  mutable std::unique_ptr<uint32_t[]> valueSlots_;
  mutable uint32_t slotCount_ = 0;
  uint32_t depth_ = 0;
  bool deleted_ = false;
};

// The predefined root keys of Windows 95/98.
enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

// A root's names and its predefined handle.
struct RootEntry {
  Root root;
  // As REGEDIT4 writes it ("HKEY_LOCAL_MACHINE").
  const char* name;
  // As traces and key paths may write it ("HKLM").
  const char* shortName;
  // The 32-bit value of the predefined handle, sign-extended in a 64-bit process.
  uint32_t handleValue;
};

// Every root, in the order messages list them.
inline constexpr RootEntry kRootEntries[] = {
    {Root::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM", 0x80000002},
    {Root::CurrentUser, "HKEY_CURRENT_USER", "HKCU", 0x80000001},
    {Root::Users, "HKEY_USERS", "HKU", 0x80000003},
    {Root::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR", 0x80000000},
    {Root::CurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC", 0x80000005},
    {Root::DynData, "HKEY_DYN_DATA", "HKDD", 0x80000006},
};

// The root whose predefined handle `handle` is; nullptr for any other handle.
const RootEntry* PredefinedRoot(const void* handle);

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
  std::shared_ptr<ByteStore> store_;
  std::shared_ptr<RegKey> roots_[6];
};

// Splits a registry path at backslashes, dropping empty parts.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

}  // namespace winsim

#endif  // WINSIM_REGISTRY_H
