// Where the time of reading a molecule file goes: reading with every step of
// the stream, then each perception pass alone over all molecules read.
//
//   nimbrel_bench_perception FILE           reading, then the passes one by one
//   nimbrel_bench_perception FILE profile   reading only, five times (for perf)
//
// Output: one line per workload, microseconds per molecule. Reading is the
// best of five rounds into one reused molecule; each pass runs once over the
// molecules kept from the first round, which no longer sit in the cache as
// they do right after reading, so the passes read slower here than inside
// the reader. Exit status 1 when the file has no molecule.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "tamrin/model/graphmol.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/graphview.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereoperception.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

using Clock = std::chrono::steady_clock;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

double MicrosecondsSince(Clock::time_point start, size_t count) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / static_cast<double>(count);
}

// Reads the file into one reused molecule; keeps a copy of each when asked.
size_t ReadAll(const char* path, std::vector<QvGraphMol>* kept) {
  Tamrin::qvmolistream in;
  if (!in.open(path)) return 0;
  QvGraphMol mol;
  size_t count = 0;
  while (Tamrin::QvReadMolecule(in, mol.GetMol())) {
    ++count;
    if (kept) kept->push_back(mol);
    mol.Clear();
  }
  return count;
}

void TimePass(const char* name, std::vector<QvGraphMol>& mols, const std::function<void(QvMolBase&)>& pass) {
  const Clock::time_point start = Clock::now();
  for (QvGraphMol& mol : mols) pass(mol.GetMol());
  std::printf("%-32s %8.2f us/mol\n", name, MicrosecondsSince(start, mols.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: nimbrel_bench_perception FILE [profile]\n");
    return 2;
  }
  const char* path = argv[1];
  constexpr int kRounds = 5;
  if (argc > 2) {
    for (int round = 0; round < kRounds; ++round) ReadAll(path, nullptr);
    return 0;
  }
  std::vector<QvGraphMol> mols;
  double best = 0;
  for (int round = 0; round < kRounds; ++round) {
    const Clock::time_point start = Clock::now();
    const size_t count = ReadAll(path, round == 0 ? &mols : nullptr);
    if (count == 0) return 1;
    const double us = MicrosecondsSince(start, count);
    best = round == 0 ? us : std::min(best, us);
  }
  std::printf("%-32s %8.2f us/mol (%zu molecules)\n", "read, all steps (best round)", best, mols.size());

  TimePass("graph view", mols, [](QvMolBase& mol) { Tamrin::QvGraphView view(mol); });
  TimePass("ring flags", mols, [](QvMolBase& mol) { Tamrin::QvPerceiveRings(mol); });
  // Each molecule asked once after another one: the rings of the molecule
  // before are no answer.
  TimePass("smallest rings", mols, [](QvMolBase& mol) { Tamrin::QvFindSSSR(mol); });
  TimePass("stereo candidates", mols, [](QvMolBase& mol) { Tamrin::QvFindStereoCandidates(mol); });
  TimePass("aromaticity, model 5", mols, [](QvMolBase& mol) { Tamrin::QvPerceiveAromaticity(mol, 5u); });
  TimePass("aromaticity, model 2", mols, [](QvMolBase& mol) { Tamrin::QvPerceiveAromaticity(mol, 2u); });
  TimePass("double-bond stereo from layout", mols, [](QvMolBase& mol) {
    Tamrin::QvPerceiveBondStereoFromCoords(mol, [](const Tamrin::QvBondBase&) { return false; });
  });
  return 0;
}
