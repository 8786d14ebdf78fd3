// The molecule interface: a graph of atoms and bonds with coordinates, a
// title, a dimension, an energy, perception bits and generic data.
//
// Atoms and bonds get index numbers from counters that only Sweep and Clear
// reset, so an index is never reused while its record may still be around.
// Deleting keeps the record (marked deleted, skipped by the iterators) until
// Sweep compacts the lists and renumbers. Coordinates are stored by atom
// index, not by list position.
#pragma once

#include <string>
#include <vector>

#include "sorvil/base/qvbase.h"
#include "tamrin/model/atombase.h"
#include "tamrin/model/bondbase.h"
#include "tamrin/model/perceived.h"
#include "tamrin/model/ranges.h"

namespace Tamrin {

using QvAtomVector = std::vector<QvAtomBase*>;
using QvBondVector = std::vector<QvBondBase*>;
using QvAtomRange = QvListRange<QvAtomBase, QvAtomVector>;
using QvConstAtomRange = QvListRange<const QvAtomBase, QvAtomVector>;
using QvBondRange = QvListRange<QvBondBase, QvBondVector>;
using QvConstBondRange = QvListRange<const QvBondBase, QvBondVector>;

// Titles longer than this are cut.
inline constexpr size_t kQvMaxTitleLength = 4091;

class QvMolBase : public Sorvil::QvBase {
  QV_DECLARE_TYPE("Tamrin::QvMolBase", Sorvil::QvBase)

 public:
  // Undeleted atoms and bonds.
  virtual unsigned NumAtoms() const = 0;
  virtual unsigned NumBonds() const = 0;
  // True when at least one undeleted atom exists.
  virtual bool HasAtoms() const = 0;

  // The energy is kept in single precision; setting it sets QvPerceivedEnergy.
  virtual bool SetEnergy(double energy) = 0;
  virtual bool SetEnergy(float energy) = 0;
  // Titles are cut to their first kQvMaxTitleLength characters.
  virtual bool SetTitle(const std::string& title) = 0;
  virtual bool SetTitle(const char* title) = 0;

  // Whole-molecule coordinates: x, y, z for each atom index from 0 to
  // GetMaxAtomIdx() - 1 (3 * GetMaxAtomIdx() values), deleted indices included.
  virtual bool SetCoords(const float* xyz) = 0;
  virtual bool SetCoords(const double* xyz) = 0;
  // One atom's coordinates; false for an atom of another molecule.
  virtual bool SetCoords(const QvAtomBase* atom, const float* xyz) = 0;
  virtual bool SetCoords(const QvAtomBase* atom, const double* xyz) = 0;
  // Zeroes every coordinate and sets the dimension to 0.
  virtual void ClearCoords() = 0;

  virtual float GetEnergy() const = 0;
  // One past the highest atom or bond index given out.
  virtual unsigned GetMaxAtomIdx() const = 0;
  virtual unsigned GetMaxBondIdx() const = 0;
  virtual const char* GetTitle() const = 0;

  // Coordinates never written read as 0.
  virtual bool GetCoords(double* xyz) const = 0;
  virtual bool GetCoords(float* xyz) const = 0;
  virtual bool GetCoords(const QvAtomBase* atom, double* xyz) const = 0;
  virtual bool GetCoords(const QvAtomBase* atom, float* xyz) const = 0;

  virtual QvAtomBase* NewAtom(unsigned atomic_num) = 0;
  // A new atom with the properties and generic data of `source` (any molecule's).
  virtual QvAtomBase* NewAtom(const QvAtomBase& source) = 0;
  // Either end may be null and attached later (QvBondBase::SetBgn/SetEnd).
  // Null when an end is deleted or of another molecule, or both ends are one atom.
  virtual QvBondBase* NewBond(QvAtomBase* bgn, QvAtomBase* end, unsigned order) = 0;
  // False, changing nothing, for a record of another molecule or one already deleted.
  virtual bool DeleteAtom(QvAtomBase* atom) = 0;
  virtual bool DeleteBond(QvBondBase* bond) = 0;
  // Destroys deleted atoms and bonds and renumbers what remains densely.
  virtual bool Sweep() = 0;

  // 0 (no coordinates), 2 or 3; other values are refused.
  virtual bool SetDimension(unsigned dimension) = 0;
  virtual unsigned GetDimension() const = 0;
  // True when every bit of `mask` is set.
  virtual bool HasPerceived(unsigned mask) const = 0;
  virtual void SetPerceived(unsigned mask, bool on) = 0;
  virtual void ClearPerceived() = 0;

  // Makes this molecule a copy of `source`: its undeleted atoms and bonds
  // (renumbered in list order), coordinates, title, energy, dimension and data.
  virtual bool Copy(const QvMolBase& source) = 0;

  // Every atom or bond record, deleted ones included, in creation order, and
  // how many of them are deleted.
  virtual const QvAtomVector& AtomList() const = 0;
  virtual const QvBondVector& BondList() const = 0;
  virtual const unsigned& DeletedAtomCount() const = 0;
  virtual const unsigned& DeletedBondCount() const = 0;
  // True when `record` is an atom or bond of this molecule that has not been
  // destroyed (by Sweep or Clear). For callers holding pointers they cannot
  // vouch for, such as the Python binding.
  virtual bool OwnsAtom(const void* record) const = 0;
  virtual bool OwnsBond(const void* record) const = 0;

  // Undeleted atoms and bonds in creation order, optionally only those for
  // which `pred(const QvAtomBase&)` or `pred(const QvBondBase&)` holds.
  QvAtomRange GetAtoms() { return {AtomList(), DeletedAtomCount()}; }
  QvConstAtomRange GetAtoms() const { return {AtomList(), DeletedAtomCount()}; }
  QvBondRange GetBonds() { return {BondList(), DeletedBondCount()}; }
  QvConstBondRange GetBonds() const { return {BondList(), DeletedBondCount()}; }
  template <class Pred>
  QvFilteredRange<QvAtomRange, Pred> GetAtoms(Pred pred) {
    return {GetAtoms(), std::move(pred)};
  }
  template <class Pred>
  QvFilteredRange<QvConstAtomRange, Pred> GetAtoms(Pred pred) const {
    return {GetAtoms(), std::move(pred)};
  }
  template <class Pred>
  QvFilteredRange<QvBondRange, Pred> GetBonds(Pred pred) {
    return {GetBonds(), std::move(pred)};
  }
  template <class Pred>
  QvFilteredRange<QvConstBondRange, Pred> GetBonds(Pred pred) const {
    return {GetBonds(), std::move(pred)};
  }
  // The first undeleted atom or bond satisfying `pred`, or null.
  template <class Pred>
  QvAtomBase* GetAtom(Pred pred) const {
    for (QvAtomBase* atom : AtomList())
      if (!atom->IsDeleted() && pred(std::as_const(*atom))) return atom;
    return nullptr;
  }
  template <class Pred>
  QvBondBase* GetBond(Pred pred) const {
    for (QvBondBase* bond : BondList())
      if (!bond->IsDeleted() && pred(std::as_const(*bond))) return bond;
    return nullptr;
  }
  // The undeleted bond joining `a` and `b`, or null.
  QvBondBase* GetBond(const QvAtomBase* a, const QvAtomBase* b) const;
};

// Predicates for GetAtoms, GetBonds, GetAtom and GetBond.
struct QvHasAtomicNum {
  unsigned atomic_num;
  bool operator()(const QvAtomBase& atom) const { return atom.GetAtomicNum() == atomic_num; }
};
struct QvHasAtomIdx {
  unsigned idx;
  bool operator()(const QvAtomBase& atom) const { return atom.GetIdx() == idx; }
};
struct QvHasBondIdx {
  unsigned idx;
  bool operator()(const QvBondBase& bond) const { return bond.GetIdx() == idx; }
};
struct QvHasOrder {
  unsigned order;
  bool operator()(const QvBondBase& bond) const { return bond.GetOrder() == order; }
};

}  // namespace Tamrin
