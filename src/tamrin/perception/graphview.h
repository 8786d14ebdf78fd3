// A dense, read-only picture of a molecule's graph for the perception passes:
// undeleted atoms and bonds numbered 0..n-1 in list order, with an adjacency
// table, so that the passes index plain vectors instead of chasing records.
// Built in O(atoms + bonds); valid until the molecule's graph changes.
// Passes build views one after another on every record of a file, so a
// finished view hands its storage on to the next view of its thread.
#pragma once

#include <limits>
#include <memory>
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
    bool operator==(const Arc&) const = default;
  };

  // The shape of a view, to keep and compare with later views (SameShape).
  struct Shape {
    std::vector<unsigned> ends, start;
    std::vector<Arc> arcs;
  };

  explicit QvGraphView(const QvMolBase& mol);
  ~QvGraphView();
  QvGraphView(const QvGraphView&) = delete;
  QvGraphView& operator=(const QvGraphView&) = delete;

  unsigned NumAtoms() const { return static_cast<unsigned>(s_->atoms.size()); }
  unsigned NumBonds() const { return static_cast<unsigned>(s_->bonds.size()); }
  QvAtomBase* Atom(unsigned pos) const { return s_->atoms[pos]; }
  // Bonds with both ends set; bonds with an empty end are left out.
  QvBondBase* Bond(unsigned pos) const { return s_->bonds[pos]; }
  // All of them, by position.
  std::span<QvAtomBase* const> Atoms() const { return s_->atoms; }
  std::span<QvBondBase* const> Bonds() const { return s_->bonds; }
  // kQvNoPos for atoms or bonds of another molecule, deleted or left out.
  unsigned Pos(const QvAtomBase* atom) const;
  unsigned Pos(const QvBondBase* bond) const;
  unsigned BondBgn(unsigned bond) const { return s_->shape.ends[2 * bond]; }
  unsigned BondEnd(unsigned bond) const { return s_->shape.ends[2 * bond + 1]; }
  unsigned Other(unsigned bond, unsigned atom) const {
    return BondBgn(bond) == atom ? BondEnd(bond) : BondBgn(bond);
  }
  // The arcs of an atom, in the order of its bond list.
  std::span<const Arc> Arcs(unsigned atom) const {
    const Shape& shape = s_->shape;
    return {shape.arcs.data() + shape.start[atom], shape.arcs.data() + shape.start[atom + 1]};
  }
  unsigned Degree(unsigned atom) const { return s_->shape.start[atom + 1] - s_->shape.start[atom]; }

  // The shape: as many atoms and bonds, the same ends and the same arcs in
  // the same order, whatever molecule a view is of. A pass that reads only
  // the shape gives views of one shape the same answer.
  const Shape& GetShape() const { return s_->shape; }
  bool SameShape(const Shape& shape) const;
  // A number that no other view of this thread has had: a pass that kept
  // an answer for a view knows it is asked again about the same view.
  unsigned long long Serial() const { return s_->serial; }
  // The shape the view of this thread with `serial` had, while that view is
  // the last of the thread to have gone; null otherwise. A pass that kept an
  // answer for that view compares it with a new one without a copy.
  static const Shape* FinishedShape(unsigned long long serial);

  struct Storage {
    std::vector<QvAtomBase*> atoms;
    std::vector<QvBondBase*> bonds;
    std::vector<unsigned> atom_pos;  // by atom index
    std::vector<unsigned> bond_pos;  // by bond index
    Shape shape;
    unsigned long long serial = 0;
    std::vector<unsigned> next_arc;  // scratch of the constructor
  };

 private:
  bool ArcsInBondOrder();

  std::unique_ptr<Storage> s_;
};

}  // namespace Tamrin
