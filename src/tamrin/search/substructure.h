// Substructure matching of a compiled query against perceived molecules.
//
// The target molecule is read as it stands: aromatic flags come from whatever
// aromaticity model the caller perceived (the readers' default is the Hückel
// model), ring membership from the ring flags when perception bit
// QvPerceivedRings is set and from the smallest set of smallest rings
// otherwise, which also gives the R<n> and r<n> counts. Hydrogens are matched
// as the molecule holds them: H<n> counts implicit hydrogens and hydrogen
// neighbours, while a query atom [#1] only maps to a hydrogen atom. Bond
// orders are the Kekulé orders; aromatic bonds match ':' and the default
// bond, never '-' or '='.
//
// Stereo counts only when asked for (QvMatchOptions::stereo), as in RDKit's
// matching with chirality: then a query atom marked @ or @@ with three or
// four query neighbours maps only to an atom whose stored configuration
// (tamrin/perception/stereo.h) reads the same along the mapped neighbours,
// and a query double bond with a / or \ neighbour at each end only to a
// double bond with the same cis/trans of the mapped neighbours. Atoms and
// bonds of the molecule without a configuration match no such query atom or
// bond; query atoms and bonds without marks match any. A marked query atom
// with fewer or more query neighbours needs only some configuration. An atom
// takes its hand from the first mark in its expression outside a '!'
// ([C@,N@@] reads as @). The marks are checked once all atoms are placed,
// in $(...) queries too. Component-level groups always count: checked as
// each fragment's first atom is placed.
//
// Matching is depth-first over a fixed order of the query atoms chosen at
// compile time (VF2-style): each component starts at its most selective atom
// and every later atom is a neighbour of one already placed, so candidates
// come from one target atom's bonds, and the bonds back to other placed
// atoms are checked as soon as an atom is placed. A query that needs more
// atoms of some element than the target has is refused before any search.
// $(...) results are kept per target atom for the duration of one call.
//
// A search looks at no more than kQvMaxMatchSteps candidate atoms (well
// under a second). Ordinary queries need a tiny fraction of that; a query of
// many unconstrained atoms can need more than factorially many against a
// large molecule, and is cut off there: QvMatches then says false and
// QvFindMatches gives the matches found so far. Unconnected query atoms
// with the same expression are placed in one order only when only sets of
// atoms count (QvMatches, unique matches), so "*.*.*" costs no more than the
// sets it finds.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tamrin/search/qmol.h"

namespace Tamrin {

class QvMolBase;

inline constexpr std::size_t kQvMaxMatchSteps = std::size_t{1} << 20;

struct QvMatchOptions {
  bool stereo = false;  // @ @@ / \ constrain the match
};

class QvQuery {
 public:
  QvQuery();
  ~QvQuery();
  QvQuery(QvQuery&&) noexcept;
  QvQuery& operator=(QvQuery&&) noexcept;
  // Compiles `mol`; `anchored` makes its atom 0 the first atom placed, as a
  // $(...) query needs.
  explicit QvQuery(QvQMolBase mol, bool anchored = false);

  // Parses and compiles SMARTS; false with `error` set on bad text (smarts.h).
  bool FromSmarts(std::string_view text, std::string* error = nullptr);
  const QvQMolBase& Mol() const { return mol_; }
  std::string Smarts() const;

  struct Plan;
  const Plan& GetPlan() const { return *plan_; }

 private:
  QvQMolBase mol_;
  std::unique_ptr<Plan> plan_;
};

// True when the query maps into `mol` at least once.
bool QvMatches(const QvQuery& query, const QvMolBase& mol, QvMatchOptions options = {});

// The positions in `mols` of the molecules the query maps into, in order:
// QvMatches over a whole set. A large set does not fit in cache, so a match
// would wait on memory for each molecule, its atom list and its atoms; this
// fetches them a few molecules ahead while it matches the current one.
std::vector<std::size_t> QvFilter(const QvQuery& query, std::span<const QvMolBase* const> mols,
                                  QvMatchOptions options = {});

// The matches as target atom indices (GetIdx), one entry per query atom in
// query order. `unique` keeps one match per set of target atoms (the first
// found); `limit` stops after that many matches (0: no limit).
std::vector<std::vector<unsigned>> QvFindMatches(const QvQuery& query, const QvMolBase& mol, unsigned limit = 0,
                                                 bool unique = true, QvMatchOptions options = {});

}  // namespace Tamrin
