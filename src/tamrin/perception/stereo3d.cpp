// Stereo from coordinates: tetrahedral centres from 3D, cis/trans double
// bonds from 2D or 3D, and both as the coordinates at hand allow.
#include <cmath>
#include <utility>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/stereogeometry.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace {

using stereo_geometry::Position;
using stereo_geometry::Unit;
using stereo_geometry::Vec3;

// Substituents closer than this to the bond axis (about 6 degrees) show no
// side; dihedrals within about 80 to 100 degrees show neither cis nor trans.
constexpr double kMinOffAxis = 0.1;
constexpr double kMinCosine = 0.17;

// The first substituent at `end` (other than `other`) that lies off the bond
// axis, and its direction perpendicular to the axis.
const QvAtomBase* OffAxisSubstituent(const QvAtomBase& end, const QvAtomBase& other, const Vec3& axis, Vec3& perp) {
  const QvAtomBase* found = nullptr;
  const Vec3 origin = Position(end);
  QvForEachNbr(end, [&](const QvAtomBase& nbr) {
    Vec3 dir;
    if (found || &nbr == &other || !Unit(Position(nbr) - origin, dir)) return;
    const Vec3 off = dir - axis * dir.Dot(axis);
    if (!(off.Length() >= kMinOffAxis)) return;
    found = &nbr;
    Unit(off, perp);
  });
  return found;
}

void ConfigureDoubleBond(QvBondBase& bond) {
  const QvAtomBase& bgn = *bond.GetBgn();
  const QvAtomBase& end = *bond.GetEnd();
  Vec3 axis, perp_bgn, perp_end;
  if (!Unit(Position(end) - Position(bgn), axis)) return;
  const QvAtomBase* ref_bgn = OffAxisSubstituent(bgn, end, axis, perp_bgn);
  const QvAtomBase* ref_end = OffAxisSubstituent(end, bgn, axis, perp_end);
  if (!ref_bgn || !ref_end) return;
  const double cosine = perp_bgn.Dot(perp_end);
  if (!(std::fabs(cosine) >= kMinCosine)) return;
  QvSetBondStereo(bond, ref_bgn, ref_end, cosine > 0 ? QvBondConfig::Cis : QvBondConfig::Trans);
}

bool HasEitherDoubleMark(const QvBondBase& bond) {
  const int* mark = bond.GetDataPtr<int>(Sorvil::QvBondStereoTag);
  return mark && *mark == 6;
}

void ConfigureCentreFrom3D(QvAtomBase& centre) {
  std::array<const QvAtomBase*, 4> nbrs{};
  if (!stereo_geometry::CentreNeighbours(centre, nbrs)) return;
  const Vec3 origin = Position(centre);
  const QvChirality hand = stereo_geometry::CentreHandedness(
      nbrs, [&origin](const QvAtomBase& nbr, Vec3& dir) { return Unit(Position(nbr) - origin, dir); });
  if (hand != QvChirality::None) QvSetAtomStereo(centre, nbrs, hand);
}

// `candidates` were found with the atom configurations the molecule has now;
// configurations stored on bonds before are dropped, and when there were
// any, the candidates are looked for again without them. Like centres,
// double bonds between branches that only their own double bonds tell
// apart are found in a further round.
void BondStereoFromCoords(QvMolBase& mol, QvStereoCandidates candidates,
                          const std::function<bool(const QvBondBase&)>& unspecified) {
  bool stale = false;
  for (QvBondBase& bond : mol.GetBonds()) {
    stale = stale || QvHasBondStereo(bond);
    QvClearBondStereo(bond);
  }
  if (stale) candidates = QvFindStereoCandidates(mol);
  std::vector<bool> tried(mol.GetMaxBondIdx(), false);
  stereo_geometry::ConfigureInRounds(mol, std::move(candidates), [&](const QvStereoCandidates& found) {
    bool splits_class = false;
    for (QvBondBase& bond : mol.GetBonds()) {
      const unsigned idx = bond.GetIdx();
      if (!found.bonds[idx] || tried[idx]) continue;
      tried[idx] = true;
      if (HasEitherDoubleMark(bond) || (unspecified && unspecified(bond))) continue;
      ConfigureDoubleBond(bond);
      const bool shared =
          found.in_shared_class[bond.GetBgn()->GetIdx()] || found.in_shared_class[bond.GetEnd()->GetIdx()];
      splits_class = splits_class || (shared && QvHasBondStereo(bond));
    }
    return splits_class;
  });
  mol.SetPerceived(QvPerceivedBondStereo, true);
}

}  // namespace

void QvPerceiveStereoFrom3D(QvMolBase& mol) {
  QvStereoCandidates candidates = stereo_geometry::ConfigureCentres(mol, ConfigureCentreFrom3D);
  mol.SetPerceived(QvPerceivedAtomStereo, true);
  BondStereoFromCoords(mol, std::move(candidates), {});
}

void QvPerceiveBondStereoFromCoords(QvMolBase& mol, const std::function<bool(const QvBondBase&)>& unspecified) {
  BondStereoFromCoords(mol, QvFindStereoCandidates(mol), unspecified);
}

void QvPerceiveStereoFromCoords(QvMolBase& mol) {
  switch (mol.GetDimension()) {
    case 3: QvPerceiveStereoFrom3D(mol); break;
    case 2:
      QvPerceiveAtomStereoFromWedges(mol, 0);
      QvPerceiveBondStereoFromCoords(mol, {});
      break;
    default: break;
  }
}

}  // namespace Tamrin
