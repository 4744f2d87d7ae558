// Runs a fuzz target on every file below the folders (or the files) named on the
// command line, without libFuzzer: the committed corpus becomes a test of the
// normal build, with any compiler. A failing input ends the run as it would
// end the fuzzer, naming what is wrong.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    fs::path given(argv[i]);
    if (fs::is_directory(given)) {
      for (const auto& entry : fs::recursive_directory_iterator(given)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else {
      inputs.push_back(given);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no input files; name corpus folders or files\n");
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "replay: %s\n", input.string().c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replay: %zu inputs passed\n", inputs.size());
  return 0;
}
