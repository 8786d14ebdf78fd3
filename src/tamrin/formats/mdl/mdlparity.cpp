#include "tamrin/formats/mdl/mdlparity.h"

#include <algorithm>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/stereogeometry.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace {

using Four = std::array<const QvAtomBase*, 4>;

Sorvil::QvTag ParityTag() {
  static const Sorvil::QvTag tag = Sorvil::QvGetTag("MDLAtomParity");
  return tag;
}

// The neighbours of `centre` numbered the MDL way: by atom index, hydrogen
// atoms after the others and the implicit hydrogen (or lone pair) last.
bool ParityOrder(const QvAtomBase& centre, Four& nbrs) {
  if (!stereo_geometry::CentreNeighbours(centre, nbrs)) return false;
  std::sort(nbrs.begin(), nbrs.end(), [](const QvAtomBase* a, const QvAtomBase* b) {
    if (!a || !b) return a && !b;
    if (a->IsHydrogen() != b->IsHydrogen()) return b->IsHydrogen();
    return a->GetIdx() < b->GetIdx();
  });
  return true;
}

}  // namespace

void QvPerceiveAtomStereoFromParities(QvMolBase& mol) {
  stereo_geometry::ConfigureCentres(mol, [](QvAtomBase& atom) {
    const int* parity = atom.GetDataPtr<int>(ParityTag());
    Four nbrs{};
    if (parity && (*parity == 1 || *parity == 2) && ParityOrder(atom, nbrs))
      QvSetAtomStereo(atom, nbrs, *parity == 1 ? QvChirality::Clockwise : QvChirality::Anticlockwise);
  });
  mol.SetPerceived(QvPerceivedAtomStereo, true);
}

unsigned QvMDLParity(const QvAtomBase& atom) {
  Four nbrs{};
  if (!ParityOrder(atom, nbrs)) return 0;
  switch (QvGetAtomStereo(atom, nbrs)) {
    case QvChirality::Clockwise: return 1;
    case QvChirality::Anticlockwise: return 2;
    default: return 0;
  }
}

void QvDeriveMDLParities(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms()) {
    if (const unsigned parity = QvMDLParity(atom))
      atom.SetData(ParityTag(), static_cast<int>(parity));
    else
      atom.DeleteData(ParityTag());
  }
}

bool QvCreateMDLStereoGroups(QvMolBase& mol) {
  static const Sorvil::QvTag chiral_flag = Sorvil::QvGetTag("MDLParity");
  const bool* flag = mol.GetDataPtr<bool>(chiral_flag);
  unsigned highest_and = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const QvStereoGroup group = QvGetStereoGroup(atom);
    if (group.kind == QvStereoGroupKind::And) highest_and = std::max(highest_and, group.number);
  }
  const QvStereoGroup group = flag && *flag ? QvStereoGroup{QvStereoGroupKind::Absolute, 0}
                                            : QvStereoGroup{QvStereoGroupKind::And, highest_and + 1};
  bool ok = true;
  for (QvAtomBase& atom : mol.GetAtoms())
    if (QvMDLParity(atom) != 0 && QvGetStereoGroup(atom).kind == QvStereoGroupKind::None)
      ok = QvSetStereoGroup(atom, group) && ok;
  return ok;
}

}  // namespace Tamrin
