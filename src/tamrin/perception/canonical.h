// Canonical atom ranks: an atom order that depends only on the graph and the
// atom and bond properties that a writer puts out, never on the input order.
#pragma once

#include <limits>
#include <vector>

namespace Tamrin {

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
// present, then adds each centre's parity seen from its neighbours' classes
// (only where those are all distinct) and refinement continues. Remaining
// ties are broken by moving the first atom of the lowest tied class ahead
// and refining again, which is deterministic and, for atoms related by
// symmetry, gives the same labelled graph whichever was picked. When the
// molecule carries stereo that the options look at, every atom of the tied
// class is tried instead and the one whose parities, listed by class, come
// out smallest is kept: atoms alike in the graph may differ in hand. Each
// round is a sort, O(n log n); rounds are at most n, few in practice; the
// stereo tie-breaks multiply a round by the size of the tied class.
std::vector<unsigned> QvCanonicalRanks(const QvMolBase& mol, unsigned options = QvRankDefault);

}  // namespace Tamrin
