#include "driver_line.h"

#include <windows.h>

#include <string_view>

#include "paths.h"
#include "text_file.h"
#include "text_view.h"

namespace {

constexpr std::string_view kVcdMatch = "*vcd";
constexpr std::string_view kDriverLineText = "device = zelvcd.vxd";
constexpr std::string_view kDriverLine = "device = zelvcd.vxd\n";
constexpr std::string_view kDriverMatch = "zelvcd";
constexpr std::string_view kBlankedLine = "  ";

// The Windows directory and the paths of system.ini and system.new below it:
// whatever directory the platform reports, as far as a file below it can be
// named at all.
using PathBuffer = char[MAX_PATH];

enum class LineRule { kAddAfterVcd, kBlankDriver };

// Blanks the driver line out of one line of system.ini. Windows also ends a
// line of system.ini at a lone CR, so a line that holds lone CRs is taken
// piece by piece: only a piece that names the driver is blanked (with its
// CR, as a line goes with its line feed), and every other setting stays.
bool WriteWithoutDriverLine(TextFileWriter& out, std::string_view text, bool endsWithLineFeed) {
  for (;;) {
    size_t cr = text.find('\r');
    std::string_view piece = TextBefore(text, cr);
    bool named = piece.find(kDriverMatch) != std::string_view::npos;
    if (cr == std::string_view::npos) {
      if (named) return out.write(kBlankedLine);
      return out.write(piece) && (!endsWithLineFeed || out.write("\n"));
    }
    if (!out.write(named ? kBlankedLine : TextBefore(text, cr + 1))) return false;
    text.remove_prefix(cr + 1);
  }
}

// Writes what the rule makes of one line of system.ini; false when a write fails.
bool WriteRewrittenLine(TextFileWriter& out, std::string_view text, bool endsWithLineFeed,
                        LineRule rule) {
  if (rule == LineRule::kBlankDriver) return WriteWithoutDriverLine(out, text, endsWithLineFeed);
  bool matches = text.find(kVcdMatch) != std::string_view::npos;
  if (!out.write(text)) return false;
  // The driver line always stands on a line of its own, even after a last
  // line that has no line feed.
  if ((endsWithLineFeed || matches) && !out.write("\n")) return false;
  return !matches || out.write(kDriverLine);
}

// Asks the platform for the Windows directory; false when it cannot be had whole.
bool AskWindowsDirectory(PathBuffer& windowsDirectory) {
  UINT length = GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
  return length != 0 && length < sizeof windowsDirectory;
}

// The driver line itself, blanks around it aside: not a comment, not another
// line that only names the driver.
bool IsDriverLine(std::string_view line) {
  constexpr std::string_view kBlanks = " \t";
  size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return false;
  std::string_view trimmed = TextBefore(line, line.find_last_not_of(kBlanks) + 1);
  trimmed.remove_prefix(first);
  return trimmed == kDriverLineText;
}

void RewriteSystemIni(LineRule rule) {
  PathBuffer windowsDirectory;
  PathBuffer iniPath;
  PathBuffer newPath;
  if (!AskWindowsDirectory(windowsDirectory) ||
      !JoinPath(iniPath, windowsDirectory, kSystemIniFile) ||
      !JoinPath(newPath, windowsDirectory, kSystemIniCopyFile)) {
    return;
  }

  TextFileReader ini;
  if (!ini.open(iniPath)) return;
  TextFileWriter copy;
  if (!copy.create(newPath)) return;

  std::string_view text;
  bool endsWithLineFeed = false;
  for (;;) {
    TextFileReader::ReadStatus status = ini.readLine(text, endsWithLineFeed);
    if (status == TextFileReader::ReadStatus::kEnd) break;
    if (status == TextFileReader::ReadStatus::kError) {
      // Copying back part of system.ini would lose the rest of it.
      copy.abandon();
      ini.close();
      DeleteFileA(newPath);
      return;
    }
    // The partial copy stays on disk; system.ini is untouched.
    if (!WriteRewrittenLine(copy, text, endsWithLineFeed, rule)) return;
  }
  ini.close();
  if (!copy.close()) return;

  // A failed copy leaves system.ini as it was; nothing to tell.
  CopyFileA(newPath, iniPath, FALSE);
  DeleteFileA(newPath);
}

}  // namespace

void AddDriverLine() { RewriteSystemIni(LineRule::kAddAfterVcd); }

void RemoveDriverLine() { RewriteSystemIni(LineRule::kBlankDriver); }

bool NeedsDriverLine() {
  PathBuffer windowsDirectory;
  PathBuffer iniPath;
  TextFileReader ini;
  if (!AskWindowsDirectory(windowsDirectory) ||
      !JoinPath(iniPath, windowsDirectory, kSystemIniFile) || !ini.open(iniPath)) {
    return true;
  }

  // Lines as AddDriverLine sees them, so that the line it adds is always found.
  bool hasVcdLine = false;
  bool afterVcdLine = false;
  std::string_view text;
  bool endsWithLineFeed = false;
  for (;;) {
    TextFileReader::ReadStatus status = ini.readLine(text, endsWithLineFeed);
    if (status == TextFileReader::ReadStatus::kError) return true;
    if (status == TextFileReader::ReadStatus::kEnd) return hasVcdLine;
    if (afterVcdLine && IsDriverLine(text)) return false;
    afterVcdLine = text.find(kVcdMatch) != std::string_view::npos;
    hasVcdLine = hasVcdLine || afterVcdLine;
  }
}
