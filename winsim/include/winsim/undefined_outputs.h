// What winsim leaves in an output that Windows leaves undefined after a call
// fails. A real machine leaves whatever its code happened to put there, so a
// program that reads such an output works by luck; winsim fills it with a
// pattern that no caller can mistake for data, so the tests catch the reader.
//
// The pattern: every byte of the output is kUndefinedByte (0xCD). It holds no
// NUL, so a reader that takes the buffer as text runs past its end (which the
// sanitizer builds report), and one that copies it stores bytes no setting holds.
//
// Outputs filled with it, and why:
//   RegQueryValueExA  on ERROR_MORE_DATA (the value does not fit, or a fault
//                     rule reports ERROR_MORE_DATA): all *lpcbData bytes of
//                     lpData, as the caller gave the capacity. Microsoft's
//                     documentation calls the contents undefined in this case.
//
// Outputs that Windows is documented or measured to leave alone or to set,
// which winsim keeps exactly so (no pattern):
//   RegQueryValueExA  a missing value: *lpType becomes 0 and *lpcbData stays as
//                     it was (measured on Windows 95/98; NT writes other things).
//   RegEnumKeyExA     a name buffer too small: nothing written, *lpcchName kept.
//   RegOpenKeyExA, RegCreateKeyExA
//                     any failure: *phkResult is NULL (measured on NT; the
//                     programs pass a handle they emptied first either way).
//   GetWindowsDirectoryA, GetSystemDirectoryA, GetCurrentDirectoryA
//                     a buffer too small: untouched (measured), the size
//                     needed is returned.
//   ReadFile, WriteFile
//                     the byte count is 0 before anything is done (documented);
//                     a write that fails part-way reports what it wrote.
//   GetVersionExA     a wrong record size: nothing filled.
#ifndef WINSIM_UNDEFINED_OUTPUTS_H
#define WINSIM_UNDEFINED_OUTPUTS_H

namespace winsim {

inline constexpr unsigned char kUndefinedByte = 0xCD;

}  // namespace winsim

#endif  // WINSIM_UNDEFINED_OUTPUTS_H
