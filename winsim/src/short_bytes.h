// Short runs of bytes (names, key path parts, a line's last bytes) compared
// and copied a word at a time, with no call of memcpy or memcmp of a variable
// size: the registry and its REGEDIT4 reader and writer do so a million times
// a load or a save, mostly for a dozen bytes or so.
#ifndef WINSIM_SHORT_BYTES_H
#define WINSIM_SHORT_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace winsim::detail {

inline uint64_t Load8(const char* at) {
  uint64_t word;
  std::memcpy(&word, at, 8);
  return word;
}

// The `count` bytes at data + from (1 to 8, the last of `size` bytes) as one
// word, zero above them, as memcpy into a zeroed word would give them.
inline uint64_t LastBytes(const char* data, size_t size, size_t from) {
  size_t count = size - from;
  if (size >= 8) return Load8(data + size - 8) >> (8 * (8 - count));
  uint64_t word = 0;
  if (count >= 4) {
    uint32_t low;
    uint32_t high;
    std::memcpy(&low, data + from, 4);
    std::memcpy(&high, data + size - 4, 4);
    return low | (uint64_t{high} << (8 * (count - 4)));
  }
  for (size_t i = 0; i < count; ++i) {
    word |= uint64_t{static_cast<unsigned char>(data[from + i])} << (8 * i);
  }
  return word;
}

// The same `size` bytes at a and b.
inline bool SameBytes(const char* a, const char* b, size_t size) {
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    if (Load8(a + i) != Load8(b + i)) return false;
  }
  return i == size || LastBytes(a, size, i) == LastBytes(b, size, i);
}

// `count` bytes (one to two words) from `from` to `to`, as the word that
// starts them and the word that ends them, which may overlap, so that no
// copy reaches past either end.
template <class Word>
inline void CopyAsTwoWords(char* to, const char* from, size_t count) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof(Word));
  std::memcpy(&tail, from + count - sizeof(Word), sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + count - sizeof(Word), &tail, sizeof(Word));
}

// `count` (0 to 16) bytes from `from` to `to`.
inline void CopyShort(char* to, const char* from, size_t count) {
  if (count >= 8) {
    CopyAsTwoWords<uint64_t>(to, from, count);
  } else if (count >= 4) {
    CopyAsTwoWords<uint32_t>(to, from, count);
  } else {
    for (size_t i = 0; i < count; ++i) to[i] = from[i];
  }
}

}  // namespace winsim::detail

#endif  // WINSIM_SHORT_BYTES_H
