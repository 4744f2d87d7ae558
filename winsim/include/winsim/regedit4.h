// REGEDIT4, the text format in which Windows 95/98's regedit exports and
// imports the registry, and in which a machine keeps its registry.
//
// The reader takes what Windows 98's regedit writes and reads: the REGEDIT4
// header, [key] and [-key] lines, "name"="text" with \\ and \" escapes, @= for
// the default value, dword:, hex: and hex(N): (continued over lines that end
// in a backslash), "name"=-, ; and # comments and blank lines, CR LF, LF or CR
// line ends and a last line without one; src/regedit4.cpp has the rules line
// by line. It reads a file in one of two ways: strictly (a machine's own
// registry.reg, and what a person asks to check first), where one line that
// cannot be read refuses the whole file, or line by line as regedit imports
// (the regedit that programs start), where such a line is passed over and
// every other line is applied.
//
// Where later Windows differ, the reader follows Windows 95/98's regedit: the
// "Windows Registry Editor Version 5.00" format (Windows 2000 and later) is not
// a registry file to it, and hex(2) and hex(7) data are kept as written (XP and
// later add a missing terminator; Windows 2000, measured, does not).
//
// The writer writes every value so that it reads back byte for byte: a string
// that is its text and one terminator as "text", any other string as hex(1):,
// a four-byte REG_DWORD as dword:, binary as hex:, every other type as hex(N):.
#ifndef WINSIM_REGEDIT4_H
#define WINSIM_REGEDIT4_H

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/registry.h"
#include "winsim/string_values.h"

namespace winsim {

struct Regedit4Error {
  size_t line = 0;  // 1-based line of the file; 0 when the fault is on no line
  std::string message;
};

// Applies the whole file to the registry, strictly: every line must be one
// regedit can read. Sets registry.modified when that changes anything. On an
// error nothing of the file is applied and the error is returned, with the
// line and what to do. Reading into an empty registry (a machine being
// loaded) takes one pass.
std::optional<Regedit4Error> ImportRegedit4(std::string_view text, Registry& registry);

// A statement of the file that a line-by-line import passed over: from line
// to lastLine (the same line, unless a hex list went on over more), and why.
struct PassedOverLine {
  size_t line = 0;
  size_t lastLine = 0;
  std::string message;
};

// The statements passed over that an import lists, the first of the file;
// a file of millions of lines regedit cannot read is counted beyond them.
inline constexpr size_t kListedPassedOver = 1000;

struct Regedit4LineByLine {
  // Set when the file is not a registry file at all (its first line is not
  // REGEDIT4), or cannot be opened or read from its start: nothing of it was
  // applied.
  std::optional<Regedit4Error> refused;
  // Set when the reading stopped part way (the file could not be read on, or
  // a line did not fit in memory): the statements before that line stay
  // applied, as regedit leaves them.
  std::optional<Regedit4Error> stopped;
  // The statements passed over, in the order of the file: the first
  // kListedPassedOver, and how many more there were.
  std::vector<PassedOverLine> passedOver;
  size_t notListed = 0;
};

// Applies the file as regedit imports it (regedit FILE, /s, /si): line by
// line, each statement it can read, passing over the others. Sets
// registry.modified when that changes anything. Each value is kept as the
// machine keeps what a program sets (string_values.h).
Regedit4LineByLine ImportRegedit4LineByLine(std::string_view text, Registry& registry,
                                            StringStorage storage = StringStorage::kAsWritten);

// Bytes the file reader takes at a time: enough to read ahead a key of
// thousands of values, little beside the registry.
inline constexpr size_t kRegedit4BlockSize = size_t{1} << 20;
// Bytes the writer gathers before it hands them on: few enough to stay in the
// processor's cache until the system copies them, many enough that a large
// registry takes a few hundred writes (a megabyte cost a save more).
inline constexpr size_t kRegedit4PieceSize = size_t{256} << 10;

// The same for an open file, read block by block so that it is never in
// memory whole: a file handed to the machine's regedit can be of any size.
Regedit4LineByLine ImportRegedit4LineByLine(int fd, Registry& registry, StringStorage storage,
                                            size_t blockSize = kRegedit4BlockSize);

// The same for a file, read block by block so that it is never in memory
// whole (a machine's registry.reg can be a hundred megabytes). A file that
// cannot be opened or read gives an error on line 0; nothing is applied then.
std::optional<Regedit4Error> ImportRegedit4File(const std::filesystem::path& file,
                                                Registry& registry,
                                                size_t blockSize = kRegedit4BlockSize);

namespace detail {

// The three readings above with every line read by the general rules, none
// by the reader's shortcut for the usual lines: for tests that show the two
// give the same registry, errors and lines passed over.
std::optional<Regedit4Error> ImportRegedit4General(std::string_view text, Registry& registry);
Regedit4LineByLine ImportRegedit4LineByLineGeneral(std::string_view text, Registry& registry);
std::optional<Regedit4Error> ImportRegedit4FileGeneral(const std::filesystem::path& file,
                                                       Registry& registry, size_t blockSize);

// Whether the reader's shortcut takes a hex list's bytes 32 at a time with
// the processor's AVX2, where it has it (as it does unless told otherwise),
// or one at a time as on other processors: for tests that show both read
// alike. Not while a file is read. Gives whether it did before.
bool SetRegedit4HexGroups(bool use);

}  // namespace detail

// The whole registry (every root that holds anything), keys in enumeration order.
std::string ExportRegedit4(const Registry& registry);
// The same text handed to `write` in pieces, in order, as it is made, so that
// the whole text is never in memory (a piece ends after the key that makes it
// reach blockSize bytes). `write` may throw; the export stops then.
void ExportRegedit4(const Registry& registry, const std::function<void(std::string_view)>& write,
                    size_t blockSize = kRegedit4PieceSize);
// One key and everything below it, as "regedit /e FILE KEY" writes it.
std::string ExportRegedit4(const RegKey& key);

}  // namespace winsim

#endif  // WINSIM_REGEDIT4_H
