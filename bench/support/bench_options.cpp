#include "bench_options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace rq47bench {

BenchOptions ParseBenchOptions(int argc, char** argv) {
  BenchOptions options;
  const char* tmp = std::getenv("TMPDIR");
  options.scratch = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--quick") {
      options.quick = true;
      options.rounds = 1;
    } else if (argument == "--rounds" || argument == "--scratch") {
      if (i + 1 == argc) throw std::invalid_argument(argument + " needs a value after it");
      std::string value = argv[++i];
      if (argument == "--scratch") {
        options.scratch = value;
        continue;
      }
      char* end = nullptr;
      long rounds = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || rounds < 1 || rounds > 1000) {
        throw std::invalid_argument("--rounds takes a whole number from 1 to 1000; found '" +
                                    value + "'");
      }
      options.rounds = static_cast<int>(rounds);
    } else {
      options.rest.push_back(argument);
    }
  }
  return options;
}

int BenchmarkMain(int argc, char** argv, bool takesMoreArguments,
                  const std::function<bool(const BenchOptions&)>& body) {
  std::string program = argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "bench";
  try {
    BenchOptions options = ParseBenchOptions(argc, argv);
    if (!takesMoreArguments && !options.rest.empty()) {
      throw std::invalid_argument("unknown argument '" + options.rest[0] +
                                  "'; the options are --rounds N, --quick and --scratch DIR");
    }
    return body(options) ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), error.what());
    return 2;
  }
}

ScratchFolder::ScratchFolder(const std::filesystem::path& below) {
  std::string pattern = (below / "rq47bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a scratch folder in " + below.string() + ": " +
                             std::strerror(errno) + "; name a writable folder with --scratch");
  }
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string() + " for reading");
  std::ostringstream content;
  content << in.rdbuf();  // an empty file inserts nothing, which is no error
  if (in.bad()) throw std::runtime_error("cannot read " + path.string());
  return content.str();
}

void WriteFileText(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string() + "; check the free space");
}

}  // namespace rq47bench
