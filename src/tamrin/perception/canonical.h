// Canonical atom ranks: an atom order that depends only on the graph and the
// atom and bond properties that a writer puts out, never on the input order.
#pragma once

#include <limits>
#include <vector>

namespace Tamrin {

class QvGraphView;
class QvMolBase;

// What the ranking looks at besides the graph, element, charge, hydrogen
// count (implicit), aromatic flags and bond orders.
enum QvRankOptions : unsigned {
  QvRankIsotopes = 0x1,    // mass numbers
  QvRankAtomStereo = 0x2,  // tetrahedral configurations (stereo.h)
  QvRankBondStereo = 0x4,  // cis/trans configurations (stereo.h)
  QvRankMapIdx = 0x8,      // atom map numbers
  QvRankKekule = 0x10,     // aromatic bonds by their orders, not as aromatic
  QvRankDefault = 0xF,
};

inline constexpr unsigned kQvNoRank = std::numeric_limits<unsigned>::max();

// Ranks 0 to NumAtoms() − 1, indexed by atom index (GetIdx; the vector has
// GetMaxAtomIdx() entries, deleted indices get kQvNoRank).
//
// Atoms start in classes by their invariants (element, isotope, charge,
// implicit hydrogens, explicit degree, aromatic flag, ring flag as currently
// set, map index), which are refined by the sorted classes of their
// neighbours and bond codes until stable. Stereo, when asked for and
// present, then adds each centre's configuration seen from its neighbours'
// classes (each double bond's from the lowest-class substituent at each
// end), once those are distinct, and refinement continues.
//
// Remaining ties among atoms that no configuration depends on are broken by
// moving the first atom of the lowest tied class ahead and refining again,
// which is deterministic and, for atoms related by symmetry, gives the same
// labelled graph whichever was picked. A tie that keeps a configuration
// from being read (the ring neighbours of a cis-1,4-disubstituted
// cyclohexane carbon, the ring atoms of an inositol) is searched: each atom
// of the tied class goes first in turn, only those with the smallest
// refined classes and configurations are followed to a full labelling, and
// the labelling with the smallest configurations wins. Atoms alike in the
// graph may differ in hand, so this is what makes the ranks independent of
// the input order with stereo. The search is bounded (a few hundred full
// labellings per molecule); past that it follows one candidate.
//
// Each refinement round sorts the tied classes only, O(t log t) for t tied
// atoms; rounds are few in practice.
std::vector<unsigned> QvCanonicalRanks(const QvMolBase& mol, unsigned options = QvRankDefault);
// The same ranks indexed by position in `view` (QvGraphView numbering).
std::vector<unsigned> QvCanonicalRanks(const QvGraphView& view, unsigned options = QvRankDefault);

}  // namespace Tamrin
