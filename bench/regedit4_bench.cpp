// REGEDIT4 load and save of large registries, beside `cat` and `cp` of the
// same file, and how the load grows from a 10 MB to a 100 MB registry.
//
// Each load and save runs in a child process of its own (this program,
// started again with --child), so its peak memory is that of one program
// that loads and saves the machine, and nothing of one round stays for the
// next.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench_options.h"
#include "child_report.h"
#include "registry_generator.h"
#include "report.h"
#include "rounds.h"
#include "timed_process.h"
#include "winsim/machine.h"
#include "winsim/regedit4.h"

namespace fs = std::filesystem;
using namespace rq47bench;

namespace {

void Count(const winsim::RegKey& key, size_t& keys, size_t& values) {
  values += key.values().size();
  for (size_t i = 0; i < key.subkeyCount(); ++i) {
    ++keys;
    Count(*key.subkey(i), keys, values);
  }
}

// The least memory the loaded registry can take as it is made: each key an
// object and its name, each value its record and the bytes of its data
// (names are kept once each, so they are left out).
double LeastRegistryBytes(const winsim::RegKey& key) {
  double bytes = sizeof(winsim::RegKey) + static_cast<double>(key.name().size()) +
                 key.subkeyCount() * sizeof(winsim::RegKey*);
  for (const winsim::RegValue& value : key.values()) {
    bytes += sizeof(winsim::RegValue) + static_cast<double>(value.data.size());
  }
  for (size_t i = 0; i < key.subkeyCount(); ++i) bytes += LeastRegistryBytes(*key.subkey(i));
  return bytes;
}

// The processor time the system has spent for this process so far (as the
// system splits it from the user's time, by sampling).
double SystemSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
}

// Builds a copy of the key's values and subkeys below `to`, through the same
// calls a reader makes, from names and bytes already in memory.
void CopyKey(const winsim::RegKey& from, winsim::RegKey& to) {
  to.reserveValues(from.values().size());
  for (const winsim::RegValue& value : from.values())
    to.setValue(value.name, value.type, value.data);
  for (size_t i = 0; i < from.subkeyCount(); ++i) {
    const winsim::RegKey& child = *from.subkey(i);
    CopyKey(child, to.createSubkey(child.name()));
  }
}

void WriteUnflushed(const fs::path& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  size_t done = 0;
  while (fd >= 0 && done < text.size()) {
    ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote <= 0) break;
    done += static_cast<size_t>(wrote);
  }
  if (fd >= 0) ::close(fd);
  if (done != text.size()) throw std::runtime_error("cannot write " + path.string());
}

// The registry written to the file in pieces as the text is made, and
// flushed to disk, as a save that never holds the whole text does it.
void WriteInPieces(const winsim::Registry& registry, const fs::path& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  try {
    winsim::ExportRegedit4(registry, [&](std::string_view piece) {
      size_t done = 0;
      while (done < piece.size()) {
        ssize_t wrote = ::write(fd, piece.data() + done, piece.size() - done);
        if (wrote <= 0) throw std::runtime_error("cannot write " + path.string());
        done += static_cast<size_t>(wrote);
      }
    });
    if (::fsync(fd) != 0) throw std::runtime_error("cannot flush " + path.string());
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
}

// What a reader cannot do without, measured on the registry file.
void RunFloor(const std::string& mode, const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + file.string());
  std::vector<char> block(winsim::kRegedit4BlockSize);
  winsim::ByteStore store;
  Stopwatch floor;
  size_t lines = 0;
  for (;;) {
    ssize_t got = ::read(fd, block.data(), block.size());
    if (got <= 0) break;
    const char* at = block.data();
    const char* end = at + got;
    if (mode == "memory") {
      for (; at < end; at += 4096) {
        store.keep(std::string_view(at, std::min<size_t>(4096, static_cast<size_t>(end - at))));
      }
      continue;
    }
    // Line ends as the reader takes them: LF, CR LF or a lone CR.
    while (at < end) {
      const char* lf =
          static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
      const char* stop = lf != nullptr ? lf : end;
      const char* cr =
          static_cast<const char*>(std::memchr(at, '\r', static_cast<size_t>(stop - at)));
      ++lines;
      at = (cr != nullptr && cr + 1 < stop ? cr : stop) + 1;
    }
  }
  TellParent(mode, floor.elapsed());
  TellParent("lines", static_cast<double>(lines));
  ::close(fd);
}

// --child load FOLDER: the load alone. --child save FOLDER: a load, then the
// save as a program's end does it, with its parts measured apart.
// --child blocks FOLDER: the registry file alone read block by block.
// --child build FOLDER: a load, then the same registry built again through
// the registry's calls from what was loaded.
// --child pieces FOLDER: a load, then the registry written in pieces.
// --child lines FOLDER: the floor of the reading: the file read block by
// block and each of its lines found, nothing more.
// --child memory FOLDER: the floor of the registry's memory: as many bytes
// as the file, taken into a registry's store and so written to memory.
void RunChild(const std::string& mode, const fs::path& folder) {
  if (mode == "lines" || mode == "memory") {
    RunFloor(mode, folder / "registry.reg");
    return;
  }
  if (mode == "blocks") {
    winsim::Registry registry;
    Stopwatch reading;
    std::optional<winsim::Regedit4Error> error =
        winsim::ImportRegedit4File(folder / "registry.reg", registry);
    TellParent("load", reading.elapsed());
    if (error)
      throw std::runtime_error("line " + std::to_string(error->line) + ": " + error->message);
    size_t keys = 0;
    size_t values = 0;
    for (winsim::Root root : winsim::Registry::kRoots) Count(registry.root(root), keys, values);
    TellParent("keys", static_cast<double>(keys));
    TellParent("values", static_cast<double>(values));
    return;
  }
  double systemBefore = SystemSeconds();
  Stopwatch loading;
  winsim::Machine machine = winsim::Machine::load(folder);
  TellParent("load", loading.elapsed());
  TellParent("load_system", SystemSeconds() - systemBefore);
  size_t keys = 0;
  size_t values = 0;
  for (winsim::Root root : winsim::Registry::kRoots)
    Count(machine.registry.root(root), keys, values);
  TellParent("keys", static_cast<double>(keys));
  TellParent("values", static_cast<double>(values));
  double least = 0;
  for (winsim::Root root : winsim::Registry::kRoots)
    least += LeastRegistryBytes(machine.registry.root(root));
  TellParent("least_bytes", least);
  if (mode == "load") return;
  if (mode == "pieces") {
    fs::path path = folder / "pieces.reg";
    Stopwatch writing;
    WriteInPieces(machine.registry, path);
    TellParent("pieces", writing.elapsed());
    fs::remove(path);
    return;
  }
  if (mode == "build") {
    // What the registry itself costs to build, with no text to read: the
    // least any reader of the file can take.
    winsim::Registry copy;
    Stopwatch building;
    for (winsim::Root root : winsim::Registry::kRoots) {
      CopyKey(machine.registry.root(root), copy.root(root));
    }
    TellParent("build", building.elapsed());
    return;
  }

  Stopwatch saving;
  machine.save(true);
  TellParent("save", saving.elapsed());
  // The peak of a program that loads and saves, before the measures below.
  TellParent("peak_kilobytes", OwnPeakKilobytes());

  // The text alone, and the text written without the flush to disk, to tell
  // how much of the save is the flush.
  Stopwatch exporting;
  std::string text = winsim::ExportRegedit4(machine.registry);
  TellParent("export", exporting.elapsed());
  fs::path unflushed = folder / "unflushed.reg";
  Stopwatch writing;
  WriteUnflushed(unflushed, text);
  TellParent("write", writing.elapsed());
  fs::remove(unflushed);
}

// A machine folder whose registry is the generated file.
fs::path MakeMachine(const fs::path& folder, const RegistryShape& shape) {
  winsim::Machine::create(folder);
  WriteFileText(folder / "registry.reg", GenerateRegistry(shape));
  return folder;
}

// Runs of a child on one machine, with what each reported; every run is
// checked to have loaded the whole registry.
struct ChildRuns {
  std::string mode;
  fs::path folder;
  RegistryShape shape;
  fs::path output;
  std::vector<Sample> processes;
  std::vector<long> peakKilobytes;
  std::vector<std::map<std::string, double>> reports;

  Sample once(const std::string& figure) {
    ProcessRequest request;
    request.argv = {ThisProgram().string(), "--child", mode, folder.string()};
    request.standardOutput = output.string();
    request.standardError = output.string() + ".err";
    ProcessRun run = RunExpecting(request, 0);
    std::map<std::string, double> report = ReadChildReport(output);
    bool floor = mode == "lines" || mode == "memory";  // measures no registry
    if (!floor && (Figure(report, "keys") != static_cast<double>(shape.keys) ||
                   Figure(report, "values") != static_cast<double>(shape.values))) {
      throw std::runtime_error("the loaded registry of " + folder.string() + " holds " +
                               std::to_string(Figure(report, "keys")) + " keys and " +
                               std::to_string(Figure(report, "values")) +
                               " values where the file has " + std::to_string(shape.keys) +
                               " and " + std::to_string(shape.values));
    }
    processes.push_back(run.sample());
    peakKilobytes.push_back(run.peakKilobytes);
    reports.push_back(report);
    return TimeFigure(report, figure);
  }

  // Medians leave out the first run, the warm-up, as RunRounds does.
  Sample median(const std::string& figure) const {
    Measure measure;
    for (size_t i = 1; i < reports.size(); ++i) {
      measure.samples.push_back(TimeFigure(reports[i], figure));
    }
    return measure.median();
  }
  Sample processMedian() const {
    Measure measure;
    measure.samples.assign(processes.begin() + 1, processes.end());
    return measure.median();
  }
  // The largest peak of the runs: as the child tells it (its own, and a
  // save's before the measures that follow it), else the process's.
  double peakBytes() const {
    double kilobytes = 0;
    for (size_t i = 0; i < reports.size(); ++i) {
      auto told = reports[i].find("peak_kilobytes");
      kilobytes =
          std::max(kilobytes,
                   told != reports[i].end() ? told->second : static_cast<double>(peakKilobytes[i]));
    }
    return kilobytes * 1024;
  }
};

Sample RunCommand(const std::vector<std::string>& argv) {
  ProcessRequest request;
  request.argv = argv;
  return RunExpecting(request, 0).sample();
}

Sample Sum(const Sample& a, const Sample& b) { return Sample{a.wall + b.wall, a.cpu + b.cpu}; }

bool LoadAndSave(const BenchOptions& options, const fs::path& scratch) {
  RegistryShape shape;
  shape.keys = options.quick ? 2000 : 200000;
  shape.values = options.quick ? 10000 : 1000000;
  fs::path folder = MakeMachine(scratch / "large", shape);
  fs::path file = folder / "registry.reg";
  fs::path copy = scratch / "copy.reg";

  ChildRuns loads{"load", folder, shape, scratch / "load.out", {}, {}, {}};
  ChildRuns blockLoads{"blocks", folder, shape, scratch / "blocks.out", {}, {}, {}};
  ChildRuns builds{"build", folder, shape, scratch / "build.out", {}, {}, {}};
  ChildRuns saves{"save", folder, shape, scratch / "save.out", {}, {}, {}};
  ChildRuns pieceSaves{"pieces", folder, shape, scratch / "pieces.out", {}, {}, {}};
  ChildRuns lineScans{"lines", folder, shape, scratch / "lines.out", {}, {}, {}};
  ChildRuns memoryFills{"memory", folder, shape, scratch / "memory.out", {}, {}, {}};
  Measure cat{"cat", [&] { return RunCommand({"/bin/cat", file.string()}); }, {}};
  Measure load{"load", [&] { return loads.once("load"); }, {}};
  Measure blockLoad{"block load", [&] { return blockLoads.once("load"); }, {}};
  Measure build{"build", [&] { return builds.once("build"); }, {}};
  Measure lineScan{"lines", [&] { return lineScans.once("lines"); }, {}};
  Measure memoryFill{"memory", [&] { return memoryFills.once("memory"); }, {}};
  Measure cp{"cp",
             [&] {
               fs::remove(copy);
               return RunCommand({"/bin/cp", file.string(), copy.string()});
             },
             {}};
  Measure cpSync{"cp and sync",
                 [&] {
                   fs::remove(copy);
                   Sample copied = RunCommand({"/bin/cp", file.string(), copy.string()});
                   return Sum(copied, RunCommand({"/bin/sync", copy.string()}));
                 },
                 {}};
  Measure save{"save", [&] { return saves.once("save"); }, {}};
  Measure pieceSave{"save in pieces", [&] { return pieceSaves.once("pieces"); }, {}};
  RunRounds(
      {&cat, &load, &blockLoad, &build, &lineScan, &memoryFill, &cp, &cpSync, &save, &pieceSave},
      options.rounds);

  size_t bytes = fs::file_size(file);
  Report report("REGEDIT4 load and save: " + std::to_string(shape.keys) + " keys, " +
                    std::to_string(shape.values) + " values, " +
                    FormatMegabytes(static_cast<double>(bytes)) + " (medians of " +
                    std::to_string(options.rounds) + " rounds)",
                !options.quick);
  report.throughput("cat FILE > /dev/null", cat.median(), bytes);
  report.throughput("load (Machine::load, in the process)", load.median(), bytes);
  report.time("load process (start, load, end)", loads.processMedian());
  report.throughput("  the same registry built from memory, no text", build.median(), bytes);
  report.throughput("registry.reg read block by block", blockLoad.median(), bytes);
  report.throughput("cp FILE COPY", cp.median(), bytes);
  report.time("cp FILE COPY, then sync COPY", cpSync.median());
  report.throughput("save (Machine::save, flushed to disk)", save.median(), bytes);
  report.throughput("  its text (ExportRegedit4)", saves.median("export"), bytes);
  report.time("  the text written without the flush", saves.median("write"));
  report.throughput("the registry written in pieces, flushed", pieceSave.median(), bytes);
  report.ratio("load / cat", load.median(), cat.median(), 10, "cat");
  report.compare("  read block by block / cat", blockLoad.median(), cat.median(), "cat");
  report.compare("  building the registry alone / cat", build.median(), cat.median(), "cat");
  // The system's part of a load is mostly clearing the fresh memory the
  // registry fills, which costs more when the machine's host took that memory
  // back meanwhile (a virtual machine that reports free memory); what is left
  // is the reader's and the registry's own work.
  std::vector<double> system;
  std::vector<double> user;
  for (size_t i = 1; i < loads.reports.size(); ++i) {
    system.push_back(Figure(loads.reports[i], "load_system"));
    user.push_back(TimeFigure(loads.reports[i], "load").cpu - system.back());
  }
  if (!system.empty()) {
    report.line("  of a load's processor time, the system's (clearing fresh memory): " +
                FormatSeconds(Median(system)) + ", from " +
                FormatSeconds(*std::min_element(system.begin(), system.end())) + " to " +
                FormatSeconds(*std::max_element(system.begin(), system.end())));
    report.compare("  the load without the system's time / cat", Median(user) / cat.median().cpu,
                   "cat");
  }
  // The floors: no reader can go below finding the file's lines, nor below
  // writing to memory the bytes that the registry keeps.
  report.compare("  floor: the file's lines found, block by block / cat", lineScan.median(),
                 cat.median(), "cat");
  report.compare("  floor: the file's bytes put into a registry's store / cat", memoryFill.median(),
                 cat.median(), "cat");
  report.ratio("save / cp", save.median(), cp.median(), 4, "cp");
  report.compare("  written in pieces / cp", pieceSave.median(), cp.median(), "cp");
  report.compare("save / (cp, then sync), for comparison", save.median(), cpSync.median(),
                 "cp+sync");
  report.line("peak memory of a load: " + FormatMegabytes(loads.peakBytes()) +
              "; of a load and save: " + FormatMegabytes(saves.peakBytes()));
  report.line(
      "of the file read block by block: " + FormatMegabytes(blockLoads.peakBytes()) +
      "; of a load and the registry written in pieces: " + FormatMegabytes(pieceSaves.peakBytes()));
  report.limit("peak memory of a load / file size", loads.peakBytes() / static_cast<double>(bytes),
               1.5, "the file");
  // The floor: what the registry's keys, records and data bytes take at the
  // least, without the allocator's headers or the program itself.
  double least = loads.reports.empty() ? 0 : Figure(loads.reports.back(), "least_bytes");
  report.compare("  the registry's own objects and bytes at the least / file size",
                 least / static_cast<double>(bytes), "the file");
  report.limit("peak memory of a load and save / file size",
               saves.peakBytes() / static_cast<double>(bytes), 2, "the file");
  return report.allMet();
}

bool LoadGrowth(const BenchOptions& options, const fs::path& scratch) {
  size_t smallBytes = options.quick ? 100000 : 10000000;
  RegistryShape smallShape = ShapeForBytes(smallBytes);
  RegistryShape largeShape = ShapeForBytes(smallBytes * 10);
  fs::path smallFolder = MakeMachine(scratch / "small", smallShape);
  fs::path largeFolder = MakeMachine(scratch / "ten-times", largeShape);

  ChildRuns smallLoads{"load", smallFolder, smallShape, scratch / "small.out", {}, {}, {}};
  ChildRuns largeLoads{"load", largeFolder, largeShape, scratch / "large.out", {}, {}, {}};
  Measure small{"small", [&] { return smallLoads.once("load"); }, {}};
  Measure large{"large", [&] { return largeLoads.once("load"); }, {}};
  RunRounds({&small, &large}, options.rounds);

  double smallSize = static_cast<double>(fs::file_size(smallFolder / "registry.reg"));
  double largeSize = static_cast<double>(fs::file_size(largeFolder / "registry.reg"));
  Report report("Growth of the REGEDIT4 load: " + FormatMegabytes(smallSize) + " and " +
                    FormatMegabytes(largeSize) + " (medians of " + std::to_string(options.rounds) +
                    " rounds)",
                !options.quick);
  report.throughput("load of " + FormatMegabytes(smallSize), small.median(),
                    static_cast<size_t>(smallSize));
  report.throughput("load of " + FormatMegabytes(largeSize), large.median(),
                    static_cast<size_t>(largeSize));
  // The two files are ten times apart only roughly: the time is scaled to
  // exactly ten times the bytes.
  double scale = 10 / (largeSize / smallSize);
  report.limit("processor time for ten times the bytes",
               large.median().cpu / small.median().cpu * scale, 11, "the time");
  report.compare("  wall clock, for comparison", large.median().wall / small.median().wall * scale,
                 "the time");
  return report.allMet();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--child") {
    return BenchmarkMain(argc, argv, true, [](const BenchOptions& options) {
      const std::string& mode = options.rest.size() == 3 ? options.rest[1] : "";
      if (mode != "load" && mode != "save" && mode != "blocks" && mode != "build" &&
          mode != "pieces" && mode != "lines" && mode != "memory") {
        throw std::invalid_argument(
            "--child takes load, save, blocks, build, pieces, lines or memory and a machine "
            "folder");
      }
      RunChild(mode, options.rest[2]);
      // Its own peak (a save told it before the measures that follow it).
      if (mode != "save") TellParent("peak_kilobytes", OwnPeakKilobytes());
      return true;
    });
  }
  return BenchmarkMain(argc, argv, false, [](const BenchOptions& options) {
    ScratchFolder scratch(options.scratch);
    bool met = LoadAndSave(options, scratch.path());
    return LoadGrowth(options, scratch.path()) && met;
  });
}
