// Multi-conformer molecules: one graph (atoms, bonds, title, data) shared by
// any number of conformers, each with its own coordinates, title, energy,
// dimension and generic data.
//
// One conformer is active; the molecule-level coordinate, energy and
// dimension operations act on it. A new conformer becomes active when there
// was none; PushActive/PopActive switch temporarily. Without an active
// conformer those operations warn ("QvMol::GetEnergy() : no active
// conformer", ...) and fail.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tamrin/model/coordtable.h"
#include "tamrin/model/molgraph.h"

namespace Tamrin {

class QvMCMolBase;

class QvConfBase : public Sorvil::QvBase {
  QV_DECLARE_TYPE("Tamrin::QvConfBase", Sorvil::QvBase)

 public:
  virtual QvMCMolBase* GetParent() const = 0;
  // Conformer numbers, like atom indices, are never reused until Clear.
  virtual unsigned GetIdx() const = 0;

  // The conformer's own title ("" unless set), cut like molecule titles.
  virtual bool SetTitle(const std::string& title) = 0;
  virtual bool SetTitle(const char* title) = 0;
  virtual const char* GetTitle() const = 0;
  // Kept in single precision.
  virtual bool SetEnergy(double energy) = 0;
  virtual bool SetEnergy(float energy) = 0;
  virtual float GetEnergy() const = 0;
  virtual bool SetDimension(unsigned dimension) = 0;
  virtual unsigned GetDimension() const = 0;

  // As QvMolBase: 3 * GetMaxAtomIdx() values by atom index, or one atom's three.
  virtual bool SetCoords(const float* xyz) = 0;
  virtual bool SetCoords(const double* xyz) = 0;
  virtual bool GetCoords(float* xyz) const = 0;
  virtual bool GetCoords(double* xyz) const = 0;
  virtual bool SetCoords(const QvAtomBase* atom, const float* xyz) = 0;
  virtual bool SetCoords(const QvAtomBase* atom, const double* xyz) = 0;
  virtual bool GetCoords(const QvAtomBase* atom, float* xyz) const = 0;
  virtual bool GetCoords(const QvAtomBase* atom, double* xyz) const = 0;
  // Zeroes the coordinates and sets the dimension to 0.
  virtual void ClearCoords() = 0;
  // Takes the coordinates of `other` (of this or another molecule with as
  // many atoms, matched in list order); warns "Incompatible conformer size,
  // cannot copy." otherwise.
  virtual bool CopyCoords(const QvConfBase& other) = 0;

  bool IsActive() const;
  // Conformers are destroyed when deleted; there is no deleted state.
  bool IsDeleted() const { return false; }
};

using QvConfVector = std::vector<QvConfBase*>;
using QvConfRange = QvListRange<QvConfBase, QvConfVector>;
using QvConstConfRange = QvListRange<const QvConfBase, QvConfVector>;

class QvMCMolBase : public QvMolBase {
  QV_DECLARE_TYPE("Tamrin::QvMCMolBase", QvMolBase)

 public:
  virtual unsigned NumConfs() const = 0;
  virtual unsigned GetMaxConfIdx() const = 0;

  // A conformer with every coordinate 0.
  virtual QvConfBase* NewConf() = 0;
  // A conformer from 3 * GetMaxAtomIdx() values by atom index.
  virtual QvConfBase* NewConf(const float* xyz) = 0;
  virtual QvConfBase* NewConf(const double* xyz) = 0;
  // A conformer from a molecule with the same atoms in the same list order:
  // its coordinates, dimension, energy (when set), title and generic data.
  // Null, with the warning "Unequal number of atoms when copying conformer
  // coordinates: %d != %d", when the atom counts differ.
  virtual QvConfBase* NewConf(const QvMolBase& mol) = 0;
  // A copy of a conformer of this or a like molecule (see CopyCoords).
  virtual QvConfBase* NewConf(const QvConfBase& conf) = 0;
  virtual bool DeleteConf(QvConfBase* conf) = 0;
  virtual void DeleteConfs() = 0;

  virtual QvConfBase* GetActive() const = 0;
  virtual bool SetActive(QvConfBase* conf) = 0;
  // Makes `conf` active, remembering the active one for PopActive.
  virtual bool PushActive(QvConfBase* conf) = 0;
  // Reactivates the conformer active before the last PushActive.
  virtual bool PopActive() = 0;

  virtual const QvConfVector& ConfList() const = 0;
  virtual bool OwnsConf(const void* record) const = 0;

  QvConfRange GetConfs() { return {ConfList(), kNoneDeleted}; }
  QvConstConfRange GetConfs() const { return {ConfList(), kNoneDeleted}; }
  template <class Pred>
  QvConfBase* GetConf(Pred pred) const {
    for (QvConfBase* conf : ConfList())
      if (pred(std::as_const(*conf))) return conf;
    return nullptr;
  }

 private:
  // Conformers are destroyed at once, so their lists hold no deleted entries.
  static constexpr unsigned kNoneDeleted = 0;
};

// Conformer coordinates as Cartesian triples of T.
template <class T>
class QvConfCartImpl : public QvConfBase {
 public:
  static constexpr Sorvil::QvTypeId TypeId =
      Sorvil::QvTemplateTypeId("Tamrin::QvConfCartImpl", Sorvil::QvDataType<T>::id);
  Sorvil::QvTypeId GetType() const override { return TypeId; }
  bool IsA(Sorvil::QvTypeId type) const override {
    return type == TypeId || QvConfBase::IsA(type);
  }

  QvConfCartImpl(QvMCMolBase* parent, unsigned idx) : parent_(parent), idx_(idx) {}

  QvMCMolBase* GetParent() const override { return parent_; }
  unsigned GetIdx() const override { return idx_; }
  bool SetTitle(const std::string& title) override;
  bool SetTitle(const char* title) override;
  const char* GetTitle() const override { return title_.c_str(); }
  bool SetEnergy(double energy) override { return SetEnergy(QvNarrow<float>(energy)); }
  bool SetEnergy(float energy) override;
  float GetEnergy() const override { return energy_; }
  bool SetDimension(unsigned dimension) override;
  unsigned GetDimension() const override { return dimension_; }

  bool SetCoords(const float* xyz) override { return SetAllCoords(xyz); }
  bool SetCoords(const double* xyz) override { return SetAllCoords(xyz); }
  bool GetCoords(float* xyz) const override { return GetAllCoords(xyz); }
  bool GetCoords(double* xyz) const override { return GetAllCoords(xyz); }
  bool SetCoords(const QvAtomBase* atom, const float* xyz) override { return SetAtomCoords(atom, xyz); }
  bool SetCoords(const QvAtomBase* atom, const double* xyz) override { return SetAtomCoords(atom, xyz); }
  bool GetCoords(const QvAtomBase* atom, float* xyz) const override { return GetAtomCoords(atom, xyz); }
  bool GetCoords(const QvAtomBase* atom, double* xyz) const override { return GetAtomCoords(atom, xyz); }
  void ClearCoords() override;
  bool CopyCoords(const QvConfBase& other) override;

  // For the owning molecule's Sweep.
  void RemapCoords(const std::vector<unsigned>& new_idx, unsigned max_idx) {
    coords_.Remap(new_idx, max_idx);
  }

 private:
  template <class U>
  bool SetAllCoords(const U* xyz);
  template <class U>
  bool GetAllCoords(U* xyz) const;
  template <class U>
  bool SetAtomCoords(const QvAtomBase* atom, const U* xyz);
  template <class U>
  bool GetAtomCoords(const QvAtomBase* atom, U* xyz) const;

  QvMCMolBase* parent_;
  unsigned idx_;
  std::string title_;
  float energy_ = 0.0f;
  unsigned dimension_ = 0;
  QvCoordTable<T> coords_;
};

// The conformer class that molecules allocate; it only adds its own identifier.
template <class Impl>
class QvConfTmplt final : public Impl {
 public:
  static constexpr Sorvil::QvTypeId TypeId = Sorvil::QvTemplateTypeId("Tamrin::QvConfTmplt", Impl::TypeId);
  using Impl::Impl;
  Sorvil::QvTypeId GetType() const override { return TypeId; }
  bool IsA(Sorvil::QvTypeId type) const override { return type == TypeId || Impl::IsA(type); }
};

extern template class QvMolGraphImpl<QvMCMolBase>;

template <class Conf>
class QvMCMolTmplt final : public QvMolGraphImpl<QvMCMolBase> {
 public:
  static constexpr Sorvil::QvTypeId TypeId = Sorvil::QvTemplateTypeId("Tamrin::QvMCMolTmplt", Conf::TypeId);
  Sorvil::QvTypeId GetType() const override { return TypeId; }
  bool IsA(Sorvil::QvTypeId type) const override {
    return type == TypeId || QvMolGraphImpl<QvMCMolBase>::IsA(type);
  }

  QvMCMolTmplt() = default;
  ~QvMCMolTmplt() override { DestroyConfs(); }

  // Molecule-level operations on the active conformer.
  bool SetEnergy(double energy) override { return SetEnergy(QvNarrow<float>(energy)); }
  bool SetEnergy(float energy) override;
  float GetEnergy() const override;
  bool SetDimension(unsigned dimension) override;
  unsigned GetDimension() const override;
  bool SetCoords(const float* xyz) override { return SetAllCoords(xyz); }
  bool SetCoords(const double* xyz) override { return SetAllCoords(xyz); }
  bool SetCoords(const QvAtomBase* atom, const float* xyz) override { return SetAtomCoords(atom, xyz); }
  bool SetCoords(const QvAtomBase* atom, const double* xyz) override { return SetAtomCoords(atom, xyz); }
  bool GetCoords(double* xyz) const override { return GetAllCoords(xyz); }
  bool GetCoords(float* xyz) const override { return GetAllCoords(xyz); }
  bool GetCoords(const QvAtomBase* atom, double* xyz) const override { return GetAtomCoords(atom, xyz); }
  bool GetCoords(const QvAtomBase* atom, float* xyz) const override { return GetAtomCoords(atom, xyz); }
  void ClearCoords() override;

  // A multi-conformer source gives all its conformers, any other one conformer.
  bool Copy(const QvMolBase& source) override;

  unsigned NumConfs() const override { return static_cast<unsigned>(confs_.size()); }
  unsigned GetMaxConfIdx() const override { return next_conf_idx_; }
  QvConfBase* NewConf() override { return NewConfRecord(); }
  QvConfBase* NewConf(const float* xyz) override { return NewConfFrom(xyz); }
  QvConfBase* NewConf(const double* xyz) override { return NewConfFrom(xyz); }
  QvConfBase* NewConf(const QvMolBase& mol) override;
  QvConfBase* NewConf(const QvConfBase& conf) override;
  bool DeleteConf(QvConfBase* conf) override;
  void DeleteConfs() override;
  QvConfBase* GetActive() const override { return active_; }
  bool SetActive(QvConfBase* conf) override;
  bool PushActive(QvConfBase* conf) override;
  bool PopActive() override;
  const QvConfVector& ConfList() const override { return confs_; }
  bool OwnsConf(const void* record) const override;

 protected:
  void RemapCoords(const std::vector<unsigned>& new_idx, unsigned max_idx) override;
  void ResetCoords() override;

 private:
  Conf* NewConfRecord();
  template <class U>
  QvConfBase* NewConfFrom(const U* xyz);
  template <class U>
  bool SetAllCoords(const U* xyz);
  template <class U>
  bool GetAllCoords(U* xyz) const;
  template <class U>
  bool SetAtomCoords(const QvAtomBase* atom, const U* xyz);
  template <class U>
  bool GetAtomCoords(const QvAtomBase* atom, U* xyz) const;
  // The active conformer, or null after warning "QvMol::<operation>() : no active conformer".
  QvConfBase* Active(const char* operation) const;
  void DestroyConfs();

  QvConfVector confs_;
  QvConfBase* active_ = nullptr;
  std::vector<QvConfBase*> active_stack_;
  unsigned next_conf_idx_ = 0;
};

using QvFloatConf = QvConfTmplt<QvConfCartImpl<float>>;
// The multi-conformer molecule with float coordinates.
using QvMol = QvMCMolTmplt<QvFloatConf>;

extern template class QvConfCartImpl<float>;
extern template class QvMCMolTmplt<QvFloatConf>;

// Makes `mol` a single-conformer copy of `conf`'s molecule with `conf`'s
// coordinates, energy and dimension, its title when it has one, and its
// generic data after the molecule's.
bool QvCopyConf(QvMolBase& mol, const QvConfBase& conf);

}  // namespace Tamrin
