#include "tamrin/model/bondimpl.h"

#include <utility>

#include "tamrin/model/atombase.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

void QvBondBaseImpl::Clear() {
  const bool deleted = IsDeleted();
  ClearData();
  if (deleted) MarkDeleted();
}

// Every walk over the bonds asks this of each one, so the record remembers
// whether the mark was ever set and skips the data lookup when it was not.
bool QvBondBaseImpl::IsDeleted() const {
  if (!marked_deleted_) return false;
  const bool* deleted = GetDataPtr<bool>(Sorvil::QvDeletedTag);
  return deleted && *deleted;
}

void QvBondBaseImpl::MarkDeleted() {
  marked_deleted_ = 1;
  SetData(Sorvil::QvDeletedTag, true);
}

bool QvBondBaseImpl::SetInRing(bool in_ring) {
  in_ring_ = in_ring;
  return true;
}

bool QvBondBaseImpl::SetAromatic(bool aromatic) {
  aromatic_ = aromatic;
  return true;
}

bool QvBondBaseImpl::SetChiral(bool chiral) { return SetData(Sorvil::QvChiralTag, chiral); }
bool QvBondBaseImpl::IsChiral() const { return GetData<bool>(Sorvil::QvChiralTag); }

bool QvBondBaseImpl::AttachEnd(QvAtomBase*& slot, QvAtomBase* atom) {
  if (slot || !atom || IsDeleted() || atom->IsDeleted() || atom->GetParent() != parent_ ||
      atom == bgn_ || atom == end_)
    return false;
  slot = atom;
  atom->AddBond(this);
  parent_->SetPerceived(kQvBondEndChange, false);
  return true;
}

bool QvBondBaseImpl::SetOrder(unsigned order) {
  if (order_ != 0 && order != order_) parent_->SetPerceived(kQvBondOrderChange, false);
  order_ = order;
  return true;
}

bool QvBondBaseImpl::SetIntType(unsigned type) {
  int_type_ = type;
  return true;
}

bool QvBondBaseImpl::SetType(const std::string& type) {
  return SetData(Sorvil::QvBondTypeNameTag, type);
}
bool QvBondBaseImpl::SetType(const char* type) { return SetData(Sorvil::QvBondTypeNameTag, type); }

const char* QvBondBaseImpl::GetTypeName() const {
  const std::string* text = GetDataPtr<std::string>(Sorvil::QvBondTypeNameTag);
  return text ? text->c_str() : "";
}

bool QvBondBaseImpl::SetIdx(unsigned idx) {
  if (idx >= parent_->GetMaxBondIdx()) return false;
  idx_ = idx;
  return true;
}

QvAtomBase* QvBondBaseImpl::GetNbr(const QvAtomBase* atom) const {
  if (!atom) return nullptr;
  if (atom == bgn_) return end_;
  if (atom == end_) return bgn_;
  return nullptr;
}

void QvBondBaseImpl::SwapEnds() { std::swap(bgn_, end_); }

void QvBondBaseImpl::CopyProperties(const QvBondBase& source) {
  CopyData(source);
  DeleteData(Sorvil::QvDeletedTag);
  order_ = source.GetOrder();
  int_type_ = source.GetIntType();
  aromatic_ = source.IsAromatic();
  in_ring_ = source.IsInRing();
}

}  // namespace Tamrin
