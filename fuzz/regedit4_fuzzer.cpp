// The REGEDIT4 reader on any text, read strictly and line by line: it never
// crashes; whatever it applies it writes back so that the written file reads
// back to the same registry, and writes that registry again byte for byte.
// The two readings agree: a file read strictly is read line by line to the
// same registry with nothing passed over, and a file read line by line with
// nothing passed over is one the strict reading takes. The reader's shortcut
// for the usual lines changes nothing: read with every line left to the
// general rules (whole, and from a file in small blocks), the text gives the
// same registry, error and lines passed over.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "regedit4: %s\n%s\n", what, detail.c_str());
  std::abort();
}

// What the registry holds is written and read back to the same.
void CheckRoundTrip(const winsim::Registry& registry) {
  std::string written = winsim::ExportRegedit4(registry);
  winsim::Registry reread;
  if (auto error = winsim::ImportRegedit4(written, reread)) {
    Fail("the written file does not read back",
         "line " + std::to_string(error->line) + ": " + error->message + "\n" + written);
  }
  if (!reread.sameAs(registry)) Fail("the file read back holds another registry", written);
  if (winsim::ExportRegedit4(reread) != written) Fail("writing again gives other text", written);
}

std::string Described(const std::optional<winsim::Regedit4Error>& error) {
  return error ? std::to_string(error->line) + ": " + error->message : "read";
}

std::string Described(const winsim::Regedit4LineByLine& result) {
  std::string text = Described(result.refused);
  for (const winsim::PassedOverLine& passed : result.passedOver) {
    text += "\n" + std::to_string(passed.line) + "-" + std::to_string(passed.lastLine) + ": " +
            passed.message;
  }
  return text;
}

void CheckSame(const std::string& shortcut, const winsim::Registry& shortcutRegistry,
               const std::string& general, const winsim::Registry& generalRegistry,
               const char* reading, std::string_view text) {
  if (shortcut != general) {
    Fail(reading,
         "with the shortcut: " + shortcut + "\nwithout: " + general + "\n" + std::string(text));
  }
  if (!shortcutRegistry.sameAs(generalRegistry) ||
      shortcutRegistry.modified != generalRegistry.modified) {
    Fail(reading, "the registries differ\n" + std::string(text));
  }
}

// The file reading in blocks of 16 bytes (the least), so that lines and line
// ends fall across the blocks' edges, with the shortcut and without.
void CheckFileReading(std::string_view text) {
  static const std::string path =
      (std::getenv("TMPDIR") != nullptr ? std::string(std::getenv("TMPDIR")) : "/tmp") +
      "/regedit4_fuzzer." + std::to_string(::getpid()) + ".reg";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  winsim::Registry shortcut;
  winsim::Registry general;
  std::string withShortcut = Described(winsim::ImportRegedit4File(path, shortcut, 16));
  std::string withoutShortcut =
      Described(winsim::detail::ImportRegedit4FileGeneral(path, general, 16));
  std::remove(path.c_str());
  CheckSame(withShortcut, shortcut, withoutShortcut, general,
            "a file read in blocks with the shortcut for usual lines reads otherwise without it",
            text);
}

size_t LineCount(std::string_view text) {
  size_t lines = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++lines;
    }
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  winsim::Registry strict;
  std::optional<winsim::Regedit4Error> strictError = winsim::ImportRegedit4(text, strict);
  bool strictTakesIt = !strictError;
  winsim::Registry strictGeneral;
  CheckSame(Described(strictError), strict,
            Described(winsim::detail::ImportRegedit4General(text, strictGeneral)), strictGeneral,
            "the shortcut for usual lines reads otherwise than the general rules", text);

  winsim::Registry lineByLine;
  winsim::Regedit4LineByLine result = winsim::ImportRegedit4LineByLine(text, lineByLine);
  winsim::Registry lineByLineGeneral;
  CheckSame(Described(result), lineByLine,
            Described(winsim::detail::ImportRegedit4LineByLineGeneral(text, lineByLineGeneral)),
            lineByLineGeneral,
            "the shortcut for usual lines reads otherwise than the general rules, line by line",
            text);
  if (text.size() <= 4096) CheckFileReading(text);
  if (result.refused) {
    if (strictTakesIt) Fail("a file read strictly is refused line by line", std::string(text));
    if (lineByLine.modified) Fail("a refused file changed the registry", std::string(text));
    return 0;
  }
  size_t previous = 0;
  size_t lines = LineCount(text);
  for (const winsim::PassedOverLine& passed : result.passedOver) {
    if (passed.line <= previous || passed.lastLine < passed.line || passed.lastLine > lines ||
        passed.message.empty()) {
      Fail("a passed-over statement is not a place in the file", std::string(text));
    }
    previous = passed.lastLine;
  }
  if (strictTakesIt != result.passedOver.empty()) {
    Fail(strictTakesIt ? "a file read strictly has lines passed over line by line"
                       : "a file with nothing passed over is refused strictly",
         std::string(text));
  }
  if (strictTakesIt && !lineByLine.sameAs(strict)) {
    Fail("the two readings give different registries", std::string(text));
  }
  CheckRoundTrip(lineByLine);
  return 0;
}
