// Times one reader or writer of the format registry on one file, the way a
// user's program drives it, so that two builds can be compared side by side:
//
//   nimbrel_bench_formats read FILE [ROUNDS [FLAVOR]]
//                                                   read every record, with the
//                                                   input flavor FLAVOR (0x16)
//                                                   rather than the format's own
//   nimbrel_bench_formats write IN OUT [ROUNDS]     read IN into memory once,
//                                                   then time writing OUT
//
// Output: "records <n> atoms <n> best <seconds> MB/s <rate>", the rate taken
// over the size of FILE (read) or of OUT (write). Times are the process's
// processor time, which other programs on a busy machine disturb less than
// the wall clock. Exit status 1 when a file
// cannot be opened, 2 on a usage error.
#include <sys/stat.h>

#include <any>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/tamrin_config.h"
#include "velk/errors.h"
#include "velk/formatregistry.h"

namespace {

struct Record {
  Tamrin::QvGraphMol mol;
  std::vector<Sorvil::QvScalarGrid> grids;
};

velk::FormatHandler& HandlerFor(const std::string& path) {
  velk::FormatHandler* handler = velk::FormatRegistry::instance().handler_for_path(path);
  if (!handler) {
    std::fprintf(stderr, "no format for %s\n", path.c_str());
    std::exit(2);
  }
  return *handler;
}

double FileMB(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) / 1e6 : 0.0;
}

double Seconds(std::clock_t since) { return static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC; }

// Reads every record; with `keep` the records are returned.
std::vector<Record> ReadAll(const std::string& path, bool keep, unsigned long& records, unsigned long& atoms,
                            unsigned flavor = 0) {
  std::any config;
  if (flavor != 0) config = velk::tamrin::ReaderConfig{.iflavor = flavor};
  std::unique_ptr<velk::MolSource> source = HandlerFor(path).open_reader(path, config);
  std::vector<Record> kept;
  Record r;
  records = atoms = 0;
  while (source->next(r.mol, r.grids)) {
    ++records;
    atoms += r.mol.NumAtoms();
    if (keep) kept.push_back(r);
  }
  return kept;
}

void WriteAll(const std::string& path, const std::vector<Record>& records) {
  std::unique_ptr<velk::MolSink> sink = HandlerFor(path).open_writer(path, {});
  for (const Record& r : records) {
    std::vector<const Sorvil::QvScalarGrid*> grids;
    for (const Sorvil::QvScalarGrid& g : r.grids) grids.push_back(&g);
    if (grids.empty()) {
      sink->append(r.mol.GetMol());
    } else {
      sink->append(r.mol.GetMol(), grids);
    }
  }
  sink->close();
}

int Usage() {
  std::fprintf(stderr, "usage: nimbrel_bench_formats read FILE [ROUNDS [FLAVOR]] | write IN OUT [ROUNDS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const bool write = std::strcmp(argv[1], "write") == 0;
  if (!write && std::strcmp(argv[1], "read") != 0) return Usage();
  if (write && argc < 4) return Usage();
  const int rounds_arg = write ? 4 : 3;
  const int rounds = argc > rounds_arg ? std::atoi(argv[rounds_arg]) : 5;
  const unsigned flavor = !write && argc > 4 ? static_cast<unsigned>(std::strtoul(argv[4], nullptr, 0)) : 0;
  try {
    unsigned long records = 0, atoms = 0;
    double best = 1e300;
    std::vector<Record> input;
    if (write) input = ReadAll(argv[2], true, records, atoms);
    for (int i = 0; i < rounds; ++i) {
      const std::clock_t start = std::clock();
      if (write) {
        WriteAll(argv[3], input);
      } else {
        ReadAll(argv[2], false, records, atoms, flavor);
      }
      const double t = Seconds(start);
      if (t < best) best = t;
    }
    const double mb = FileMB(write ? argv[3] : argv[2]);
    std::printf("records %lu atoms %lu best %.4f MB/s %.1f\n", records, atoms, best, mb / best);
  } catch (const velk::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
