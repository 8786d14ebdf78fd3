// The graph part shared by the single- and multi-conformer molecules: atom and
// bond storage, index counters, deletion, Sweep, title and perception bits.
// Where coordinates live is left to the class above (RemapCoords, ResetCoords).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tamrin/model/atomimpl.h"
#include "tamrin/model/bondimpl.h"
#include "tamrin/model/molbase.h"
#include "tamrin/model/pool.h"

namespace Tamrin {

// Clear keeps room for this many atoms and as many bonds (their records,
// lists and coordinates) for the graph made next, and frees what more a
// larger molecule had: a molecule read into again and again allocates
// little, and one that once held a protein does not keep its memory.
inline constexpr unsigned kQvKeptRecords = 256;

// Source atoms and their copies, in the source's list order.
using QvAtomCopies = std::vector<std::pair<const QvAtomBase*, QvAtomBase*>>;

template <class Base>
class QvMolGraphImpl : public Base {
 public:
  QvMolGraphImpl() = default;
  QvMolGraphImpl(const QvMolGraphImpl&) = delete;
  QvMolGraphImpl& operator=(const QvMolGraphImpl&) = delete;

  void Clear() override;

  unsigned NumAtoms() const override { return Count(atoms_) - deleted_atoms_; }
  unsigned NumBonds() const override { return Count(bonds_) - deleted_bonds_; }
  bool HasAtoms() const override { return NumAtoms() != 0; }

  bool SetTitle(const std::string& title) override;
  bool SetTitle(const char* title) override;
  const char* GetTitle() const override { return title_.c_str(); }

  unsigned GetMaxAtomIdx() const override { return next_atom_idx_; }
  unsigned GetMaxBondIdx() const override { return next_bond_idx_; }

  // Room for this many atoms and bonds in all: a reader that knows the
  // counts grows each list once (a recycled molecule mostly has the room
  // already, hence the tests here).
  void Reserve(unsigned atoms, unsigned bonds) {
    if (atoms > atoms_.capacity()) atoms_.reserve(atoms);
    if (bonds > bonds_.capacity()) bonds_.reserve(bonds);
  }

  // For a reader about to fill this molecule with `atoms` atoms and `bonds`
  // bonds through AddAtom and AddBond: room for them, and, as the first new
  // atom would, no perception bits.
  void PrepareFill(unsigned atoms, unsigned bonds) {
    Reserve(atoms, bonds);
    if (atoms) perceived_ = 0;
  }

  // For a reader building the molecule: a new atom, and a bond between two
  // different, undeleted atoms of this molecule (the caller's guarantee:
  // nothing is checked). Neither clears the perception bits.
  QvAtom* AddAtom(unsigned atomic_num) { return AddAtom(QvAtomFields{.atomic_num = atomic_num}); }
  QvAtom* AddAtom(const QvAtomFields& fields) {
    QvAtom* atom = atom_pool_.New(this, next_atom_idx_++, fields);
    atoms_.push_back(atom);
    return atom;
  }
  QvBond* AddBond(QvAtom* bgn, QvAtom* end, unsigned order) { return AddBond(bgn, end, QvBondFields{.order = order}); }
  QvBond* AddBond(QvAtom* bgn, QvAtom* end, const QvBondFields& fields) {
    QvBond* bond = bond_pool_.New(this, next_bond_idx_++, bgn, end, fields);
    bgn->AddBond(bond);
    end->AddBond(bond);
    bonds_.push_back(bond);
    return bond;
  }

  QvAtomBase* NewAtom(unsigned atomic_num) override;
  QvAtomBase* NewAtom(const QvAtomBase& source) override;
  QvBondBase* NewBond(QvAtomBase* bgn, QvAtomBase* end, unsigned order) override;
  bool DeleteAtom(QvAtomBase* atom) override;
  bool DeleteBond(QvBondBase* bond) override;
  bool Sweep() override;

  bool HasPerceived(unsigned mask) const override { return (perceived_ & mask) == mask; }
  void SetPerceived(unsigned mask, bool on) override {
    perceived_ = on ? perceived_ | mask : perceived_ & ~mask;
  }
  void ClearPerceived() override { perceived_ = 0; }

  const QvAtomVector& AtomList() const override { return atoms_; }
  const QvBondVector& BondList() const override { return bonds_; }
  const unsigned& DeletedAtomCount() const override { return deleted_atoms_; }
  const unsigned& DeletedBondCount() const override { return deleted_bonds_; }
  bool OwnsAtom(const void* record) const override;
  bool OwnsBond(const void* record) const override;

 protected:
  // Moves coordinates from old index i to new_idx[i] (kQvRemovedIdx: dropped).
  virtual void RemapCoords(const std::vector<unsigned>& new_idx, unsigned max_idx) = 0;
  // Drops coordinates, energy and dimension.
  virtual void ResetCoords() = 0;
  // Clears this molecule and copies the graph, title, data and perception bits
  // of `source`; coordinates are the caller's part.
  QvAtomCopies CopyGraph(const QvMolBase& source);
  bool Mine(const QvAtomBase* atom) const { return atom && atom->GetParent() == this; }

 private:
  static unsigned Count(const auto& list) { return static_cast<unsigned>(list.size()); }
  QvAtom* NewAtomRecord(unsigned atomic_num);
  void DestroyDeleted();
  void Renumber();

  QvRecordPool<QvAtom> atom_pool_;
  QvRecordPool<QvBond> bond_pool_;
  QvAtomVector atoms_;
  QvBondVector bonds_;
  unsigned deleted_atoms_ = 0;
  unsigned deleted_bonds_ = 0;
  unsigned next_atom_idx_ = 0;
  unsigned next_bond_idx_ = 0;
  unsigned perceived_ = 0;
  std::string title_;
};

extern template class QvMolGraphImpl<QvMolBase>;

}  // namespace Tamrin
