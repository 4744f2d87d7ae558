// The command line shared by the benchmark programs:
//   --rounds N      rounds to take the median of (default 5)
//   --quick         tiny inputs and one round: checks that everything runs,
//                   judges no target (the smoke test)
//   --scratch DIR   where the temporary files go (default $TMPDIR or /tmp);
//                   a disk, not a memory file system, to measure real files
// Anything else is left for the program.
#ifndef RQ47_BENCH_BENCH_OPTIONS_H
#define RQ47_BENCH_BENCH_OPTIONS_H

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rq47bench {

struct BenchOptions {
  int rounds = 5;
  bool quick = false;
  std::filesystem::path scratch;
  std::vector<std::string> rest;  // the arguments not taken here, in order
};

// Throws std::invalid_argument saying which argument is wrong and how to write it.
BenchOptions ParseBenchOptions(int argc, char** argv);

// The main() of a benchmark program: parses the shared options (refusing any
// other argument unless the program takes more), runs the body and turns its
// outcome into the exit status: 0 when every target was met, 1 when one was
// missed, 2 when the benchmark could not run (what failed goes to standard
// error after the program's name).
int BenchmarkMain(int argc, char** argv, bool takesMoreArguments,
                  const std::function<bool(const BenchOptions&)>& body);

// A fresh folder below the scratch folder, removed with all it holds at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::filesystem::path& below);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The whole content of a file; throws std::runtime_error naming it when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
// Writes the file whole; throws std::runtime_error naming it when it cannot.
void WriteFileText(const std::filesystem::path& path, const std::string& content);

}  // namespace rq47bench

#endif  // RQ47_BENCH_BENCH_OPTIONS_H
