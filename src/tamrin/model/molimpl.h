// The single-conformer molecule that readers fill: the shared graph plus one
// coordinate table of floats, an energy and a dimension.
#pragma once

#include <vector>

#include "tamrin/model/coordtable.h"
#include "tamrin/model/molgraph.h"

namespace Tamrin {

class QvMolBaseImpl : public QvMolGraphImpl<QvMolBase> {
  QV_DECLARE_TYPE("Tamrin::QvMolBaseImpl", QvMolGraphImpl<QvMolBase>)

 public:
  bool SetEnergy(double energy) override { return SetEnergy(QvNarrow<float>(energy)); }
  bool SetEnergy(float energy) override;
  float GetEnergy() const override { return energy_; }

  bool SetCoords(const float* xyz) override { return SetAllCoords(xyz); }
  bool SetCoords(const double* xyz) override { return SetAllCoords(xyz); }
  bool SetCoords(const QvAtomBase* atom, const float* xyz) override { return SetAtomCoords(atom, xyz); }
  bool SetCoords(const QvAtomBase* atom, const double* xyz) override { return SetAtomCoords(atom, xyz); }
  void ClearCoords() override;
  bool GetCoords(double* xyz) const override { return GetAllCoords(xyz); }
  bool GetCoords(float* xyz) const override { return GetAllCoords(xyz); }
  bool GetCoords(const QvAtomBase* atom, double* xyz) const override { return GetAtomCoords(atom, xyz); }
  bool GetCoords(const QvAtomBase* atom, float* xyz) const override { return GetAtomCoords(atom, xyz); }

  bool SetDimension(unsigned dimension) override;
  unsigned GetDimension() const override { return dimension_; }

  bool Copy(const QvMolBase& source) override;

  // Atom indices the coordinate table has room for.
  unsigned GetCoordCapacity() const { return coords_.capacity(); }

 protected:
  void RemapCoords(const std::vector<unsigned>& new_idx, unsigned max_idx) override;
  void ResetCoords() override;

 private:
  template <class T>
  bool SetAllCoords(const T* xyz);
  template <class T>
  bool GetAllCoords(T* xyz) const;
  template <class T>
  bool SetAtomCoords(const QvAtomBase* atom, const T* xyz);
  template <class T>
  bool GetAtomCoords(const QvAtomBase* atom, T* xyz) const;

  QvCoordTable<float> coords_;
  float energy_ = 0.0f;
  unsigned dimension_ = 0;
};

// The molecule class that QvGraphMol owns; it only adds its own identifier.
template <class Impl>
class QvMolTmplt final : public Impl {
 public:
  static constexpr Sorvil::QvTypeId TypeId =
      Sorvil::QvTypeIdFromName("Tamrin::QvMolTmplt<Tamrin::QvMolBaseImpl>");
  Sorvil::QvTypeId GetType() const override { return TypeId; }
  bool IsA(Sorvil::QvTypeId type) const override { return type == TypeId || Impl::IsA(type); }
};

using QvGraphMolImpl = QvMolTmplt<QvMolBaseImpl>;

// Whether `dimension` is one a molecule or conformer may carry.
constexpr bool QvValidDimension(unsigned dimension) {
  return dimension == 0 || dimension == 2 || dimension == 3;
}

}  // namespace Tamrin
