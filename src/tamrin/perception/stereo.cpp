#include "tamrin/perception/stereo.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/neighbours.h"

namespace Tamrin {

namespace {

Sorvil::QvTag AtomStereoTag() {
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("QvAtomStereo");
  return tag;
}
Sorvil::QvTag BondStereoTag() {
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("QvBondStereo");
  return tag;
}
Sorvil::QvTag StereoGroupTag() {
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("QvStereoGroup");
  return tag;
}

using Four = std::array<const QvAtomBase*, 4>;

// The reference order of a stereo centre; false when the atom cannot be one.
// A null neighbour (an implicit hydrogen) comes first, real ones by index,
// which Sweep and Copy keep in order. Each index is asked for once.
bool ReferenceOrder(const QvAtomBase& atom, Four& out) {
  std::array<std::pair<std::uint64_t, const QvAtomBase*>, 4> keyed{};
  unsigned degree = 0;
  QvForEachNbr(atom, [&keyed, &degree](const QvAtomBase& nbr) {
    if (degree < keyed.size()) keyed[degree] = {std::uint64_t{nbr.GetIdx()} + 1, &nbr};
    ++degree;
  });
  if (degree < 3 || degree > 4 || (degree == 3 && atom.GetImplicitHCount() > 1)) return false;
  if (degree == 4 && atom.GetImplicitHCount() > 0) return false;
  if (degree == 3) keyed[3] = {0, nullptr};
  for (size_t i = 1; i < 4; ++i)
    for (size_t j = i; j > 0 && keyed[j].first < keyed[j - 1].first; --j) std::swap(keyed[j], keyed[j - 1]);
  for (size_t i = 0; i < 4; ++i) out[i] = keyed[i].second;
  return std::adjacent_find(out.begin(), out.end()) == out.end();
}

// True when `nbrs` is an even permutation of `ref`; `ok` turns false when it
// is no permutation of it at all.
bool EvenPermutation(std::span<const QvAtomBase* const> nbrs, const Four& ref, bool& ok) {
  ok = nbrs.size() == 4;
  if (!ok) return false;
  std::array<size_t, 4> pos{};
  for (size_t i = 0; i < 4 && ok; ++i) {
    const auto it = std::find(ref.begin(), ref.end(), nbrs[i]);
    ok = it != ref.end();
    if (ok) pos[i] = static_cast<size_t>(it - ref.begin());
  }
  unsigned inversions = 0;
  for (size_t i = 0; i < 4; ++i)
    for (size_t j = i + 1; j < 4; ++j) {
      ok = ok && pos[i] != pos[j];
      inversions += pos[i] > pos[j];
    }
  return inversions % 2 == 0;
}

template <class E>
E Flipped(E value, bool flip) {
  if (!flip || value == E{}) return value;
  return static_cast<E>(3 - static_cast<unsigned>(value));
}

// The reference substituent at `end` of a double bond to `other`: its
// lowest-index neighbour besides `other`. `given` must be a neighbour (or
// null for an implicit hydrogen); `flip` says whether it is not the reference.
bool BondEndReference(const QvAtomBase& end, const QvAtomBase& other, const QvAtomBase* given, bool& flip) {
  const QvAtomBase* lowest = nullptr;
  unsigned others = 0;
  bool found = given == nullptr && end.GetImplicitHCount() == 1;
  QvForEachNbr(end, [&](const QvAtomBase& nbr) {
    if (&nbr == &other) return;
    ++others;
    found = found || &nbr == given;
    if (!lowest || nbr.GetIdx() < lowest->GetIdx()) lowest = &nbr;
  });
  if (!found || others == 0 || others > 2 || others + end.GetImplicitHCount() > 2) return false;
  flip = given != lowest;
  return true;
}

bool BondReferences(const QvBondBase& bond, const QvAtomBase* ref_bgn, const QvAtomBase* ref_end, bool& flip) {
  const QvAtomBase* bgn = bond.GetBgn();
  const QvAtomBase* end = bond.GetEnd();
  bool flip_bgn = false, flip_end = false;
  if (!bgn || !end || bond.IsDeleted()) return false;
  if (!BondEndReference(*bgn, *end, ref_bgn, flip_bgn) || !BondEndReference(*end, *bgn, ref_end, flip_end))
    return false;
  flip = flip_bgn != flip_end;
  return true;
}

}  // namespace

bool QvSetAtomStereo(QvAtomBase& atom, std::span<const QvAtomBase* const> nbrs, QvChirality chirality) {
  Four ref{};
  bool ok = false;
  if (chirality == QvChirality::None || atom.IsDeleted() || !ReferenceOrder(atom, ref)) return false;
  const bool even = EvenPermutation(nbrs, ref, ok);
  if (!ok) return false;
  return atom.SetData(AtomStereoTag(), static_cast<unsigned>(Flipped(chirality, !even)));
}

QvChirality QvGetAtomStereo(const QvAtomBase& atom, std::span<const QvAtomBase* const> nbrs) {
  const unsigned* stored = atom.GetDataPtr<unsigned>(AtomStereoTag());
  Four ref{};
  bool ok = false;
  if (!stored || (*stored != 1 && *stored != 2) || !ReferenceOrder(atom, ref)) return QvChirality::None;
  const bool even = EvenPermutation(nbrs, ref, ok);
  return ok ? Flipped(static_cast<QvChirality>(*stored), !even) : QvChirality::None;
}

bool QvHasAtomStereo(const QvAtomBase& atom) { return atom.GetDataPtr<unsigned>(AtomStereoTag()) != nullptr; }
void QvClearAtomStereo(QvAtomBase& atom) { atom.DeleteData(AtomStereoTag()); }

bool QvSetBondStereo(QvBondBase& bond, const QvAtomBase* ref_bgn, const QvAtomBase* ref_end, QvBondConfig config) {
  bool flip = false;
  if (config == QvBondConfig::None || !BondReferences(bond, ref_bgn, ref_end, flip)) return false;
  return bond.SetData(BondStereoTag(), static_cast<unsigned>(Flipped(config, flip)));
}

QvBondConfig QvGetBondStereo(const QvBondBase& bond, const QvAtomBase* ref_bgn, const QvAtomBase* ref_end) {
  const unsigned* stored = bond.GetDataPtr<unsigned>(BondStereoTag());
  bool flip = false;
  if (!stored || (*stored != 1 && *stored != 2) || !BondReferences(bond, ref_bgn, ref_end, flip))
    return QvBondConfig::None;
  return Flipped(static_cast<QvBondConfig>(*stored), flip);
}

bool QvHasBondStereo(const QvBondBase& bond) { return bond.GetDataPtr<unsigned>(BondStereoTag()) != nullptr; }
void QvClearBondStereo(QvBondBase& bond) { bond.DeleteData(BondStereoTag()); }

bool QvSetStereoGroup(QvAtomBase& atom, QvStereoGroup group) {
  constexpr unsigned kMaxNumber = 0xFFFFFF;
  switch (group.kind) {
    case QvStereoGroupKind::None: return false;
    case QvStereoGroupKind::Absolute:
      if (group.number != 0) return false;
      break;
    default:
      if (group.number == 0 || group.number > kMaxNumber) return false;
  }
  return atom.SetData(StereoGroupTag(), static_cast<unsigned>(group.kind) << 24 | group.number);
}

QvStereoGroup QvGetStereoGroup(const QvAtomBase& atom) {
  const unsigned* stored = atom.GetDataPtr<unsigned>(StereoGroupTag());
  if (!stored || (*stored >> 24) > static_cast<unsigned>(QvStereoGroupKind::And)) return {};
  return {static_cast<QvStereoGroupKind>(*stored >> 24), *stored & 0xFFFFFF};
}

void QvClearStereoGroup(QvAtomBase& atom) { atom.DeleteData(StereoGroupTag()); }

void QvClearStereo(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms()) {
    atom.DeleteData(AtomStereoTag());
    atom.DeleteData(StereoGroupTag());
  }
  for (QvBondBase& bond : mol.GetBonds()) bond.DeleteData(BondStereoTag());
  mol.SetPerceived(QvPerceivedAtomStereo | QvPerceivedBondStereo, false);
}

}  // namespace Tamrin
