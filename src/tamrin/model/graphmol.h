// QvGraphMol: the single-conformer molecule as a value. It owns one molecule
// (QvGraphMolImpl) and forwards every operation to it; pass it wherever a
// QvMolBase& is expected. Copies are deep; a moved-from QvGraphMol is empty.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "tamrin/model/molimpl.h"

namespace Tamrin {

class QvConfBase;

class QvGraphMol {
 public:
  QvGraphMol() = default;
  QvGraphMol(const QvGraphMol& other) : QvGraphMol(other.Mol()) {}
  QvGraphMol(QvGraphMol&& other) noexcept = default;
  explicit QvGraphMol(const QvMolBase& source) { Mol().Copy(source); }
  // A copy of the conformer's molecule with the conformer's coordinates.
  explicit QvGraphMol(const QvConfBase& conf);
  QvGraphMol& operator=(const QvGraphMol& other) { return *this = other.Mol(); }
  QvGraphMol& operator=(QvGraphMol&& other) noexcept = default;
  QvGraphMol& operator=(const QvMolBase& source) {
    Mol().Copy(source);
    return *this;
  }

  operator QvMolBase&() { return Mol(); }
  operator const QvMolBase&() const { return Mol(); }
  QvMolBase& GetMol() { return Mol(); }
  const QvMolBase& GetMol() const { return Mol(); }
  QvMolBase* operator->() { return &Mol(); }
  const QvMolBase* operator->() const { return &Mol(); }

  void Clear() { Mol().Clear(); }
  unsigned NumAtoms() const { return Mol().NumAtoms(); }
  unsigned NumBonds() const { return Mol().NumBonds(); }
  bool HasAtoms() const { return Mol().HasAtoms(); }
  bool SetEnergy(double energy) { return Mol().SetEnergy(energy); }
  bool SetEnergy(float energy) { return Mol().SetEnergy(energy); }
  float GetEnergy() const { return Mol().GetEnergy(); }
  bool SetTitle(const std::string& title) { return Mol().SetTitle(title); }
  bool SetTitle(const char* title) { return Mol().SetTitle(title); }
  const char* GetTitle() const { return Mol().GetTitle(); }
  template <class T>
  bool SetCoords(const T* xyz) { return Mol().SetCoords(xyz); }
  template <class T>
  bool SetCoords(const QvAtomBase* atom, const T* xyz) { return Mol().SetCoords(atom, xyz); }
  template <class T>
  bool GetCoords(T* xyz) const { return Mol().GetCoords(xyz); }
  template <class T>
  bool GetCoords(const QvAtomBase* atom, T* xyz) const { return Mol().GetCoords(atom, xyz); }
  void ClearCoords() { Mol().ClearCoords(); }
  unsigned GetMaxAtomIdx() const { return Mol().GetMaxAtomIdx(); }
  unsigned GetMaxBondIdx() const { return Mol().GetMaxBondIdx(); }
  QvAtomBase* NewAtom(unsigned atomic_num) { return Mol().NewAtom(atomic_num); }
  QvAtomBase* NewAtom(const QvAtomBase& source) { return Mol().NewAtom(source); }
  QvBondBase* NewBond(QvAtomBase* bgn, QvAtomBase* end, unsigned order) {
    return Mol().NewBond(bgn, end, order);
  }
  bool DeleteAtom(QvAtomBase* atom) { return Mol().DeleteAtom(atom); }
  bool DeleteBond(QvBondBase* bond) { return Mol().DeleteBond(bond); }
  bool Sweep() { return Mol().Sweep(); }
  bool SetDimension(unsigned dimension) { return Mol().SetDimension(dimension); }
  unsigned GetDimension() const { return Mol().GetDimension(); }
  bool HasPerceived(unsigned mask) const { return Mol().HasPerceived(mask); }
  void SetPerceived(unsigned mask, bool on) { Mol().SetPerceived(mask, on); }
  void ClearPerceived() { Mol().ClearPerceived(); }
  bool Copy(const QvMolBase& source) { return Mol().Copy(source); }
  Sorvil::QvTypeId GetType() const { return Mol().GetType(); }
  bool IsA(Sorvil::QvTypeId type) const { return Mol().IsA(type); }

  const QvAtomVector& AtomList() const { return Mol().AtomList(); }
  const QvBondVector& BondList() const { return Mol().BondList(); }
  unsigned DeletedAtomCount() const { return Mol().DeletedAtomCount(); }
  unsigned DeletedBondCount() const { return Mol().DeletedBondCount(); }
  bool OwnsAtom(const void* record) const { return Mol().OwnsAtom(record); }
  bool OwnsBond(const void* record) const { return Mol().OwnsBond(record); }

  QvAtomRange GetAtoms() { return Mol().GetAtoms(); }
  QvConstAtomRange GetAtoms() const { return std::as_const(Mol()).GetAtoms(); }
  QvBondRange GetBonds() { return Mol().GetBonds(); }
  QvConstBondRange GetBonds() const { return std::as_const(Mol()).GetBonds(); }
  template <class Pred>
  auto GetAtoms(Pred pred) { return Mol().GetAtoms(std::move(pred)); }
  template <class Pred>
  auto GetBonds(Pred pred) { return Mol().GetBonds(std::move(pred)); }
  template <class Pred>
  QvAtomBase* GetAtom(Pred pred) const { return Mol().GetAtom(std::move(pred)); }
  template <class Pred>
  QvBondBase* GetBond(Pred pred) const { return Mol().GetBond(std::move(pred)); }
  QvBondBase* GetBond(const QvAtomBase* a, const QvAtomBase* b) const { return Mol().GetBond(a, b); }

  template <class T>
  bool SetData(Sorvil::QvTag tag, T value) { return Mol().SetData(tag, std::move(value)); }
  template <class T>
  void AddData(Sorvil::QvTag tag, T value) { Mol().AddData(tag, std::move(value)); }
  template <class T>
  T GetData(Sorvil::QvTag tag) const { return Mol().GetData<T>(tag); }
  bool HasData(Sorvil::QvTag tag) const { return Mol().HasData(tag); }
  bool DeleteData(Sorvil::QvTag tag) { return Mol().DeleteData(tag); }
  Sorvil::QvDataRange GetDataItems() const { return Mol().GetDataItems(); }
  Sorvil::QvDataRange GetDataItems(Sorvil::QvTag tag) const { return Mol().GetDataItems(tag); }

 private:
  // Made on first use, so that moving out leaves a valid, empty handle.
  QvGraphMolImpl& Mol() const {
    if (!mol_) mol_ = std::make_unique<QvGraphMolImpl>();
    return *mol_;
  }

  mutable std::unique_ptr<QvGraphMolImpl> mol_;
};

// The molecule a writer reads: the caller's own, or a private copy the writer
// prepares (perceives rings or stereo, kekulizes) so that the caller's
// molecule keeps what it had. Moves keep Get() valid: the copy lives on the heap.
class QvWorkingMol {
 public:
  explicit QvWorkingMol(const QvMolBase& mol) : mol_(&mol) {}
  const QvMolBase& Get() const { return *mol_; }
  // The private copy, made at the first call.
  QvMolBase& Copy() {
    if (!copy_) {
      copy_ = std::make_unique<QvGraphMol>(*mol_);
      mol_ = &copy_->GetMol();
    }
    return copy_->GetMol();
  }

 private:
  const QvMolBase* mol_;
  std::unique_ptr<QvGraphMol> copy_;
};

}  // namespace Tamrin
