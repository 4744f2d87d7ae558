#include "winsim/regedit4.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

#include "short_bytes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define WINSIM_HEX_GROUPS 1
// glibc's header is C that GCC's C++ reads and clang's does not (_Bool).
#if defined(__GLIBC__) && !defined(__clang__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <sys/platform/x86.h>
#define WINSIM_C_LIBRARY_KNOWS_THE_PROCESSOR 1
#endif
#endif

namespace winsim {
namespace {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// ---------------------------------------------------------------------------
// Reading

// A statement of the file that cannot be read.
struct Failure {
  size_t line;
  std::string message;
};

// A file that is not one to read at all, or that cannot be read.
struct Refusal {
  size_t line;
  std::string message;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string_view TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return std::string_view(text.data(), end);
}

// The roots' full names as a message lists them: "A, B or C".
std::string RootList() {
  std::string list;
  constexpr size_t kCount = std::size(kRootEntries);
  for (size_t i = 0; i < kCount; ++i) {
    if (i > 0) list += i + 1 == kCount ? " or " : ", ";
    list += kRootEntries[i].name;
  }
  return list;
}

// Text of the file as a message shows it: short, control bytes made visible.
std::string Shown(std::string_view text) {
  constexpr size_t kLongest = 40;
  std::string shown = "\"";
  for (size_t i = 0; i < text.size() && i < kLongest; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      static const char kDigits[] = "0123456789abcdef";
      shown += "\\x";
      shown += kDigits[c >> 4];
      shown += kDigits[c & 15];
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (text.size() > kLongest) shown += "...";
  return shown + "\"";
}

constexpr std::array<int8_t, 256> MakeHexTable() {
  std::array<int8_t, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = static_cast<int8_t>(c >= '0' && c <= '9'   ? c - '0'
                                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1);
  }
  return table;
}
constexpr std::array<int8_t, 256> kHexValues = MakeHexTable();

// The value of a hex digit, or -1.
inline int HexDigit(char c) { return kHexValues[static_cast<unsigned char>(c)]; }

// Two hex digits (the first in the low byte) to their byte, or -1: the bytes
// of a hex list are read two digits at a time. Only the rows and columns of
// the 22 hex digits are ever read, a few kilobytes of the table.
struct HexPairs16 {
  int16_t values[1 << 16];
  constexpr HexPairs16() : values() {
    for (int first = 0; first < 256; ++first) {
      for (int second = 0; second < 256; ++second) {
        int high = kHexValues[first];
        int low = kHexValues[second];
        values[first | (second << 8)] =
            static_cast<int16_t>((high | low) < 0 ? -1 : high * 16 + low);
      }
    }
  }
};
constexpr HexPairs16 kHexPairValues;

inline int HexPair(const char* at) {
  return kHexPairValues.values[static_cast<unsigned char>(at[0]) |
                               (static_cast<unsigned>(static_cast<unsigned char>(at[1])) << 8)];
}

// Bytes of a hex list as regedit writes them, "01,ff,": each two hex digits
// and the comma after them, read from `at` into `out` for as long as they
// last before `end`; gives where they stop. Four are read at a time with
// their checks taken together: a list is mostly such bytes.
inline const char* HexRun(const char* at, const char* end, char*& out) {
  while (end - at >= 12) {
    int first = HexPair(at);
    int second = HexPair(at + 3);
    int third = HexPair(at + 6);
    int fourth = HexPair(at + 9);
    bool commas = at[2] == ',' && at[5] == ',' && at[8] == ',' && at[11] == ',';
    if (!commas || (first | second | third | fourth) < 0) break;
    out[0] = static_cast<char>(first);
    out[1] = static_cast<char>(second);
    out[2] = static_cast<char>(third);
    out[3] = static_cast<char>(fourth);
    out += 4;
    at += 12;
  }
  while (end - at >= 3 && at[2] == ',') {
    int value = HexPair(at);
    if (value < 0) break;
    *out++ = static_cast<char>(value);
    at += 3;
  }
  return at;
}

#if defined(WINSIM_HEX_GROUPS)
// Thirty-two bytes of a hex list at a time, where the processor has AVX2:
// the 96 characters "01,ff,...," are sorted into the first digits, the
// second digits and the commas of the bytes, each checked and converted at
// once. Chosen once; other processors read the bytes with HexRun alone.
//
// Asked by the first reading of a process, of the C library, which asked the
// processor as the process started: in a virtual machine each question to
// the processor (cpuid) is a trip to the host, 10 to 13 microseconds on the
// machine the benchmarks ran on, and every program run starts a process.
// Elsewhere the compiler's own check, which asks dozens as a process starts.
bool AskForHexGroups() {
#if defined(WINSIM_C_LIBRARY_KNOWS_THE_PROCESSOR)
  // Active: the processor has it and the system keeps the wide registers
  // across a switch of tasks.
  return CPU_FEATURE_ACTIVE(AVX2);
#else
  return __builtin_cpu_supports("avx2");
#endif
}
inline bool HexGroupsAvailable() {
  static const bool available = AskForHexGroups();
  return available;
}
// Whether they may be used where they are available: a test asks for the
// plain path (detail::SetRegedit4HexGroups).
bool useHexGroups = true;

constexpr size_t kHexGroupBytes = 32;

// What a group is read with, each the same in both halves of a register:
// vpshufb's indexes that take the first digits (part 0), the second digits
// (1) and the commas (2) of sixteen bytes out of each of the three sixteen
// characters that hold them (-1 takes none); and the tables of
// HexGroupDigits(), looked up by a character's high or low four bits.
struct HexGroupTables {
  alignas(32) int8_t index[3][3][32];
  alignas(32) int8_t nibble[32];
  alignas(32) int8_t highKind[32];  // 1 (a digit 0-9) for 3, 2 (a letter) for 4 and 6
  alignas(32) int8_t lowKinds[32];  // 1 for 0-9, and 2 for 1-6
  alignas(32) int8_t letter[32];    // what a letter's value adds to its low four bits
  alignas(32) int8_t comma[32];
  constexpr HexGroupTables() : index(), nibble(), highKind(), lowKinds(), letter(), comma() {
    for (int byte = 0; byte < 32; ++byte) {
      for (int part = 0; part < 3; ++part) {
        for (int block = 0; block < 3; ++block) {
          int at = 3 * (byte % 16) + part;
          index[part][block][byte] = static_cast<int8_t>(at / 16 == block ? at % 16 : -1);
        }
      }
      int half = byte % 16;
      nibble[byte] = 0x0f;
      highKind[byte] = static_cast<int8_t>(half == 3 ? 1 : half == 4 || half == 6 ? 2 : 0);
      lowKinds[byte] = static_cast<int8_t>((half <= 9 ? 1 : 0) | (half >= 1 && half <= 6 ? 2 : 0));
      letter[byte] = static_cast<int8_t>(half == 4 || half == 6 ? 9 : 0);
      comma[byte] = ',';
    }
  }
};
constexpr HexGroupTables kHexGroupTables;

__attribute__((target("avx2"), always_inline)) inline __m256i HexGroupTable(const int8_t* table) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(table));
}

__attribute__((target("avx2"), always_inline)) inline __m256i HexGroupPart(__m256i a, __m256i b,
                                                                           __m256i c, int part) {
  const int8_t(*index)[32] = kHexGroupTables.index[part];
  return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(a, HexGroupTable(index[0])),
                                         _mm256_shuffle_epi8(b, HexGroupTable(index[1]))),
                         _mm256_shuffle_epi8(c, HexGroupTable(index[2])));
}

// Hex digits: their values (0 to 15 where they are digits), and in *valid
// nonzero where they are. A digit is told by its two halves of four bits: 3
// and 0-9, or 4 or 6 and 1-6, exactly what kHexValues takes.
__attribute__((target("avx2"), always_inline)) inline __m256i HexGroupDigits(__m256i digits,
                                                                             __m256i* valid) {
  const __m256i nibble = HexGroupTable(kHexGroupTables.nibble);
  const __m256i highKind = HexGroupTable(kHexGroupTables.highKind);
  const __m256i lowKinds = HexGroupTable(kHexGroupTables.lowKinds);
  const __m256i letter = HexGroupTable(kHexGroupTables.letter);
  __m256i low = _mm256_and_si256(digits, nibble);
  __m256i high = _mm256_and_si256(_mm256_srli_epi16(digits, 4), nibble);
  *valid =
      _mm256_and_si256(_mm256_shuffle_epi8(highKind, high), _mm256_shuffle_epi8(lowKinds, low));
  return _mm256_add_epi8(low, _mm256_shuffle_epi8(letter, high));
}

// What HexGroup() read: `bytes` of the 32, from the first, are such bytes
// (those after a fault are not to be taken); `lastDigits` when there is a
// fault and its first two characters are hex digits even so (a list's last
// byte), their byte then at out[bytes].
struct HexGroupRead {
  unsigned bytes;
  bool lastDigits;
};

// The 32 bytes "01,ff,...," of the 96 characters at `at` into out[0, 32).
__attribute__((target("avx2"), always_inline)) inline HexGroupRead HexGroup(const char* at,
                                                                            char* out) {
  __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32));
  __m256i third = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 64));
  // Characters 0-15 and 48-63, 16-31 and 64-79, 32-47 and 80-95.
  __m256i a = _mm256_blend_epi32(first, second, 0xf0);
  __m256i b = _mm256_permute2x128_si256(first, third, 0x21);
  __m256i c = _mm256_blend_epi32(second, third, 0xf0);
  __m256i highValid;
  __m256i lowValid;
  __m256i high = HexGroupDigits(HexGroupPart(a, b, c, 0), &highValid);
  __m256i low = HexGroupDigits(HexGroupPart(a, b, c, 1), &lowValid);
  __m256i commas =
      _mm256_cmpeq_epi8(HexGroupPart(a, b, c, 2), HexGroupTable(kHexGroupTables.comma));
  __m256i faults = _mm256_cmpeq_epi8(_mm256_min_epu8(highValid, lowValid), _mm256_setzero_si256());
  uint32_t good = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(faults, commas)));
  uint32_t notDigits = static_cast<uint32_t>(_mm256_movemask_epi8(faults));
  // A fault's value may run into the next byte's bits, a byte not taken.
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                      _mm256_or_si256(_mm256_slli_epi16(high, 4), low));
  unsigned bytes = static_cast<unsigned>(__builtin_ctzll(~uint64_t{good}));
  return {bytes, (((uint64_t{notDigits} | uint64_t{1} << 32) >> bytes) & 1) == 0};
}
#endif

// The first of the bytes in `wanted` in [at, end), or end; `low` is where
// the bytes that may be read start (at or before at). Sixteen bytes are
// compared at a time where the processor can: lines and names are mostly
// short, and a call of memchr for each byte looked for cost more than the
// search.
template <size_t kCount>
inline const char* FindAny(const char* low, const char* at, const char* end,
                           const char (&wanted)[kCount]) {
#if defined(__SSE2__)
  __m128i want[kCount];
  for (size_t i = 0; i < kCount; ++i) want[i] = _mm_set1_epi8(wanted[i]);
  auto matches = [&](const char* from) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    __m128i found = _mm_cmpeq_epi8(bytes, want[0]);
    for (size_t i = 1; i < kCount; ++i) found = _mm_or_si128(found, _mm_cmpeq_epi8(bytes, want[i]));
    return static_cast<unsigned>(_mm_movemask_epi8(found));
  };
  for (; end - at >= 16; at += 16) {
    unsigned found = matches(at);
    if (found != 0) return at + __builtin_ctz(found);
  }
  if (at < end && end - low >= 16) {
    // The last bytes, read as the sixteen that end with them.
    const char* from = end - 16;
    unsigned found = matches(from) >> (at - from);
    return found != 0 ? at + __builtin_ctz(found) : end;
  }
#else
  (void)low;
#endif
  for (; at < end; ++at) {
    for (char c : wanted) {
      if (*at == c) return at;
    }
  }
  return end;
}

inline const char* FindEither(const char* low, const char* at, const char* end, char a, char b) {
  const char wanted[2] = {a, b};
  return FindAny(low, at, end, wanted);
}

// The first quote, backslash, CR or LF in [at, end), or end (`low` as for
// FindAny): where a string of a usual line ends, an escape starts, or the
// line ends before the string does.
__attribute__((noinline)) inline const char* FindStringStop(const char* low, const char* at,
                                                            const char* end) {
  static constexpr char kStops[4] = {'"', '\\', '\r', '\n'};
  return FindAny(low, at, end, kStops);
}

#if defined(__SSE2__)
// One bit for each quote, backslash, CR or LF among the sixteen bytes at `at`.
__attribute__((always_inline)) inline unsigned StringStops(const char* at) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))),
                               _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                            _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}
#endif

// The same, for a name or text of a usual line: mostly fewer than sixteen
// bytes, looked at here without a call.
__attribute__((always_inline)) inline const char* FindStringStopShort(const char* low,
                                                                      const char* at,
                                                                      const char* end) {
#if defined(__SSE2__)
  if (end - at >= 16) {
    unsigned mask = StringStops(at);
    if (mask != 0) return at + __builtin_ctz(mask);
    at += 16;
  }
#endif
  return FindStringStop(low, at, end);
}

// The same for the text of a string value, mostly up to thirty bytes or so:
// thirty-two looked at together, so that their length costs no guess.
__attribute__((always_inline)) inline const char* FindTextStop(const char* low, const char* at,
                                                               const char* end) {
#if defined(__SSE2__)
  if (end - at >= 32) {
    unsigned mask = StringStops(at) | (StringStops(at + 16) << 16);
    if (mask != 0) return at + __builtin_ctz(mask);
    at += 32;
  }
#endif
  return FindStringStop(low, at, end);
}

// The bytes of the CR LF or LF at `at` (before `end`), or 0 where no such
// line end stands there whole: a lone CR, or a CR as the last byte read,
// whose LF may be still to come, is left to the general reading.
inline size_t UsualLineEnd(const char* at, const char* end) {
  if (end - at >= 2) {
    static constexpr char kCrLf[2] = {'\r', '\n'};
    uint16_t two;
    uint16_t crLf;
    std::memcpy(&two, at, 2);
    std::memcpy(&crLf, kCrLf, 2);
    if (two == crLf) return 2;
  }
  return at != end && *at == '\n' ? 1 : 0;
}

// The first quote or backslash at or after `from`, or the size.
size_t FindQuoteOrBackslash(std::string_view text, size_t from) {
  if (from >= text.size()) return text.size();
  const char* begin = text.data();
  return static_cast<size_t>(FindEither(begin, begin + from, begin + text.size(), '"', '\\') -
                             begin);
}

// The same bytes in a and b: every key line compares its root's name and the
// parts of its path with those of the line before, and they are short.
inline bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && detail::SameBytes(a.data(), b.data(), a.size());
}

// How many of the first `size` bytes of a and b agree: sixteen at a time,
// the last as the sixteen that end with them, as paths are some sixty bytes.
inline size_t CommonPrefix(const char* a, const char* b, size_t size) {
  size_t common = 0;
#if defined(__SSE2__)
  auto differing = [&](size_t at) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xffffu;
  };
  for (; common + 16 <= size; common += 16) {
    unsigned differ = differing(common);
    if (differ != 0) return common + static_cast<size_t>(__builtin_ctz(differ));
  }
  if (common < size && size >= 16) {
    unsigned differ = differing(size - 16) >> (16 - (size - common));
    return differ != 0 ? common + static_cast<size_t>(__builtin_ctz(differ)) : size;
  }
#endif
  while (common < size && a[common] == b[common]) ++common;
  return common;
}

// Compared here rather than through NamesEqual: each value of a file that
// is not a string asks for one to three of these.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (upper(text[i]) != upper(prefix[i])) return false;
  }
  return true;
}

// Where the line that starts at `begin` ends, of the `size` bytes there: a
// line ends at CR LF, LF or a lone CR. Gives the line's length and, in
// *skip, the bytes of its line end; *complete is false when the bytes end
// before the line does (or with a CR whose LF may come next).
size_t LineLength(const char* begin, size_t size, size_t* skip, bool* complete) {
  const char* stop = FindEither(begin, begin, begin + size, '\r', '\n');
  size_t length = static_cast<size_t>(stop - begin);
  if (length == size) {
    *complete = false;
    *skip = 0;
  } else if (*stop == '\n') {
    *complete = true;
    *skip = 1;
  } else {
    *complete = length + 1 < size;
    *skip = *complete && begin[length + 1] == '\n' ? 2 : 1;
  }
  return length;
}

// The lines of a file held whole in memory. A line stays valid as long as the text.
class TextLines {
 public:
  static constexpr bool kLinesMove = false;
  // The caller's text ends where it ends.
  static constexpr bool kPadded = false;

  explicit TextLines(std::string_view text) : text_(text) {}

  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t skip = 0;
    bool complete = false;
    size_t length = LineLength(text_.data() + pos_, text_.size() - pos_, &skip, &complete);
    line = text_.substr(pos_, length);
    pos_ += length + skip;
    ++number_;
    return true;
  }
  size_t number() const { return number_; }
  // The bytes not yet read (those at hand: a line may go on past them).
  std::string_view rest() const { return text_.substr(pos_); }
  // Takes the next line, `bytes` long with its line end, as read.
  void skip(size_t bytes) {
    pos_ += bytes;
    ++number_;
  }
  // The lines read so far stay where they are as long as this is unchanged.
  size_t refills() const { return 0; }
  // The first bytes of the file (fewer when it is shorter).
  std::string_view start(size_t bytes) const { return text_.substr(0, bytes); }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

// The lines of a file read block by block, so that a large file is never in
// memory whole. A line stays valid only until next() is called again.
class FileLines {
 public:
  static constexpr bool kLinesMove = true;
  // kPaddingBytes can be read past the last byte read, so that the names
  // and data found in the block are copied as whole words.
  static constexpr bool kPadded = true;

  FileLines(int fd, size_t blockSize)
      : fd_(fd), block_((blockSize < 16 ? 16 : blockSize) + kPaddingBytes) {
    fill();
  }

  bool next(std::string_view& line) {
    // The usual line first: its end and the byte after it (the LF of a CR
    // LF) lie among the bytes read, so no more is to be read to tell it.
    const char* begin = block_.data() + pos_;
    const char* stop = FindEither(begin, begin, block_.data() + end_, '\r', '\n');
    if (stop + 1 < block_.data() + end_) {
      size_t length = static_cast<size_t>(stop - begin);
      line = std::string_view(begin, length);
      pos_ += length + (stop[0] == '\r' && stop[1] == '\n' ? 2 : 1);
      ++number_;
      return true;
    }
    for (;;) {
      if (pos_ == end_ && ended_) return false;
      size_t skip = 0;
      bool complete = false;
      size_t length = LineLength(block_.data() + pos_, end_ - pos_, &skip, &complete);
      if (complete || ended_) {
        line = std::string_view(block_.data() + pos_, length);
        pos_ += length + skip;
        ++number_;
        return true;
      }
      fill();
    }
  }
  size_t number() const { return number_; }
  std::string_view rest() const { return std::string_view(block_.data() + pos_, end_ - pos_); }
  void skip(size_t bytes) {
    pos_ += bytes;
    ++number_;
  }
  size_t refills() const { return refills_; }
  std::string_view start(size_t bytes) const {
    return std::string_view(block_.data(), std::min(bytes, end_));
  }

 private:
  // Moves the unread bytes to the front and reads more behind them; a line
  // longer than the block makes the block larger.
  void fill() {
    if (ended_) return;
    ++refills_;
    std::memmove(block_.data(), block_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    size_t limit = block_.size() - kPaddingBytes;
    if (end_ == limit) {
      limit *= 2;
      block_.resize(limit + kPaddingBytes);
    }
    while (end_ < limit) {
      ssize_t got = ::read(fd_, block_.data() + end_, limit - end_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        throw Refusal{number_ + 1, std::string("the file cannot be read: ") + std::strerror(errno) +
                                       "; check the file and the disk"};
      }
      if (got == 0) {
        ended_ = true;
        break;
      }
      end_ += static_cast<size_t>(got);
    }
  }

  int fd_;
  std::vector<char> block_;
  size_t pos_ = 0;  // the first unread byte
  size_t end_ = 0;  // the end of the bytes read
  bool ended_ = false;
  size_t number_ = 0;
  size_t refills_ = 0;
};

// Text being made (a line's unescaped text or hex bytes as they are read, the
// text of a save until it is handed on). Room is made without filling it, so
// that room for the longest a line can be costs nothing beyond what is
// written into it.
class TextBuffer {
 public:
  // Allocated from the start, with kPaddingBytes to spare after its
  // capacity, so that what it holds is always padded as a block's bytes are.
  TextBuffer() : data_(new char[kFirstCapacity + kPaddingBytes]()), capacity_(kFirstCapacity) {}
  // Asked for by nearly every line: inlined, the growing kept apart.
  __attribute__((always_inline)) char* room(size_t bytes) {
    if (__builtin_expect(size_ + bytes > capacity_, 0)) grow(size_ + bytes);
    return data_.get() + size_;
  }
  void done(const char* end) { size_ = static_cast<size_t>(end - data_.get()); }
  // Mostly the short runs of text between escapes, a few a line: inlined.
  __attribute__((always_inline)) void append(std::string_view text) {
    char* to = room(text.size());
    if (text.size() <= 16) {
      detail::CopyShort(to, text.data(), text.size());
    } else {
      std::memcpy(to, text.data(), text.size());
    }
    size_ += text.size();
  }
  void assign(std::string_view text) {
    clear();
    append(text);
  }
  void push(char c) {
    *room(1) = c;
    ++size_;
  }
  void reserve(size_t bytes) {
    if (bytes > capacity_) grow(bytes);
  }
  // The room for `bytes` more where it is made already, or null.
  char* roomMade(size_t bytes) {
    return size_ + bytes <= capacity_ ? data_.get() + size_ : nullptr;
  }
  void clear() { size_ = 0; }
  // Back to the first `size` bytes.
  void cut(size_t size) { size_ = size; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* data() const { return data_.get(); }
  std::string_view view() const { return std::string_view(data_.get(), size_); }

 private:
  static constexpr size_t kFirstCapacity = 256;

  __attribute__((noinline)) void grow(size_t needed) {
    size_t capacity = std::max(needed, capacity_ * 2);
    std::unique_ptr<char[]> larger(new char[capacity + kPaddingBytes]());
    if (size_ != 0) std::memcpy(larger.get(), data_.get(), size_);
    data_ = std::move(larger);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// The bytes "01," of a hex list from `at` on, before `end`, into `out`;
// gives where they stop.
__attribute__((always_inline)) inline const char* HexRuns(const char* at, const char* end,
                                                          TextBuffer& out) {
  constexpr size_t kRun = 32;
  for (;;) {
    size_t count = std::min(kRun, static_cast<size_t>(end - at) / 3);
    const char* stop = at + 3 * count;
    char* to = out.room(kRun);
    at = HexRun(at, stop, to);
    out.done(to);
    if (at != stop || count < kRun) return at;
  }
}

// The parts of a key line's path, each where it lies in the path. Kept from
// line to line, and added to without a call: a line has five or so. Kept
// as places rather than views, so that parts a path shares with the path
// before it (the same bytes in the same places) are kept with no copy.
class PathParts {
 public:
  struct Part {
    size_t offset;
    size_t size;
  };

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view operator[](size_t i) const {
    return std::string_view(path_ + parts_[i].offset, parts_[i].size);
  }
  std::string_view back() const { return (*this)[size_ - 1]; }
  // Where part i ends in the path.
  size_t end(size_t i) const { return parts_[i].offset + parts_[i].size; }
  // How many parts, from the first, lie in the path's first `common` bytes
  // (those it shares with another path) and end where a part of the other
  // ends: before `common`, or at it when `otherEndsThere`. Counted from the
  // last, as consecutive key lines mostly share all but one or two.
  size_t endingWithin(size_t common, bool otherEndsThere) const {
    size_t count = size_;
    for (; count != 0; --count) {
      size_t partEnd = end(count - 1);
      if (partEnd < common || (partEnd == common && otherEndsThere)) break;
    }
    return count;
  }

  // The parts of `path` from now on, none yet.
  void clear(const char* path) {
    path_ = path;
    size_ = 0;
  }
  void add(const char* data, size_t size) {
    if (size_ == capacity_) grow(size_, size_ + 1);
    parts_[size_++] = Part{static_cast<size_t>(data - path_), size};
  }
  // Parts written straight through a pointer, as a key line is cut: the
  // parts of `path` are the first `kept` of those held (which lie in `path`
  // as they lay in the one they were cut from) and those written at the
  // pointer start() returns; room() makes room for `more` after `out`,
  // done() takes those written.
  Part* start(const char* path, size_t kept) {
    path_ = path;
    size_ = kept;
    return parts_.get() + kept;
  }
  Part* room(Part* out, size_t more) {
    size_t held = static_cast<size_t>(out - parts_.get());
    if (held + more > capacity_) grow(held, held + more);
    return parts_.get() + held;
  }
  void done(const Part* out) { size_ = static_cast<size_t>(out - parts_.get()); }

 private:
  __attribute__((noinline)) void grow(size_t held, size_t needed) {
    size_t capacity = std::max<size_t>({16, capacity_ * 2, needed});
    std::unique_ptr<Part[]> larger(new Part[capacity]);
    std::copy(parts_.get(), parts_.get() + held, larger.get());
    parts_ = std::move(larger);
    capacity_ = capacity;
  }

  const char* path_ = nullptr;
  std::unique_ptr<Part[]> parts_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Reads the file and tells the handler what each line asks for:
//   openKey(root, parts, same)
//                             [path]     parts[0] is the root's name; the first
//                                        `same` parts are byte for byte those
//                                        of the last openKey that returned,
//                                        with no deleteKey since
//   deleteKey(root, parts)    [-path]
//   setValue(name, type, bytes, terminated)
//                                        a string's text comes without its NUL,
//                                        with terminated set
//   deleteValue(name)
//   finish()                             after the last line
// The views it passes are valid only during the call.
//
// A statement is a line, or a value line with the lines its hex list goes on
// over. The rules are those of Windows' regedit, as its conformance results
// record them:
// - The first line is REGEDIT4 exactly (blanks around it allowed); a file
//   without it is not read at all.
// - Blank lines and lines that start with ; or # are comments.
// - [path] opens a key, [-path] deletes one; no blank right after [ or [-,
//   nothing after the closing ] (the last ] of the line). A key line that
//   cannot be read leaves no key open: the value lines after it go nowhere.
// - "name"=... or @=..., blanks allowed around the =: "text" with \\ and \"
//   escapes, - (delete), dword: with 1 to 8 hex digits, hex: and hex(N): with
//   N of 1 to 8 hex digits; after the data only blanks and a ; comment.
// - A hex list is bytes of one or two hex digits separated by commas (a comma
//   may end it). A \ after a comma (or right after the colon) and before
//   blanks or a ; comment goes on to the next line that is not blank or a ;
//   comment; a \ after a byte, a line that goes on with a comma, a # comment
//   or a line of nothing but \ makes the value unreadable. A file that ends
//   where the list was to go on ends the list.
// - The bytes of hex(2) and hex(7) are kept as written: Windows 98's regedit
//   (like Windows 2000's, measured) adds no terminator, as XP's and later do.
//
// Strictly, the first statement that cannot be read stops the reading (a
// Failure). Line by line, it is passed over (listed in passedOver()) and the
// reading goes on; only a file that is not one to read at all stops it.
template <class Handler, class Source>
class Parser {
 public:
  // `shortcut` false reads every line by the general rules (for tests that
  // compare the two).
  Parser(Source& lines, Handler& handler, bool lineByLine = false, bool shortcut = true)
      : lines_(lines), handler_(handler), lineByLine_(lineByLine), shortcut_(shortcut) {}

  void run() {
    checkHeader();
    for (;;) {
      if (!lineByLine_) {
        if (!step()) break;
        continue;
      }
      try {
        if (!step()) break;
      } catch (const Failure& failure) {
        if (passedOver_.size() < kListedPassedOver) {
          passedOver_.push_back({statementLine_, lines_.number(), failure.message});
        } else {
          ++notListed_;
        }
      }
    }
    handler_.finish();
  }

  const std::vector<PassedOverLine>& passedOver() const { return passedOver_; }
  size_t notListed() const { return notListed_; }

 private:
  [[noreturn]] void fail(std::string message) const {
    throw Failure{lines_.number() == 0 ? 1 : lines_.number(), std::move(message)};
  }

  // Reads the next statement; false at the end of the file.
  bool step() {
    if (shortcut_) usualLines();
    std::string_view line;
    if (!lines_.next(line)) return false;
    statement(line);
    return true;
  }

  // Nearly every line of a file is a blank line, a [path] key line, or a
  // value line as regedit writes it: "name" or @, = and "text" (escapes
  // allowed), dword: and eight digits, or hex: or hex(N): and bytes of two
  // digits, each right before a CR LF or LF. Those are read here, one after
  // the other, in one pass over their bytes, found among the bytes at hand.
  // The first line not taken is left untouched to statement(), which reads
  // every line (what this does not take exactly, it leaves: blanks,
  // comments, a name with escapes, other forms of the data, any fault) and
  // gives every message. A value line is taken only where a key is open, so
  // that what it does is just setValue.
  void usualLines() {
    for (;;) {
      std::string_view rest = lines_.rest();
      if (rest.empty()) return;
      const char* begin = rest.data();
      const char* end = begin + rest.size();
      char first = *begin;
      if (first == '"' || first == '@') {
        if (state_ != KeyState::Open || !usualValueLine(begin, end)) return;
      } else if (first == '[') {
        if (!usualKeyLine(begin, end)) return;
      } else {
        size_t blank = UsualLineEnd(begin, end);
        if (blank == 0) return;
        lines_.skip(blank);
      }
    }
  }

  // A key line that opens a key, "[path]" right before a CR LF or LF, with
  // no - or blank after the [: its path is cut at its backslashes as its
  // line end is looked for, as splitPath() cuts it, and it is read on as
  // keyLine() reads it. A file lists a key's subkeys one after the other,
  // so the parts this path shares with the last key opened (found by
  // comparing the bytes) are kept as they were cut, and only the rest is
  // cut. False leaves the line to keyLine().
  bool usualKeyLine(const char* begin, const char* end) {
    const char* path = begin + 1;
    size_t same = sharedParts(path, end);
    // Cutting starts at the backslash after the parts kept (or at the path).
    const char* from = same != 0 ? path + parts_.end(same - 1) : path;
    PathParts::Part* out = parts_.start(path, same);
    lastPath_ = std::string_view();  // parts_ is this path's from here on
    const char* partStart = from;
    auto cut = [&](const char* at) {  // with room made for the part
      if (at > partStart) {
        *out++ = PathParts::Part{static_cast<size_t>(partStart - path),
                                 static_cast<size_t>(at - partStart)};
      }
      partStart = at + 1;
    };
    const char* at = from;
    const char* stop = nullptr;  // the line end
#if defined(__SSE2__)
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; end - at >= 16; at += 16) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      unsigned ends = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
      unsigned cuts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash)));
      if (ends != 0) cuts &= (ends & (0u - ends)) - 1;  // those before the line end
      if (cuts != 0) out = parts_.room(out, 16);
      for (; cuts != 0; cuts &= cuts - 1) cut(at + __builtin_ctz(cuts));
      if (ends != 0) {
        stop = at + __builtin_ctz(ends);
        break;
      }
    }
#endif
    if (stop == nullptr) {
      for (; at < end && *at != '\r' && *at != '\n'; ++at) {
        if (*at == '\\') {
          out = parts_.room(out, 1);
          cut(at);
        }
      }
      stop = at;
    }
    size_t lineEnd = UsualLineEnd(stop, end);
    if (lineEnd == 0 || stop - path < 1 || stop[-1] != ']' || *path == '-' || IsBlank(*path)) {
      return false;
    }
    out = parts_.room(out, 1);
    cut(stop - 1);  // the last part ends at the closing ]
    parts_.done(out);
    lines_.skip(static_cast<size_t>(stop - begin) + lineEnd);
    statementLine_ = lines_.number();
    state_ = KeyState::None;
    keyPath(std::string_view(path, static_cast<size_t>(stop - 1 - path)), false, same);
    return true;
  }

  // How many parts of the last key opened a key line's path that starts at
  // `path` (its line ends before `end`) repeats byte for byte, each ending
  // where the next part of the path starts: those of parts_ that end before
  // the first byte where the paths differ, or at it where this path has a
  // backslash there. The last path is looked at where its line still lies
  // (no block was read since).
  size_t sharedParts(const char* path, const char* end) const {
    if (lastPath_.data() == nullptr || lastPathRefills_ != lines_.refills()) return 0;
    size_t room = static_cast<size_t>(end - path);
    size_t common = CommonPrefix(path, lastPath_.data(), std::min(lastPath_.size(), room));
    return parts_.endingWithin(common, common < room && path[common] == '\\');
  }

  // Called for every value line, from one place: inlined, so that a line
  // costs no call.
  __attribute__((always_inline)) bool usualValueLine(const char* begin, const char* end) {
    std::string_view name(begin, 0);  // @: empty, where the line's bytes are
    const char* at = begin + 1;
    if (*begin == '"') {
      const char* close = FindStringStopShort(begin, at, end);
      if (close == end || *close != '"') return false;
      name = std::string_view(at, static_cast<size_t>(close - at));
      at = close + 1;
    }
    if (end - at < 2 || *at != '=') return false;
    ++at;
    if (*at == '"') return usualString(begin, at + 1, end, name);
    if (end - at >= 14 && std::memcmp(at, "dword:", 6) == 0) {
      at += 6;
      int b3 = HexPair(at);
      int b2 = HexPair(at + 2);
      int b1 = HexPair(at + 4);
      int b0 = HexPair(at + 6);
      size_t lineEnd = UsualLineEnd(at + 8, end);
      if ((b0 | b1 | b2 | b3) < 0 || lineEnd == 0) return false;
      char bytes[kPaddingBytes] = {static_cast<char>(b0), static_cast<char>(b1),
                                   static_cast<char>(b2), static_cast<char>(b3)};
      lines_.skip(static_cast<size_t>(at + 8 - begin) + lineEnd);
      handler_.setValue(name, kRegDword, std::string_view(bytes, 4), false, Source::kPadded);
      return true;
    }
    if (end - at < 4 || std::memcmp(at, "hex", 3) != 0) return false;
    uint32_t type = kRegBinary;
    if (at[3] == ':') {
      at += 4;
    } else if (at[3] == '(') {
      at += 4;
      const char* digits = at;
      type = 0;
      while (at < end && at - digits <= 8 && HexDigit(*at) >= 0) {
        type = (type << 4) | static_cast<uint32_t>(HexDigit(*at));
        ++at;
      }
      if (at == digits || at - digits > 8 || end - at < 2 || at[0] != ')' || at[1] != ':') {
        return false;
      }
      at += 2;
    } else {
      return false;
    }
    return usualHexList(begin, at, end, name, type);
  }

  // The text after the opening quote of a usual string value.
  bool usualString(const char* begin, const char* at, const char* end, std::string_view name) {
    const char* stop = FindTextStop(begin, at, end);
    std::string_view text;
    if (stop != end && *stop == '"') {
      text = std::string_view(at, static_cast<size_t>(stop - at));
    } else {
      // Escapes, as quoted() reads them; the line ending first leaves it.
      dataScratch_.clear();
      const char* from = at;
      for (;;) {
        if (stop == end || *stop == '\r' || *stop == '\n') return false;
        if (*stop == '"') break;
        if (end - stop >= 2 && (stop[1] == '\\' || stop[1] == '"')) {
          appendRun(from, stop, end);
          from = stop + 1;
          stop = FindStringStopShort(begin, stop + 2, end);
        } else {
          stop = FindStringStopShort(begin, stop + 1, end);
        }
      }
      appendRun(from, stop, end);
      text = dataScratch_.view();
    }
    size_t lineEnd = UsualLineEnd(stop + 1, end);
    if (lineEnd == 0) return false;
    lines_.skip(static_cast<size_t>(stop + 1 - begin) + lineEnd);
    handler_.setValue(name, kRegSz, text, true, Source::kPadded);  // kept with a terminator
    return true;
  }

  // A run of a string's text between escapes, [from, to), mostly a few
  // bytes: copied as the sixteen bytes from `from` where the line has them
  // (before `end`), with no call.
  __attribute__((always_inline)) void appendRun(const char* from, const char* to, const char* end) {
    size_t size = static_cast<size_t>(to - from);
    if (size <= 16 && end - from >= 16) {
      char* out = dataScratch_.room(16);
      std::memcpy(out, from, 16);
      dataScratch_.done(out + size);
    } else {
      dataScratch_.append(std::string_view(from, size));
    }
  }

  // The bytes of a usual hex list, "01,ff,...,7a", each read with the comma
  // after it. A list that ends with a comma and a backslash goes on over the
  // next lines, read as hexList() reads them.
  bool usualHexList(const char* begin, const char* at, const char* end, std::string_view name,
                    uint32_t type) {
    dataScratch_.clear();
    size_t taken = 0;
    HexLine read = usualHexBytes(at, end, &taken);
    if (read == HexLine::Other) return false;
    lines_.skip(static_cast<size_t>(at - begin) + taken);
    if (read == HexLine::GoesOn) {
      // Reading on moves the line the name lies in.
      if (Source::kLinesMove && !name.empty()) {
        nameScratch_.assign(name);
        name = nameScratch_.view();
      }
      statementLine_ = lines_.number();
      usualListLines();
    }
    handler_.setValue(name, type, dataScratch_.view(), false, Source::kPadded);
    return true;
  }

  // The lines a hex list goes on over, as regedit writes them (blanks and
  // bytes) read here too; the first other line from where hexList() would
  // read it, and the rest of the list by hexLines().
  void usualListLines() {
    for (;;) {
      std::string_view rest = lines_.rest();
      const char* line = rest.data();
      const char* end = line + rest.size();
      const char* from = line;
      while (from != end && IsBlank(*from)) ++from;
      size_t mark = dataScratch_.size();
      size_t taken = 0;
      HexLine read = usualHexBytes(from, end, &taken);
      // A line without a byte is one hexLines() skips or refuses.
      if (read == HexLine::Other || dataScratch_.size() == mark) {
        dataScratch_.cut(mark);
        std::string_view general;
        size_t at = 0;
        if (nextListLine(general, at)) hexLines(general, at, false);
        return;
      }
      lines_.skip(static_cast<size_t>(from - line) + taken);
      if (read == HexLine::Last) return;
    }
  }

  enum class HexLine { Other, Last, GoesOn };

  // The bytes of a line of a hex list from `at` on, added to dataScratch_,
  // where they are all "01," but the last, which is a byte right before the
  // line end (Last), or a backslash after a comma (GoesOn); *taken is then
  // the line's bytes from `at` with its line end, for the caller to skip.
  // Other: not such a line (bytes may have been added).
  __attribute__((always_inline)) HexLine usualHexBytes(const char* at, const char* end,
                                                       size_t* taken) {
#if defined(WINSIM_HEX_GROUPS)
    if (hexGroups_) return usualHexGroups(at, end, taken);
#endif
    return usualHexRuns(at, end, taken);
  }

  // The same with HexRun alone.
  HexLine usualHexRuns(const char* at, const char* end, size_t* taken) {
    return usualHexLineEnd(at, HexRuns(at, end, dataScratch_), end, taken);
  }

#if defined(WINSIM_HEX_GROUPS)
  // The same 32 bytes at a time (HexGroup()) while the bytes at hand hold
  // their 96 characters, the rest by HexRun. A line of a list mostly ends
  // within its first 32 bytes, with a last byte or a backslash: that is
  // read here with no call, anything else by usualHexGroupsOn().
  __attribute__((target("avx2"))) HexLine usualHexGroups(const char* at, const char* end,
                                                         size_t* taken) {
    char* out = dataScratch_.roomMade(kHexGroupBytes);
    if (end - at < static_cast<ptrdiff_t>(3 * kHexGroupBytes) || out == nullptr) {
      return usualHexGroupsOn(at, at, end, taken, true);
    }
    HexGroupRead read = HexGroup(at, out);
    const char* stop = at + 3 * read.bytes;
    if (read.bytes < kHexGroupBytes) {
      size_t lineEnd;
      if (read.lastDigits && (lineEnd = UsualLineEnd(stop + 2, end)) != 0) {
        dataScratch_.done(out + read.bytes + 1);
        *taken = static_cast<size_t>(stop + 2 - at) + lineEnd;
        return HexLine::Last;
      }
      if (*stop == '\\' && (lineEnd = UsualLineEnd(stop + 1, end)) != 0) {
        dataScratch_.done(out + read.bytes);
        *taken = static_cast<size_t>(stop + 1 - at) + lineEnd;
        return HexLine::GoesOn;
      }
    }
    dataScratch_.done(out + read.bytes);
    return usualHexGroupsOn(at, stop, end, taken, read.bytes == kHexGroupBytes);
  }

  // The line of a hex list that starts at `start`, read on from `at`;
  // `more` when the bytes before `at` end with no fault.
  __attribute__((target("avx2"), noinline)) HexLine usualHexGroupsOn(const char* start,
                                                                     const char* at,
                                                                     const char* end, size_t* taken,
                                                                     bool more) {
    if (more) {
      for (;;) {
        if (end - at < static_cast<ptrdiff_t>(3 * kHexGroupBytes)) {
          at = HexRuns(at, end, dataScratch_);
          break;
        }
        char* out = dataScratch_.room(kHexGroupBytes);
        HexGroupRead read = HexGroup(at, out);
        dataScratch_.done(out + read.bytes);
        at += 3 * read.bytes;
        if (read.bytes < kHexGroupBytes) break;
      }
    }
    return usualHexLineEnd(start, at, end, taken);
  }
#endif

  // The end of a line of a hex list at `at`, after its bytes "01,": the
  // last byte and line end, or a backslash and line end (usualHexBytes()).
  __attribute__((always_inline)) HexLine usualHexLineEnd(const char* start, const char* at,
                                                         const char* end, size_t* taken) {
    size_t lineEnd = UsualLineEnd(at, end);  // "hex:" alone, or a comma last
    if (lineEnd == 0 && end - at >= 2 && HexPair(at) >= 0) {
      lineEnd = UsualLineEnd(at + 2, end);
      if (lineEnd != 0) {
        dataScratch_.push(static_cast<char>(HexPair(at)));
        at += 2;
      }
    }
    if (lineEnd != 0) {
      *taken = static_cast<size_t>(at - start) + lineEnd;
      return HexLine::Last;
    }
    if (at == end || *at != '\\' || (lineEnd = UsualLineEnd(at + 1, end)) == 0) {
      return HexLine::Other;
    }
    *taken = static_cast<size_t>(at + 1 - start) + lineEnd;
    return HexLine::GoesOn;
  }

  void statement(std::string_view line) {
    statementLine_ = lines_.number();
    line = TrimRight(line);
    size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos == line.size() || line[pos] == ';' || line[pos] == '#') return;
    if (line[pos] == '"' || line[pos] == '@') {
      valueLine(line, pos);
    } else if (line[pos] == '[') {
      keyLine(std::string_view(line.data() + pos + 1, line.size() - pos - 1));
    } else {
      fail(
          "this line is not a [key] line, a \"name\"=value or @=value line, a ; comment or "
          "a blank line; found " +
          Shown(line.substr(pos)));
    }
  }

  void checkHeader() {
    std::string_view start = lines_.start(3);
    if (start.substr(0, 2) == "\xFF\xFE" || start.substr(0, 2) == "\xFE\xFF") {
      throw Refusal{1,
                    "the file is UTF-16 text (regedit's version 5.00 format, which Windows "
                    "95/98 do not read); a REGEDIT4 file is ANSI text that starts with the line "
                    "REGEDIT4"};
    }
    if (start == "\xEF\xBB\xBF") {
      throw Refusal{1,
                    "the file starts with a UTF-8 byte order mark; save it as ANSI text "
                    "without one, starting with the line REGEDIT4"};
    }
    // A first line that runs past the bytes looked at here is read whole only
    // while it can still be the header: a file that is no registry (a sparse
    // file, a disk image), one long line, is refused at once instead of being
    // read into memory to its end.
    std::string_view head = lines_.start(kHeaderLook);
    if (head.size() == kHeaderLook && head.find_first_of("\r\n") == std::string_view::npos) {
      size_t text = head.find_first_not_of(" \t");
      if (text != std::string_view::npos) {
        std::string_view rest = head.substr(text);
        std::string_view word = rest.substr(0, 8);
        bool header = std::string_view("REGEDIT4").substr(0, word.size()) == word &&
                      rest.find_first_not_of(" \t", word.size()) == std::string_view::npos;
        if (!header) refuseFirstLine(rest);
      }
    }
    std::string_view first;
    if (!lines_.next(first)) {
      throw Refusal{1, "the file is empty; a registry file starts with the line REGEDIT4"};
    }
    first = TrimRight(first);
    while (!first.empty() && IsBlank(first.front())) first.remove_prefix(1);
    if (first == "REGEDIT4") return;
    refuseFirstLine(first);
  }

  static constexpr size_t kHeaderLook = 4096;

  [[noreturn]] static void refuseFirstLine(std::string_view first) {
    if (StartsWithNoCase(first, "Windows Registry Editor")) {
      throw Refusal{1,
                    "this is a file of regedit's version 5.00 format, which came with Windows "
                    "2000 and which Windows 95/98 do not read: make the first line REGEDIT4 and "
                    "keep the file ANSI text"};
    }
    throw Refusal{1, "the first line must be REGEDIT4 (in capitals, alone on the line); found " +
                         Shown(first)};
  }

  // The rest of a line that starts with '['.
  void keyLine(std::string_view rest) {
    state_ = KeyState::None;
    bool remove = !rest.empty() && rest[0] == '-';
    if (remove) rest.remove_prefix(1);
    if (!rest.empty() && IsBlank(rest[0])) {
      fail(std::string("a key line has no blank after its ") + (remove ? "[-" : "[") +
           "; write it as [HKEY_LOCAL_MACHINE\\Path]");
    }
    size_t close = rest.rfind(']');
    if (close == std::string_view::npos) {
      fail("the key line has no closing ]; write it as [HKEY_LOCAL_MACHINE\\Path]");
    }
    if (close + 1 != rest.size()) {
      fail("unexpected text " + Shown(rest.substr(close + 1)) + " after the key's closing ]");
    }
    std::string_view path(rest.data(), close);
    splitPath(path);
    size_t same = remove ? 0 : sameParts(path);
    lastPath_ = std::string_view();  // parts_ is this path's from here on
    keyPath(path, remove, same);
  }

  // The rest of a key line, its path split into parts_ (and state_ None), of
  // which the first `same` are byte for byte those of the last key opened.
  // Inlined with the applier's openKey in the two places that read a key
  // line: a key line costs no calls of its own.
  __attribute__((always_inline)) void keyPath(std::string_view path, bool remove, size_t same) {
    if (parts_.empty()) fail("the key line names no key; write it as [HKEY_LOCAL_MACHINE\\Path]");
    // A root spelled byte for byte as the last key opened spelled it is its root.
    std::optional<Root> root = same != 0 ? std::optional<Root>(lastPathRoot_) : rootOf(parts_[0]);
    if (!root) {
      fail(Shown(parts_[0]) + " is not a registry root; a key path starts with " + RootList());
    }
    if (parts_.size() - 1 > kMaxKeyDepth) {
      fail("the key lies " + std::to_string(parts_.size() - 1) +
           " levels below its root; the registry holds at most " + std::to_string(kMaxKeyDepth));
    }
    if (remove) {
      if (parts_.size() == 1) {
        fail("a root key cannot be deleted; name a key below " + std::string(RootName(*root)));
      }
      handler_.deleteKey(*root, parts_);
      state_ = KeyState::Deleted;
    } else {
      // lastPath_ stays none until the key is open.
      handler_.openKey(*root, parts_, same);
      lastPath_ = path;
      lastPathRoot_ = *root;
      lastPathRefills_ = lines_.refills();
      state_ = KeyState::Open;
    }
  }

  // How many of parts_ (split from `path`) are byte for byte those of the
  // last key opened: a file lists a key's subkeys one after the other, so
  // the handler need not compare again what the bytes already tell. The last
  // path is looked at where its line still lies (no block was read since).
  // (usualKeyLine finds them before it cuts the path: sharedParts.)
  size_t sameParts(std::string_view path) const {
    if (lastPath_.data() == nullptr || lastPathRefills_ != lines_.refills()) return 0;
    const char* last = lastPath_.data();
    size_t limit = std::min(path.size(), lastPath_.size());
    size_t common = CommonPrefix(path.data(), last, limit);
    // A part is the same where the bytes agree through its end and the last
    // path's part ends there too (at its end or a backslash).
    return parts_.endingWithin(common, common == lastPath_.size() || last[common] == '\\');
  }

  // Key lines name the same root over and over, spelled the same way.
  std::optional<Root> rootOf(std::string_view name) {
    if (lastRoot_ && SameText(name, lastRootName_)) return lastRoot_;
    std::optional<Root> root = ParseRootName(name);
    if (root) {
      lastRoot_ = root;
      lastRootName_.assign(name);
    }
    return root;
  }

  // The backslashes of sixteen bytes at a time taken as bits, each part cut
  // at the next bit: a path is some sixty bytes, its parts short.
  void splitPath(std::string_view path) {
    parts_.clear(path.data());
    const char* begin = path.data();
    size_t size = path.size();
    size_t start = 0;
    auto cut = [&](size_t stop) {
      if (stop > start) parts_.add(begin + start, stop - start);
      start = stop + 1;
    };
    size_t at = 0;
#if defined(__SSE2__)
    const __m128i backslash = _mm_set1_epi8('\\');
    auto backslashes = [&](const char* from) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
      return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash)));
    };
    for (; at + 16 <= size; at += 16) {
      for (unsigned found = backslashes(begin + at); found != 0; found &= found - 1) {
        cut(at + static_cast<size_t>(__builtin_ctz(found)));
      }
    }
    if (at < size && size >= 16) {
      // The last bytes, read as the sixteen that end with them.
      unsigned found = backslashes(begin + size - 16) >> (16 - (size - at));
      for (; found != 0; found &= found - 1) cut(at + static_cast<size_t>(__builtin_ctz(found)));
      at = size;
    }
#endif
    for (; at < size; ++at) {
      if (begin[at] == '\\') cut(at);
    }
    cut(size);
  }

  static size_t SkipBlanks(std::string_view line, size_t pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    return pos;
  }

  // After the data of a value only blanks and a ; comment may stand.
  void endOfData(std::string_view line, size_t pos, const char* after) const {
    pos = SkipBlanks(line, pos);
    if (pos != line.size() && line[pos] != ';') {
      fail("unexpected text " + Shown(line.substr(pos)) + " after " + after +
           "; only a ; comment may follow the data");
    }
  }

  // A value goes into the key the key line above it opened.
  void requireOpenKey() const {
    if (state_ == KeyState::Open) return;
    throw Failure{statementLine_,
                  state_ == KeyState::None
                      ? "a value line must follow a [key] line; put the key it belongs to above "
                        "it (a key line that was passed over opens no key)"
                      : "a value line must follow a [key] line, but the key line above it "
                        "deletes its key ([-...])"};
  }

  void valueLine(std::string_view line, size_t pos) {
    std::string_view name;
    if (line[pos] == '@') {
      ++pos;
    } else {
      name = quoted(line, pos, nameScratch_,
                    "the value name has no closing quote (write a quote inside a name as \\\" "
                    "and a backslash as \\\\)");
    }
    pos = SkipBlanks(line, pos);
    if (pos == line.size() || line[pos] != '=') {
      fail("expected = after the value name; found " + Shown(line.substr(pos)));
    }
    pos = SkipBlanks(line, pos + 1);
    std::string_view data(line.data() + pos, line.size() - pos);  // pos is at most the end

    if (!data.empty() && data[0] == '"') {
      std::string_view text =
          quoted(line, pos, dataScratch_,
                 "the string has no closing quote (write a quote inside it as \\\" and a "
                 "backslash as \\\\)");
      endOfData(line, pos, "the string's closing quote");
      requireOpenKey();
      handler_.setValue(name, kRegSz, text, true);  // kept with a terminator
    } else if (!data.empty() && data[0] == '-') {
      endOfData(line, pos + 1, "the - that deletes the value");
      requireOpenKey();
      handler_.deleteValue(name);
    } else if (StartsWithNoCase(data, "dword:")) {
      uint32_t value = dword(line, pos + 6);
      char bytes[4];
      for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
      requireOpenKey();
      handler_.setValue(name, kRegDword, std::string_view(bytes, 4));
    } else if (StartsWithNoCase(data, "hex:")) {
      name = keptName(name, line, pos);
      hexList(line, pos + 4);
      requireOpenKey();
      handler_.setValue(name, kRegBinary, dataScratch_.view());
    } else if (StartsWithNoCase(data, "hex(")) {
      size_t at = pos + 4;
      uint32_t type = hexType(line, at);
      name = keptName(name, line, pos);
      hexList(line, at);
      requireOpenKey();
      handler_.setValue(name, type, dataScratch_.view());
    } else {
      fail("the value is not \"text\", dword:, hex:, hex(N): or - (to delete it); found " +
           Shown(data));
    }
  }

  // A hex list may go on over the next lines (a backslash in the line); where
  // reading them moves the current line, the name it holds is kept aside first.
  std::string_view keptName(std::string_view name, std::string_view line, size_t data) {
    if (!Source::kLinesMove || name.empty() || name.data() == nameScratch_.data() ||
        line.find('\\', data) == std::string_view::npos) {
      return name;
    }
    nameScratch_.assign(name);
    return nameScratch_.view();
  }

  // A quoted string at line[pos]; pos moves past its closing quote. The only
  // escapes are a doubled backslash and a backslash before a quote; a
  // backslash before any other character stays, as regedit keeps it.
  std::string_view quoted(std::string_view line, size_t& pos, TextBuffer& scratch,
                          const char* unterminated) {
    size_t start = ++pos;
    size_t stop = FindQuoteOrBackslash(line, start);
    if (stop < line.size() && line[stop] == '"') {
      pos = stop + 1;
      return std::string_view(line.data() + start, stop - start);
    }
    // Escapes (a path's doubled backslashes): the runs between them are
    // copied whole.
    scratch.clear();
    size_t from = start;
    while (stop < line.size()) {
      if (line[stop] == '"') {
        scratch.append(std::string_view(line.data() + from, stop - from));
        pos = stop + 1;
        return scratch.view();
      }
      if (stop + 1 < line.size() && (line[stop + 1] == '\\' || line[stop + 1] == '"')) {
        scratch.append(std::string_view(line.data() + from, stop - from));
        from = stop + 1;  // the escaped character starts the next run
        stop = FindQuoteOrBackslash(line, stop + 2);
      } else {
        stop = FindQuoteOrBackslash(line, stop + 1);  // a backslash that stays
      }
    }
    fail(unterminated);
  }

  // The number of "dword:" at line[at].
  uint32_t dword(std::string_view line, size_t at) {
    at = SkipBlanks(line, at);
    size_t count = 0;
    uint32_t value = 0;
    while (at + count < line.size() && HexDigit(line[at + count]) >= 0 && count <= 8) {
      value = (value << 4) | static_cast<uint32_t>(HexDigit(line[at + count]));
      ++count;
    }
    size_t after = SkipBlanks(line, at + count);
    if (count == 0 || count > 8 || (after != line.size() && line[after] != ';')) {
      fail(
          "dword: needs 1 to 8 hex digits and nothing after them but a ; comment, as in "
          "dword:0000001a; found " +
          Shown(line.substr(at)));
    }
    return value;
  }

  // The N of "hex(N):" at line[at]; at moves past the colon.
  uint32_t hexType(std::string_view line, size_t& at) {
    size_t start = at;
    uint32_t type = 0;
    while (at < line.size() && HexDigit(line[at]) >= 0 && at - start < 9) {
      type = (type << 4) | static_cast<uint32_t>(HexDigit(line[at]));
      ++at;
    }
    size_t digits = at - start;
    if (digits == 0 || digits > 8 || line.substr(at, 2) != "):") {
      fail(
          "hex( must be followed by the type in 1 to 8 hex digits and ):, as in hex(7):; "
          "found " +
          Shown(line.substr(start > 4 ? start - 4 : 0)));
    }
    at += 2;
    return type;
  }

  // A comma-separated list of hex bytes from line[at] into dataScratch_; a
  // backslash after a comma goes on with the list on the next line.
  void hexList(std::string_view line, size_t at) {
    dataScratch_.clear();
    hexLines(line, at, true);
  }

  // The bytes of a hex list from line[at] on, and of the lines it goes on
  // over; `firstLine` when the line is the value's own.
  void hexLines(std::string_view line, size_t at, bool firstLine) {
    for (;; firstLine = false) {
      bool afterByte = false;  // the last thing read is a byte, not a comma
      bool anyByte = false;    // this line holds a byte
      for (;;) {
        // Bytes as regedit writes them, "01,ff,", taken three characters at
        // a time into room made for as many as the line can hold.
        if (!afterByte && at + 2 < line.size()) {
          char* start = dataScratch_.room((line.size() - at) / 3);
          char* out = start;
          at = static_cast<size_t>(HexRun(line.data() + at, line.data() + line.size(), out) -
                                   line.data());
          dataScratch_.done(out);
          anyByte = anyByte || out > start;
        }
        at = SkipBlanks(line, at);
        if (at == line.size() || line[at] == ';') return;  // a comma may end the list
        char c = line[at];
        if (c == ',') {
          if (!afterByte)
            fail("a comma with no byte before it in a hex list; found " + Shown(line.substr(at)));
          afterByte = false;
          ++at;
          continue;
        }
        if (c == '\\') {
          if (afterByte) {
            fail("a \\ that goes on to the next line must follow a comma, as in hex:01,\\; found " +
                 Shown(line.substr(at)));
          }
          if (!anyByte && !firstLine) {
            fail("a line that goes on with a hex list holds no byte; found " +
                 Shown(line.substr(at)));
          }
          endOfData(line, at + 1, "the \\ that goes on to the next line");
          break;
        }
        int high = HexDigit(c);
        if (high < 0) {
          fail(Shown(line.substr(at, 2)) +
               " is not a hex byte; write bytes as two hex digits separated by commas, as in "
               "hex:01,ff");
        }
        if (afterByte) fail("expected a comma between hex bytes; found " + Shown(line.substr(at)));
        int value = high;
        ++at;
        if (at < line.size() && HexDigit(line[at]) >= 0) {
          value = value * 16 + HexDigit(line[at]);
          ++at;
          if (at < line.size() && HexDigit(line[at]) >= 0) {
            fail("a hex byte has one or two digits; found " + Shown(line.substr(at - 2, 3)));
          }
        }
        dataScratch_.push(static_cast<char>(value));
        afterByte = true;
        anyByte = true;
      }
      if (!nextListLine(line, at)) return;
    }
  }

  // The list goes on at the next line that is not blank or a ; comment (at
  // its first byte that is not a blank); the end of the file ends it.
  bool nextListLine(std::string_view& line, size_t& at) {
    for (;;) {
      if (!lines_.next(line)) return false;
      line = TrimRight(line);
      at = SkipBlanks(line, 0);
      if (at < line.size() && line[at] != ';') return true;
    }
  }

  enum class KeyState { None, Open, Deleted };

  Source& lines_;
  Handler& handler_;
  bool lineByLine_;
  bool shortcut_;
#if defined(WINSIM_HEX_GROUPS)
  // Hex lists are read 32 bytes at a time (asked once a process).
  bool hexGroups_ = useHexGroups && HexGroupsAvailable();
#endif
  KeyState state_ = KeyState::None;
  size_t statementLine_ = 0;
  std::vector<PassedOverLine> passedOver_;
  size_t notListed_ = 0;  // passed over beyond the first kListedPassedOver
  PathParts parts_;
  std::optional<Root> lastRoot_;
  std::string lastRootName_;
  // The path of the last key opened, in its line, while parts_ holds its
  // parts; none: nullptr.
  std::string_view lastPath_;
  size_t lastPathRefills_ = 0;
  Root lastPathRoot_ = Root::LocalMachine;  // the root of lastPath_
  TextBuffer nameScratch_;
  TextBuffer dataScratch_;  // a string's unescaped text, or the bytes of a hex list
};

// A reading that only checks the file.
class Checker {
 public:
  void openKey(Root, const PathParts&, size_t) {}
  void deleteKey(Root, const PathParts&) {}
  void setValue(std::string_view, uint32_t, std::string_view, bool = false, bool = false) {}
  void deleteValue(std::string_view) {}
  void finish() {}
};

// The second reading: applies every line to the registry.
class Applier {
 public:
  static constexpr size_t kUsualValueCount = 16;

  explicit Applier(Registry& registry, StringStorage storage = StringStorage::kAsWritten)
      : registry_(registry), storage_(storage) {}

  __attribute__((always_inline)) void openKey(Root root, const PathParts& parts, size_t same) {
    assert(!parts.empty() && parts.size() - 1 <= kMaxKeyDepth);  // the reader checked both
    leaveKey();
    // Consecutive key lines mostly share most of their path: start from the
    // deepest key the previous line reached that is still on this path.
    bool fromLast = chainFromLast_;
    chainFromLast_ = false;
    if (chainSize_ == 0 || root != chainRoot_) {
      chain_[0] = &registry_.root(root);
      chainSize_ = 1;
      chainRoot_ = root;
      fromLast = false;
    }
    size_t limit = std::min(chainSize_ - 1, parts.size() - 1);
    size_t common;
    if (fromLast && same > 1) {
      // Parts the reader found byte for byte those of the last key opened
      // (which made the chain) need no comparing, and the next one differs
      // from that key's: mostly a key of its own, else the same key spelled
      // in another case, which createSubkeyFromLine finds.
      common = std::min(same - 1, limit);
    } else {
      common = 0;
      while (common < limit && SameName(chain_[common + 1]->name(), parts[common + 1])) ++common;
    }
    // Cut first, so that a key the store cannot make leaves the chain whole.
    chainSize_ = common + 1;
    RegKey* key = chain_[common];
    for (size_t i = common + 1; i < parts.size(); ++i) {
      bool created = false;
      key = &key->createSubkeyFromLine(parts[i], &created);
      if (created) registry_.modified = true;
      chain_[i] = key;
    }
    chainSize_ = parts.size();
    current_ = key;
    // Room for the values a key mostly has, taken at once (and given back
    // when the reading leaves the key), so that the list does not grow
    // value by value at sizes the processor cannot foresee.
    current_->reserveValues(kUsualValueCount);
    chainFromLast_ = true;
  }

  void deleteKey(Root root, const PathParts& parts) {
    leaveKey();
    chainSize_ = 0;
    chainFromLast_ = false;
    current_ = nullptr;
    RegKey* parent = &registry_.root(root);
    for (size_t i = 1; i + 1 < parts.size() && parent != nullptr; ++i) {
      parent = parent->findSubkey(parts[i]);
    }
    if (parent != nullptr && parent->deleteSubkey(parts.back())) registry_.modified = true;
  }

  // Names come from one line each, so the key need not look for line breaks in them.
  // Once a value line: inlined. `padded`: the name and the data each lie in a
  // buffer with kPaddingBytes readable from their first byte on.
  __attribute__((always_inline)) void setValue(std::string_view name, uint32_t type,
                                               std::string_view data, bool terminated = false,
                                               bool padded = false) {
    if (storage_ == StringStorage::kAsWritten) {
      if (padded) {
        current_->setValueFromPaddedLine(name, type, data, terminated);
      } else {
        current_->setValueFromLine(name, type, data, terminated);
      }
    } else {
      setStored(name, type, data, terminated);
    }
    registry_.modified = true;
  }

  void deleteValue(std::string_view name) {
    if (current_->deleteValue(name)) registry_.modified = true;
  }

  void finish() { leaveKey(); }

 private:
  // The regedit that programs start sets each value as a program does. The
  // bytes read from the file are copied and followed by a NUL, where a string
  // with none of its own ends. Apart from setValue, whose every call would
  // otherwise make room for the string.
  __attribute__((noinline)) void setStored(std::string_view name, uint32_t type,
                                           std::string_view data, bool terminated) {
    std::string bytes(data);
    if (terminated) bytes.push_back('\0');
    bytes.resize(StoredSize(storage_, type, reinterpret_cast<const unsigned char*>(bytes.c_str()),
                            bytes.size())
                     .value_or(bytes.size()));
    current_->setValueFromLine(name, type, bytes);
  }

  // A key's list of values grows as they are read and is cut to size when
  // the reading leaves the key: cheaper than counting its value lines ahead
  // of it, and it takes no more memory once the key is done.
  void leaveKey() {
    if (current_ != nullptr) current_->fitValues();
  }

  // A file names a key the same way on every line, mostly.
  static bool SameName(std::string_view a, std::string_view b) {
    return SameText(a, b) || NamesEqual(a, b);
  }

  Registry& registry_;
  StringStorage storage_;
  Root chainRoot_ = Root::LocalMachine;
  // chain_[0] is the root; chain_[i] the key of the path's part i. Room for
  // the deepest path the reader lets through.
  std::unique_ptr<RegKey* []> chain_ { new RegKey*[kMaxKeyDepth + 1] };
  size_t chainSize_ = 0;
  bool chainFromLast_ = false;  // chain_ is the whole path of the last openKey that returned
  RegKey* current_ = nullptr;
};

// ---------------------------------------------------------------------------
// Writing

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr size_t kWrapColumn = 77;

// Most bytes a hex list of `size` bytes takes: three characters a byte and a
// continuation (five characters) at most every 25 bytes, plus the first.
size_t HexListBound(size_t size) { return size * 3 + (size / 25 + 2) * 5; }

// The bytes one by one, with a backslash before every quote and backslash;
// nullptr when one is a control character and `kPlain` asks for none.
template <bool kPlain>
char* PutEscapedBytes(char* p, const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    char c = bytes[i];
    if (kPlain && static_cast<unsigned char>(c) < 0x20) return nullptr;
    if (c == '"' || c == '\\') *p++ = '\\';
    *p++ = c;
  }
  return p;
}

using detail::CopyShort;

// The text with a backslash before every quote and backslash; nullptr when
// the text holds a control character and `kPlain` asks for none. Where the
// processor can, sixteen bytes are looked at and copied at a time, and the
// text between two bytes to escape is copied whole: names and strings are
// mostly plain, and paths hold a backslash every few bytes. Sixteen bytes are
// stored only where at least sixteen remain to be read, so no store reaches
// past the escaped text's end.
template <bool kPlain>
char* PutEscaped(char* p, std::string_view text) {
  const char* at = text.data();
  const char* end = at + text.size();
#if defined(__SSE2__)
  const __m128i quote = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lastControl = _mm_set1_epi8(0x1f);
  // One bit for each byte that cannot be copied as it is.
  auto special = [&](__m128i bytes) {
    __m128i found = _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash));
    if (kPlain) {
      // A byte is at most 0x1f where its unsigned maximum with 0x1f is 0x1f.
      found = _mm_or_si128(found, _mm_cmpeq_epi8(_mm_max_epu8(bytes, lastControl), lastControl));
    }
    return static_cast<unsigned>(_mm_movemask_epi8(found));
  };
  while (end - at >= 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
    unsigned found = special(bytes);
    if (found == 0) {
      at += 16;
      p += 16;
      continue;
    }
    unsigned plainRun = static_cast<unsigned>(__builtin_ctz(found));
    p = PutEscapedBytes<kPlain>(p + plainRun, at + plainRun, 1);
    if (p == nullptr) return nullptr;
    at += plainRun + 1;
  }
  size_t rest = static_cast<size_t>(end - at);
  if (rest == 0) return p;
  // The last bytes, read as the sixteen that end with them, or in a shorter
  // text copied among letters, which need no care.
  __m128i last;
  if (text.size() >= 16) {
    last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
  } else {
    char window[16];
    std::memset(window, 'A', sizeof window);
    CopyShort(window, at, rest);
    last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window));
  }
  unsigned found = special(last);
  if (text.size() >= 16) found >>= 16 - rest;
  if (found != 0) return PutEscapedBytes<kPlain>(p, at, rest);
  CopyShort(p, at, rest);
  return p + rest;
#else
  return PutEscapedBytes<kPlain>(p, at, static_cast<size_t>(end - at));
#endif
}

// A string value as "text" when it reads back exactly so: its text and one
// terminator, and nothing in the text that a line cannot hold. nullptr (and
// what was written is to be dropped) for any other string.
char* PutPlainString(char* p, std::string_view data) {
  if (data.empty() || data.back() != '\0') return nullptr;
  *p++ = '"';
  p = PutEscaped<true>(p, std::string_view(data.data(), data.size() - 1));
  if (p == nullptr) return nullptr;
  *p++ = '"';
  return p;
}

// Each byte's two hex digits and a comma, to be copied four bytes at a time.
struct HexPairs {
  char pairs[256][4];
  constexpr HexPairs() : pairs() {
    for (unsigned byte = 0; byte < 256; ++byte) {
      pairs[byte][0] = kHexDigits[byte >> 4];
      pairs[byte][1] = kHexDigits[byte & 15];
      pairs[byte][2] = ',';
    }
  }
};
constexpr HexPairs kHexPairs;

// Bytes as "01,02,..." wrapped before the 80th column with ",\" and a
// continuation line indented by two blanks; `column` is where the list starts.
// A byte other than the last that ends at column 77 or beyond ends its line,
// so each line's bytes are counted first and written with no test between.
// Each byte is copied with its comma and one byte more, which the next byte
// or the line end writes over (HexListBound leaves room for it).
char* PutHexList(char* p, std::string_view data, size_t column) {
  if (data.empty()) return p;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(data.data());
  size_t left = data.size() - 1;  // the bytes before the last
  for (;;) {
    size_t fit = column >= kWrapColumn ? 1 : (kWrapColumn - column + 2) / 3;
    size_t count = std::min(fit, left);
    for (size_t i = 0; i < count; ++i) std::memcpy(p + 3 * i, kHexPairs.pairs[at[i]], 4);
    p += 3 * count;
    at += count;
    left -= count;
    if (count < fit) break;
    std::memcpy(p, "\\\r\n  ", 5);
    p += 5;
    column = 2;
  }
  std::memcpy(p, kHexPairs.pairs[*at], 4);
  return p + 2;
}

char* Put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

// Writes each line straight into the text: room for the longest the line can
// be is made first, and the text is cut back to what was written. The text
// is handed on whenever a key ends with at least `blockSize` bytes written,
// and the next bytes start a new piece.
class Writer {
 public:
  TextBuffer out;

  Writer(const std::function<void(std::string_view)>& sink, size_t blockSize)
      : sink_(&sink), blockSize_(blockSize) {
    out.reserve(blockSize + 4096);
    out.append("REGEDIT4\r\n");
  }

  void handOn() {
    if (out.empty()) return;
    (*sink_)(out.view());
    out.clear();
  }

  void key(const RegKey& key, std::string& path) {
    // Room for the key line and the longest its values can be, made once.
    size_t bytes = path.size() + 7;
    for (const RegValue& value : key.values()) bytes += LongestLine(value);
    char* p = out.room(bytes);
    p = Put(p, "\r\n[");
    p = Put(p, path);
    p = Put(p, "]\r\n");
    for (const RegValue& value : key.values()) p = this->value(p, value);
    out.done(p);
    if (out.size() >= blockSize_) handOn();
    for (size_t i = 0; i < key.subkeyCount(); ++i) {
      const RegKey& child = *key.subkey(i);
      size_t mark = path.size();
      path += '\\';
      path += child.name();
      this->key(child, path);
      path.resize(mark);
    }
  }

 private:
  const std::function<void(std::string_view)>* sink_;
  size_t blockSize_;

  // The name escaped, "=hex(ffffffff):", the data as hex (a plain string or
  // a dword is shorter) and the line end.
  static size_t LongestLine(const RegValue& value) {
    return 2 * value.name.size() + 19 + HexListBound(value.data.size());
  }

  char* value(char* p, const RegValue& value) {
    char* line = p;
    if (value.name.empty()) {
      *p++ = '@';
    } else {
      *p++ = '"';
      p = PutEscaped<false>(p, value.name);
      *p++ = '"';
    }
    *p++ = '=';
    char* plain = value.type == kRegSz ? PutPlainString(p, value.data) : nullptr;
    if (plain != nullptr) {
      p = plain;
    } else if (value.type == kRegDword && value.data.size() == 4) {
      // The number's digits, most significant first: its bytes backwards.
      p = Put(p, "dword:");
      for (size_t i = 4; i-- > 0;) {
        std::memcpy(p, kHexPairs.pairs[static_cast<unsigned char>(value.data[i])], 2);
        p += 2;
      }
    } else {
      if (value.type == kRegBinary) {
        p = Put(p, "hex:");
      } else {
        p = Put(p, "hex(");
        bool started = false;
        for (int shift = 28; shift >= 0; shift -= 4) {
          unsigned digit = (value.type >> shift) & 15;
          if (digit != 0 || started || shift == 0) {
            *p++ = kHexDigits[digit];
            started = true;
          }
        }
        p = Put(p, "):");
      }
      p = PutHexList(p, value.data, static_cast<size_t>(p - line));
    }
    return Put(p, "\r\n");
  }
};

bool HoldsAnything(const RegKey& key) { return key.subkeyCount() != 0 || !key.values().empty(); }

// At least the size of the key's text and that of its subkeys, so that the
// text is written into one buffer that never moves (what is reserved but not
// written is never touched, so it costs no memory).
size_t UpperBoundOfText(const RegKey& key, size_t pathLength) {
  size_t size = pathLength + 8;
  for (const RegValue& value : key.values()) {
    size += 2 * value.name.size() + 24 + 3 * value.data.size() + (value.data.size() / 25 + 2) * 5;
  }
  for (size_t i = 0; i < key.subkeyCount(); ++i) {
    const RegKey& child = *key.subkey(i);
    size += UpperBoundOfText(child, pathLength + 1 + child.name().size());
  }
  return size;
}

// Runs one reading of the file (given as a function that parses it with a
// handler) into the registry, with the guarantee that a bad file leaves
// nothing behind.
template <class ReadWith>
std::optional<Regedit4Error> Import(Registry& registry, ReadWith readWith) {
  // Nothing of a bad file may be applied. A registry that holds something
  // has the file checked first; an empty one (a machine being loaded) takes
  // the file in one reading and is emptied again if the file is bad.
  bool wasEmpty = true;
  for (Root which : Registry::kRoots) wasEmpty = wasEmpty && !HoldsAnything(registry.root(which));
  bool wasModified = registry.modified;
  auto empty = [&] {
    for (Root which : Registry::kRoots) registry.root(which).clear();
    registry.modified = wasModified;
  };
  try {
    if (!wasEmpty) {
      Checker checker;
      readWith(checker);
    }
    Applier applier(registry);
    readWith(applier);
  } catch (const Failure& failure) {
    if (wasEmpty) empty();
    return Regedit4Error{failure.line, failure.message};
  } catch (const Refusal& refusal) {
    if (wasEmpty) empty();
    return Regedit4Error{refusal.line, refusal.message};
  } catch (...) {
    // Out of memory half way: still leave nothing of the file.
    if (wasEmpty) empty();
    throw;
  }
  return std::nullopt;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

namespace {

std::optional<Regedit4Error> ReadText(std::string_view text, Registry& registry, bool shortcut) {
  return Import(registry, [text, shortcut](auto& handler) {
    TextLines lines(text);
    Parser<std::decay_t<decltype(handler)>, TextLines>(lines, handler, false, shortcut).run();
  });
}

// Line by line, as regedit imports: what was applied before a fault stays.
template <class Source>
Regedit4LineByLine ReadLineByLine(Source& lines, Registry& registry, StringStorage storage,
                                  bool shortcut) {
  Regedit4LineByLine result;
  Applier applier(registry, storage);
  Parser<Applier, Source> parser(lines, applier, true, shortcut);
  try {
    parser.run();
  } catch (const Refusal& refusal) {
    // The header is line 1: a refusal there applied nothing. Past it, only
    // the file's reading fails, and the lines before stay imported.
    if (refusal.line <= 1) {
      result.refused = Regedit4Error{refusal.line, refusal.message};
    } else {
      result.stopped = Regedit4Error{refusal.line, refusal.message};
    }
  } catch (const std::bad_alloc&) {
    result.stopped = Regedit4Error{
        lines.number() + 1,
        "does not fit in the memory this process may have, beside what the lines before it "
        "made (a line too large, or too much in all); free memory or split the file"};
  }
  if (result.stopped) {
    // The key being filled gives back the room it took ahead; short of
    // memory even for that, it keeps the room.
    try {
      applier.finish();
    } catch (const std::bad_alloc&) {
    }
  }
  result.passedOver = parser.passedOver();
  result.notListed = parser.notListed();
  return result;
}

Regedit4LineByLine ReadTextLineByLine(std::string_view text, Registry& registry,
                                      StringStorage storage, bool shortcut) {
  TextLines lines(text);
  return ReadLineByLine(lines, registry, storage, shortcut);
}

// Only a file is read: a pipe or a device could be read for ever.
std::optional<Regedit4Error> NotAFile(int fd) {
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return std::nullopt;
  return Regedit4Error{0, "is not a file (a pipe or a device); name a file"};
}

std::optional<Regedit4Error> ReadFile(const std::filesystem::path& file, Registry& registry,
                                      size_t blockSize, bool shortcut) {
  // Not through a link, and not waiting: a pipe put there would be read for ever.
  FileDescriptor fd(
      ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    return Regedit4Error{0, std::string("cannot be opened: ") + std::strerror(errno) +
                                "; check that it exists and may be read"};
  }
  if (std::optional<Regedit4Error> problem = NotAFile(fd.get())) return problem;
  return Import(registry, [&](auto& handler) {
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) {
      throw Refusal{0, std::string("cannot be read again from its start: ") + std::strerror(errno)};
    }
    FileLines lines(fd.get(), blockSize);
    Parser<std::decay_t<decltype(handler)>, FileLines>(lines, handler, false, shortcut).run();
  });
}

}  // namespace

std::optional<Regedit4Error> ImportRegedit4(std::string_view text, Registry& registry) {
  return ReadText(text, registry, true);
}

Regedit4LineByLine ImportRegedit4LineByLine(std::string_view text, Registry& registry,
                                            StringStorage storage) {
  return ReadTextLineByLine(text, registry, storage, true);
}

Regedit4LineByLine ImportRegedit4LineByLine(int fd, Registry& registry, StringStorage storage,
                                            size_t blockSize) {
  Regedit4LineByLine result;
  result.refused = NotAFile(fd);
  if (result.refused) return result;
  try {
    FileLines lines(fd, blockSize);
    return ReadLineByLine(lines, registry, storage, true);
  } catch (const Refusal& refusal) {  // the first block could not be read
    result.refused = Regedit4Error{refusal.line, refusal.message};
  }
  return result;
}

std::optional<Regedit4Error> ImportRegedit4File(const std::filesystem::path& file,
                                                Registry& registry, size_t blockSize) {
  return ReadFile(file, registry, blockSize, true);
}

namespace detail {

std::optional<Regedit4Error> ImportRegedit4General(std::string_view text, Registry& registry) {
  return ReadText(text, registry, false);
}

Regedit4LineByLine ImportRegedit4LineByLineGeneral(std::string_view text, Registry& registry) {
  return ReadTextLineByLine(text, registry, StringStorage::kAsWritten, false);
}

std::optional<Regedit4Error> ImportRegedit4FileGeneral(const std::filesystem::path& file,
                                                       Registry& registry, size_t blockSize) {
  return ReadFile(file, registry, blockSize, false);
}

bool SetRegedit4HexGroups(bool use) {
#if defined(WINSIM_HEX_GROUPS)
  bool before = useHexGroups && HexGroupsAvailable();
  useHexGroups = use;
  return before;
#else
  (void)use;
  return false;
#endif
}

}  // namespace detail

namespace {

// Every root that holds anything, keys in enumeration order.
void WriteRoots(const Registry& registry, Writer& writer) {
  std::string path;
  for (Root which : Registry::kRoots) {
    const RegKey& root = registry.root(which);
    if (!HoldsAnything(root)) continue;
    path = RootName(which);
    writer.key(root, path);
  }
  writer.out.append("\r\n");
}

}  // namespace

std::string ExportRegedit4(const Registry& registry) {
  // The pieces are gathered into text reserved for the most it can be (what
  // is reserved but not written is never touched, so it costs no memory).
  std::string text;
  size_t bound = 14;
  for (Root which : Registry::kRoots) {
    bound += UpperBoundOfText(registry.root(which), std::strlen(RootName(which)));
  }
  text.reserve(bound);
  ExportRegedit4(registry, [&text](std::string_view piece) { text += piece; });
  return text;
}

void ExportRegedit4(const Registry& registry, const std::function<void(std::string_view)>& write,
                    size_t blockSize) {
  Writer writer(write, blockSize);
  WriteRoots(registry, writer);
  writer.handOn();
}

std::string ExportRegedit4(const RegKey& key) {
  std::string path = key.path();
  std::string text;
  text.reserve(14 + UpperBoundOfText(key, path.size()));
  std::function<void(std::string_view)> gather = [&text](std::string_view piece) { text += piece; };
  Writer writer(gather, kRegedit4PieceSize);
  writer.key(key, path);
  writer.out.append("\r\n");
  writer.handOn();
  return text;
}

}  // namespace winsim
