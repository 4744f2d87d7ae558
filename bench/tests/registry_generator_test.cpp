// The generated registries must be what the benchmarks say they load: valid
// REGEDIT4 with exactly the keys and values asked for, and of the size asked.
#include "registry_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "winsim/regedit4.h"
#include "winsim/registry.h"

namespace rq47bench {
namespace {

struct Counts {
  size_t keys = 0;
  size_t values = 0;
  size_t widestKey = 0;
  size_t mostValues = 0;
  std::map<uint32_t, size_t> types;
  size_t defaults = 0;
  size_t stringsWithEscapes = 0;
};

void CountKey(const winsim::RegKey& key, Counts& counts) {
  counts.values += key.values().size();
  counts.widestKey = std::max(counts.widestKey, key.subkeyCount());
  counts.mostValues = std::max(counts.mostValues, key.values().size());
  for (const winsim::RegValue& value : key.values()) {
    ++counts.types[value.type];
    if (value.name.empty()) ++counts.defaults;
    if (value.type == 1 && value.data.find_first_of("\\\"") != std::string::npos) {
      ++counts.stringsWithEscapes;
    }
  }
  for (size_t i = 0; i < key.subkeyCount(); ++i) {
    ++counts.keys;
    CountKey(*key.subkey(i), counts);
  }
}

Counts Load(const std::string& text, winsim::Registry& registry) {
  std::optional<winsim::Regedit4Error> error = winsim::ImportRegedit4(text, registry);
  EXPECT_FALSE(error.has_value()) << "line " << error->line << ": " << error->message;
  Counts counts;
  for (winsim::Root root : winsim::Registry::kRoots) CountKey(registry.root(root), counts);
  return counts;
}

TEST(RegistryGeneratorTest, HoldsExactlyTheKeysAndValuesAskedForWithARealMixOfValues) {
  for (RegistryShape shape : {RegistryShape{1, 0, 1}, RegistryShape{7, 3, 2},
                              RegistryShape{3000, 15000, 3}, RegistryShape{20000, 100000, 4}}) {
    winsim::Registry registry;
    Counts counts = Load(GenerateRegistry(shape), registry);
    EXPECT_EQ(counts.keys, shape.keys) << "keys asked: " << shape.keys;
    EXPECT_EQ(counts.values, shape.values) << "values asked: " << shape.values;
  }
  winsim::Registry registry;
  Counts counts = Load(GenerateRegistry({20000, 100000, 4}), registry);
  EXPECT_GT(counts.widestKey, 2000u) << "one key lists thousands of class ids";
  EXPECT_GE(counts.mostValues, 2000u) << "one key holds a great many values";
  for (uint32_t type : {1u, 2u, 3u, 4u, 7u}) {
    EXPECT_GT(counts.types[type], 100u) << "values of type " << type;
  }
  EXPECT_GT(counts.defaults, 100u);
  EXPECT_GT(counts.stringsWithEscapes, 1000u);
}

TEST(RegistryGeneratorTest, WritesSubkeysInTheOrderTheRegistryEnumeratesThem) {
  // A file written in enumeration order saves back as the same keys in the
  // same order: compare the key lines of the file with those of the export.
  std::string text = GenerateRegistry({5000, 20000, 5});
  winsim::Registry registry;
  Load(text, registry);
  auto keyLines = [](const std::string& file) {
    std::string lines;
    size_t at = 0;
    while ((at = file.find("\n[", at)) != std::string::npos) {
      size_t end = file.find('\n', at + 1);
      lines.append(file, at + 1, end - at);
      at = end;
    }
    return lines;
  };
  EXPECT_EQ(keyLines(winsim::ExportRegedit4(registry)), keyLines(text));
}

TEST(RegistryGeneratorTest, SameShapeGivesTheSameFileAndAnotherSeedAnother) {
  EXPECT_EQ(GenerateRegistry({500, 2500, 9}), GenerateRegistry({500, 2500, 9}));
  EXPECT_NE(GenerateRegistry({500, 2500, 9}), GenerateRegistry({500, 2500, 10}));
}

TEST(RegistryGeneratorTest, ShapeForBytesGivesAFileOfAboutThatSize) {
  for (size_t bytes : {size_t{200000}, size_t{3000000}}) {
    RegistryShape shape = ShapeForBytes(bytes);
    EXPECT_EQ(shape.values, shape.keys * 5);
    double size = static_cast<double>(GenerateRegistry(shape).size());
    EXPECT_NEAR(size / static_cast<double>(bytes), 1.0, 0.15) << bytes << " bytes asked";
  }
}

}  // namespace
}  // namespace rq47bench
