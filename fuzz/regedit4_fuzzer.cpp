// The REGEDIT4 reader on any text: it never crashes, and whatever it accepts
// it writes back so that the written file reads back to the same registry,
// and writes that registry again byte for byte.
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
  std::fprintf(stderr, "regedit4 round trip: %s\n%s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  winsim::Registry registry;
  if (winsim::ImportRegedit4(text, registry)) return 0;  // refused whole: nothing to check

  std::string written = winsim::ExportRegedit4(registry);
  winsim::Registry reread;
  if (auto error = winsim::ImportRegedit4(written, reread)) {
    Fail("the written file does not read back",
         "line " + std::to_string(error->line) + ": " + error->message + "\n" + written);
  }
  if (!reread.sameAs(registry)) Fail("the file read back holds another registry", written);
  if (winsim::ExportRegedit4(reread) != written) Fail("writing again gives other text", written);
  return 0;
}
