// A registry written in pieces (to a file as it is made, so that the whole
// text is never in memory) is the same text as written whole.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace {

winsim::Registry SampleRegistry() {
  winsim::Registry registry;
  for (int device = 0; device < 60; ++device) {
    std::string key = "HKEY_LOCAL_MACHINE\\Enum\\PCI\\VEN_" + std::to_string(1000 + device);
    winsim::RegKey* instance = registry.create(key + "\\BUS_00&DEV_0B");
    instance->setValue("DeviceDesc", 1, "Device \"" + std::to_string(device) + "\"\\x" + '\0');
    instance->setValue("ConfigFlags", 3, std::string(device * 7 % 120, '\x5a'));
    instance->setValue("Count", 4, std::string("\x1a\0\0\0", 4));
  }
  registry.create("HKEY_USERS\\.Default\\Software")->setValue("", 1, std::string("x\0", 2));
  return registry;
}

TEST(Regedit4PiecewiseWrite, GivesTheWholeTextInPiecesOfAboutTheBlockSize) {
  winsim::Registry registry = SampleRegistry();
  std::string whole = winsim::ExportRegedit4(registry);
  for (size_t blockSize : {size_t{1}, size_t{100}, size_t{777}, size_t{4096}, size_t{1} << 30}) {
    std::vector<std::string> pieces;
    winsim::ExportRegedit4(
        registry, [&](std::string_view piece) { pieces.emplace_back(piece); }, blockSize);
    std::string joined;
    for (const std::string& piece : pieces) joined += piece;
    EXPECT_EQ(joined, whole) << "block " << blockSize;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
      EXPECT_GE(pieces[i].size(), blockSize) << "only the last piece is short";
      // A piece ends where a key's lines end: the next piece starts a key
      // line, or is the file's closing line end.
      bool startsKey = pieces[i + 1].rfind("\r\n[", 0) == 0;
      EXPECT_TRUE(startsKey || (i + 2 == pieces.size() && pieces[i + 1] == "\r\n"))
          << "block " << blockSize << ", piece " << i + 1;
    }
    if (blockSize >= whole.size()) EXPECT_EQ(pieces.size(), 1u);
  }
}

TEST(Regedit4PiecewiseWrite, StopsWhenThePieceCannotBeWritten) {
  winsim::Registry registry = SampleRegistry();
  int calls = 0;
  auto failing = [&](std::string_view) {
    if (++calls == 3) throw std::runtime_error("the disk is full");
  };
  EXPECT_THROW(winsim::ExportRegedit4(registry, failing, 200), std::runtime_error);
  EXPECT_EQ(calls, 3);
}

}  // namespace
