#include "tamrin/model/mcmol.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "sorvil/error/errorhandler.h"
#include "tamrin/model/molimpl.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace {

std::string_view CutTitle(const char* title) {
  return title ? std::string_view(title).substr(0, kQvMaxTitleLength) : std::string_view();
}

// Copies coordinates from the atoms of one molecule to those of another,
// pairing them in list order. The caller has checked the counts.
template <class From, class To>
void CopyByListOrder(const QvMolBase& from_mol, const From& from, const QvMolBase& to_mol, To& to) {
  auto target = to_mol.GetAtoms().begin();
  double xyz[3];
  for (const QvAtomBase& atom : from_mol.GetAtoms()) {
    from.GetCoords(&atom, xyz);
    to.SetCoords(&*target, xyz);
    ++target;
  }
}

}  // namespace

bool QvConfBase::IsActive() const { return GetParent()->GetActive() == this; }

// Conformers.

template <class T>
bool QvConfCartImpl<T>::SetTitle(const std::string& title) {
  title_.assign(title, 0, kQvMaxTitleLength);
  return true;
}

template <class T>
bool QvConfCartImpl<T>::SetTitle(const char* title) {
  title_.assign(CutTitle(title));
  return true;
}

template <class T>
bool QvConfCartImpl<T>::SetEnergy(float energy) {
  energy_ = energy;
  return true;
}

template <class T>
bool QvConfCartImpl<T>::SetDimension(unsigned dimension) {
  if (!QvValidDimension(dimension)) return false;
  dimension_ = dimension;
  return true;
}

template <class T>
template <class U>
bool QvConfCartImpl<T>::SetAllCoords(const U* xyz) {
  if (!xyz) return false;
  coords_.SetAll(xyz, parent_->GetMaxAtomIdx());
  parent_->SetPerceived(kQvCoordChange, false);
  return true;
}

template <class T>
template <class U>
bool QvConfCartImpl<T>::GetAllCoords(U* xyz) const {
  if (!xyz) return false;
  coords_.GetAll(xyz, parent_->GetMaxAtomIdx());
  return true;
}

template <class T>
template <class U>
bool QvConfCartImpl<T>::SetAtomCoords(const QvAtomBase* atom, const U* xyz) {
  if (!atom || atom->GetParent() != parent_ || !xyz) return false;
  coords_.Set(atom->GetIdx(), xyz, parent_->GetMaxAtomIdx());
  parent_->SetPerceived(kQvCoordChange, false);
  return true;
}

template <class T>
template <class U>
bool QvConfCartImpl<T>::GetAtomCoords(const QvAtomBase* atom, U* xyz) const {
  if (!xyz) return false;
  if (!atom || atom->GetParent() != parent_) {
    std::fill_n(xyz, 3, U{});
    return false;
  }
  coords_.Get(atom->GetIdx(), xyz);
  return true;
}

template <class T>
void QvConfCartImpl<T>::ClearCoords() {
  coords_.Zero();
  dimension_ = 0;
  parent_->SetPerceived(kQvCoordChange, false);
}

template <class T>
bool QvConfCartImpl<T>::CopyCoords(const QvConfBase& other) {
  if (&other == this) return true;
  const QvMCMolBase& from_mol = *other.GetParent();
  if (from_mol.NumAtoms() != parent_->NumAtoms()) {
    QvErrorHandler::Warning("Incompatible conformer size, cannot copy.");
    return false;
  }
  CopyByListOrder(from_mol, other, *parent_, *this);
  dimension_ = other.GetDimension();
  return true;
}

// The multi-conformer molecule.

template <class Conf>
QvConfBase* QvMCMolTmplt<Conf>::Active(const char* operation) const {
  if (!active_) QvErrorHandler::Warning("QvMol::%s() : no active conformer", operation);
  return active_;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::SetEnergy(float energy) {
  QvConfBase* conf = Active("SetEnergy");
  if (!conf) return false;
  conf->SetEnergy(energy);
  SetPerceived(QvPerceivedEnergy, true);
  return true;
}

template <class Conf>
float QvMCMolTmplt<Conf>::GetEnergy() const {
  const QvConfBase* conf = Active("GetEnergy");
  if (!conf) return 0.0f;
  const float energy = conf->GetEnergy();
  if (std::isnan(energy)) QvErrorHandler::Warning("QvMol::GetEnergy() : is a NaN");
  return energy;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::SetDimension(unsigned dimension) {
  QvConfBase* conf = Active("SetDimension");
  return conf && conf->SetDimension(dimension);
}

template <class Conf>
unsigned QvMCMolTmplt<Conf>::GetDimension() const {
  const QvConfBase* conf = Active("GetDimension");
  return conf ? conf->GetDimension() : 0;
}

template <class Conf>
template <class U>
bool QvMCMolTmplt<Conf>::SetAllCoords(const U* xyz) {
  QvConfBase* conf = Active("SetCoords");
  return conf && conf->SetCoords(xyz);
}

template <class Conf>
template <class U>
bool QvMCMolTmplt<Conf>::GetAllCoords(U* xyz) const {
  if (const QvConfBase* conf = Active("GetCoords")) return conf->GetCoords(xyz);
  if (xyz) std::fill_n(xyz, 3 * size_t{GetMaxAtomIdx()}, U{});
  return false;
}

template <class Conf>
template <class U>
bool QvMCMolTmplt<Conf>::SetAtomCoords(const QvAtomBase* atom, const U* xyz) {
  QvConfBase* conf = Active("SetCoords");
  return conf && conf->SetCoords(atom, xyz);
}

template <class Conf>
template <class U>
bool QvMCMolTmplt<Conf>::GetAtomCoords(const QvAtomBase* atom, U* xyz) const {
  if (const QvConfBase* conf = Active("GetCoords")) return conf->GetCoords(atom, xyz);
  if (xyz) std::fill_n(xyz, 3, U{});
  return false;
}

template <class Conf>
void QvMCMolTmplt<Conf>::ClearCoords() {
  if (active_) active_->ClearCoords();
}

template <class Conf>
Conf* QvMCMolTmplt<Conf>::NewConfRecord() {
  auto conf = std::make_unique<Conf>(this, next_conf_idx_);
  confs_.push_back(conf.get());
  ++next_conf_idx_;
  if (!active_) active_ = conf.get();
  return conf.release();
}

template <class Conf>
template <class U>
QvConfBase* QvMCMolTmplt<Conf>::NewConfFrom(const U* xyz) {
  if (!xyz) return nullptr;
  Conf* conf = NewConfRecord();
  conf->SetCoords(xyz);
  return conf;
}

template <class Conf>
QvConfBase* QvMCMolTmplt<Conf>::NewConf(const QvMolBase& mol) {
  if (mol.NumAtoms() != NumAtoms()) {
    QvErrorHandler::Warning("Unequal number of atoms when copying conformer coordinates: %d != %d",
                            static_cast<int>(mol.NumAtoms()), static_cast<int>(NumAtoms()));
    return nullptr;
  }
  if (const auto* multi = Sorvil::QvCast<QvMCMolBase>(&mol)) {
    // Its active conformer, or nothing to take coordinates from.
    return multi->GetActive() ? NewConf(*multi->GetActive()) : NewConfRecord();
  }
  Conf* conf = NewConfRecord();
  CopyByListOrder(mol, mol, *this, *conf);
  conf->SetDimension(mol.GetDimension());
  if (mol.HasPerceived(QvPerceivedEnergy)) conf->SetEnergy(mol.GetEnergy());
  conf->SetTitle(mol.GetTitle());
  conf->CopyData(mol);
  return conf;
}

template <class Conf>
QvConfBase* QvMCMolTmplt<Conf>::NewConf(const QvConfBase& source) {
  if (source.GetParent()->NumAtoms() != NumAtoms()) {
    QvErrorHandler::Warning("Incompatible conformer size, cannot copy.");
    return nullptr;
  }
  Conf* conf = NewConfRecord();
  conf->CopyCoords(source);
  conf->SetTitle(source.GetTitle());
  conf->SetEnergy(source.GetEnergy());
  conf->CopyData(source);
  return conf;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::DeleteConf(QvConfBase* conf) {
  auto it = std::find(confs_.begin(), confs_.end(), conf);
  if (it == confs_.end()) return false;
  confs_.erase(it);
  std::replace(active_stack_.begin(), active_stack_.end(), conf, static_cast<QvConfBase*>(nullptr));
  if (active_ == conf) active_ = confs_.empty() ? nullptr : confs_.front();
  delete conf;
  return true;
}

template <class Conf>
void QvMCMolTmplt<Conf>::DestroyConfs() {
  for (QvConfBase* conf : confs_) delete conf;
  confs_.clear();
  active_stack_.clear();
  active_ = nullptr;
}

template <class Conf>
void QvMCMolTmplt<Conf>::DeleteConfs() {
  DestroyConfs();
}

template <class Conf>
bool QvMCMolTmplt<Conf>::SetActive(QvConfBase* conf) {
  if (!OwnsConf(conf)) return false;
  active_ = conf;
  return true;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::PushActive(QvConfBase* conf) {
  if (!OwnsConf(conf)) return false;
  active_stack_.push_back(active_);
  active_ = conf;
  return true;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::PopActive() {
  if (active_stack_.empty()) return false;
  QvConfBase* previous = active_stack_.back();
  active_stack_.pop_back();
  // The remembered conformer may have been deleted meanwhile.
  active_ = previous ? previous : (confs_.empty() ? nullptr : confs_.front());
  return true;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::OwnsConf(const void* record) const {
  return record && std::find(confs_.begin(), confs_.end(), record) != confs_.end();
}

template <class Conf>
void QvMCMolTmplt<Conf>::RemapCoords(const std::vector<unsigned>& new_idx, unsigned max_idx) {
  for (QvConfBase* conf : confs_) static_cast<Conf*>(conf)->RemapCoords(new_idx, max_idx);
}

template <class Conf>
void QvMCMolTmplt<Conf>::ResetCoords() {
  DestroyConfs();
  next_conf_idx_ = 0;
}

template <class Conf>
bool QvMCMolTmplt<Conf>::Copy(const QvMolBase& source) {
  if (&source == this) return true;
  const auto* multi = Sorvil::QvCast<QvMCMolBase>(&source);
  CopyGraph(source);
  if (source.HasPerceived(QvPerceivedEnergy)) SetPerceived(QvPerceivedEnergy, true);
  if (!multi) {
    QvConfBase* conf = NewConf(source);
    if (!conf) return false;
    // The title and data belong to the molecule, which has them already.
    conf->SetTitle("");
    conf->ClearData();
    return true;
  }
  for (const QvConfBase& conf : multi->GetConfs()) {
    QvConfBase* copy = NewConf(conf);
    if (copy && conf.IsActive()) active_ = copy;
  }
  return true;
}

template class QvConfCartImpl<float>;
template class QvMCMolTmplt<QvFloatConf>;

// Instantiating the classes does not instantiate their member templates, and
// the inline overrides in the header call these directly once devirtualised.
#define TAMRIN_COORD_MEMBERS(Class, U)                                        \
  template bool Class::SetAllCoords(const U*);                               \
  template bool Class::GetAllCoords(U*) const;                               \
  template bool Class::SetAtomCoords(const QvAtomBase*, const U*);           \
  template bool Class::GetAtomCoords(const QvAtomBase*, U*) const;
TAMRIN_COORD_MEMBERS(QvConfCartImpl<float>, float)
TAMRIN_COORD_MEMBERS(QvConfCartImpl<float>, double)
TAMRIN_COORD_MEMBERS(QvMCMolTmplt<QvFloatConf>, float)
TAMRIN_COORD_MEMBERS(QvMCMolTmplt<QvFloatConf>, double)
#undef TAMRIN_COORD_MEMBERS
template QvConfBase* QvMCMolTmplt<QvFloatConf>::NewConfFrom(const float*);
template QvConfBase* QvMCMolTmplt<QvFloatConf>::NewConfFrom(const double*);

bool QvCopyConf(QvMolBase& mol, const QvConfBase& conf) {
  if (Sorvil::QvCast<QvMCMolBase>(&mol)) {
    // Built as a single-conformer molecule first, so that only this
    // conformer's coordinates reach the target.
    QvGraphMolImpl single;
    return QvCopyConf(single, conf) && mol.Copy(single);
  }
  const QvMCMolBase& parent = *conf.GetParent();
  if (!mol.Copy(parent)) return false;
  CopyByListOrder(parent, conf, mol, mol);
  mol.SetDimension(conf.GetDimension());
  if (conf.GetEnergy() != 0.0f) mol.SetEnergy(conf.GetEnergy());
  if (*conf.GetTitle()) mol.SetTitle(conf.GetTitle());
  for (const Sorvil::QvBaseData& item : conf.GetDataItems()) mol.AddData(item.Clone());
  return true;
}

}  // namespace Tamrin
