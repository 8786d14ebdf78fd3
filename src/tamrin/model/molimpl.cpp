#include "tamrin/model/molimpl.h"

#include <algorithm>

#include "tamrin/model/mcmol.h"

namespace Tamrin {

bool QvMolBaseImpl::SetEnergy(float energy) {
  energy_ = energy;
  SetPerceived(QvPerceivedEnergy, true);
  return true;
}

template <class T>
bool QvMolBaseImpl::SetAllCoords(const T* xyz) {
  if (!xyz) return false;
  coords_.SetAll(xyz, GetMaxAtomIdx());
  SetPerceived(kQvCoordChange, false);
  return true;
}

template <class T>
bool QvMolBaseImpl::GetAllCoords(T* xyz) const {
  if (!xyz) return false;
  coords_.GetAll(xyz, GetMaxAtomIdx());
  return true;
}

template <class T>
bool QvMolBaseImpl::SetAtomCoords(const QvAtomBase* atom, const T* xyz) {
  if (!Mine(atom) || !xyz) return false;
  coords_.Set(atom->GetIdx(), xyz, GetMaxAtomIdx());
  SetPerceived(kQvCoordChange, false);
  return true;
}

template <class T>
bool QvMolBaseImpl::GetAtomCoords(const QvAtomBase* atom, T* xyz) const {
  if (!xyz) return false;
  if (!Mine(atom)) {
    std::fill_n(xyz, 3, T{});
    return false;
  }
  coords_.Get(atom->GetIdx(), xyz);
  return true;
}

// The inline overrides in molimpl.h call these from every translation unit
// that makes a molecule, where only their declarations are visible.
template bool QvMolBaseImpl::SetAllCoords(const float*);
template bool QvMolBaseImpl::SetAllCoords(const double*);
template bool QvMolBaseImpl::GetAllCoords(float*) const;
template bool QvMolBaseImpl::GetAllCoords(double*) const;
template bool QvMolBaseImpl::SetAtomCoords(const QvAtomBase*, const float*);
template bool QvMolBaseImpl::SetAtomCoords(const QvAtomBase*, const double*);
template bool QvMolBaseImpl::GetAtomCoords(const QvAtomBase*, float*) const;
template bool QvMolBaseImpl::GetAtomCoords(const QvAtomBase*, double*) const;

void QvMolBaseImpl::ClearCoords() {
  coords_.Zero();
  dimension_ = 0;
  SetPerceived(kQvCoordChange, false);
}

bool QvMolBaseImpl::SetDimension(unsigned dimension) {
  if (!QvValidDimension(dimension)) return false;
  dimension_ = dimension;
  return true;
}

void QvMolBaseImpl::RemapCoords(const std::vector<unsigned>& new_idx, unsigned max_idx) {
  coords_.Remap(new_idx, max_idx);
}

void QvMolBaseImpl::ResetCoords() {
  coords_.Clear(QvCoordCapacity(kQvKeptRecords));
  energy_ = 0.0f;
  dimension_ = 0;
}

bool QvMolBaseImpl::Copy(const QvMolBase& source) {
  if (&source == this) return true;
  // A multi-conformer source without conformers has no coordinates to give
  // (and would complain about the missing active conformer).
  const auto* multi = Sorvil::QvCast<QvMCMolBase>(&source);
  const bool has_coords = !multi || multi->GetActive() != nullptr;
  const QvAtomCopies copies = CopyGraph(source);
  if (!has_coords) return true;
  double xyz[3];
  for (const auto& [from, to] : copies) {
    source.GetCoords(from, xyz);
    coords_.Set(to->GetIdx(), xyz, GetMaxAtomIdx());
  }
  dimension_ = source.GetDimension();
  // Conformer energies are not flagged; any non-zero one counts as set.
  const float energy = source.GetEnergy();
  if (source.HasPerceived(QvPerceivedEnergy) || (multi && energy != 0.0f)) SetEnergy(energy);
  return true;
}

}  // namespace Tamrin
