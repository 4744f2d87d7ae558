#include "winsim/registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <utility>

#include <sys/mman.h>

#include "short_bytes.h"

namespace winsim {
namespace {

// ASCII letters folded to upper case; every other byte stays as it is.
constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return table;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

inline unsigned char Fold(char c) { return kFold[static_cast<unsigned char>(c)]; }

using detail::LastBytes;
using detail::Load8;
using detail::SameBytes;

// Names and data are mostly a few bytes: those up to 32 are copied without
// a call of memcpy.
inline void CopyBytes(char* to, const char* from, size_t size) {
  struct Sixteen {
    char bytes[16];
  };
  if (size > 32) {
    std::memcpy(to, from, size);
  } else if (size > 16) {
    detail::CopyAsTwoWords<Sixteen>(to, from, size);
  } else {
    detail::CopyShort(to, from, size);
  }
}

// Kept names carry these flags above their 30-bit hash in the store's table.
constexpr uint32_t kHashBits = 0x3fffffff;
constexpr uint32_t kSharedFold = 0x80000000;  // another name kept differs in case alone
constexpr uint32_t kUnstorable = 0x40000000;  // IsStorableName refuses the name

// The name every default value bears: one spelling, kept nowhere.
constexpr char kNoName[] = "";

// NamesEqual, inlined where every value set compares names.
inline bool SameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// Below this many values a key searches them one by one.
constexpr size_t kIndexedValueCount = 16;

// A key's bit for a name of this hash (30 bits; the low ones pick slots).
inline uint32_t NameBit(uint32_t hash) { return uint32_t{1} << (hash >> 25); }

void CheckStorable(std::string_view name, const char* what) {
  if (!IsStorableName(name)) {
    throw std::invalid_argument(std::string("a registry ") + what +
                                " name cannot hold a carriage return or a line feed");
  }
}

// CompareNames, inlined where every key made compares its name with its
// elder sibling's. Bytes that agree exactly (most of those compared) are
// passed over without folding.
inline int CompareFolded(std::string_view a, std::string_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] == b[i]) continue;
    unsigned char x = Fold(a[i]);
    unsigned char y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) { return CompareFolded(a, b); }

bool NamesEqual(std::string_view a, std::string_view b) { return SameFolded(a, b); }

bool IsStorableName(std::string_view name) {
  // Every value a reader sets is checked, and names are short: eight bytes
  // at a time, passing over every word with no byte below 0x0e (a test
  // exact for the word as a whole), and the rest byte by byte.
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  auto holdsLowByte = [](uint64_t word) {
    return (((word - kOnes * 0x0e) & ~word) & (kOnes * 0x80)) != 0;
  };
  size_t i = 0;
  for (; i + 8 <= name.size(); i += 8) {
    if (holdsLowByte(Load8(name.data() + i))) break;
  }
  if (i == name.size()) return true;
  if (i + 8 > name.size()) {
    // The last bytes, with 0xff (no line break) above them.
    size_t count = name.size() - i;
    uint64_t filler = ~uint64_t{0} << (8 * count);  // count is 1 to 7
    if (!holdsLowByte(LastBytes(name.data(), name.size(), i) | filler)) return true;
  }
  for (; i < name.size(); ++i) {
    if (name[i] == '\r' || name[i] == '\n') return false;
  }
  return true;
}

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void RegBytes::own(std::string_view bytes) {
  if (bytes.size() > kLargest) throw std::length_error("a registry value holds less than 2 GB");
  char* copy = new char[bytes.empty() ? 1 : bytes.size()];
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  data_ = copy;
  size_ = static_cast<uint32_t>(bytes.size());
  owned_ = true;
}

RegBytes& RegBytes::operator=(std::string_view bytes) {
  RegBytes copy(bytes);  // the bytes may be this value's own
  return *this = std::move(copy);
}

RegBytes& RegBytes::operator=(RegBytes&& other) noexcept {
  if (this != &other) {
    release();
    data_ = other.data_;
    size_ = other.size_;
    owned_ = other.owned_;
    other.data_ = "";
    other.size_ = 0;
    other.owned_ = false;
  }
  return *this;
}

std::string RegValue::text() const { return std::string(data.substr(0, data.find('\0'))); }

namespace {

// Blocks grow from the first size (ByteStore::kFirstBlockSize) to the
// largest, so that a small registry (a machine of a few keys, loaded by every
// run) takes little, and a large one takes few blocks. Blocks of at least the
// large page size are mapped on large pages where the system offers them.
constexpr size_t kLargestBlock = size_t{4} << 20;
constexpr size_t kLargePage = size_t{2} << 20;
// Bytes larger than this get a block of their own, and the block being
// filled stays the one to fill.
constexpr size_t kOwnBlockBytes = size_t{256} << 10;

char* MapLargePages(size_t size) {
  // Mapped with room to spare, so that the block can start on a large page.
  size_t mapped = size + kLargePage;
  void* at = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) throw std::bad_alloc();
  uintptr_t start = reinterpret_cast<uintptr_t>(at);
  uintptr_t aligned = (start + kLargePage - 1) & ~(uintptr_t{kLargePage} - 1);
  if (aligned > start) ::munmap(at, aligned - start);
  uintptr_t end = start + mapped;
  if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
  // Only advice: where the system has no large pages the block is mapped as usual.
  ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
  return reinterpret_cast<char*>(aligned);
}

}  // namespace

// Apart, so that the compiler does not take the last owner for any of them.
__attribute__((noinline)) void StoreHold::Free(ByteStore* store) noexcept { delete store; }

ByteStore::~ByteStore() {
  for (const Block& block : blocks_) {
    if (block.mapped) {
      ::munmap(block.data, block.size);
    } else {
      delete[] block.data;
    }
  }
}

char* ByteStore::ownBlock(size_t bytes, size_t blockSize) {
  blocks_.reserve(blocks_.size() + 1);
  Block block{nullptr, blockSize, blockSize >= kLargePage};
  block.data = block.mapped ? MapLargePages(blockSize) : new char[blockSize];
  blocks_.push_back(block);
  (void)bytes;
  return block.data;
}

void ByteStore::newBlock(size_t least) {
  size_t size = nextBlockSize_;
  while (size < least) size *= 2;
  free_ = ownBlock(least, size);
  left_ = size;
  nextBlockSize_ = std::min(kLargestBlock, nextBlockSize_ * 2);
}

char* ByteStore::carve(size_t bytes, size_t alignment) {
  size_t pad =
      (alignment - (reinterpret_cast<uintptr_t>(free_) & (alignment - 1))) & (alignment - 1);
  if (free_ == nullptr || bytes + pad > left_) {
    newBlock(bytes);
    pad = 0;
  }
  char* at = free_ + pad;
  free_ += pad + bytes;
  left_ -= pad + bytes;
  return at;
}

char* ByteStore::room(size_t bytes) {
  if (bytes > RegBytes::kLargest) throw std::length_error("a registry value holds less than 2 GB");
  return bytes > kOwnBlockBytes ? ownBlock(bytes, bytes) : carve(bytes, 1);
}

// room() for the usual few bytes, taken from the block being filled inline.
__attribute__((always_inline)) inline char* ByteStore::take(size_t bytes) {
  if (bytes > left_ || bytes > kOwnBlockBytes) return room(bytes);
  char* at = free_;
  free_ += bytes;
  left_ -= bytes;
  return at;
}

const char* ByteStore::keep(std::string_view bytes) {
  if (bytes.empty()) return "";
  char* at = take(bytes.size());
  CopyBytes(at, bytes.data(), bytes.size());
  return at;
}

template <bool kPadded>
__attribute__((always_inline)) inline const char* ByteStore::keepData(std::string_view data,
                                                                      bool terminated) {
  size_t size = data.size();
  if (kPadded && size < kPaddingBytes && left_ > kPaddingBytes) {
    // Nearly every value: kPaddingBytes copied whatever the size, and a NUL
    // after the data (the rest is room the block has to spare, which the
    // next bytes kept take over).
    char* at = free_;
    std::memcpy(at, data.data(), kPaddingBytes);
    at[size] = '\0';
    size_t taken = size + (terminated ? 1 : 0);
    free_ += taken;
    left_ -= taken;
    return taken != 0 ? at : "";
  }
  if (!terminated && data.empty()) return "";
  char* at = take(size + (terminated ? 1 : 0));
  CopyBytes(at, data.data(), size);
  if (terminated) at[size] = '\0';
  return at;
}

// Size classes: every multiple of 8 up to 512 bytes, then four to each
// doubling up to kLargestClass; larger objects come from the heap.
namespace {
constexpr size_t kSmallClasses = 64;
constexpr size_t kLargestClass = size_t{256} << 10;
}  // namespace

size_t ByteStore::ClassOf(size_t bytes) {
  if (bytes <= 512) return (bytes + 7) / 8 - 1;
  size_t power = 9;
  while ((size_t{1} << (power + 1)) < bytes) ++power;
  // bytes lies in (2^power, 2^(power+1)]; four classes split that range.
  size_t quarter = size_t{1} << (power - 2);
  size_t step = (bytes - (size_t{1} << power) + quarter - 1) / quarter;  // 1 to 4
  return kSmallClasses + (power - 9) * 4 + step - 1;
}

size_t ByteStore::ClassSize(size_t index) {
  if (index < kSmallClasses) return (index + 1) * 8;
  size_t power = 9 + (index - kSmallClasses) / 4;
  size_t step = (index - kSmallClasses) % 4 + 1;
  return (size_t{1} << power) + step * (size_t{1} << (power - 2));
}

void* ByteStore::allocateMore(size_t bytes) {
  static_assert(kSmallClasses * 8 == kSmallBytes, "allocate takes the small classes itself");
  if (bytes == 0) bytes = 1;
  if (bytes > kLargestClass) return ::operator new(bytes);
  size_t index = ClassOf(bytes);
  static_assert(kSmallClasses + (18 - 9) * 4 <= kClasses, "too few size classes");
  if (released_[index] != nullptr) {
    void* at = released_[index];
    std::memcpy(&released_[index], at, sizeof(void*));
    return at;
  }
  return carve(ClassSize(index), 8);
}

void ByteStore::releaseMore(void* at, size_t bytes) noexcept {
  if (at == nullptr) return;
  if (bytes == 0) bytes = 1;
  if (bytes > kLargestClass) {
    ::operator delete(at);
    return;
  }
  size_t index = ClassOf(bytes);
  std::memcpy(at, &released_[index], sizeof(void*));
  released_[index] = at;
}

namespace {

// A name's first sixteen bytes as two words, zero past its end: the words a
// name of up to sixteen bytes (nearly every one) is hashed and compared by.
struct NameWords {
  uint64_t first;
  uint64_t second;
};

inline NameWords FirstWords(const char* data, size_t size) {
  if (size >= 16) return NameWords{Load8(data), Load8(data + 8)};
  if (size > 8) return NameWords{Load8(data), Load8(data + size - 8) >> (8 * (16 - size))};
  if (size == 8) return NameWords{Load8(data), 0};
  return NameWords{LastBytes(data, size, 0), 0};
}

// For a name of 0 to 16 bytes, the bytes of its two words it fills.
struct NameMasks {
  uint64_t first;
  uint64_t second;
};
constexpr std::array<NameMasks, 17> MakeNameMasks() {
  std::array<NameMasks, 17> masks{};
  for (size_t size = 0; size <= 16; ++size) {
    for (size_t i = 0; i < size; ++i) {
      (i < 8 ? masks[size].first : masks[size].second) |= uint64_t{0xff} << (8 * (i % 8));
    }
  }
  return masks;
}
constexpr std::array<NameMasks, 17> kNameMasks = MakeNameMasks();

// The masks of a name of `size` bytes (those of sixteen past sixteen),
// picked with no branch: names' sizes differ from one value to the next.
inline const NameMasks& MasksOf(size_t size) {
  size_t upTo16 = size ^ ((size ^ 16) & (0 - static_cast<size_t>(size > 16)));
  return kNameMasks[upTo16];
}

// FirstWords where sixteen bytes can be read from `data` whatever its size.
inline NameWords FirstWordsPadded(const char* data, size_t size) {
  const NameMasks& masks = MasksOf(size);
  return NameWords{Load8(data) & masks.first, Load8(data + 8) & masks.second};
}

// ASCII letters differ in this bit alone from their other case: set in every
// byte, it makes names that differ in case alone hash alike (and a few other
// names too, which the comparison of their bytes sets apart).
constexpr uint64_t kCaseBits = 0x2020202020202020ull;

inline uint32_t HashWords(NameWords words, const char* data, size_t size) {
  uint64_t hash = ((words.first | kCaseBits) ^ size) * 0x9e3779b97f4a7c15ull;
  hash ^= (words.second | kCaseBits) * 0xff51afd7ed558ccdull;
  for (size_t i = 16; i < size; i += 8) {
    uint64_t word = i + 8 <= size ? Load8(data + i) : LastBytes(data, size, i);
    hash = (hash ^ (word | kCaseBits)) * 0xc4ceb9fe1a85ec53ull;
  }
  // The high bits of the products, which every byte reaches.
  return static_cast<uint32_t>(hash >> 34);
}

// Where a slot of the store's name table keeps the size.
constexpr uint64_t KeyOf(size_t size, uint32_t hash) { return (uint64_t{size} << 32) | hash; }
constexpr uint64_t kKeyFlags = kSharedFold | kUnstorable;

// The hash by which the store keeps a name and a key of many values finds it.
uint32_t NameHash(std::string_view name) {
  return HashWords(FirstWords(name.data(), name.size()), name.data(), name.size());
}

}  // namespace

const char* ByteStore::keepName(std::string_view name) {
  return keepValueName<false>(name, false).data;
}

// Every value a reader sets looks its name up here. Kept names lie in the
// name blocks eight bytes to a word, zero after their end, so those of up to
// sixteen bytes compare with the words the name was hashed by.
template <bool kPadded>
__attribute__((always_inline)) inline ByteStore::KeptName ByteStore::keepValueName(
    std::string_view name, bool refuseUnstorable) {
  const size_t size = name.size();
  NameWords words = kPadded ? FirstWordsPadded(name.data(), size) : FirstWords(name.data(), size);
  uint32_t hash = HashWords(words, name.data(), size);
  if (size == 0) return KeptName{kNoName, hash, true, true};
  if (names_.empty()) return addName(name, hash, 0, refuseUnstorable);
  const uint64_t key = KeyOf(size, hash);
  size_t mask = names_.size() - 1;
  size_t slot = hash & mask;
  // Of a name of up to sixteen bytes, a kept name's second word is looked
  // at through the mask of the bytes the name fills, with no test of its size.
  const uint64_t secondMask = MasksOf(size).second;
  for (; names_[slot].data != nullptr; slot = (slot + 1) & mask) {
    const NameSlot& kept = names_[slot];
    if ((kept.key & ~kKeyFlags) != key) continue;
    bool same = size > 16 ? SameBytes(kept.data, name.data(), size)
                          : ((Load8(kept.data) ^ words.first) |
                             ((Load8(kept.data + 8) & secondMask) ^ words.second)) == 0;
    if (!same) continue;
    bool storable = (kept.key & kUnstorable) == 0;
    if (refuseUnstorable && !storable) CheckStorable(name, "value");
    return KeptName{kept.data, hash, (kept.key & kSharedFold) == 0, storable};
  }
  return addName(name, hash, slot, refuseUnstorable);
}

// A spelling not kept before (a few thousand a registry), kept at `slot`,
// where the search for it ended.
__attribute__((noinline)) ByteStore::KeptName ByteStore::addName(std::string_view name,
                                                                 uint32_t hash, size_t slot,
                                                                 bool refuseUnstorable) {
  bool storable = IsStorableName(name);
  if (refuseUnstorable) CheckStorable(name, "value");
  if (name.size() > RegBytes::kLargest) throw std::length_error("a registry name is too long");
  if ((nameCount_ + 1) * 2 > names_.size()) {
    growNames();
    size_t mask = names_.size() - 1;
    for (slot = hash & mask; names_[slot].data != nullptr;) slot = (slot + 1) & mask;
  }
  const uint64_t key = KeyOf(name.size(), hash);
  uint64_t flags = storable ? 0 : kUnstorable;
  // Names that differ from this one in case alone have its hash, so they lie
  // on the run of slots the search has just passed over.
  size_t mask = names_.size() - 1;
  for (size_t at = hash & mask; at != slot; at = (at + 1) & mask) {
    NameSlot& kept = names_[at];
    if ((kept.key & ~kKeyFlags) == key &&
        SameFolded(std::string_view(kept.data, name.size()), name)) {
      kept.key |= kSharedFold;
      flags |= kSharedFold;
    }
  }
  const char* data = keepNameBytes(name);
  names_[slot] = NameSlot{data, key | flags};
  ++nameCount_;
  return KeptName{data, hash, (flags & kSharedFold) == 0, storable};
}

namespace {
constexpr size_t kNameBlockSize = size_t{64} << 10;
}  // namespace

const char* ByteStore::keepNameBytes(std::string_view name) {
  // A long name (rare) is kept with the data, so a name block wastes little.
  if (name.size() > kNameBlockSize / 16) return keep(name);
  // Whole words, zero after the name.
  size_t words = (name.size() + 7) / 8 * 8;
  if (words > nameLeft_) {
    // A word to spare after the last name: a short name's second word is
    // read (and masked away) where it is compared.
    nameFree_ = ownBlock(kNameBlockSize + 8, kNameBlockSize + 8);
    nameLeft_ = kNameBlockSize;
  }
  char* at = nameFree_;
  std::memset(at + words - 8, 0, 8);
  CopyBytes(at, name.data(), name.size());
  nameFree_ += words;
  nameLeft_ -= words;
  return at;
}

void ByteStore::growNames() {
  std::vector<NameSlot> old = std::move(names_);
  names_.assign(old.empty() ? 1024 : old.size() * 2, NameSlot{});
  size_t mask = names_.size() - 1;
  for (const NameSlot& kept : old) {
    if (kept.data == nullptr) continue;
    size_t slot = kept.key & kHashBits & mask;
    while (names_[slot].data != nullptr) slot = (slot + 1) & mask;
    names_[slot] = kept;
  }
}

// Inlined where a key is made in the tree (every key line of a load).
__attribute__((always_inline)) inline RegKey::RegKey(Made, std::string_view name, RegKey* parent,
                                                     ByteStore* store)
    : name_(RegBytes::Viewing(store->keepData<false>(name, false), name.size())),
      depth_(static_cast<uint16_t>(parent != nullptr ? parent->depth_ + 1 : 0)),
      deleted_(false),
      holdsStore_(false),
      parent_(parent),
      store_(store) {}

static_assert(sizeof(void*) != 8 || sizeof(RegKey) <= 80, "a key's members lie as they are laid");

RegKey::RegKey(std::string name, RegKey* parent)
    : depth_(static_cast<uint16_t>(parent != nullptr ? parent->depth_ + 1 : 0)),
      deleted_(false),
      holdsStore_(false),
      parent_(parent) {
  // Held here until the key is made, so that a name the store refuses lets it go.
  StoreHold hold = parent != nullptr ? StoreHold(parent->store_) : StoreHold::Make();
  name_ = RegBytes::Viewing(hold->keep(name), name.size());
  store_ = std::exchange(hold.store_, nullptr);
  holdsStore_ = true;
}

RegKey::~RegKey() {
  // A subkey that an open handle keeps alive must not point at this key
  // once it is gone.
  for (RegKey* child : subkeys_) {
    if (child->owners_ > 1) child->parent_ = nullptr;
    Release(child);
  }
  subkeys_.clear(*store_);
  values_.clear(*store_);
  if (holdsStore_) StoreHold::Let(store_);
}

void RegKey::Release(RegKey* key) noexcept {
  if (--key->owners_ != 0) return;
  ByteStore* store = key->store_;
  key->~RegKey();
  store->release(key, sizeof(RegKey));
}

HeldKey::HeldKey(RegKey* key) : store_(key != nullptr ? key->store_ : nullptr), key_(key) {
  if (key_ != nullptr) ++key_->owners_;
}

HeldKey RegKey::hold() { return HeldKey(this); }

std::string RegKey::path() const {
  size_t length = 0;
  for (const RegKey* key = this; key != nullptr; key = key->parent_)
    length += key->name_.size() + 1;
  std::string result(length - 1, '\\');
  size_t end = result.size();
  for (const RegKey* key = this; key != nullptr; key = key->parent_) {
    end -= key->name_.size();
    result.replace(end, key->name_.size(), key->name_.view());
    if (end > 0) --end;
  }
  return result;
}

RegKey* RegKey::subkey(size_t index) const {
  return index < subkeys_.size() ? subkeys_[index] : nullptr;
}

size_t RegKey::lowerBound(std::string_view name) const {
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), name,
                             [](const RegKey* key, std::string_view wanted) {
                               return CompareFolded(key->name_, wanted) < 0;
                             });
  return static_cast<size_t>(it - subkeys_.begin());
}

RegKey* RegKey::findChild(std::string_view name) const {
  size_t at = lowerBound(name);
  if (at < subkeys_.size() && NamesEqual(subkeys_[at]->name_, name)) return subkeys_[at];
  return nullptr;
}

RegKey* RegKey::findSubkey(std::string_view name) const {
  if (name.find('\\') == std::string_view::npos) {
    if (name.empty()) return const_cast<RegKey*>(this);
    return findChild(name);
  }
  const RegKey* key = this;
  for (std::string_view part : SplitKeyPath(name)) {
    size_t at = key->lowerBound(part);
    if (at >= key->subkeys_.size() || !NamesEqual(key->subkeys_[at]->name_, part)) return nullptr;
    key = key->subkeys_[at];
  }
  return const_cast<RegKey*>(key);
}

// A new subkey of that name at `at` among the subkeys. Room in the list
// first, so that a list the store cannot grow leaves no key made and lost.
__attribute__((always_inline)) inline RegKey& RegKey::addChild(std::string_view name, size_t at,
                                                               bool* created) {
  subkeys_.grow(*store_);
  void* room = store_->allocate(sizeof(RegKey));
  RegKey* child;
  try {
    child = new (room) RegKey(Made(), name, this, store_);
  } catch (...) {
    store_->release(room, sizeof(RegKey));
    throw;
  }
  subkeys_.insertInRoom(at, child);
  if (created != nullptr) *created = true;
  return *child;
}

// Apart, so that createSubkeyFromLine, which every key line of a load calls,
// keeps its usual case short.
template <bool kCheckName>
__attribute__((noinline)) RegKey& RegKey::createChild(std::string_view name, bool* created) {
  if (created != nullptr) *created = false;
  if (name.empty()) return *this;
  // Keys mostly arrive in order (a registry file is written sorted), so a new
  // last key is appended without a search.
  size_t at = subkeys_.size();
  if (at != 0 && CompareFolded(subkeys_.back()->name_, name) >= 0) {
    at = lowerBound(name);  // below the last, which is not before the name
    if (SameFolded(subkeys_[at]->name_, name)) return *subkeys_[at];
  }
  if (size_t{depth_} + 1 > kMaxKeyDepth) {
    throw std::length_error("a registry key cannot lie more than " + std::to_string(kMaxKeyDepth) +
                            " levels below its root");
  }
  if (kCheckName) CheckStorable(name, "key");
  return addChild(name, at, created);
}

RegKey& RegKey::createSubkeyFromLine(std::string_view name, bool* created) {
  assert(IsStorableName(name) && name.find('\\') == std::string_view::npos);
  // A file lists keys in order, so a key line mostly names a new last
  // subkey, with room for it in the list: made here, the rest by createChild.
  size_t count = subkeys_.size();
  if (name.empty() || size_t{depth_} + 1 > kMaxKeyDepth ||
      (count != 0 && CompareFolded(subkeys_[count - 1]->name_, name) >= 0)) {
    return createChild<false>(name, created);
  }
  return addChild(name, count, created);
}

RegKey& RegKey::createSubkey(std::string_view name, bool* created) {
  if (name.find('\\') == std::string_view::npos) return createChild<true>(name, created);
  std::vector<std::string_view> parts = SplitKeyPath(name);
  // Check the whole path first, so that a refused path makes nothing.
  if (depth_ + parts.size() > kMaxKeyDepth) {
    throw std::length_error("a registry key cannot lie more than " + std::to_string(kMaxKeyDepth) +
                            " levels below its root");
  }
  for (std::string_view part : parts) CheckStorable(part, "key");
  if (created != nullptr) *created = false;
  RegKey* key = this;
  for (std::string_view part : parts)
    key = &key->createChild<false>(part, created);  // checked above
  return *key;
}

void RegKey::markDeleted() {
  deleted_ = true;
  for (RegKey* child : subkeys_) child->markDeleted();
}

bool RegKey::deleteSubkey(std::string_view name) {
  std::vector<std::string_view> parts = SplitKeyPath(name);
  if (parts.empty()) return false;
  RegKey* parent = this;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    RegKey* next = parent->findChild(parts[i]);
    if (next == nullptr) return false;
    parent = next;
  }
  size_t at = parent->lowerBound(parts.back());
  if (at >= parent->subkeys_.size() || !NamesEqual(parent->subkeys_[at]->name_, parts.back())) {
    return false;
  }
  RegKey* removed = parent->subkeys_.at(at);
  parent->subkeys_.erase(at);
  // The subtree stays whole for whoever holds a part of it, cut off from
  // the registry.
  removed->parent_ = nullptr;
  removed->markDeleted();
  Release(removed);
  return true;
}

void RegKey::clear() {
  for (RegKey* child : subkeys_) {
    child->parent_ = nullptr;
    child->markDeleted();
    Release(child);
  }
  subkeys_.clear(*store_);
  values_.clear(*store_);
  valueSlots_.reset();
  slotShift_ = 0;
}

void RegKey::rebuildValueIndex() const {
  uint8_t shift = 5;
  while ((size_t{1} << shift) < values_.size() * 2) ++shift;
  valueSlots_.reset(new uint32_t[size_t{1} << shift]());
  slotShift_ = shift;
  for (size_t i = 0; i < values_.size(); ++i) indexValue(i, NameHash(values_[i].name));
}

void RegKey::indexValue(size_t index, uint32_t hash) const {
  size_t mask = slotCount() - 1;
  size_t slot = hash & mask;
  while (valueSlots_[slot] != 0) slot = (slot + 1) & mask;
  valueSlots_[slot] = static_cast<uint32_t>(index + 1);
}

size_t RegKey::findValueIndex(std::string_view name) const {
  if (values_.size() < kIndexedValueCount) {
    for (size_t i = 0; i < values_.size(); ++i) {
      if (SameFolded(values_[i].name, name)) return i;
    }
    return std::string_view::npos;
  }
  if (slotShift_ == 0) rebuildValueIndex();
  size_t mask = slotCount() - 1;
  for (size_t slot = NameHash(name) & mask; valueSlots_[slot] != 0; slot = (slot + 1) & mask) {
    size_t index = valueSlots_[slot] - 1;
    if (SameFolded(values_[index].name, name)) return index;
  }
  return std::string_view::npos;
}

// A value's name is the kept spelling it was first set with: where no other
// spelling kept folds alike, a value bears this name only if it bears these
// very bytes, and is found by their place alone.
inline size_t RegKey::findKeptName(const ByteStore::KeptName& kept, std::string_view name) const {
  if (!kept.onlySpelling) return findValueIndex(name);
  if (values_.size() < kIndexedValueCount) {
    if ((nameBits_ & NameBit(kept.hash)) == 0) return std::string_view::npos;
    for (size_t i = 0; i < values_.size(); ++i) {
      if (values_[i].name.data() == kept.data) return i;
    }
    return std::string_view::npos;
  }
  if (slotShift_ == 0) rebuildValueIndex();
  size_t mask = slotCount() - 1;
  for (size_t slot = kept.hash & mask; valueSlots_[slot] != 0; slot = (slot + 1) & mask) {
    size_t index = valueSlots_[slot] - 1;
    if (values_[index].name.data() == kept.data) return index;
  }
  return std::string_view::npos;
}

const RegValue* RegKey::findValue(std::string_view name) const {
  size_t index = findValueIndex(name);
  return index == std::string_view::npos ? nullptr : &values_[index];
}

template <bool kCheckName, bool kPadded>
__attribute__((always_inline)) inline void RegKey::putValue(std::string_view name, uint32_t type,
                                                            std::string_view data,
                                                            bool terminated) {
  size_t size = data.size() + (terminated ? 1 : 0);
  // Kept first (and refused there when it cannot be stored): its spelling
  // tells where the value is.
  ByteStore::KeptName kept = store_->keepValueName<kPadded>(name, kCheckName);
  size_t index = findKeptName(kept, name);
  if (index != std::string_view::npos) {
    RegValue& value = values_.at(index);
    value.type = type;
    // Bytes no longer than the old ones take their place in the store.
    if (size <= value.data.size() && size != 0) {
      char* at = const_cast<char*>(value.data.data());
      std::memmove(at, data.data(), data.size());
      if (terminated) at[data.size()] = '\0';
      value.data = RegBytes::Viewing(at, size);
    } else {
      value.data = RegBytes::Viewing(store_->keepData<kPadded>(data, terminated), size);
    }
    return;
  }
  // The bytes are kept before the value is added, so that data the store
  // refuses leaves no value behind.
  const char* keptData = store_->keepData<kPadded>(data, terminated);
  nameBits_ |= NameBit(kept.hash);
  new (values_.addRoom(*store_))
      RegValue{RegBytes::Viewing(kept.data, name.size()), type, RegBytes::Viewing(keptData, size)};
  if (slotShift_ != 0) {
    if (values_.size() * 2 > slotCount()) {
      rebuildValueIndex();
    } else {
      indexValue(values_.size() - 1, kept.hash);
    }
  }
}

void RegKey::setValue(std::string_view name, uint32_t type, std::string_view data) {
  putValue<true, false>(name, type, data, false);
}

void RegKey::setValueFromLine(std::string_view name, uint32_t type, std::string_view data,
                              bool terminated) {
  assert(IsStorableName(name));
  putValue<false, false>(name, type, data, terminated);
}

void RegKey::setValueFromPaddedLine(std::string_view name, uint32_t type, std::string_view data,
                                    bool terminated) {
  assert(IsStorableName(name));
  putValue<false, true>(name, type, data, terminated);
}

bool RegKey::deleteValue(std::string_view name) {
  size_t index = findValueIndex(name);
  if (index == std::string_view::npos) return false;
  values_.erase(index);
  valueSlots_.reset();  // positions moved; rebuilt when next needed
  slotShift_ = 0;
  return true;
}

void RegKey::reserveValues(size_t more) { values_.reserve(*store_, values_.size() + more); }

size_t RegKey::maxSubkeyNameLength() const {
  size_t longest = 0;
  for (const RegKey* child : subkeys_) {
    longest = std::max(longest, child->name_.size());
  }
  return longest;
}

size_t RegKey::maxValueNameLength() const {
  size_t longest = 0;
  for (const RegValue& value : values_) longest = std::max(longest, value.name.size());
  return longest;
}

size_t RegKey::maxValueDataLength() const {
  size_t longest = 0;
  for (const RegValue& value : values_) longest = std::max(longest, value.data.size());
  return longest;
}

bool RegKey::sameAs(const RegKey& other) const {
  if (name_ != other.name_ || values_.size() != other.values_.size() ||
      subkeys_.size() != other.subkeys_.size()) {
    return false;
  }
  for (size_t i = 0; i < values_.size(); ++i) {
    const RegValue& a = values_[i];
    const RegValue& b = other.values_[i];
    if (a.name != b.name || a.type != b.type || a.data != b.data) return false;
  }
  for (size_t i = 0; i < subkeys_.size(); ++i) {
    if (!subkeys_[i]->sameAs(*other.subkeys_[i])) return false;
  }
  return true;
}

const RootEntry* PredefinedRoot(const void* handle) {
  for (const RootEntry& entry : kRootEntries) {
    // As windows.h makes the handle: the 32-bit value as a LONG, widened.
    auto value = static_cast<uintptr_t>(static_cast<int32_t>(entry.handleValue));
    if (reinterpret_cast<uintptr_t>(handle) == value) return &entry;
  }
  return nullptr;
}

const char* RootName(Root root) {
  for (const RootEntry& entry : kRootEntries) {
    if (entry.root == root) return entry.name;
  }
  return "HKEY_LOCAL_MACHINE";
}

std::optional<Root> ParseRootName(std::string_view name) {
  for (const RootEntry& entry : kRootEntries) {
    if (NamesEqual(name, entry.name) || NamesEqual(name, entry.shortName)) return entry.root;
  }
  return std::nullopt;
}

Registry::Registry() : store_(StoreHold::Make()) {
  try {
    for (Root which : kRoots) {
      void* room = store_->allocate(sizeof(RegKey));
      roots_[static_cast<size_t>(which)] =
          new (room) RegKey(RegKey::Made(), RootName(which), nullptr, store_.get());
    }
  } catch (...) {
    releaseRoots();
    throw;
  }
}

Registry::Registry(Registry&& other) noexcept
    : modified(other.modified), store_(std::move(other.store_)) {
  for (size_t i = 0; i < std::size(roots_); ++i)
    roots_[i] = std::exchange(other.roots_[i], nullptr);
}

Registry& Registry::operator=(Registry&& other) noexcept {
  if (this != &other) {
    releaseRoots();
    store_ = std::move(other.store_);
    for (size_t i = 0; i < std::size(roots_); ++i)
      roots_[i] = std::exchange(other.roots_[i], nullptr);
    modified = other.modified;
  }
  return *this;
}

Registry::~Registry() { releaseRoots(); }

void RegKey::releaseWithStore() noexcept {
  valueSlots_.reset();
  for (RegKey* child : subkeys_) child->releaseWithStore();
}

// The keys go before the store they live in; a key held open keeps the store.
void Registry::releaseRoots() noexcept {
  if (store_.alone()) {
    // Nothing outside the registry holds a key or the store (a key held, or
    // made on its own below one, would): the keys go with the store's
    // blocks, with nothing but their value indexes to give back one by one.
    for (RegKey*& root : roots_) {
      if (root != nullptr) std::exchange(root, nullptr)->releaseWithStore();
    }
    store_ = StoreHold();
    return;
  }
  for (RegKey*& root : roots_) {
    if (root != nullptr) RegKey::Release(std::exchange(root, nullptr));
  }
}

RegKey& Registry::root(Root which) const { return *roots_[static_cast<size_t>(which)]; }

RegKey* Registry::find(std::string_view path) const {
  std::vector<std::string_view> parts = SplitKeyPath(path);
  if (parts.empty()) return nullptr;
  std::optional<Root> which = ParseRootName(parts[0]);
  if (!which) return nullptr;
  RegKey* key = &root(*which);
  for (size_t i = 1; i < parts.size() && key != nullptr; ++i) key = key->findSubkey(parts[i]);
  return key;
}

RegKey* Registry::create(std::string_view path) {
  std::vector<std::string_view> parts = SplitKeyPath(path);
  if (parts.empty()) return nullptr;
  std::optional<Root> which = ParseRootName(parts[0]);
  if (!which || parts.size() - 1 > kMaxKeyDepth) return nullptr;
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!IsStorableName(parts[i])) return nullptr;
  }
  RegKey* key = &root(*which);
  for (size_t i = 1; i < parts.size(); ++i) {
    bool created = false;
    key = &key->createSubkey(parts[i], &created);
    if (created) modified = true;
  }
  return key;
}

bool Registry::remove(std::string_view path) {
  RegKey* key = find(path);
  if (key == nullptr || key->parent() == nullptr) return false;
  bool removed = key->parent()->deleteSubkey(key->name());
  if (removed) modified = true;
  return removed;
}

const RegValue* Registry::value(std::string_view path, std::string_view name) const {
  RegKey* key = find(path);
  return key != nullptr ? key->findValue(name) : nullptr;
}

std::optional<std::string> Registry::text(std::string_view path, std::string_view name) const {
  const RegValue* found = value(path, name);
  if (found == nullptr) return std::nullopt;
  return found->text();
}

bool Registry::sameAs(const Registry& other) const {
  for (Root which : kRoots) {
    if (!root(which).sameAs(other.root(which))) return false;
  }
  return true;
}

}  // namespace winsim
