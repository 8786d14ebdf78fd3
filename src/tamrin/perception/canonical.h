// Canonical atom ranks: an atom order that depends only on the graph and the
// atom and bond properties that a writer puts out, never on the input order.
#pragma once

#include <limits>
#include <span>
#include <vector>

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
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

// The graph that ranks (and the SMILES writer's walk) look at: atoms at
// positions 0..n-1 in list order, the bonds between them, and per atom the
// hydrogens it carries. With folding, ordinary hydrogen atoms (those
// QvSuppressHydrogens would fold) are left out and counted on their heavy
// atom instead, without touching the molecule; the one such hydrogen of an
// atom then stands for its implicit hydrogen in stereo queries
// (QvGetAtomStereo with the hydrogen atom where the caller means "the
// implicit one"). Built in O(atoms + bonds); valid while the molecule's
// graph is unchanged.
class QvRankGraph {
 public:
  struct Arc {
    unsigned nbr;   // position of the other atom
    unsigned bond;  // position of the bond
  };

  QvRankGraph(const QvMolBase& mol, bool fold_hydrogens, bool keep_isotopic = false);

  unsigned NumAtoms() const { return static_cast<unsigned>(atoms_.size()); }
  unsigned NumBonds() const { return static_cast<unsigned>(bonds_.size()); }
  const QvAtomBase* Atom(unsigned pos) const { return atoms_[pos]; }
  const QvBondBase* Bond(unsigned pos) const { return bonds_[pos]; }
  unsigned BondBgn(unsigned bond) const { return ends_[2 * bond]; }
  unsigned BondEnd(unsigned bond) const { return ends_[2 * bond + 1]; }
  unsigned Other(unsigned bond, unsigned atom) const { return BondBgn(bond) == atom ? BondEnd(bond) : BondBgn(bond); }
  std::span<const Arc> Arcs(unsigned atom) const {
    return {arcs_.data() + start_[atom], arcs_.data() + start_[atom + 1]};
  }
  unsigned Degree(unsigned atom) const { return start_[atom + 1] - start_[atom]; }
  // Implicit hydrogens plus the folded ones.
  unsigned Hydrogens(unsigned atom) const { return hydrogens_[atom]; }
  // What to pass to the stereo queries for the atom's implicit hydrogen:
  // its folded hydrogen atom when it has exactly one hydrogen and that one
  // was folded, else null.
  const QvAtomBase* ImplicitNeighbour(unsigned atom) const { return implicit_[atom]; }

 private:
  std::vector<const QvAtomBase*> atoms_;
  std::vector<unsigned> hydrogens_;
  std::vector<const QvAtomBase*> implicit_;
  std::vector<const QvBondBase*> bonds_;
  std::vector<unsigned> ends_;
  std::vector<unsigned> start_;
  std::vector<Arc> arcs_;
};

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
// the input order with stereo. The search is bounded (200,000 atoms refined
// in all, 16 levels deep); past that a tie goes to its first atom as without
// stereo, deterministic but no longer guaranteed independent of the order.
// Many copies of one marked unit in a molecule get there; drug-like
// molecules stay far below.
//
// Each refinement round sorts the tied classes only, O(t log t) for t tied
// atoms; rounds are as many as the longest path that symmetry leaves
// unbroken (a 2000-atom chain takes about 0.3 s).
std::vector<unsigned> QvCanonicalRanks(const QvMolBase& mol, unsigned options = QvRankDefault);
// Ranks of the atoms of `graph`, indexed by position; the implicit hydrogen
// counts are the graph's.
std::vector<unsigned> QvCanonicalRanks(const QvRankGraph& graph, unsigned options = QvRankDefault);

}  // namespace Tamrin
