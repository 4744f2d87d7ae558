// Line differences of two texts (system.ini before and after a run), in
// hunks with a few lines of context, as diff -u shows them.
#ifndef WINSIM_TOOL_LINE_DIFF_H
#define WINSIM_TOOL_LINE_DIFF_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace winsim_tool {

// The lines of a text file: each ends at a line feed, and a carriage return
// before it belongs to the line end (so CR LF and LF files compare line by
// line). A last line without a line feed is a line too.
std::vector<std::string> SplitLines(std::string_view text);

struct DiffLine {
  enum class Kind { Same, Removed, Added };
  Kind kind = Kind::Same;
  size_t oldNumber = 0;  // 1-based line of the old text (0 for an added line)
  size_t newNumber = 0;  // 1-based line of the new text (0 for a removed line)
  std::string text;
};

// As diff -u numbers them: the first line of each side (1-based), or, for a
// side with no line in the hunk, the number of lines before the hunk.
struct Hunk {
  size_t oldStart = 0;
  size_t oldCount = 0;
  size_t newStart = 0;
  size_t newCount = 0;
  std::vector<DiffLine> lines;
};

// The shortest edit from the old lines to the new ones, grouped into hunks
// with `context` unchanged lines around each change; hunks whose context
// would touch are merged. No hunks when the lines are equal.
std::vector<Hunk> DiffLines(const std::vector<std::string>& oldLines,
                            const std::vector<std::string>& newLines, size_t context = 2);

// Where a hunk is, for a person: "line 12", "line 12 (now line 14)", "after
// line 12", "at the start".
std::string HunkPlace(const Hunk& hunk);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_LINE_DIFF_H
