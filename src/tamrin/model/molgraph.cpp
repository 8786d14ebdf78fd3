#include "tamrin/model/molgraph.h"

#include <unordered_map>

#include "tamrin/model/mcmol.h"

namespace Tamrin {

namespace {

template <class List>
void ClearList(List& list) {
  if (list.capacity() > kQvKeptRecords)
    List().swap(list);
  else
    list.clear();
}

}  // namespace

template <class Base>
void QvMolGraphImpl<Base>::Clear() {
  Base::ClearData();
  ClearList(atoms_);
  ClearList(bonds_);
  constexpr size_t kKeptBlocks = kQvKeptRecords / QvRecordPool<QvAtom>::kBlockSize;
  bond_pool_.Clear(kKeptBlocks);
  atom_pool_.Clear(kKeptBlocks);
  deleted_atoms_ = deleted_bonds_ = 0;
  next_atom_idx_ = next_bond_idx_ = 0;
  perceived_ = 0;
  title_.clear();
  ResetCoords();
}

template <class Base>
bool QvMolGraphImpl<Base>::SetTitle(const std::string& title) {
  title_.assign(title, 0, kQvMaxTitleLength);
  return true;
}

template <class Base>
bool QvMolGraphImpl<Base>::SetTitle(const char* title) {
  title_.assign(title ? std::string_view(title).substr(0, kQvMaxTitleLength) : "");
  return true;
}

template <class Base>
QvAtom* QvMolGraphImpl<Base>::NewAtomRecord(unsigned atomic_num) {
  perceived_ = 0;
  return AddAtom(atomic_num);
}

template <class Base>
QvAtomBase* QvMolGraphImpl<Base>::NewAtom(unsigned atomic_num) {
  return NewAtomRecord(atomic_num);
}

template <class Base>
QvAtomBase* QvMolGraphImpl<Base>::NewAtom(const QvAtomBase& source) {
  QvAtom* atom = NewAtomRecord(source.GetAtomicNum());
  atom->CopyProperties(source);
  return atom;
}

template <class Base>
QvBondBase* QvMolGraphImpl<Base>::NewBond(QvAtomBase* bgn, QvAtomBase* end, unsigned order) {
  for (const QvAtomBase* atom : {bgn, end})
    if (atom && (!Mine(atom) || atom->IsDeleted())) return nullptr;
  if (bgn && bgn == end) return nullptr;
  QvBond* bond = bond_pool_.New(this, next_bond_idx_++, bgn, end, order);
  perceived_ = 0;
  if (bgn) bgn->AddBond(bond);
  if (end) end->AddBond(bond);
  bonds_.push_back(bond);
  return bond;
}

template <class Base>
bool QvMolGraphImpl<Base>::DeleteBond(QvBondBase* bond) {
  if (!bond || bond->GetParent() != this || bond->IsDeleted()) return false;
  perceived_ = 0;
  for (QvAtomBase* atom : {bond->GetBgn(), bond->GetEnd()})
    if (atom) atom->MarkBondDeleted();
  static_cast<QvBond*>(bond)->MarkDeleted();
  ++deleted_bonds_;
  return true;
}

template <class Base>
bool QvMolGraphImpl<Base>::DeleteAtom(QvAtomBase* atom) {
  if (!Mine(atom) || atom->IsDeleted()) return false;
  perceived_ = 0;
  for (QvBondBase* bond : atom->BondList())
    if (!bond->IsDeleted()) DeleteBond(bond);
  static_cast<QvAtom*>(atom)->MarkDeleted();
  ++deleted_atoms_;
  return true;
}

template <class Base>
void QvMolGraphImpl<Base>::DestroyDeleted() {
  // Atoms first forget their deleted bonds, so that no list points at a
  // destroyed record; a deleted atom has only deleted bonds.
  if (deleted_bonds_ != 0) {
    for (QvAtomBase* atom : atoms_) static_cast<QvAtom*>(atom)->DropDeletedBonds();
    std::erase_if(bonds_, [this](QvBondBase* bond) {
      if (!bond->IsDeleted()) return false;
      bond_pool_.Delete(static_cast<QvBond*>(bond));
      return true;
    });
  }
  if (deleted_atoms_ != 0) {
    std::erase_if(atoms_, [this](QvAtomBase* atom) {
      if (!atom->IsDeleted()) return false;
      atom_pool_.Delete(static_cast<QvAtom*>(atom));
      return true;
    });
  }
  deleted_atoms_ = deleted_bonds_ = 0;
}

template <class Base>
void QvMolGraphImpl<Base>::Renumber() {
  bool dense = true;
  for (unsigned pos = 0; pos < Count(atoms_) && dense; ++pos) dense = atoms_[pos]->GetIdx() == pos;
  if (!dense) {
    std::vector<unsigned> new_idx(next_atom_idx_, kQvRemovedIdx);
    for (unsigned pos = 0; pos < Count(atoms_); ++pos) new_idx[atoms_[pos]->GetIdx()] = pos;
    next_atom_idx_ = Count(atoms_);
    for (unsigned pos = 0; pos < Count(atoms_); ++pos) atoms_[pos]->SetIdx(pos);
    RemapCoords(new_idx, next_atom_idx_);
  }
  next_atom_idx_ = Count(atoms_);
  next_bond_idx_ = Count(bonds_);
  for (unsigned pos = 0; pos < Count(bonds_); ++pos) bonds_[pos]->SetIdx(pos);
}

template <class Base>
bool QvMolGraphImpl<Base>::Sweep() {
  DestroyDeleted();
  Renumber();
  return true;
}

template <class Base>
bool QvMolGraphImpl<Base>::OwnsAtom(const void* record) const {
  const QvAtom* atom = atom_pool_.RecordAt(record);
  return atom && static_cast<const void*>(static_cast<const QvAtomBase*>(atom)) == record;
}

template <class Base>
bool QvMolGraphImpl<Base>::OwnsBond(const void* record) const {
  const QvBond* bond = bond_pool_.RecordAt(record);
  return bond && static_cast<const void*>(static_cast<const QvBondBase*>(bond)) == record;
}

template <class Base>
QvAtomCopies QvMolGraphImpl<Base>::CopyGraph(const QvMolBase& source) {
  Clear();
  SetTitle(source.GetTitle());
  Base::CopyData(source);
  QvAtomCopies copies;
  copies.reserve(source.NumAtoms());
  std::unordered_map<const QvAtomBase*, QvAtomBase*> copy_of;
  copy_of.reserve(source.NumAtoms());
  for (const QvAtomBase& atom : source.GetAtoms()) {
    QvAtomBase* copy = NewAtom(atom);
    copies.emplace_back(&atom, copy);
    copy_of.emplace(&atom, copy);
  }
  const auto copy_end = [&copy_of](const QvAtomBase* atom) -> QvAtomBase* {
    return atom ? copy_of.at(atom) : nullptr;
  };
  for (const QvBondBase& bond : source.GetBonds()) {
    QvBondBase* copy = NewBond(copy_end(bond.GetBgn()), copy_end(bond.GetEnd()), bond.GetOrder());
    if (copy) static_cast<QvBond*>(copy)->CopyProperties(bond);
  }
  perceived_ = 0;
  for (unsigned bit = 1; bit != 0; bit <<= 1)
    if (bit != QvPerceivedEnergy && source.HasPerceived(bit)) perceived_ |= bit;
  return copies;
}

template class QvMolGraphImpl<QvMolBase>;
template class QvMolGraphImpl<QvMCMolBase>;

}  // namespace Tamrin
