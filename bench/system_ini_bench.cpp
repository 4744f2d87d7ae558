// The system.ini rewrite of the driver line operations on a 50 MB file
// (read line by line into system.new, copied back, system.new deleted),
// beside `cp` of the same file in the same rounds.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "bench_options.h"
#include "driver_line.h"
#include "report.h"
#include "rounds.h"
#include "system_ini_generator.h"
#include "timed_process.h"
#include "winsim/machine.h"
#include "winsim/run.h"

namespace fs = std::filesystem;
using namespace rq47bench;

namespace {

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Runs one operation on a fresh copy of the file; returns its time.
Sample TimeOperation(winsim::Machine& machine, const fs::path& pristine, const fs::path& ini,
                     void (*operation)(), const char* name) {
  fs::copy_file(pristine, ini, fs::copy_options::overwrite_existing);
  winsim::Run run(machine);
  Stopwatch stopwatch;
  operation();
  Sample time = stopwatch.elapsed();
  if (fs::exists(ini.parent_path() / "system.new")) {
    throw std::runtime_error(std::string(name) +
                             " left system.new behind: the rewrite did not end");
  }
  return time;
}

bool RunSystemIni(const BenchOptions& options) {
  ScratchFolder scratch(options.scratch);
  winsim::Machine machine = winsim::Machine::create(scratch.path() / "machine");
  fs::path ini = machine.driveFolder('C') / "WINDOWS" / "system.ini";
  fs::path plain = scratch.path() / "plain.ini";
  fs::path withDriver = scratch.path() / "with-driver.ini";
  fs::path copy = scratch.path() / "copy.ini";

  SystemIniShape shape;
  shape.bytes = options.quick ? 500000 : 50000000;
  WriteFileText(plain, GenerateSystemIni(shape));
  shape.withDriverLines = true;
  WriteFileText(withDriver, GenerateSystemIni(shape));

  // What the rewrite must give, checked once before the timing.
  TimeOperation(machine, plain, ini, AddDriverLine, "AddDriverLine");
  std::string added = ReadFileText(ini);
  std::string plainText = ReadFileText(plain);
  size_t vcdLines = Occurrences(plainText, "*vcd");
  if (Occurrences(added, "\r\ndevice = zelvcd.vxd\r\n") != vcdLines ||
      added.size() != plainText.size() + vcdLines * 21) {
    throw std::runtime_error("AddDriverLine did not give one driver line after each of the " +
                             std::to_string(vcdLines) + " *vcd lines");
  }

  Measure cp{"cp",
             [&] {
               fs::remove(copy);
               ProcessRequest request;
               request.argv = {"/bin/cp", plain.string(), copy.string()};
               return RunExpecting(request, 0).sample();
             },
             {}};
  Measure add{"add",
              [&] { return TimeOperation(machine, plain, ini, AddDriverLine, "AddDriverLine"); },
              {}};
  Measure remove{
      "remove",
      [&] { return TimeOperation(machine, withDriver, ini, RemoveDriverLine, "RemoveDriverLine"); },
      {}};
  RunRounds({&cp, &add, &remove}, options.rounds);

  size_t bytes = fs::file_size(plain);
  Report report("system.ini rewrite of a " + FormatMegabytes(static_cast<double>(bytes)) +
                    " file (medians of " + std::to_string(options.rounds) + " rounds)",
                !options.quick);
  report.throughput("cp FILE COPY", cp.median(), bytes);
  report.throughput("AddDriverLine (" + std::to_string(vcdLines) + " lines added)", add.median(),
                    bytes);
  report.throughput("RemoveDriverLine (as many lines blanked)", remove.median(), bytes);
  report.ratio("AddDriverLine / cp", add.median(), cp.median(), 3, "cp");
  report.ratio("RemoveDriverLine / cp", remove.median(), cp.median(), 3, "cp");
  return report.allMet();
}

}  // namespace

int main(int argc, char** argv) { return BenchmarkMain(argc, argv, false, RunSystemIni); }
