#include "html_report.h"

#include "changes_text.h"
#include "codepage.h"
#include "value_text.h"
#include "winsim/guarded_run.h"

namespace winsim_tool {
namespace {

// Windows 98's standard colours: caption gradient from navy to light blue,
// button face grey, 3D edges white, light grey, dark grey and black.
constexpr char kStyle[] = R"css(
body { font-family: "Segoe UI", Arial, sans-serif; margin: 24px; color: #111; background: #fff; }
h1 { font-size: 20px; margin: 0 0 4px 0; }
h2 { font-size: 17px; margin: 28px 0 8px 0; }
h3 { font-size: 15px; margin: 20px 0 8px 0; }
p.facts { margin: 2px 0; color: #333; }
ol.boxes { list-style: none; padding: 0; margin: 0; }
ol.boxes > li { margin: 0 0 18px 0; }
.step-number { font-size: 12px; color: #555; margin-bottom: 4px; }
.window { display: inline-block; background: #c0c0c0; padding: 3px; min-width: 240px;
  max-width: 620px; box-shadow: inset -1px -1px #000000, inset 1px 1px #dfdfdf,
  inset -2px -2px #808080, inset 2px 2px #ffffff; }
.titlebar { display: flex; align-items: center; justify-content: space-between; height: 18px;
  padding: 0 2px 0 3px; background: linear-gradient(90deg, #000080, #1084d0); color: #ffffff;
  font: bold 11px Tahoma, "MS Sans Serif", Arial, sans-serif; }
.titlebar .title { white-space: pre; overflow: hidden; text-overflow: ellipsis; }
.titlebar .close { width: 16px; height: 14px; margin-left: 12px; background: #c0c0c0; color: #000;
  font: bold 11px/14px Arial, sans-serif; text-align: center; box-shadow: inset -1px -1px #000000,
  inset 1px 1px #ffffff, inset -2px -2px #808080, inset 2px 2px #dfdfdf; }
.face { padding: 16px 18px 12px 18px; font: 11px Tahoma, "MS Sans Serif", Arial, sans-serif;
  color: #000; }
.text .line { white-space: pre-wrap; min-height: 13px; line-height: 13px; }
.buttons { display: flex; justify-content: center; gap: 6px; margin-top: 16px; }
.button { display: inline-flex; align-items: center; justify-content: center; box-sizing: border-box;
  width: 75px; height: 23px; background: #c0c0c0; color: #000;
  font: 11px Tahoma, "MS Sans Serif", Arial, sans-serif; box-shadow: inset -1px -1px #000000,
  inset 1px 1px #ffffff, inset -2px -2px #808080, inset 2px 2px #dfdfdf; }
.button.default { outline: 1px solid #000; }
.button.pressed { box-shadow: inset 1px 1px #000000, inset -1px -1px #ffffff,
  inset 2px 2px #808080, inset -2px -2px #dfdfdf; padding: 2px 0 0 2px; }
.button.pressed .label { outline: 1px dotted #000; outline-offset: 1px; }
.answer { font-size: 13px; margin: 6px 0 0 0; }
.answer .pressed-name { font-weight: bold; }
table.changes { border-collapse: collapse; font-size: 13px; margin-bottom: 8px; }
table.changes th, table.changes td { border: 1px solid #d0d7de; padding: 3px 8px; text-align: left;
  vertical-align: top; }
table.changes th { background: #f3f4f6; }
table.changes td.code, table.changes td.path { font-family: Consolas, "DejaVu Sans Mono", monospace;
  white-space: pre-wrap; word-break: break-all; }
table.changes td.mark { font-family: monospace; font-weight: bold; text-align: center; }
tr.added td { background: #e6ffec; }
tr.removed td { background: #ffebe9; }
tr.changed td { background: #fff8c5; }
tr.key td { font-weight: bold; }
tr.hunk td { background: #ddf4ff; color: #555; }
table.changes td.value-name { padding-left: 28px; }
p.nothing { color: #333; }
)css";

// The list's mark, with a true minus sign in the page.
const char* HtmlMark(Change change) {
  return change == Change::Removed ? "&minus;" : ChangeMark(change);
}

std::string Ansi(const std::string& text) { return HtmlEscaped(AnsiToUtf8(text)); }

void AppendBox(std::string& out, const winsim::MessageBoxRecord& box, size_t number) {
  std::vector<int> buttons = winsim::ButtonsOf(box.style);
  size_t defaultIndex = winsim::DefaultButtonIndex(box.style, buttons.size());
  out += "<li class=\"step\">\n<div class=\"step-number\">Message box " + std::to_string(number) +
         "</div>\n";
  out += "<div class=\"window\" role=\"dialog\" aria-label=\"" + Ansi(box.caption) + "\">\n";
  out += "<div class=\"titlebar\"><span class=\"title\">" + Ansi(box.caption) +
         "</span><span class=\"close\" aria-hidden=\"true\">&times;</span></div>\n";
  out += "<div class=\"face\">\n<div class=\"text\">\n";
  for (const std::string& line : winsim::BoxTextLines(box.text)) {
    out +=
        "<div class=\"line\">" + (line.empty() ? std::string("&nbsp;") : Ansi(line)) + "</div>\n";
  }
  out += "</div>\n<div class=\"buttons\">";
  for (size_t i = 0; i < buttons.size(); ++i) {
    bool pressed = buttons[i] == box.result;
    std::string classes = "button";
    if (i == defaultIndex) classes += " default";
    if (pressed) classes += " pressed";
    out += "<span class=\"" + classes + "\" data-button=\"" + winsim::ButtonName(buttons[i]) +
           "\" aria-pressed=\"" + (pressed ? "true" : "false") + "\"><span class=\"label\">" +
           winsim::ButtonName(buttons[i]) + "</span></span>";
  }
  out += "</div>\n</div>\n</div>\n";
  if (box.result != 0) {
    out += std::string("<p class=\"answer\">Pressed: <span class=\"pressed-name\">") +
           winsim::ButtonName(box.result) + "</span></p>\n";
  } else {
    out += "<p class=\"answer\">No button was pressed: the box could not be shown.</p>\n";
  }
  out += "</li>\n";
}

std::string ValueCell(const std::optional<winsim::RegValue>& value) {
  if (!value) return "<td class=\"code\"></td>";
  return "<td class=\"code\">" + HtmlEscaped(ValueText(*value)) + "</td>";
}

void AppendRegistry(std::string& out, const MachineChanges& changes) {
  out += "<section id=\"registry\">\n<h3>Registry: " +
         HtmlEscaped(RegistrySummary(changes.registryCounts())) + "</h3>\n";
  out +=
      "<table class=\"changes registry\">\n<thead><tr><th></th><th>Key or value</th>"
      "<th>Before</th><th>After</th></tr></thead>\n<tbody>\n";
  for (const KeyChange& key : changes.keys) {
    const char* what = key.change == Change::Added     ? "key added"
                       : key.change == Change::Removed ? "key removed"
                                                       : "values changed";
    out += std::string("<tr class=\"key ") + ChangeName(key.change) + "\" data-change=\"" +
           ChangeName(key.change) + "\"><td class=\"mark\">" + HtmlMark(key.change) +
           "</td><td class=\"path\">" + Ansi(key.path) + "</td><td colspan=\"2\">" + what +
           "</td></tr>\n";
    for (const ValueChange& value : key.values) {
      out += std::string("<tr class=\"value ") + ChangeName(value.change) + "\" data-change=\"" +
             ChangeName(value.change) + "\"><td class=\"mark\">" + HtmlMark(value.change) +
             "</td><td class=\"value-name code\">" + HtmlEscaped(ValueNameText(value.name)) +
             "</td>" + ValueCell(value.before) + ValueCell(value.after) + "</tr>\n";
    }
  }
  out += "</tbody>\n</table>\n</section>\n";
}

void AppendFiles(std::string& out, const MachineChanges& changes) {
  out += "<section id=\"files\">\n<h3>Files and folders: " + std::to_string(changes.files.size()) +
         " changed</h3>\n";
  out +=
      "<table class=\"changes files\">\n<thead><tr><th></th><th>Path</th><th>Before</th>"
      "<th>After</th></tr></thead>\n<tbody>\n";
  for (const FileChange& file : changes.files) {
    auto size = [&](bool present, uint64_t bytes) -> std::string {
      if (!present) return "";
      return file.directory ? "folder" : ByteCount(bytes);
    };
    out += std::string("<tr class=\"") + ChangeName(file.change) + "\" data-change=\"" +
           ChangeName(file.change) + "\"><td class=\"mark\">" + HtmlMark(file.change) +
           "</td><td class=\"path\">" + Ansi(file.path) + (file.directory ? "\\" : "") +
           "</td><td>" + size(file.change != Change::Added, file.beforeSize) + "</td><td>" +
           size(file.change != Change::Removed, file.afterSize) + "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n</section>\n";
}

void AppendText(std::string& out, const TextChange& text) {
  out += "<section class=\"lines\">\n<h3>Lines of <code>" + Ansi(text.path) + "</code></h3>\n";
  if (text.hunks.empty()) {
    out += "<p class=\"nothing\">The lines are the same; only the line ends differ.</p>\n";
    out += "</section>\n";
    return;
  }
  out +=
      "<table class=\"changes lines\">\n<thead><tr><th>Before</th><th>After</th><th></th>"
      "<th>Line</th></tr></thead>\n<tbody>\n";
  for (const Hunk& hunk : text.hunks) {
    out += "<tr class=\"hunk\"><td colspan=\"4\">" + HunkPlace(hunk) + "</td></tr>\n";
    for (const DiffLine& line : hunk.lines) {
      const char* cls = line.kind == DiffLine::Kind::Added     ? "added"
                        : line.kind == DiffLine::Kind::Removed ? "removed"
                                                               : "same";
      const char* mark = line.kind == DiffLine::Kind::Added     ? "+"
                         : line.kind == DiffLine::Kind::Removed ? "&minus;"
                                                                : "";
      out += std::string("<tr class=\"") + cls + "\" data-change=\"" + cls + "\"><td>" +
             (line.oldNumber != 0 ? std::to_string(line.oldNumber) : "") + "</td><td>" +
             (line.newNumber != 0 ? std::to_string(line.newNumber) : "") +
             "</td><td class=\"mark\">" + mark + "</td><td class=\"code\">" + Ansi(line.text) +
             "</td></tr>\n";
    }
  }
  out += "</tbody>\n</table>\n</section>\n";
}

}  // namespace

std::string HtmlEscaped(const std::string& utf8) {
  // Control characters (C0 but the tab, DEL, C1) and bytes that are not
  // UTF-8 are shown as \xNN, as in the terminal: none reaches the page raw.
  std::string shown;
  for (size_t start = 0; start <= utf8.size();) {
    size_t tab = utf8.find('\t', start);
    if (tab == std::string::npos) tab = utf8.size();
    shown += winsim::EscapeControls(std::string_view(utf8).substr(start, tab - start));
    if (tab < utf8.size()) shown += '\t';
    start = tab + 1;
  }
  std::string out;
  out.reserve(shown.size());
  for (char c : shown) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HtmlReport(const ReportContent& content) {
  std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += std::string(kReportMarker) + "\n";
  out += "<title>" + HtmlEscaped(content.title) + "</title>\n<style>" + kStyle +
         "</style>\n</head>\n<body>\n";
  out += "<h1>" + HtmlEscaped(content.title) + "</h1>\n";
  for (const std::string& fact : content.facts) {
    out += "<p class=\"facts\">" + HtmlEscaped(fact) + "</p>\n";
  }

  if (content.hasBoxes) {
    out += "<section id=\"message-boxes\">\n<h2>Message boxes: " +
           std::to_string(content.boxes.size()) + "</h2>\n";
    if (content.boxes.empty()) {
      out += "<p class=\"nothing\">The program showed no message box.</p>\n";
    } else {
      out += "<ol class=\"boxes\">\n";
      for (size_t i = 0; i < content.boxes.size(); ++i) AppendBox(out, content.boxes[i], i + 1);
      out += "</ol>\n";
    }
    out += "</section>\n";
  }

  if (content.changes != nullptr) {
    const MachineChanges& changes = *content.changes;
    out += "<section id=\"changes\">\n<h2>Changes</h2>\n";
    if (changes.empty()) {
      out +=
          "<p class=\"nothing\">Nothing changed: no registry key or value, no file or "
          "folder.</p>\n";
    }
    if (!changes.keys.empty()) AppendRegistry(out, changes);
    if (!changes.files.empty()) AppendFiles(out, changes);
    for (const TextChange& text : changes.texts) AppendText(out, text);
    out += "</section>\n";
  }
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace winsim_tool
