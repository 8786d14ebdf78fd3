#include "tamrin/model/atomimpl.h"

#include <limits>

#include "tamrin/model/bondbase.h"
#include "tamrin/model/coordtable.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

using Sorvil::QvTag;

namespace {

template <class T>
bool FitsIn(long long value) {
  return value >= std::numeric_limits<T>::min() && value <= std::numeric_limits<T>::max();
}

const char* TextOf(const Sorvil::QvBase& object, QvTag tag) {
  const std::string* text = object.GetDataPtr<std::string>(tag);
  return text ? text->c_str() : "";
}

}  // namespace

void QvAtomBaseImpl::Clear() {
  const bool deleted = IsDeleted();
  ClearData();
  if (deleted) MarkDeleted();
}

// Every walk over the atoms asks this of each one, so the record remembers
// whether the mark was ever set and skips the data lookup when it was not.
bool QvAtomBaseImpl::IsDeleted() const {
  if (!marked_deleted_) return false;
  const bool* deleted = GetDataPtr<bool>(Sorvil::QvDeletedTag);
  return deleted && *deleted;
}

void QvAtomBaseImpl::MarkDeleted() {
  marked_deleted_ = 1;
  SetData(Sorvil::QvDeletedTag, true);
}

bool QvAtomBaseImpl::SetAtomicNum(unsigned atomic_num) {
  if (atomic_num_ != 0) parent_->SetPerceived(kQvAtomicNumChange, false);
  atomic_num_ = atomic_num;
  return true;
}

bool QvAtomBaseImpl::SetIsotope(unsigned mass) {
  isotope_ = mass;
  return true;
}

bool QvAtomBaseImpl::SetFormalCharge(int charge) {
  if (!FitsIn<std::int16_t>(charge)) return false;
  if (charge != formal_charge_) parent_->SetPerceived(kQvChargeOrHydrogenChange, false);
  formal_charge_ = static_cast<std::int16_t>(charge);
  return true;
}

bool QvAtomBaseImpl::SetImplicitHCount(unsigned count) {
  if (!FitsIn<std::uint8_t>(count)) return false;
  if (count != implicit_h_) parent_->SetPerceived(kQvChargeOrHydrogenChange, false);
  implicit_h_ = static_cast<std::uint8_t>(count);
  return true;
}

bool QvAtomBaseImpl::SetPartialCharge(double charge) {
  return SetPartialCharge(QvNarrow<float>(charge));
}

bool QvAtomBaseImpl::SetPartialCharge(float charge) {
  return SetData(Sorvil::QvPartialChargeTag, charge);
}

double QvAtomBaseImpl::GetPartialCharge() const {
  return GetData<float>(Sorvil::QvPartialChargeTag);
}

bool QvAtomBaseImpl::SetIntType(int type) { return SetData(Sorvil::QvIntTypeTag, type); }
int QvAtomBaseImpl::GetIntType() const { return GetData<int>(Sorvil::QvIntTypeTag); }

bool QvAtomBaseImpl::SetType(const char* type) { return SetData(Sorvil::QvTypeNameTag, type); }
bool QvAtomBaseImpl::SetType(const std::string& type) {
  return SetData(Sorvil::QvTypeNameTag, type);
}
const char* QvAtomBaseImpl::GetTypeName() const { return TextOf(*this, Sorvil::QvTypeNameTag); }

bool QvAtomBaseImpl::SetName(const char* name) { return SetData(Sorvil::QvNameTag, name); }
bool QvAtomBaseImpl::SetName(const std::string& name) { return SetData(Sorvil::QvNameTag, name); }
const char* QvAtomBaseImpl::GetName() const { return TextOf(*this, Sorvil::QvNameTag); }

bool QvAtomBaseImpl::SetIdx(unsigned idx) {
  if (idx >= parent_->GetMaxAtomIdx()) return false;
  idx_ = idx;
  return true;
}

bool QvAtomBaseImpl::SetMapIdx(unsigned idx) {
  map_idx_ = idx;
  return true;
}

bool QvAtomBaseImpl::SetAromatic(bool aromatic) {
  aromatic_ = aromatic;
  return true;
}

bool QvAtomBaseImpl::SetInRing(bool in_ring) {
  in_ring_ = in_ring;
  return true;
}

bool QvAtomBaseImpl::SetChiral(bool chiral) { return SetData(Sorvil::QvChiralTag, chiral); }
bool QvAtomBaseImpl::IsChiral() const { return GetData<bool>(Sorvil::QvChiralTag); }

bool QvAtomBaseImpl::SetRxnRole(unsigned role) { return SetData(Sorvil::QvRxnRoleTag, role); }
unsigned QvAtomBaseImpl::GetRxnRole() const { return GetData<unsigned>(Sorvil::QvRxnRoleTag); }

bool QvAtomBaseImpl::SetRadius(double radius) { return SetData(Sorvil::QvRadiusTag, radius); }
double QvAtomBaseImpl::GetRadius() const { return GetData<double>(Sorvil::QvRadiusTag); }

bool QvAtomBaseImpl::IsConnected(const QvAtomBase* other) const {
  return other && GetBond(other) != nullptr;
}

void QvAtomBaseImpl::CopyProperties(const QvAtomBase& source) {
  CopyData(source);
  DeleteData(Sorvil::QvDeletedTag);
  atomic_num_ = source.GetAtomicNum();
  isotope_ = source.GetIsotope();
  formal_charge_ = static_cast<std::int16_t>(source.GetFormalCharge());
  implicit_h_ = static_cast<std::uint8_t>(source.GetImplicitHCount());
  map_idx_ = source.GetMapIdx();
  aux_ = source.GetAux();
  flag_ = source.GetFlag();
  aromatic_ = source.IsAromatic();
  in_ring_ = source.IsInRing();
}

void QvAtomBaseImpl::DropDeletedBonds() {
  if (deleted_bonds_ == 0) return;
  bonds_.erase_if([](const QvBondBase* bond) { return bond->IsDeleted(); });
  deleted_bonds_ = 0;
}

// Helpers of the interface that only need the other interfaces.

QvBondBase* QvAtomBase::GetBond(const QvAtomBase* nbr) const {
  for (QvBondBase* bond : BondList())
    if (!bond->IsDeleted() && bond->GetNbr(this) == nbr) return bond;
  return nullptr;
}

bool QvAtomBase::GetCoords(double xyz[3]) const { return GetParent()->GetCoords(this, xyz); }
bool QvAtomBase::GetCoords(float xyz[3]) const { return GetParent()->GetCoords(this, xyz); }
bool QvAtomBase::SetCoords(const double xyz[3]) { return GetParent()->SetCoords(this, xyz); }
bool QvAtomBase::SetCoords(const float xyz[3]) { return GetParent()->SetCoords(this, xyz); }

QvBondBase* QvMolBase::GetBond(const QvAtomBase* a, const QvAtomBase* b) const {
  return a && b && a->GetParent() == this ? a->GetBond(b) : nullptr;
}

}  // namespace Tamrin
