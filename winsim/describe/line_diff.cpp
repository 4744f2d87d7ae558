#include "line_diff.h"

#include <algorithm>

namespace winsim_tool {
namespace {

// Beyond this many edits the middle of the texts is shown as removed and
// added whole: the search would cost more than such a listing is worth.
constexpr long kMostEdits = 2000;

struct Edit {
  DiffLine::Kind kind;
  size_t oldIndex;  // 0-based position in the old lines (of the line, or before which it goes)
  size_t newIndex;
};

// Myers' greedy search on a[aBegin, aEnd) and b[bBegin, bEnd), keeping the
// furthest points of every round so the path can be walked back.
std::vector<Edit> MiddleEdits(const std::vector<std::string>& a, size_t aBegin, size_t aEnd,
                              const std::vector<std::string>& b, size_t bBegin, size_t bEnd) {
  const long n = static_cast<long>(aEnd - aBegin);
  const long m = static_cast<long>(bEnd - bBegin);
  const long most = std::min(n + m, kMostEdits);
  std::vector<std::vector<long>> rounds;  // rounds[d][(k + d) / 2] = furthest x on diagonal k
  std::vector<long> furthest(static_cast<size_t>(2 * (most + 1) + 1), 0);
  auto at = [&](long k) -> long& { return furthest[static_cast<size_t>(k + most + 1)]; };
  long found = -1;
  for (long d = 0; d <= most && found < 0; ++d) {
    std::vector<long> round;
    for (long k = -d; k <= d; k += 2) {
      long x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
      if (d == 0) x = 0;
      long y = x - k;
      while (x < n && y < m &&
             a[aBegin + static_cast<size_t>(x)] == b[bBegin + static_cast<size_t>(y)]) {
        ++x;
        ++y;
      }
      at(k) = x;
      round.push_back(x);
      if (x >= n && y >= m) found = d;
    }
    rounds.push_back(std::move(round));
  }

  std::vector<Edit> edits;
  if (found < 0) {
    for (long x = 0; x < n; ++x) {
      edits.push_back({DiffLine::Kind::Removed, aBegin + static_cast<size_t>(x), bBegin});
    }
    for (long y = 0; y < m; ++y) {
      edits.push_back({DiffLine::Kind::Added, aEnd, bBegin + static_cast<size_t>(y)});
    }
    return edits;
  }

  long x = n;
  long y = m;
  auto same = [&](long toX) {
    while (x > toX) {
      --x;
      --y;
      edits.push_back(
          {DiffLine::Kind::Same, aBegin + static_cast<size_t>(x), bBegin + static_cast<size_t>(y)});
    }
  };
  for (long d = found; d > 0; --d) {
    const std::vector<long>& previous = rounds[static_cast<size_t>(d - 1)];
    auto before = [&](long k) { return previous[static_cast<size_t>((k + d - 1) / 2)]; };
    long k = x - y;
    bool down = k == -d || (k != d && before(k - 1) < before(k + 1));
    long previousK = down ? k + 1 : k - 1;
    long previousX = before(previousK);
    long previousY = previousX - previousK;
    same(down ? previousX : previousX + 1);
    if (down) {
      edits.push_back({DiffLine::Kind::Added, aBegin + static_cast<size_t>(previousX),
                       bBegin + static_cast<size_t>(previousY)});
    } else {
      edits.push_back({DiffLine::Kind::Removed, aBegin + static_cast<size_t>(previousX),
                       bBegin + static_cast<size_t>(previousY)});
    }
    x = previousX;
    y = previousY;
  }
  same(0);
  std::reverse(edits.begin(), edits.end());
  return edits;
}

std::vector<Edit> AllEdits(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  std::vector<Edit> edits;
  for (size_t i = 0; i < prefix; ++i) edits.push_back({DiffLine::Kind::Same, i, i});
  std::vector<Edit> middle =
      MiddleEdits(a, prefix, a.size() - suffix, b, prefix, b.size() - suffix);
  edits.insert(edits.end(), middle.begin(), middle.end());
  for (size_t i = suffix; i > 0; --i) {
    edits.push_back({DiffLine::Kind::Same, a.size() - i, b.size() - i});
  }
  return edits;
}

}  // namespace

std::string HunkPlace(const Hunk& hunk) {
  if (hunk.oldCount == 0) {
    return hunk.oldStart == 0 ? "at the start" : "after line " + std::to_string(hunk.oldStart);
  }
  std::string place = "line " + std::to_string(hunk.oldStart);
  if (hunk.newCount != 0 && hunk.newStart != hunk.oldStart) {
    place += " (now line " + std::to_string(hunk.newStart) + ")";
  }
  return place;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (next != end && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = next;
  }
  return lines;
}

std::vector<Hunk> DiffLines(const std::vector<std::string>& oldLines,
                            const std::vector<std::string>& newLines, size_t context) {
  std::vector<Edit> edits = AllEdits(oldLines, newLines);
  std::vector<Hunk> hunks;
  size_t i = 0;
  while (i < edits.size()) {
    if (edits[i].kind == DiffLine::Kind::Same) {
      ++i;
      continue;
    }
    // A change: the hunk starts `context` edits before it and runs on while
    // the next change comes within twice the context.
    size_t first = i >= context ? i - context : 0;
    size_t last = i;
    size_t j = i;
    while (j < edits.size()) {
      if (edits[j].kind != DiffLine::Kind::Same) {
        last = j;
        ++j;
        continue;
      }
      size_t run = j;
      while (run < edits.size() && edits[run].kind == DiffLine::Kind::Same) ++run;
      if (run < edits.size() && run - j <= 2 * context) {
        j = run;
        continue;
      }
      break;
    }
    size_t end = std::min(edits.size(), last + 1 + context);
    Hunk hunk;
    for (size_t e = first; e < end; ++e) {
      const Edit& edit = edits[e];
      DiffLine line;
      line.kind = edit.kind;
      if (edit.kind != DiffLine::Kind::Added) {
        line.oldNumber = edit.oldIndex + 1;
        line.text = oldLines[edit.oldIndex];
        if (hunk.oldCount++ == 0) hunk.oldStart = line.oldNumber;
      }
      if (edit.kind != DiffLine::Kind::Removed) {
        line.newNumber = edit.newIndex + 1;
        line.text = newLines[edit.newIndex];
        if (hunk.newCount++ == 0) hunk.newStart = line.newNumber;
      }
      hunk.lines.push_back(std::move(line));
    }
    if (hunk.oldCount == 0) hunk.oldStart = edits[first].oldIndex;
    if (hunk.newCount == 0) hunk.newStart = edits[first].newIndex;
    hunks.push_back(std::move(hunk));
    i = end;
  }
  return hunks;
}

}  // namespace winsim_tool
