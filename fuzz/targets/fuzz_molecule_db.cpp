// Arbitrary bytes as a molecule database file: opening must refuse what does
// not check, and whatever opens must read, screen and search within bounds.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tamrin/model/model.h"
#include "tamrin/search/database.h"
#include "silence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  // The map a file gives is page-aligned; so is this copy, as far as the
  // reader's 8-byte fields care.
  std::vector<std::uint64_t> aligned((size + 7) / 8);
  if (size) std::memcpy(aligned.data(), data, size);
  Tamrin::QvMoleculeDB db;
  std::string error;
  if (!db.OpenBytes(aligned.data(), size, error)) return 0;
  Tamrin::QvFingerprint query{};
  for (std::size_t i = 0; i < db.Size() && i < 64; ++i) {
    Tamrin::QvGraphMol mol;
    db.Get(i, mol.GetMol());
    Tamrin::QvFingerprint screen;
    db.Screen(i, screen);
    for (unsigned w = 0; w < Tamrin::kQvFingerprintWords; ++w) query[w] ^= screen[w] & db.Similarity(i)[w];
  }
  std::vector<std::size_t> candidates;
  db.Candidates(query, 0, db.Size(), candidates);
  std::vector<std::pair<std::size_t, double>> hits;
  db.Similar(query, 0.5, 1, db.Size(), hits);
  db.TopK(query, 3);
  return 0;
}
