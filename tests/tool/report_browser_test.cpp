// The --report page rendered by a real browser (headless Chromium): the boxes
// must look like Windows 98's (navy caption bar, grey face, one text line to a
// row, the buttons in a row below the text, the pressed one sunken) and the
// tables must hold the changes of the run. Skipped when Chromium is missing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "test_machine.h"
#include "tool_runner.h"

namespace rq47test {
namespace {

namespace fs = std::filesystem;

// Measures the rendered page and writes what it found into <pre id="probe">,
// one name=value line each, for --dump-dom to carry out.
constexpr char kProbe[] = R"js(<script>
(() => {
const out = [];
const topOf = (element) => element.getBoundingClientRect().top;
out.push('title=' + document.querySelector('h1').textContent);
const windows = [...document.querySelectorAll('.window')];
out.push('boxes=' + windows.length);
windows.forEach((box, i) => {
  const bar = box.querySelector('.titlebar');
  const p = 'box' + i + '.';
  out.push(p + 'caption=' + bar.querySelector('.title').textContent);
  out.push(p + 'barImage=' + getComputedStyle(bar).backgroundImage);
  out.push(p + 'barText=' + getComputedStyle(bar).color);
  out.push(p + 'face=' + getComputedStyle(box).backgroundColor);
  const lines = [...box.querySelectorAll('.text .line')];
  out.push(p + 'lines=' + lines.length);
  out.push(p + 'firstLine=' + lines[0].textContent);
  out.push(p + 'firstLineRows=' + Math.round(lines[0].getBoundingClientRect().height /
                                             parseFloat(getComputedStyle(lines[0]).lineHeight)));
  out.push(p + 'stacked=' + lines.every((line, k) => k === 0 || topOf(line) > topOf(lines[k - 1])));
  const buttons = [...box.querySelectorAll('.button')];
  out.push(p + 'buttons=' + buttons.map(b => b.textContent).join('|'));
  const frame = box.getBoundingClientRect();
  const textBottom = box.querySelector('.text').getBoundingClientRect().bottom;
  out.push(p + 'buttonsPlaced=' + buttons.every(b => {
    const r = b.getBoundingClientRect();
    return r.left >= frame.left && r.right <= frame.right && r.bottom <= frame.bottom &&
           r.top >= textBottom && Math.abs(r.top - topOf(buttons[0])) < 1;
  }));
  const pressed = buttons.filter(b => b.getAttribute('aria-pressed') === 'true');
  out.push(p + 'pressed=' + pressed.map(b => b.textContent).join('|'));
  pressed.forEach(b => out.push(p + 'pressedShadow=' + getComputedStyle(b).boxShadow));
  buttons.filter(b => !pressed.includes(b)).forEach(
      b => out.push(p + 'raisedShadow=' + getComputedStyle(b).boxShadow));
  out.push(p + 'answer=' + box.parentElement.querySelector('.answer').textContent);
});
document.querySelectorAll('#registry tr.key').forEach(
    row => out.push('key=' + row.dataset.change + ' ' + row.querySelector('.path').textContent));
document.querySelectorAll('#files tbody tr').forEach(
    row => out.push('file=' + row.dataset.change + ' ' + row.querySelector('.path').textContent));
document.querySelectorAll('section.lines tbody tr.added, section.lines tbody tr.removed').forEach(
    row => out.push('line=' + row.dataset.change + ' ' + row.querySelector('.code').textContent));
const probe = document.createElement('pre');
probe.id = 'probe';
probe.textContent = out.join('\n');
document.body.appendChild(probe);
})();
</script>
)js";

std::optional<fs::path> FindChromium() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path != nullptr ? path : "");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    for (const char* name : {"chromium", "chromium-browser"}) {
      fs::path candidate = fs::path(folder) / name;
      std::error_code error;
      if (fs::is_regular_file(candidate, error)) return candidate;
    }
  }
  return std::nullopt;
}

// The page's DOM after it ran, as the browser writes it.
std::string DumpDom(const fs::path& chromium, const fs::path& page, const fs::path& profile) {
  std::string command = "timeout 120 '" + chromium.string() +
                        "' --headless --no-sandbox --disable-gpu --disable-background-networking"
                        " --disable-component-update --disable-sync --no-first-run"
                        " --window-size=1200,2000 --user-data-dir='" +
                        profile.string() + "' --dump-dom 'file://" + page.string() +
                        "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), &pclose);
  if (!pipe) return "";
  std::string dom;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) dom.append(buffer, got);
  return dom;
}

std::string Unescaped(std::string text) {
  const std::pair<const char*, const char*> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities) {
    for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::string(entity).size(), plain);
    }
  }
  return text;
}

// name=value lines of the probe; repeated names collect their values in order.
std::multimap<std::string, std::string> ProbeResults(const std::string& dom) {
  std::multimap<std::string, std::string> results;
  size_t start = dom.find("<pre id=\"probe\">");
  size_t end = dom.find("</pre>", start);
  if (start == std::string::npos || end == std::string::npos) return results;
  start += std::string("<pre id=\"probe\">").size();
  std::stringstream lines(Unescaped(dom.substr(start, end - start)));
  std::string line;
  while (std::getline(lines, line)) {
    size_t equals = line.find('=');
    if (equals != std::string::npos)
      results.emplace(line.substr(0, equals), line.substr(equals + 1));
  }
  return results;
}

std::string One(const std::multimap<std::string, std::string>& results, const std::string& name) {
  auto found = results.find(name);
  return found != results.end() ? found->second : "<missing " + name + ">";
}

std::vector<std::string> All(const std::multimap<std::string, std::string>& results,
                             const std::string& name) {
  std::vector<std::string> values;
  auto [first, last] = results.equal_range(name);
  for (auto it = first; it != last; ++it) values.push_back(it->second);
  return values;
}

bool Has(const std::vector<std::string>& values, const std::string& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

class ReportInABrowser : public testing::Test {
 protected:
  void SetUp() override {
    chromium_ = FindChromium();
    if (!chromium_) GTEST_SKIP() << "chromium is not installed (tools/install-deps.sh installs it)";
    CopyShippedMachine("win98se", machine_);
  }

  // Runs the program with a report and returns what the probe measured on it.
  std::multimap<std::string, std::string> RunAndProbe(const std::string& program,
                                                      const std::string& answers,
                                                      int expectedExit) {
    fs::path report = dir_.path() / (program + ".html");
    ToolResult run = RunTool(
        {"run", machine_.string(), "--answers", answers, "--report", report.string(), program});
    EXPECT_EQ(run.exitCode, expectedExit) << run.err;
    if (!fs::exists(report)) {
      ADD_FAILURE() << "no report: " << run.err;
      return {};
    }
    // One self-contained page: nothing fetched from anywhere.
    std::string page = ReadWhole(report);
    for (const char* outside : {"src=", "<link", "url(", "@import"}) {
      EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    }
    fs::path probePage = dir_.path() / (program + "-probe.html");
    page.insert(page.rfind("</body>"), kProbe);
    WriteWhole(probePage, page);
    std::multimap<std::string, std::string> found =
        ProbeResults(DumpDom(*chromium_, probePage, dir_.path() / ("profile-" + program)));
    EXPECT_FALSE(found.empty()) << "the browser gave no probe results";
    return found;
  }

  // What every box drawn as Windows 98 draws one shows in the browser.
  static void ExpectWindows98Box(const std::multimap<std::string, std::string>& found,
                                 const std::string& box) {
    SCOPED_TRACE(box);
    EXPECT_EQ(One(found, box + "caption"), "Zelvaran RQ47 Modem");
    EXPECT_NE(One(found, box + "barImage").find("rgb(0, 0, 128)"), std::string::npos)
        << One(found, box + "barImage");
    EXPECT_EQ(One(found, box + "barText"), "rgb(255, 255, 255)");
    EXPECT_EQ(One(found, box + "face"), "rgb(192, 192, 192)");
    EXPECT_EQ(One(found, box + "stacked"), "true");
    EXPECT_EQ(One(found, box + "buttonsPlaced"), "true");
    // Sunken: the dark edge on the top left; raised: on the bottom right.
    for (const std::string& shadow : All(found, box + "pressedShadow")) {
      EXPECT_EQ(shadow.rfind("rgb(0, 0, 0) 1px 1px", 0), 0u) << shadow;
    }
    for (const std::string& shadow : All(found, box + "raisedShadow")) {
      EXPECT_EQ(shadow.rfind("rgb(0, 0, 0) -1px -1px", 0), 0u) << shadow;
    }
  }

  std::optional<fs::path> chromium_;
  TempDir dir_;
  fs::path machine_ = dir_.path() / "pc";
};

TEST_F(ReportInABrowser, TheInstallationsBoxKeepsItsLinesAndTheAdditionsAreListed) {
  std::multimap<std::string, std::string> found = RunAndProbe("rq47set", "", 0);
  EXPECT_EQ(One(found, "title"), "rq47set on pc");
  ASSERT_EQ(One(found, "boxes"), "1");
  ExpectWindows98Box(found, "box0.");
  // Four lines of text in three paragraphs, an empty line between them: six
  // rows, one under the other.
  EXPECT_EQ(One(found, "box0.lines"), "6");
  EXPECT_EQ(One(found, "box0.firstLine"), "You have successfully installed the RQ47 Modem.");
  EXPECT_EQ(One(found, "box0.buttons"), "OK");
  EXPECT_EQ(One(found, "box0.pressed"), "OK");
  EXPECT_EQ(One(found, "box0.answer"), "Pressed: OK");

  std::vector<std::string> keys = All(found, "key");
  EXPECT_TRUE(Has(keys, "added HKEY_LOCAL_MACHINE\\Software\\Zelvaran\\RQ31DFV"))
      << testing::PrintToString(keys);
  std::vector<std::string> files = All(found, "file");
  EXPECT_TRUE(Has(files, "added C:\\WINDOWS\\SYSTEM\\zelvcd.vxd")) << testing::PrintToString(files);
}

TEST_F(ReportInABrowser, TheUninstallsAnswersRemovalsAndDriverLineAreShown) {
  // Installed, with the DOS box driver line in system.ini, then uninstalled.
  ASSERT_EQ(RunTool({"run", machine_.string(), "rq47set"}).exitCode, 0);
  fs::path ini = machine_ / "drive_c" / "WINDOWS" / "system.ini";
  std::string text = ReadWhole(ini);
  text.insert(text.find("[386Enh]\r\n") + 10, "device = zelvcd.vxd\r\n");
  WriteWhole(ini, text);
  std::multimap<std::string, std::string> found = RunAndProbe("zuninst", "yes,ok", 1);

  EXPECT_EQ(One(found, "title"), "zuninst on pc");
  ASSERT_EQ(One(found, "boxes"), "2");
  ExpectWindows98Box(found, "box0.");
  ExpectWindows98Box(found, "box1.");
  // The question is one long line that the box wraps onto several rows.
  EXPECT_EQ(One(found, "box0.lines"), "1");
  EXPECT_GT(std::stoi(One(found, "box0.firstLineRows")), 1);
  // Yes pressed, though No is the default.
  EXPECT_EQ(One(found, "box0.buttons"), "Yes|No");
  EXPECT_EQ(One(found, "box0.pressed"), "Yes");
  EXPECT_EQ(One(found, "box0.answer"), "Pressed: Yes");
  EXPECT_EQ(All(found, "box0.raisedShadow").size(), 1u);
  EXPECT_EQ(One(found, "box1.pressed"), "OK");

  std::vector<std::string> keys = All(found, "key");
  EXPECT_TRUE(Has(keys,
                  "removed HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                  "CurrentVersion\\Uninstall\\RQ31DFV"))
      << testing::PrintToString(keys);
  EXPECT_TRUE(Has(keys, "removed HKEY_LOCAL_MACHINE\\Enum\\MODEMWAVE\\Zelvaran_RQ47_Modem"));
  std::vector<std::string> files = All(found, "file");
  EXPECT_TRUE(Has(files, "removed C:\\WINDOWS\\SYSTEM\\zelvcd.vxd"))
      << testing::PrintToString(files);
  EXPECT_TRUE(Has(files, "changed C:\\WINDOWS\\system.ini")) << testing::PrintToString(files);
  std::vector<std::string> lines = All(found, "line");
  EXPECT_TRUE(Has(lines, "removed device = zelvcd.vxd")) << testing::PrintToString(lines);
  for (const std::string& line : lines) {
    EXPECT_FALSE(line.rfind("added", 0) == 0 && line.find("zelvcd") != std::string::npos) << line;
  }
}

}  // namespace
}  // namespace rq47test
