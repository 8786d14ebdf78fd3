// A dense, read-only picture of a molecule's graph for the perception passes:
// undeleted atoms and bonds numbered 0..n-1 in list order, with an adjacency
// table, so that the passes index plain vectors instead of chasing records.
// Built in O(atoms + bonds); valid until the molecule's graph changes.
#pragma once

#include <limits>
#include <span>
#include <vector>

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;

inline constexpr unsigned kQvNoPos = std::numeric_limits<unsigned>::max();

class QvGraphView {
 public:
  struct Arc {
    unsigned nbr;   // position of the other atom
    unsigned bond;  // position of the bond
  };

  explicit QvGraphView(const QvMolBase& mol);

  unsigned NumAtoms() const { return static_cast<unsigned>(atoms_.size()); }
  unsigned NumBonds() const { return static_cast<unsigned>(bonds_.size()); }
  QvAtomBase* Atom(unsigned pos) const { return atoms_[pos]; }
  // Bonds with both ends set; bonds with an empty end are left out.
  QvBondBase* Bond(unsigned pos) const { return bonds_[pos]; }
  // kQvNoPos for atoms or bonds of another molecule, deleted or left out.
  unsigned Pos(const QvAtomBase* atom) const;
  unsigned Pos(const QvBondBase* bond) const;
  unsigned BondBgn(unsigned bond) const { return ends_[2 * bond]; }
  unsigned BondEnd(unsigned bond) const { return ends_[2 * bond + 1]; }
  unsigned Other(unsigned bond, unsigned atom) const {
    return BondBgn(bond) == atom ? BondEnd(bond) : BondBgn(bond);
  }
  // The arcs of an atom, in the order of its bond list.
  std::span<const Arc> Arcs(unsigned atom) const {
    return {arcs_.data() + start_[atom], arcs_.data() + start_[atom + 1]};
  }
  unsigned Degree(unsigned atom) const { return start_[atom + 1] - start_[atom]; }

 private:
  const QvMolBase* mol_;
  std::vector<QvAtomBase*> atoms_;
  std::vector<QvBondBase*> bonds_;
  std::vector<unsigned> atom_pos_;  // by atom index
  std::vector<unsigned> bond_pos_;  // by bond index
  std::vector<unsigned> ends_;
  std::vector<unsigned> start_;
  std::vector<Arc> arcs_;
};

}  // namespace Tamrin
