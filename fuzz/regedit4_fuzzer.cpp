// The REGEDIT4 reader on any text, read strictly and line by line: it never
// crashes; whatever it applies it writes back so that the written file reads
// back to the same registry, and writes that registry again byte for byte.
// The two readings agree: a file read strictly is read line by line to the
// same registry with nothing passed over, and a file read line by line with
// nothing passed over is one the strict reading takes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
  bool strictTakesIt = !winsim::ImportRegedit4(text, strict);

  winsim::Registry lineByLine;
  winsim::Regedit4LineByLine result = winsim::ImportRegedit4LineByLine(text, lineByLine);
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
