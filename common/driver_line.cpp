#include "driver_line.h"

#include <windows.h>

#include <string_view>

#include "paths.h"
#include "platform_directories.h"
#include "text_file.h"
#include "text_view.h"

namespace {

constexpr std::string_view kVcdMatch = "*vcd";
constexpr std::string_view kDriverSetting = "device";
constexpr std::string_view kDriverFile = "zelvcd.vxd";
constexpr std::string_view kDriverLine = "device = zelvcd.vxd\n";
constexpr std::string_view kDriverMatch = "zelvcd";
constexpr std::string_view kBlankedLine = "  ";

// The Windows directory and the paths of system.ini and system.new below it:
// whatever directory the platform reports, as far as a file below it can be
// named at all.
using PathBuffer = char[MAX_PATH];

enum class LineRule { kAddAfterVcd, kBlankDriver };

// Windows also ends a line of system.ini at a lone CR, so both rules take a
// line that holds lone CRs piece by piece, each piece a line of its own that
// ends in its CR (the last one in the line's line feed, or in nothing at the
// end of the file). Adding and removing thus always see the same lines.
struct Piece {
  std::string_view text;
  std::string_view end;  // "\r", "\n" or nothing
};

// Calls visit(piece) for each piece of a line; false as soon as one does.
template <typename Visit>
bool ForEachPiece(std::string_view text, bool endsWithLineFeed, Visit visit) {
  for (;;) {
    size_t cr = text.find('\r');
    if (cr == std::string_view::npos) {
      return visit(Piece{text, endsWithLineFeed ? std::string_view("\n") : std::string_view()});
    }
    if (!visit(Piece{TextBefore(text, cr), std::string_view("\r")})) return false;
    text.remove_prefix(cr + 1);
  }
}

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

// Letters compared as Windows compares file names there, without regard to case.
bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t";
  size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return std::string_view();
  std::string_view trimmed = TextBefore(text, text.find_last_not_of(kBlanks) + 1);
  trimmed.remove_prefix(first);
  return trimmed;
}

// The driver's file name, alone or at the end of a path.
bool NamesDriverFile(std::string_view value) {
  if (value.size() > kDriverFile.size()) {
    if (value[value.size() - kDriverFile.size() - 1] != '\\') return false;
    value.remove_prefix(value.size() - kDriverFile.size());
  }
  return EqualIgnoringCase(value, kDriverFile);
}

// The driver line itself as Windows reads the setting, blanks around its
// name and its value aside, in any case of letters and with or without the
// driver's path ("device=C:\WINDOWS\SYSTEM\ZELVCD.VXD" written by hand loads
// the same driver): not a comment, not another line that only names the
// driver.
bool IsDriverLine(std::string_view line) {
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view value = line;
  value.remove_prefix(equals + 1);
  return EqualIgnoringCase(TrimBlanks(TextBefore(line, equals)), kDriverSetting) &&
         NamesDriverFile(TrimBlanks(value));
}

// Writes what the rule makes of one piece of system.ini; false when a write fails.
bool WriteRewrittenPiece(TextFileWriter& out, const Piece& piece, LineRule rule) {
  if (rule == LineRule::kBlankDriver) {
    // The piece goes with its line end, so the next one follows the blanks.
    if (Contains(piece.text, kDriverMatch) || IsDriverLine(piece.text)) {
      return out.write(kBlankedLine);
    }
    return out.write(piece.text) && out.write(piece.end);
  }
  if (!out.write(piece.text) || !out.write(piece.end)) return false;
  if (!Contains(piece.text, kVcdMatch)) return true;
  // The driver line always stands on a line of its own, even after a last
  // line that has no line feed.
  return (!piece.end.empty() || out.write("\n")) && out.write(kDriverLine);
}

// Without the whole Windows directory system.ini is not rewritten.
void RewriteSystemIni(LineRule rule) {
  PathBuffer windowsDirectory;
  PathBuffer iniPath;
  PathBuffer newPath;
  if (AskWindowsDirectory(windowsDirectory) != DirectoryAnswer::kGiven ||
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
    if (!ForEachPiece(text, endsWithLineFeed,
                      [&](const Piece& piece) { return WriteRewrittenPiece(copy, piece, rule); })) {
      return;
    }
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
  // A system.ini that cannot be looked at counts as one without the line.
  if (AskWindowsDirectory(windowsDirectory) != DirectoryAnswer::kGiven ||
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
    bool found = !ForEachPiece(text, endsWithLineFeed, [&](const Piece& piece) {
      if (afterVcdLine && IsDriverLine(piece.text)) return false;
      afterVcdLine = Contains(piece.text, kVcdMatch);
      hasVcdLine = hasVcdLine || afterVcdLine;
      return true;
    });
    if (found) return false;
  }
}

void DeleteSystemIniCopy() {
  PathBuffer windowsDirectory;
  PathBuffer newPath;
  if (AskWindowsDirectory(windowsDirectory) == DirectoryAnswer::kGiven &&
      JoinPath(newPath, windowsDirectory, kSystemIniCopyFile)) {
    DeleteFileA(newPath);
  }
}
