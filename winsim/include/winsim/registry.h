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

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace winsim {

// Case-insensitive comparison of registry names, as Windows 95/98 compares
// them: ASCII letters fold to upper case, every other byte compares as itself.
int CompareNames(std::string_view a, std::string_view b);
bool NamesEqual(std::string_view a, std::string_view b);

// The deepest a key can lie below its root (the limit of the NT registry; far
// beyond any real Windows 95/98 registry).
constexpr size_t kMaxKeyDepth = 512;  // a key keeps its depth in 16 bits

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
    return RegBytes(data, static_cast<uint32_t>(size) & kLargest);
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
  int compare(size_t from, size_t count, std::string_view other) const {
    return view().compare(from, count, other);
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
  RegBytes(const char* data, uint32_t size) noexcept : data_(data), size_(size), owned_(false) {}
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

// How many bytes a reader makes readable from the first byte of any name
// or data it hands to RegKey::setValueFromPaddedLine.
constexpr size_t kPaddingBytes = 64;

// Where the registry keeps its keys, their lists and the bytes of its
// values' names and data: large blocks filled one after the other, never
// moved, so that what they hold stays where it is for as long as the
// registry (or a key still held open) lives. A registry of a million values
// takes it in a few dozen blocks instead of a million allocations of their
// own, and the large blocks are laid on the processor's large pages where
// the system offers them, so that filling them costs few page faults.
// Objects given back are kept for the next of their size; bytes that a value
// no longer uses are given back only with the store. Not for use by more
// than one thread at a time, like the registry itself.
class ByteStore {
 public:
  ByteStore() = default;
  ByteStore(const ByteStore&) = delete;
  ByteStore& operator=(const ByteStore&) = delete;
  ~ByteStore();

  // A copy of the bytes in the store.
  const char* keep(std::string_view bytes);
  // The same for a value's name, kept once for each spelling however many
  // values bear it (a registry names a million values with a few thousand
  // names). Names are never written over, so they can be shared.
  const char* keepName(std::string_view name);

  // Room for an object of `bytes` bytes, aligned for any object of up to 8,
  // and its return (with the same size). Those of up to kSmallBytes (keys
  // and their lists), a class for each multiple of 8, at once.
  void* allocate(size_t bytes) {
    if (bytes - 1 < kSmallBytes) {
      size_t index = (bytes - 1) / 8;
      if (void* at = released_[index]) {
        std::memcpy(&released_[index], at, sizeof(void*));
        return at;
      }
      size_t size = (index + 1) * 8;
      size_t pad = (0 - reinterpret_cast<uintptr_t>(free_)) & 7;
      if (size + pad <= left_) {
        char* at = free_ + pad;
        free_ += pad + size;
        left_ -= pad + size;
        return at;
      }
    }
    return allocateMore(bytes);
  }
  void release(void* at, size_t bytes) noexcept {
    if (at != nullptr && bytes - 1 < kSmallBytes) {
      size_t index = (bytes - 1) / 8;
      std::memcpy(at, &released_[index], sizeof(void*));
      released_[index] = at;
      return;
    }
    releaseMore(at, bytes);
  }

 private:
  friend class StoreHold;
  friend class RegKey;
  // A value's name as keepName keeps it, with what the store knows of it.
  struct KeptName {
    const char* data;
    uint32_t hash;      // 30 bits, the same for names that differ in case alone
    bool onlySpelling;  // no other name kept differs from it in case alone
    bool storable;      // IsStorableName(name)
  };
  // keepName for a key's value, refusing (std::invalid_argument) a name IsStorableName refuses
  // when `refuseUnstorable`, before it is kept.
  // kPadded: kPaddingBytes bytes can be read from the name's first byte on.
  template <bool kPadded>
  KeptName keepValueName(std::string_view name, bool refuseUnstorable);
  // keep for a key's value, with a NUL after the bytes when `terminated`.
  // kPadded: the same for the data.
  template <bool kPadded>
  const char* keepData(std::string_view data, bool terminated);

  struct NameSlot {
    const char* data = nullptr;
    // The name's size above its hash, with what is known of the name in the
    // hash's top two bits.
    uint64_t key = 0;
  };
  struct Block {
    char* data;
    size_t size;
    bool mapped;  // mapped from the system (large pages), else from the heap
  };
  void* allocateMore(size_t bytes);
  void releaseMore(void* at, size_t bytes) noexcept;
  void growNames();
  KeptName addName(std::string_view name, uint32_t hash, size_t slot, bool refuseUnstorable);
  const char* keepNameBytes(std::string_view name);
  char* take(size_t bytes);
  char* carve(size_t bytes, size_t alignment);
  char* room(size_t bytes);
  void newBlock(size_t least);
  char* ownBlock(size_t bytes, size_t blockSize);

  static constexpr size_t kClasses = 100;
  static constexpr size_t kSmallBytes = 512;
  static constexpr size_t kFirstBlockSize = size_t{64} << 10;
  static size_t ClassOf(size_t bytes);
  static size_t ClassSize(size_t index);

  std::vector<Block> blocks_;
  char* free_ = nullptr;
  size_t left_ = 0;
  size_t nextBlockSize_ = kFirstBlockSize;
  void* released_[kClasses] = {};  // a list of free objects for each size class
  std::vector<NameSlot> names_;    // open addressing; a power of two long
  size_t nameCount_ = 0;
  // Names are kept together in blocks of their own, apart from the values'
  // data, so that the few thousand that every lookup compares stay in the
  // processor's cache.
  char* nameFree_ = nullptr;
  size_t nameLeft_ = 0;
  size_t holders_ = 0;  // of a store made by StoreHold::Make: see StoreHold
};

// An owner of a store made on the heap, shared with its copies: the store
// goes with the last of its owners, the registry, every key held open
// (HeldKey) and every key made on its own. Counted without atomic
// operations, as the registry is used by one thread at a time.
class StoreHold {
 public:
  StoreHold() = default;
  static StoreHold Make() { return StoreHold(new ByteStore); }
  StoreHold(const StoreHold& other) noexcept : StoreHold(other.store_) {}
  StoreHold(StoreHold&& other) noexcept : store_(other.store_) { other.store_ = nullptr; }
  StoreHold& operator=(StoreHold other) noexcept {
    std::swap(store_, other.store_);
    return *this;
  }
  ~StoreHold() {
    if (store_ != nullptr) Let(store_);
  }

  ByteStore* get() const noexcept { return store_; }
  ByteStore* operator->() const noexcept { return store_; }
  // Whether this is the store's one owner, so that it goes with this hold.
  bool alone() const noexcept { return store_ != nullptr && store_->holders_ == 1; }

 private:
  friend class RegKey;
  friend class HeldKey;
  // Another owner of a store that StoreHold::Make made (and that something still holds).
  explicit StoreHold(ByteStore* store) noexcept : store_(store) {
    if (store_ != nullptr) ++store_->holders_;
  }
  // One owner less.
  static void Let(ByteStore* store) noexcept {
    if (--store->holders_ == 0) Free(store);
  }
  static void Free(ByteStore* store) noexcept;

  ByteStore* store_ = nullptr;
};

// A key's values or subkeys: an array in the key's store, read like a
// vector (a copy made of it is a std::vector of its own). Changed only by
// its key, which gives the store.
template <class T>
class StoreList {
 public:
  StoreList() = default;
  StoreList(const StoreList&) = delete;
  StoreList& operator=(const StoreList&) = delete;
  ~StoreList() { assert(data_ == nullptr); }  // the key gives it back first

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  const T& operator[](size_t index) const { return data_[index]; }
  const T& front() const { return data_[0]; }
  const T& back() const { return data_[size_ - 1]; }
  operator std::vector<T>() const { return std::vector<T>(begin(), end()); }

 private:
  friend class RegKey;
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  T& at(size_t index) { return data_[index]; }

  void reserve(ByteStore& store, size_t capacity) {
    if (capacity > capacity_) moveTo(store, capacity);
  }
  void fit(ByteStore& store) {
    if (size_ == capacity_) return;
    if (size_ != 0) {
      moveTo(store, size_);
      return;
    }
    store.release(data_, capacity_ * sizeof(T));
    data_ = nullptr;
    capacity_ = 0;
  }
  // A key's values view bytes in the store (they own none), its subkeys are
  // plain pointers, and nothing points at either itself: they are moved as
  // bytes, and given back with nothing to destroy.
  static constexpr bool kViewsOnly = std::is_same_v<T, RegValue> || std::is_trivial_v<T>;

  void moveTo(ByteStore& store, size_t capacity) {
    T* moved = static_cast<T*>(store.allocate(capacity * sizeof(T)));
    if constexpr (kViewsOnly) {
      // Every key a loader leaves cuts its list so.
      if (size_ != 0) std::memcpy(static_cast<void*>(moved), data_, size_ * sizeof(T));
    } else {
      for (size_t i = 0; i < size_; ++i) {
        new (moved + i) T(std::move(data_[i]));
        data_[i].~T();
      }
    }
    if (data_ != nullptr) store.release(data_, capacity_ * sizeof(T));
    data_ = moved;
    capacity_ = static_cast<uint32_t>(capacity);
  }
  // A loader gives a key's values the room it mostly needs at once
  // (reserveValues); a list grown a value at a time starts small.
  void grow(ByteStore& store) {
    if (size_ == capacity_) reserve(store, capacity_ == 0 ? 4 : size_t{capacity_} * 2);
  }
  // Room for one more at the end, counted already: the caller constructs it
  // there at once, with nothing that can throw.
  void* addRoom(ByteStore& store) {
    grow(store);
    return data_ + size_++;
  }
  // Puts `value` at `at` in the room grow() made: nothing can fail then.
  void insertInRoom(size_t at, T value) noexcept {
    static_assert(kViewsOnly, "moved as bytes");
    assert(size_ < capacity_ && at <= size_);
    if (at != size_) {
      std::memmove(static_cast<void*>(data_ + at + 1), data_ + at, (size_ - at) * sizeof(T));
    }
    new (data_ + at) T(value);
    ++size_;
  }
  void erase(size_t at) {
    for (size_t i = at; i + 1 < size_; ++i) data_[i] = std::move(data_[i + 1]);
    data_[--size_].~T();
  }
  void clear(ByteStore& store) noexcept {
    if constexpr (!kViewsOnly) {
      for (size_t i = 0; i < size_; ++i) data_[i].~T();
    }
    if (data_ != nullptr) store.release(data_, capacity_ * sizeof(T));
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
  }

  T* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
};

class HeldKey;

class RegKey {
 public:
  // Keys are made by the registry alone (Registry, createSubkey), in its
  // store; each is owned by its parent (a root by its registry) and by
  // whoever holds it (HeldKey).
  class Made {
    friend class RegKey;
    friend class Registry;
    Made() = default;
  };
  RegKey(Made, std::string_view name, RegKey* parent, ByteStore* store);
  // A key of its own (not made by a registry) keeps its values' bytes in a
  // store of its own; given a parent, it shares the parent's. Its maker owns
  // it: it can be held only while it lives.
  explicit RegKey(std::string name, RegKey* parent = nullptr);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  // The name as written, kept in the registry's store.
  const RegBytes& name() const { return name_; }
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
  // A name may also be a path below this key ("Enum\PCI"); empty parts are
  // skipped, and an empty path names this key itself.
  RegKey* findSubkey(std::string_view name) const;
  // A hold on this key (an open handle's): the key, its subkeys and the
  // registry's store stay alive while it lasts, deleted or not.
  HeldKey hold();
  // Returns the existing subkey of that name, or a new one (with any missing
  // keys on the way). *created tells whether the last key was made. Throws
  // std::length_error beyond kMaxKeyDepth and std::invalid_argument for a name
  // that IsStorableName refuses; nothing is made then.
  RegKey& createSubkey(std::string_view name, bool* created = nullptr);
  // The same for one name read from a single line of a registry file, which
  // holds no carriage return or line feed (the reader splits lines at both),
  // so it is not checked again. No backslash: a path is split by the reader.
  RegKey& createSubkeyFromLine(std::string_view name, bool* created = nullptr);
  // Deletes the subkey with all of its subkeys; false when there is none (or
  // the path is empty: a key cannot delete itself here).
  bool deleteSubkey(std::string_view name);
  // Deletes every subkey and every value.
  void clear();

  // Values, in the order in which they were first set.
  const StoreList<RegValue>& values() const { return values_; }
  const RegValue* findValue(std::string_view name) const;
  // A value set again keeps its place and the case of its first name.
  // Throws std::invalid_argument for a name that IsStorableName refuses.
  void setValue(std::string_view name, uint32_t type, std::string_view data);
  // The same for a name read from a single line of a registry file (see
  // createSubkeyFromLine); `terminated` keeps a NUL after the data, as a
  // string read as text is stored, without a copy of the text made first.
  void setValueFromLine(std::string_view name, uint32_t type, std::string_view data,
                        bool terminated = false);
  // The same for a name and data that each lie in a buffer with at least
  // kPaddingBytes readable from their first byte on (a reader's block with
  // room to spare after it): they are read and copied as whole words, with
  // no test of their size, which varies from line to line.
  void setValueFromPaddedLine(std::string_view name, uint32_t type, std::string_view data,
                              bool terminated);
  bool deleteValue(std::string_view name);
  // Makes room for this many more values (a loader that knows the count).
  void reserveValues(size_t more);
  // Gives back the room the list of values has beyond the values it holds
  // (a loader that does not know the count calls it after the key's last
  // value, so inline).
  void fitValues() { values_.fit(*store_); }

  // Longest subkey name, value name and value data, as RegQueryInfoKeyA reports.
  size_t maxSubkeyNameLength() const;
  size_t maxValueNameLength() const;
  size_t maxValueDataLength() const;

  // Structural equality: same names (exact case), same values, same subkeys.
  bool sameAs(const RegKey& other) const;

 private:
  friend class HeldKey;
  friend class Registry;
  // Gives up one owner's claim; the last one destroys the key in its store.
  static void Release(RegKey* key) noexcept;
  // Gives back what the key and its subkeys hold outside their store, when
  // the store goes with them and nothing else can reach them.
  void releaseWithStore() noexcept;
  void markDeleted();
  size_t lowerBound(std::string_view name) const;
  RegKey* findChild(std::string_view name) const;
  template <bool kCheckName>
  RegKey& createChild(std::string_view name, bool* created);
  RegKey& addChild(std::string_view name, size_t at, bool* created);
  template <bool kCheckName, bool kPadded>
  void putValue(std::string_view name, uint32_t type, std::string_view data, bool terminated);
  size_t findValueIndex(std::string_view name) const;
  size_t findKeptName(const ByteStore::KeptName& kept, std::string_view name) const;
  void indexValue(size_t index, uint32_t hash) const;
  void rebuildValueIndex() const;

  size_t slotCount() const { return slotShift_ == 0 ? 0 : size_t{1} << slotShift_; }

  // The small members lie in the room the 12 bytes of the name leave before
  // the next pointer, so that a key takes 80 bytes: a registry holds
  // hundreds of thousands, and every byte of them is memory to fill.
  RegBytes name_;
  uint16_t depth_ = 0;  // at most kMaxKeyDepth
  bool deleted_ : 1;
  // A key made on its own is one of the owners of its store (StoreHold),
  // which it lets go last; a registry's keys leave that to the registry and
  // their holders, so that they need no member for it.
  bool holdsStore_ : 1;
  mutable uint8_t slotShift_ = 0;  // valueSlots_ holds 1 << slotShift_; 0: no index
  // Its owners: the parent (or registry) while it is in the tree, and every
  // HeldKey. One thread at a time uses a registry, so a plain count does.
  uint32_t owners_ = 1;
  // One bit for each value name's hash (a few bits of it): a name whose bit
  // is clear is not among the values, so a new value costs no search.
  uint32_t nameBits_ = 0;
  RegKey* parent_;
  ByteStore* store_;
  // Sorted by CompareNames; each owned by this key (one of its owners).
  StoreList<RegKey*> subkeys_;
  StoreList<RegValue> values_;
  // Open-addressing hash of values_ positions (plus one; 0 is free), kept for
  // keys with many values so that setting each of them stays O(1).
  mutable std::unique_ptr<uint32_t[]> valueSlots_;
};

// A key held open: what a handle keeps. Holding a key keeps it, its
// subkeys and the registry's store alive after the key is deleted or the
// registry is gone; the key then reports deleted() or forgets its parent.
class HeldKey {
 public:
  HeldKey() = default;
  HeldKey(const HeldKey& other) : HeldKey(other.key_) {}
  HeldKey(HeldKey&& other) noexcept
      : store_(std::move(other.store_)), key_(std::exchange(other.key_, nullptr)) {}
  HeldKey& operator=(HeldKey other) noexcept {
    std::swap(store_, other.store_);
    std::swap(key_, other.key_);
    return *this;
  }
  ~HeldKey() { reset(); }

  RegKey* get() const { return key_; }
  RegKey& operator*() const { return *key_; }
  RegKey* operator->() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  void reset() noexcept {
    // The key goes first: its subkeys give their lists back to the store.
    if (key_ != nullptr) RegKey::Release(std::exchange(key_, nullptr));
    store_ = StoreHold();
  }

 private:
  friend class RegKey;
  explicit HeldKey(RegKey* key);

  StoreHold store_;
  RegKey* key_ = nullptr;
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
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  Registry(Registry&& other) noexcept;
  Registry& operator=(Registry&& other) noexcept;
  ~Registry();

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
  void releaseRoots() noexcept;

  StoreHold store_;        // released after the roots
  RegKey* roots_[6] = {};  // each owned by the registry
};

// Splits a registry path at backslashes, dropping empty parts.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

}  // namespace winsim

#endif  // WINSIM_REGISTRY_H
