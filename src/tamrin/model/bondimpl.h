// The bond record of the toolkit's molecules.
#pragma once

#include <cstdint>
#include <string>

#include "tamrin/model/bondbase.h"

namespace Tamrin {

// The order, integer type and flags of a bond, for a reader that makes the
// bond with all of them at once (QvMolGraphImpl::AddBond).
struct QvBondFields {
  unsigned order = 0;
  unsigned int_type = 0;
  bool aromatic = false;
  bool in_ring = false;
};

class QvBondBaseImpl : public QvBondBase {
  QV_DECLARE_TYPE("Tamrin::QvBondBaseImpl", QvBondBase)

 public:
  QvBondBaseImpl(QvMolBase* parent, unsigned idx, QvAtomBase* bgn, QvAtomBase* end, unsigned order)
      : parent_(parent), bgn_(bgn), end_(end), idx_(idx), order_(order) {}
  QvBondBaseImpl(QvMolBase* parent, unsigned idx, QvAtomBase* bgn, QvAtomBase* end, const QvBondFields& f)
      : parent_(parent),
        bgn_(bgn),
        end_(end),
        idx_(idx),
        int_type_(f.int_type),
        order_(f.order),
        aromatic_(f.aromatic),
        in_ring_(f.in_ring) {}
  QvBondBaseImpl(const QvBondBaseImpl&) = delete;
  QvBondBaseImpl& operator=(const QvBondBaseImpl&) = delete;

  // Generic data goes, the deleted mark stays.
  void Clear() override;

  bool SetInRing(bool in_ring) override;
  bool SetAromatic(bool aromatic) override;
  bool SetChiral(bool chiral) override;
  bool SetBgn(QvAtomBase* atom) override { return AttachEnd(bgn_, atom); }
  bool SetEnd(QvAtomBase* atom) override { return AttachEnd(end_, atom); }
  bool SetOrder(unsigned order) override;
  bool SetIntType(unsigned type) override;
  bool SetType(const std::string& type) override;
  bool SetType(const char* type) override;
  bool SetIdx(unsigned idx) override;

  unsigned GetIdx() const override { return idx_; }
  QvAtomBase* GetBgn() const override { return bgn_; }
  QvAtomBase* GetEnd() const override { return end_; }
  unsigned GetOrder() const override { return order_; }
  unsigned GetIntType() const override { return int_type_; }
  const char* GetTypeName() const override;
  QvMolBase* GetParent() const override { return parent_; }
  QvAtomBase* GetNbr(const QvAtomBase* atom) const override;
  bool IsDeleted() const override;
  bool IsInRing() const override { return in_ring_ != 0; }
  bool IsAromatic() const override { return aromatic_ != 0; }
  bool IsChiral() const override;
  void SwapEnds() override;

  // For the owning molecule: copies order, flags, types and generic data.
  void CopyProperties(const QvBondBase& source);
  void MarkDeleted();

 private:
  bool AttachEnd(QvAtomBase*& slot, QvAtomBase* atom);

  QvMolBase* parent_;
  QvAtomBase* bgn_;
  QvAtomBase* end_;
  unsigned idx_;
  unsigned int_type_ = 0;
  unsigned order_;
  std::uint8_t aromatic_ = 0;
  std::uint8_t in_ring_ = 0;
  std::uint8_t marked_deleted_ = 0;  // MarkDeleted has run: only then is the data item looked up
};

template <class Impl>
class QvBondTmplt final : public Impl {
 public:
  static constexpr Sorvil::QvTypeId TypeId =
      Sorvil::QvTypeIdFromName("Tamrin::QvBondTmplt<Tamrin::QvBondBaseImpl>");
  using Impl::Impl;
  Sorvil::QvTypeId GetType() const override { return TypeId; }
  bool IsA(Sorvil::QvTypeId type) const override { return type == TypeId || Impl::IsA(type); }
};

using QvBond = QvBondTmplt<QvBondBaseImpl>;

}  // namespace Tamrin
