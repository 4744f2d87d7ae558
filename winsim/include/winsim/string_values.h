// What the registry of a machine keeps of a string value that a program sets
// with RegSetValueExA. The byte count a program passes shows in its call (the
// trace); what the registry holds afterwards is the platform's business, and
// Windows 95/98 do not hold what NT holds.
//
// Windows 95/98 (machine.ini Platform 1):
//   REG_SZ         the text up to its first NUL and one NUL, whatever the
//                  count: a 20-byte "COM2" padded with zero bytes is kept as 5
//                  bytes, "This\0Breaks\0..." as "This" and a NUL.
//   REG_SZ, count 0
//                  one byte, a NUL (the text "" and its NUL).
//   REG_SZ, no NUL within the count
//                  the text is read on past the count to its first NUL: a
//                  count one or two short of "FullString" still keeps all 11
//                  bytes. A program that passes text with no NUL in its buffer
//                  makes Windows 95/98 read past the buffer; winsim does the
//                  same, and the sanitizer builds report it.
//   REG_SZ, NULL data
//                  ERROR_INVALID_PARAMETER, whatever the count (NT takes a
//                  NULL with a count of 0 as an empty value).
//   REG_EXPAND_SZ, REG_MULTI_SZ and every other type
//                  the bytes of the count, as written.
// Any other platform (NT, Win32s, an id no Windows reported): the bytes of the
// count, as written, for every type.
//
// Where this comes from:
// - The public conformance tests of the registry functions of an open-source
//   Win32 implementation, as they stood when they still ran on Windows 95/98
//   and marked those results "Win9x": a padded or embedded-NUL REG_SZ reads
//   back with the size strlen + 1; a count of 0 reads back as one NUL byte;
//   "Off-by-two RegSetValueExA -> no trailing '\0', except on Win9x" (the
//   whole "FullString" and its NUL); RegSetValueExA(REG_SZ, NULL, 0) fails
//   with ERROR_INVALID_PARAMETER where GetVersion() reports Windows 9x.
// - The same implementation's RegSetValueExA: when it reports a Windows 95/98
//   version it replaces the count of a REG_SZ (and of no other type) by the
//   string's length plus one, and refuses NULL data ("win95 does not care
//   about count for REG_SZ and finds out the len by itself"). Run in Windows
//   98 mode it read a 10-byte string without terminator back as 11 bytes and
//   a padded 10-byte "COM4" as 5.
// - Microsoft's Platform SDK (2000), RegSetValueEx: "Windows 95: For
//   string-based data types, such as REG_SZ, RegSetValueEx appends a NULL to
//   the end of the value string"; NT stores exactly the size passed.
// REG_EXPAND_SZ and REG_MULTI_SZ are an inference: no Windows 95/98 result
// for them was found, the implementation above leaves their count alone in
// Windows 95/98 mode (which the Wine runs compare against), and a
// multi-string cut at its first NUL would lose all its strings but one.
//
// The regedit that programs start imports through the same rule (it sets each
// value with RegSetValueExA); loading a machine's registry.reg keeps exactly
// what the file holds, so a padded string there (an offline edit, a registry
// from another platform) stays padded.
#ifndef WINSIM_STRING_VALUES_H
#define WINSIM_STRING_VALUES_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace winsim {

enum class StringStorage {
  kAsWritten,      // every byte of the count, whatever the type
  kTextAndOneNul,  // Windows 95/98: a REG_SZ as its text and one NUL
};

StringStorage StringStorageOf(uint32_t platform);

// How many bytes from `data` the registry keeps for a value of `type` set with
// `count` bytes, or nullopt when the call fails with ERROR_INVALID_PARAMETER.
// The bytes kept are always the first ones of `data`. `data` must be readable
// for `count` bytes and, for a Windows 95/98 REG_SZ, up to its first NUL.
std::optional<size_t> StoredSize(StringStorage storage, uint32_t type, const unsigned char* data,
                                 size_t count);

}  // namespace winsim

#endif  // WINSIM_STRING_VALUES_H
