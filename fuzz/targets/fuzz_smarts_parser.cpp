// Arbitrary bytes as SMARTS. Whatever parses is written back, the written
// text must parse again to the same text, and the query is matched against
// a few fixed molecules in both modes, and with stereo, so the matcher
// meets every shape of expression the parser can build.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/search/smarts.h"
#include "tamrin/search/substructure.h"
#include "silence.h"

namespace {

const Tamrin::QvGraphMol& Target(unsigned which) {
  static const Tamrin::QvGraphMol* mols = [] {
    static const char* const kSmiles[] = {"CC(=O)Nc1ccc(O)cc1", "C1CC2CCC1C2[N+](C)(C)[O-]", "[2H]OC#N.Cl",
                                          "C/C=C/[C@@H](N)[C@]1(O)CC[S@@](=O)C1.F\\C=C/Cl"};
    auto* out = new Tamrin::QvGraphMol[4];
    for (unsigned i = 0; i < 4; ++i) {
      Tamrin::QvParseSmiles(out[i], kSmiles[i], false, false);
      if (i != 1) Tamrin::QvPerceiveAromaticity(out[i], 2);  // the second keeps its rings unperceived
    }
    return out;
  }();
  return mols[which % 4];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SilenceToolkitMessages();
  const std::string text(reinterpret_cast<const char*>(data), size);
  Tamrin::QvQuery query;
  std::string error;
  if (!query.FromSmarts(text, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const std::string written = query.Smarts();
  const bool recursive = written.find("$(") != std::string::npos;
  Tamrin::QvQuery again;
  if (!again.FromSmarts(written, &error) || again.Smarts() != written) std::abort();
  // Without stereo on every molecule, with stereo on the one that has some:
  // a query that cannot match may cost a search its whole step budget, so
  // an input pays for no more searches than it needs.
  for (unsigned i = 0; i < 5; ++i) {
    const Tamrin::QvMatchOptions options{i == 4};
    const Tamrin::QvGraphMol& target = Target(options.stereo ? 3 : i);
    const bool any = Tamrin::QvMatches(query, target, options);
    // Both searches for sets of atoms: a search for every order of them may
    // run out of steps before the first match, where this one does not.
    if (any != !Tamrin::QvFindMatches(query, target, 1, true, options).empty()) std::abort();
    // Stereo only narrows: what matches with it matches without. Not so
    // under a recursive part, which a negation may turn around.
    if (options.stereo && any && !recursive && !Tamrin::QvMatches(query, target)) std::abort();
    Tamrin::QvFindMatches(query, target, 50, true, options);
  }
  return 0;
}
