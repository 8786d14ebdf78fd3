// What both connection tables end with: the steps that turn the atoms and
// bonds as written into a molecule with hydrogens, rings, aromaticity and
// stereo. The order matters: hydrogens need the Kekulé orders, the stereo
// passes need hydrogens and rings, bond stereo needs the aromatic flags.
#include <cmath>
#include <cstdint>

#include "sorvil/base/tagregistry.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/mdl/mdlparity.h"
#include "tamrin/formats/mdl/mdlv3000.h"
#include "tamrin/formats/mdl/mdlvalence.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereoperception.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

using Sorvil::QvErrorHandler;

namespace mdlread {

namespace {

// Input flavor bits of the MDL formats that the stereo steps take.
constexpr unsigned kWedgeAtEitherEnd = 0x1;
constexpr unsigned kStereoGroups = 0x8;

constexpr unsigned kMDLAromaticityModel = 5;
constexpr int kAromaticBondType = 5;

void ResolveAromaticBonds(QvMolBase& mol) {
  for (QvBondBase& bond : mol.GetBonds())
    if (bond.GetIntType() == kAromaticBondType) bond.SetOrder(kQvAromaticOrder);
  QvKekulize(mol);
}

unsigned BondOrderSum(const QvAtomBase& atom) {
  unsigned sum = 0;
  for (const QvBondBase& bond : atom.GetBonds()) sum += bond.GetOrder();
  return sum;
}

unsigned RadicalElectrons(std::uint8_t radical) {
  switch (radical) {
    case kSinglet:
    case kTriplet: return 2;
    case kDoublet: return 1;
    default: return 0;
  }
}

// A valence from the file wins; then a hydrogen count from the file; the
// MDL valence model fills in the rest, less what radicals take.
void AssignHydrogens(Record& r) {
  for (const AtomScratch& a : r.atoms) {
    QvAtomBase& atom = *a.atom;
    const unsigned used = BondOrderSum(atom);
    if (a.valence != 0) {
      if (a.valence != kZeroValence && a.valence > used) atom.SetImplicitHCount(a.valence - used);
      continue;
    }
    if (a.hcount) continue;
    const unsigned valence = QvMDLDefaultValence(atom.GetAtomicNum(), atom.GetFormalCharge(), used);
    const unsigned taken = used + RadicalElectrons(a.radical);
    if (valence > taken) atom.SetImplicitHCount(valence - taken);
  }
}

// How many dimensions the coordinates span: 0 when all are zero, 1 when
// they lie on one line (a single atom away from the origin included), 2 in
// a plane z = 0, otherwise 3.
unsigned SpannedDimensions(const QvMolBase& mol) {
  constexpr double kEps = 1e-4;
  bool first = true;
  double origin[3] = {0, 0, 0};
  double axis[3] = {0, 0, 0};
  bool has_axis = false;
  bool off_origin = false;
  bool off_line = false;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double p[3];
    mol.GetCoords(&atom, p);
    if (std::fabs(p[2]) > kEps) return 3;
    off_origin = off_origin || std::fabs(p[0]) > kEps || std::fabs(p[1]) > kEps;
    if (first) {
      origin[0] = p[0], origin[1] = p[1];
      first = false;
      continue;
    }
    const double d[2] = {p[0] - origin[0], p[1] - origin[1]};
    if (!has_axis) {
      if (std::hypot(d[0], d[1]) > kEps) axis[0] = d[0], axis[1] = d[1], has_axis = true;
      continue;
    }
    const double cross = axis[0] * d[1] - axis[1] * d[0];
    off_line = off_line || std::fabs(cross) > kEps * std::hypot(axis[0], axis[1]);
  }
  if (!off_origin) return 0;
  return off_line ? 2 : 1;
}

// A layout that is flat in z is a drawing; one that is not even that carries
// no geometry worth keeping, except the position of a lone atom.
void SettleDimension(QvMolBase& mol) {
  unsigned dimension = SpannedDimensions(mol);
  if (dimension == 1) dimension = mol.NumAtoms() == 1 ? 2 : 0;
  mol.SetDimension(dimension);
}

void AtomStereo(Record& r) {
  QvMolBase& mol = r.mol;
  const bool three_d = mol.GetDimension() == 3;
  if (r.wedges && !three_d) {
    QvPerceiveAtomStereoFromWedges(mol, r.stereo_options & kWedgeAtEitherEnd);
  } else if (r.parities) {
    QvPerceiveAtomStereoFromParities(mol);
  } else {
    mol.SetPerceived(QvPerceivedAtomStereo, !three_d);
  }
}

// Whether any double bond could be a cis/trans centre: not aromatic, and
// some other substituent (atom or hydrogen) at each end. Most records have
// none (their double bonds are carbonyls and the like), and for them the
// coordinate pass, which first classifies every atom by symmetry, would
// find nothing to do.
bool HasCisTransCandidate(const QvMolBase& mol) {
  for (const QvBondBase& bond : mol.GetBonds()) {
    if (bond.GetOrder() != 2 || bond.IsAromatic()) continue;
    if (bond.GetBgn()->GetTotalDegree() >= 2 && bond.GetEnd()->GetTotalDegree() >= 2) return true;
  }
  return false;
}

void BondStereo(Record& r) {
  QvMolBase& mol = r.mol;
  if (!HasCisTransCandidate(mol)) {
    mol.SetPerceived(QvPerceivedBondStereo, true);
    return;
  }
  if (mol.GetDimension() < 2) {
    mol.SetPerceived(QvPerceivedBondStereo, true);
    QvPerceiveStereoFromCoords(mol);
    return;
  }
  const std::vector<std::uint8_t>& flags = r.unspecified;
  QvPerceiveBondStereoFromCoords(mol, [&flags](const QvBondBase& bond) {
    return bond.GetIdx() < flags.size() && flags[bond.GetIdx()] != 0;
  });
}

}  // namespace

void Finish(Record& r) {
  QvMolBase& mol = r.mol;
  for (const AtomScratch& a : r.atoms) {
    if (a.rgroup == 0) continue;
    a.atom->SetAtomicNum(0);
    a.atom->SetMapIdx(a.rgroup);
  }
  if (r.aromatic_bonds) ResolveAromaticBonds(mol);
  AssignHydrogens(r);
  if (mol.GetDimension() != 3) SettleDimension(mol);
  QvPerceiveRings(mol);
  AtomStereo(r);
  QvPerceiveAromaticity(mol, kMDLAromaticityModel);
  BondStereo(r);
  if ((r.stereo_options & kStereoGroups) && !QvCreateMDLStereoGroups(mol))
    QvErrorHandler::Warning("Cannot create stereo group!");
}

}  // namespace mdlread

}  // namespace Tamrin
