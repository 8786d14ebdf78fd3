#include "tamrin/perception/graphview.h"

#include "tamrin/model/molbase.h"

namespace Tamrin {

QvGraphView::QvGraphView(const QvMolBase& mol)
    : mol_(&mol), atom_pos_(mol.GetMaxAtomIdx(), kQvNoPos), bond_pos_(mol.GetMaxBondIdx(), kQvNoPos) {
  atoms_.reserve(mol.NumAtoms());
  // The raw lists, because the view hands out records that passes may change.
  for (QvAtomBase* atom : mol.AtomList()) {
    if (atom->IsDeleted()) continue;
    atom_pos_[atom->GetIdx()] = NumAtoms();
    atoms_.push_back(atom);
  }
  bonds_.reserve(mol.NumBonds());
  ends_.reserve(2 * mol.NumBonds());
  for (QvBondBase* bond : mol.BondList()) {
    if (bond->IsDeleted()) continue;
    // An end that is empty (or an atom whose index was changed by hand onto
    // another's) leaves the bond out rather than inventing a neighbour.
    const unsigned bgn = Pos(bond->GetBgn());
    const unsigned end = Pos(bond->GetEnd());
    if (bgn == kQvNoPos || end == kQvNoPos) continue;
    bond_pos_[bond->GetIdx()] = NumBonds();
    bonds_.push_back(bond);
    ends_.push_back(bgn);
    ends_.push_back(end);
  }
  start_.assign(NumAtoms() + 1, 0);
  arcs_.resize(2 * NumBonds());
  for (unsigned pos = 0; pos < NumAtoms(); ++pos) {
    start_[pos + 1] = start_[pos];
    for (const QvBondBase& bond : atoms_[pos]->GetBonds()) {
      const unsigned b = Pos(&bond);
      if (b != kQvNoPos) arcs_[start_[pos + 1]++] = {Other(b, pos), b};
    }
  }
}

unsigned QvGraphView::Pos(const QvAtomBase* atom) const {
  if (!atom || atom->GetParent() != mol_ || atom->GetIdx() >= atom_pos_.size()) return kQvNoPos;
  const unsigned pos = atom_pos_[atom->GetIdx()];
  return pos != kQvNoPos && atoms_[pos] == atom ? pos : kQvNoPos;
}

unsigned QvGraphView::Pos(const QvBondBase* bond) const {
  if (!bond || bond->GetParent() != mol_ || bond->GetIdx() >= bond_pos_.size()) return kQvNoPos;
  const unsigned pos = bond_pos_[bond->GetIdx()];
  return pos != kQvNoPos && bonds_[pos] == bond ? pos : kQvNoPos;
}

}  // namespace Tamrin
