// The atom record of the toolkit's molecules. Integer properties live in the
// record; text and rarely used properties are generic data under built-in
// tags, so most atoms carry no data table at all.
#pragma once

#include <cstdint>
#include <string>

#include "tamrin/model/atombase.h"

namespace Tamrin {

// The integer properties and flags of an atom, for a reader that makes the
// atom with all of them at once (QvMolGraphImpl::AddAtom).
struct QvAtomFields {
  unsigned atomic_num = 0;
  unsigned isotope = 0;
  unsigned map_idx = 0;
  unsigned aux = 0;
  std::int16_t formal_charge = 0;
  std::uint8_t implicit_h = 0;
  std::uint8_t flag = 0;
  bool aromatic = false;
  bool in_ring = false;
};

class QvAtomBaseImpl : public QvAtomBase {
  QV_DECLARE_TYPE("Tamrin::QvAtomBaseImpl", QvAtomBase)

 public:
  QvAtomBaseImpl(QvMolBase* parent, unsigned idx, unsigned atomic_num)
      : idx_(idx), atomic_num_(atomic_num), parent_(parent) {}
  QvAtomBaseImpl(QvMolBase* parent, unsigned idx, const QvAtomFields& f)
      : idx_(idx),
        map_idx_(f.map_idx),
        aux_(f.aux),
        atomic_num_(f.atomic_num),
        isotope_(f.isotope),
        formal_charge_(f.formal_charge),
        implicit_h_(f.implicit_h),
        flag_(f.flag),
        aromatic_(f.aromatic),
        in_ring_(f.in_ring),
        parent_(parent) {}
  QvAtomBaseImpl(const QvAtomBaseImpl&) = delete;
  QvAtomBaseImpl& operator=(const QvAtomBaseImpl&) = delete;

  // Generic data goes, the deleted mark stays.
  void Clear() override;

  void AddBond(QvBondBase* bond) override { bonds_.push_back(bond); }
  void MarkBondDeleted() override { ++deleted_bonds_; }
  bool IsDeleted() const override;

  void SetFlag(std::uint8_t flag) override { flag_ = flag; }
  bool SetAtomicNum(unsigned atomic_num) override;
  bool SetIsotope(unsigned mass) override;
  bool SetFormalCharge(int charge) override;
  bool SetPartialCharge(double charge) override;
  bool SetPartialCharge(float charge) override;
  bool SetIntType(int type) override;
  bool SetType(const char* type) override;
  bool SetType(const std::string& type) override;
  bool SetName(const char* name) override;
  bool SetName(const std::string& name) override;
  bool SetImplicitHCount(unsigned count) override;
  bool SetIdx(unsigned idx) override;
  bool SetMapIdx(unsigned idx) override;
  void SetAux(unsigned value) override { aux_ = value; }
  bool SetAromatic(bool aromatic) override;
  bool SetInRing(bool in_ring) override;
  bool SetChiral(bool chiral) override;
  bool SetRxnRole(unsigned role) override;
  bool SetRadius(double radius) override;

  int GetFormalCharge() const override { return formal_charge_; }
  double GetPartialCharge() const override;
  unsigned GetIdx() const override { return idx_; }
  unsigned GetMapIdx() const override { return map_idx_; }
  unsigned GetAtomicNum() const override { return atomic_num_; }
  unsigned GetIsotope() const override { return isotope_; }
  std::uint8_t GetFlag() const override { return flag_; }
  unsigned GetAux() const override { return aux_; }
  int GetIntType() const override;
  const char* GetTypeName() const override;
  QvMolBase* GetParent() const override { return parent_; }
  const char* GetName() const override;
  unsigned GetImplicitHCount() const override { return implicit_h_; }
  unsigned GetRxnRole() const override;
  unsigned GetTotalDegree() const override { return GetExplicitDegree() + implicit_h_; }
  unsigned GetExplicitDegree() const override {
    return static_cast<unsigned>(bonds_.size()) - deleted_bonds_;
  }
  double GetRadius() const override;
  bool IsHydrogen() const override { return atomic_num_ == 1; }
  bool IsAromatic() const override { return aromatic_ != 0; }
  bool IsInRing() const override { return in_ring_ != 0; }
  bool IsConnected(const QvAtomBase* other) const override;
  bool IsChiral() const override;

  const QvBondList& BondList() const override { return bonds_; }
  const unsigned& DeletedBondCount() const override { return deleted_bonds_; }

  // For the owning molecule: copies what NewAtom(const QvAtomBase&) copies.
  void CopyProperties(const QvAtomBase& source);
  // For the owning molecule's Sweep: forgets deleted bonds.
  void DropDeletedBonds();
  void MarkDeleted();

 private:
  QvBondList bonds_;
  unsigned deleted_bonds_ = 0;
  unsigned idx_;
  unsigned map_idx_ = 0;
  unsigned aux_ = 0;
  unsigned atomic_num_;
  unsigned isotope_ = 0;
  std::int16_t formal_charge_ = 0;
  std::uint8_t implicit_h_ = 0;
  std::uint8_t flag_ = 0;
  std::uint8_t aromatic_ = 0;
  std::uint8_t in_ring_ = 0;
  std::uint8_t marked_deleted_ = 0;  // MarkDeleted has run: only then is the data item looked up
  QvMolBase* parent_;
};

// The atom class that molecules allocate; it only adds its own identifier.
template <class Impl>
class QvAtomTmplt final : public Impl {
 public:
  static constexpr Sorvil::QvTypeId TypeId =
      Sorvil::QvTypeIdFromName("Tamrin::QvAtomTmplt<Tamrin::QvAtomBaseImpl>");
  using Impl::Impl;
  Sorvil::QvTypeId GetType() const override { return TypeId; }
  bool IsA(Sorvil::QvTypeId type) const override { return type == TypeId || Impl::IsA(type); }
};

using QvAtom = QvAtomTmplt<QvAtomBaseImpl>;

}  // namespace Tamrin
