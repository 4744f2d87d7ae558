// A run or a comparison as one self-contained web page: every message box
// drawn as Windows 98 draws it (navy caption bar, grey face, the text with
// its line breaks, the buttons, the pressed one sunken and named), then the
// changes as tables. The page needs nothing beside itself.
#ifndef WINSIM_TOOL_HTML_REPORT_H
#define WINSIM_TOOL_HTML_REPORT_H

#include <string>
#include <vector>

#include "machine_diff.h"
#include "winsim/run.h"

namespace winsim_tool {

struct ReportContent {
  std::string title;               // "rq47set on win98se"
  std::vector<std::string> facts;  // short lines under the title ("Exit code: 0")
  bool hasBoxes = false;           // a run: show the message box section even when empty
  std::vector<winsim::MessageBoxRecord> boxes;
  const MachineChanges* changes = nullptr;
};

// In the head of every page, so that a later report knows it may replace it.
inline constexpr char kReportMarker[] = "<meta name=\"generator\" content=\"winsim report\">";

// The page in UTF-8; the texts of the machine are converted from its code page.
std::string HtmlReport(const ReportContent& content);

// Text with & < > " ' escaped for HTML.
std::string HtmlEscaped(const std::string& utf8);

}  // namespace winsim_tool

#endif  // WINSIM_TOOL_HTML_REPORT_H
