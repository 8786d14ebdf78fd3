// Arbitrary bytes as a CUBE file: written to a temporary file, opened through
// the handler and read to the end. A record that reads is written back and
// read again when it is small, so the writer meets whatever the reader lets
// through. Refusals (velk::Error) are expected; anything else is a finding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sorvil/grid/scalargrid.h"
#include "tamrin/model/graphmol.h"
#include "velk/builtin/cube_handler.h"
#include "velk/errors.h"

namespace {

// One scratch folder per process, removed at exit.
const std::string& Scratch() {
  static const std::string dir = [] {
    std::string pattern = "/tmp/fuzz-cube-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  static const struct Cleanup {
    ~Cleanup() {
      std::remove((dir + "/in.cube").c_str());
      std::remove((dir + "/out.cube").c_str());
      rmdir(dir.c_str());
    }
  } cleanup;
  return dir;
}

bool Put(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool ok = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && ok;
}

// Reads every record; the grids of the first, if any.
std::vector<Sorvil::QvScalarGrid> ReadAll(const std::string& path, Tamrin::QvGraphMol& mol) {
  velk::builtin::CubeHandler handler;
  auto source = handler.open_reader(path, {});
  std::vector<Sorvil::QvScalarGrid> first, grids;
  bool any = false;
  try {
    while (source->next(mol.GetMol(), grids)) {
      if (!any) first = grids;
      any = true;
    }
  } catch (const velk::Error&) {
  }
  return first;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string in = Scratch() + "/in.cube";
  const std::string out = Scratch() + "/out.cube";
  if (!Put(in, data, size)) return 0;
  Tamrin::QvGraphMol mol;
  const std::vector<Sorvil::QvScalarGrid> grids = ReadAll(in, mol);
  size_t values = 0;
  for (const auto& g : grids) values += g.GetSize();
  if (grids.empty() || values > 100000) return 0;
  std::vector<const Sorvil::QvScalarGrid*> pointers;
  for (const auto& g : grids) pointers.push_back(&g);
  try {
    velk::builtin::CubeHandler().open_writer(out, {})->append(mol, pointers);
  } catch (const velk::Error&) {
  }
  Tamrin::QvGraphMol again;
  ReadAll(out, again);
  return 0;
}
