// The atom interface. Atoms are made by their molecule (QvMolBase::NewAtom)
// and live in its storage; they are never created or destroyed directly.
#pragma once

#include <cstdint>
#include <string>

#include "sorvil/base/qvbase.h"
#include "tamrin/model/ptrlist.h"
#include "tamrin/model/ranges.h"

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;

using QvBondList = QvPtrList<QvBondBase>;
using QvAtomBondRange = QvListRange<QvBondBase, QvBondList>;
using QvConstAtomBondRange = QvListRange<const QvBondBase, QvBondList>;

// The neighbours of an atom: the other end of each of its undeleted bonds.
template <class A, class BondRange>
class QvNbrRange {
 public:
  class iterator {
    using Inner = decltype(std::declval<const BondRange&>().begin());

   public:
    using value_type = std::remove_const_t<A>;
    using difference_type = std::ptrdiff_t;
    using pointer = A*;
    using reference = A&;
    using iterator_category = std::forward_iterator_tag;

    iterator() = default;
    iterator(Inner it, const QvAtomBase* center) : it_(it), center_(center) {}
    A& operator*() const { return *it_->GetNbr(center_); }
    A* operator->() const { return it_->GetNbr(center_); }
    iterator& operator++() {
      ++it_;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++it_;
      return old;
    }
    bool operator==(const iterator& other) const { return it_ == other.it_; }
    bool operator==(std::default_sentinel_t end) const { return it_ == end; }

   private:
    Inner it_;
    const QvAtomBase* center_ = nullptr;
  };

  QvNbrRange(BondRange bonds, const QvAtomBase* center) : bonds_(bonds), center_(center) {}
  iterator begin() const { return iterator(bonds_.begin(), center_); }
  std::default_sentinel_t end() const { return {}; }

 private:
  BondRange bonds_;
  const QvAtomBase* center_;
};

class QvAtomBase : public Sorvil::QvBase {
  QV_DECLARE_TYPE("Tamrin::QvAtomBase", Sorvil::QvBase)

 public:
  // Bookkeeping for the owning molecule.
  virtual void AddBond(QvBondBase* bond) = 0;
  virtual void MarkBondDeleted() = 0;
  virtual bool IsDeleted() const = 0;

  // Setters answer false, changing nothing, for a value out of the field's range.
  virtual void SetFlag(std::uint8_t flag) = 0;
  virtual bool SetAtomicNum(unsigned atomic_num) = 0;
  virtual bool SetIsotope(unsigned mass) = 0;
  virtual bool SetFormalCharge(int charge) = 0;
  virtual bool SetPartialCharge(double charge) = 0;
  virtual bool SetPartialCharge(float charge) = 0;
  virtual bool SetIntType(int type) = 0;
  virtual bool SetType(const char* type) = 0;
  virtual bool SetType(const std::string& type) = 0;
  virtual bool SetName(const char* name) = 0;
  virtual bool SetName(const std::string& name) = 0;
  virtual bool SetImplicitHCount(unsigned count) = 0;
  // Index numbers are the molecule's business: only indices below the
  // molecule's GetMaxAtomIdx are accepted, and coordinates follow the index.
  virtual bool SetIdx(unsigned idx) = 0;
  virtual bool SetMapIdx(unsigned idx) = 0;
  virtual void SetAux(unsigned value) = 0;
  virtual bool SetAromatic(bool aromatic) = 0;
  virtual bool SetInRing(bool in_ring) = 0;
  virtual bool SetChiral(bool chiral) = 0;
  virtual bool SetRxnRole(unsigned role) = 0;
  virtual bool SetRadius(double radius) = 0;

  virtual int GetFormalCharge() const = 0;
  virtual double GetPartialCharge() const = 0;
  virtual unsigned GetIdx() const = 0;
  virtual unsigned GetMapIdx() const = 0;
  virtual unsigned GetAtomicNum() const = 0;
  virtual unsigned GetIsotope() const = 0;
  virtual std::uint8_t GetFlag() const = 0;
  virtual unsigned GetAux() const = 0;
  virtual int GetIntType() const = 0;
  // Text getters answer "" for a property never set; the text stays valid
  // until the property changes.
  // The type name given by SetType (GetType is the class identifier of QvBase).
  virtual const char* GetTypeName() const = 0;
  virtual QvMolBase* GetParent() const = 0;
  virtual const char* GetName() const = 0;
  virtual unsigned GetImplicitHCount() const = 0;
  virtual unsigned GetRxnRole() const = 0;
  // Undeleted bonds plus implicit hydrogens.
  virtual unsigned GetTotalDegree() const = 0;
  // Undeleted bonds.
  virtual unsigned GetExplicitDegree() const = 0;
  virtual double GetRadius() const = 0;
  virtual bool IsHydrogen() const = 0;
  virtual bool IsAromatic() const = 0;
  virtual bool IsInRing() const = 0;
  virtual bool IsConnected(const QvAtomBase* other) const = 0;
  virtual bool IsChiral() const = 0;

  // Every bond ever attached, in attachment order, deleted ones included,
  // and how many of them are deleted.
  virtual const QvBondList& BondList() const = 0;
  virtual const unsigned& DeletedBondCount() const = 0;

  // Undeleted bonds in attachment order, and the atoms at their other ends.
  QvAtomBondRange GetBonds() { return {BondList(), DeletedBondCount()}; }
  QvConstAtomBondRange GetBonds() const { return {BondList(), DeletedBondCount()}; }
  QvNbrRange<QvAtomBase, QvAtomBondRange> GetAtoms() { return {GetBonds(), this}; }
  QvNbrRange<const QvAtomBase, QvConstAtomBondRange> GetAtoms() const { return {GetBonds(), this}; }
  // The undeleted bond to `nbr`, or null.
  QvBondBase* GetBond(const QvAtomBase* nbr) const;

  // This atom's coordinates in its molecule (see QvMolBase::GetCoords).
  bool GetCoords(double xyz[3]) const;
  bool GetCoords(float xyz[3]) const;
  bool SetCoords(const double xyz[3]);
  bool SetCoords(const float xyz[3]);
};

}  // namespace Tamrin
