// Atom stereo and 2D wedge marks: reading the marks of a depiction, marking a
// depiction for writing, and checking one.
#include <algorithm>
#include <tuple>
#include <utility>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/rings.h"
#include "tamrin/perception/stereogeometry.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin {

namespace {

using stereo_geometry::Position;
using stereo_geometry::Vec3;
using Four = std::array<const QvAtomBase*, 4>;


int MarkOf(const QvBondBase& bond) {
  const int* mark = bond.GetDataPtr<int>(Sorvil::QvBondStereoTag);
  return mark ? *mark : 0;
}

// How the marks are read: which atoms are centres, and whether a mark whose
// begin atom is none counts for its end atom.
struct WedgeRules {
  const std::vector<bool>& centres;
  bool wide_end;
};

// The side of the plane on which `bond` puts the neighbour of `centre`: +1
// above, -1 below, 0 in the plane; `either` turns true for an "either" mark.
int Elevation(const QvBondBase& bond, const QvAtomBase& centre, const WedgeRules& rules, bool& either) {
  const int mark = MarkOf(bond);
  if (mark != QvWedge::Up && mark != QvWedge::Hash && mark != QvWedge::Either) return 0;
  int sign = 0;
  if (bond.GetBgn() == &centre)
    sign = 1;
  else if (rules.wide_end && bond.GetBgn() && !rules.centres[bond.GetBgn()->GetIdx()])
    sign = -1;
  either = either || (sign != 0 && mark == QvWedge::Either);
  return mark == QvWedge::Either ? 0 : mark == QvWedge::Up ? sign : -sign;
}

// The handedness that the drawing gives `centre` along `nbrs`, with an extra
// mark `trial` (QvWedge::Up) on `trial_bond` when that is not null; None when it
// gives none.
QvChirality DrawnHandedness(const QvAtomBase& centre, const Four& nbrs, const WedgeRules& rules,
                            const QvBondBase* trial_bond = nullptr) {
  bool either = false, marked = trial_bond != nullptr;
  const Vec3 origin = Position(centre);
  const auto direction = [&](const QvAtomBase& nbr, Vec3& dir) {
    const QvBondBase* bond = centre.GetBond(&nbr);
    const Vec3 flat = Position(nbr) - origin;
    if (!bond || !stereo_geometry::Unit({flat.x, flat.y, 0}, dir)) return false;
    const int z = bond == trial_bond ? 1 : trial_bond ? 0 : Elevation(*bond, centre, rules, either);
    marked = marked || z != 0;
    dir.z = z;
    return true;
  };
  const QvChirality hand = stereo_geometry::CentreHandedness(nbrs, direction);
  return either || !marked ? QvChirality::None : hand;
}

bool Configured(const QvAtomBase& atom, Four& nbrs) {
  return stereo_geometry::CentreNeighbours(atom, nbrs) && QvGetAtomStereo(atom, nbrs) != QvChirality::None;
}

class WedgeAssigner {
 public:
  explicit WedgeAssigner(QvMolBase& mol)
      : mol_(mol), centres_(QvFindStereoCandidates(mol).atoms), used_(mol.GetMaxBondIdx(), false) {}

  void Run() {
    if (!mol_.HasPerceived(QvPerceivedRings)) QvPerceiveRings(mol_);
    for (QvBondBase& bond : mol_.GetBonds()) {
      const int mark = MarkOf(bond);
      if (mark == QvWedge::Up || mark == QvWedge::Hash || mark == QvWedge::Either ||
          (mark == QvWedge::EitherDouble && QvHasBondStereo(bond)))
        bond.DeleteData(Sorvil::QvBondStereoTag);
    }
    // Centres with the fewest usable bonds choose first, so that a bond
    // shared by two centres goes to the one that needs it.
    std::vector<std::pair<unsigned, QvAtomBase*>> todo;
    for (QvAtomBase& atom : mol_.GetAtoms()) {
      Four nbrs{};
      if (centres_[atom.GetIdx()] && Configured(atom, nbrs)) todo.emplace_back(Choices(atom).size(), &atom);
    }
    std::stable_sort(todo.begin(), todo.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [count, atom] : todo) MarkCentre(*atom);
  }

 private:
  // The single bonds of `centre` not yet marked, best first.
  std::vector<QvBondBase*> Choices(QvAtomBase& centre) const {
    std::vector<std::pair<std::tuple<bool, bool, bool, unsigned, unsigned>, QvBondBase*>> scored;
    for (QvBondBase& bond : centre.GetBonds()) {
      const QvAtomBase* nbr = bond.GetNbr(&centre);
      if (!nbr || bond.GetOrder() != 1 || bond.IsAromatic() || used_[bond.GetIdx()]) continue;
      const bool nbr_centre = centres_[nbr->GetIdx()] && QvHasAtomStereo(*nbr);
      scored.push_back({{bond.IsInRing(), nbr_centre, !nbr->IsHydrogen(), nbr->GetExplicitDegree(), nbr->GetIdx()},
                        &bond});
    }
    std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<QvBondBase*> out;
    for (const auto& item : scored) out.push_back(item.second);
    return out;
  }

  void MarkCentre(QvAtomBase& centre) {
    Four nbrs{};
    if (!Configured(centre, nbrs)) return;
    const QvChirality stored = QvGetAtomStereo(centre, nbrs);
    const WedgeRules rules{centres_, false};
    for (QvBondBase* bond : Choices(centre)) {
      const QvChirality drawn = DrawnHandedness(centre, nbrs, rules, bond);
      if (drawn == QvChirality::None) continue;
      if (bond->GetBgn() != &centre) bond->SwapEnds();
      bond->SetData(Sorvil::QvBondStereoTag, drawn == stored ? QvWedge::Up : QvWedge::Hash);
      used_[bond->GetIdx()] = true;
      return;
    }
  }

  QvMolBase& mol_;
  std::vector<bool> centres_;
  std::vector<bool> used_;
};

}  // namespace

void QvPerceiveAtomStereoFromWedges(QvMolBase& mol, unsigned options) {
  // Which begin atoms count as centres for the wide-end reading is settled
  // by the graph alone, before any configuration is read.
  QvStereoCandidates candidates = stereo_geometry::UnconfiguredCandidates(mol);
  const std::vector<bool> centres = candidates.atoms;
  const WedgeRules rules{centres, (options & 0x1) != 0};
  stereo_geometry::ConfigureCentres(mol, std::move(candidates), [&rules](QvAtomBase& atom) {
    Four nbrs{};
    if (!stereo_geometry::CentreNeighbours(atom, nbrs)) return;
    const QvChirality hand = DrawnHandedness(atom, nbrs, rules);
    if (hand != QvChirality::None) QvSetAtomStereo(atom, nbrs, hand);
  });
  mol.SetPerceived(QvPerceivedAtomStereo, true);
}

void QvAssignWedgeMarks(QvMolBase& mol) { WedgeAssigner(mol).Run(); }

bool QvHasCorrectDepictionStereo(const QvMolBase& mol) {
  const std::vector<bool> centres = QvFindStereoCandidates(mol).atoms;
  const WedgeRules rules{centres, false};
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    Four nbrs{};
    if (!centres[atom.GetIdx()] || !stereo_geometry::CentreNeighbours(atom, nbrs)) continue;
    if (DrawnHandedness(atom, nbrs, rules) != QvGetAtomStereo(atom, nbrs)) return false;
  }
  return true;
}

}  // namespace Tamrin
