// What the stereo passes share: directions from a centre to its neighbours,
// the handedness they make, and the rounds in which centres are configured.
// Internal to the stereo passes.
#pragma once

#include <array>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

#include "tamrin/model/molbase.h"
#include "tamrin/perception/neighbours.h"
#include "tamrin/perception/stereo.h"
#include "tamrin/perception/stereoperception.h"

namespace Tamrin::stereo_geometry {

struct Vec3 {
  double x = 0, y = 0, z = 0;
  Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vec3 operator*(double f) const { return {x * f, y * f, z * f}; }
  double Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
  Vec3 Cross(const Vec3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
  double Length() const { return std::sqrt(Dot(*this)); }
};

// Shorter vectors are taken as no direction at all: coincident atoms, or
// substituents that cancel out.
inline constexpr double kMinLength = 1e-3;
// Volumes of unit directions below this are flat: a perfect tetrahedron gives
// about 3.1, a centre pushed 3 degrees out of its neighbours' plane about 0.3.
inline constexpr double kMinVolume = 0.1;

// `v` scaled to length 1, or false when it is too short to have a direction
// (or not finite: coordinates may hold anything a file gave).
inline bool Unit(const Vec3& v, Vec3& out) {
  const double len = v.Length();
  if (!(len >= kMinLength) || !std::isfinite(len)) return false;
  out = v * (1.0 / len);
  return true;
}

// Handedness of four directions from a centre, in the order given: seen from
// the first, the other three turning anticlockwise is what SMILES writes "@".
// A null direction (`known[i]` false) stands for the implicit hydrogen or lone
// pair and is put opposite the sum of the others. None when flat.
inline QvChirality Handedness(std::array<Vec3, 4> dirs, const std::array<bool, 4>& known) {
  Vec3 sum;
  int missing = -1;
  for (int i = 0; i < 4; ++i) {
    if (known[i])
      sum = sum + dirs[i];
    else if (missing < 0)
      missing = i;
    else
      return QvChirality::None;
  }
  if (missing >= 0 && !Unit(sum * -1.0, dirs[missing])) return QvChirality::None;
  const Vec3 a = dirs[1] - dirs[0], b = dirs[2] - dirs[0], c = dirs[3] - dirs[0];
  const double volume = a.Dot(b.Cross(c));
  if (!(std::fabs(volume) >= kMinVolume)) return QvChirality::None;
  return volume < 0 ? QvChirality::Anticlockwise : QvChirality::Clockwise;
}

inline Vec3 Position(const QvAtomBase& atom) {
  double xyz[3] = {0, 0, 0};
  atom.GetCoords(xyz);
  return {xyz[0], xyz[1], xyz[2]};
}

// The neighbours of a possible centre in bond-list order, a null for the
// implicit hydrogen or lone pair of a three-connected one at the end; false
// for atoms that stereo.h cannot give a configuration.
inline bool CentreNeighbours(const QvAtomBase& centre, std::array<const QvAtomBase*, 4>& nbrs) {
  size_t n = 0;
  bool fits = true;
  QvForEachNbr(centre, [&](const QvAtomBase& nbr) {
    fits = fits && n < 4;
    if (fits) nbrs[n++] = &nbr;
  });
  if (!fits || n < 3 || (n == 3 && centre.GetImplicitHCount() > 1) || (n == 4 && centre.GetImplicitHCount() > 0))
    return false;
  if (n == 3) nbrs[3] = nullptr;
  return true;
}

// Handedness of `centre` along `nbrs` (from CentreNeighbours), with
// `direction(const QvAtomBase& nbr, Vec3& out)` giving the way from the
// centre to each real neighbour (false when it has none).
template <class Direction>
QvChirality CentreHandedness(const std::array<const QvAtomBase*, 4>& nbrs, Direction direction) {
  std::array<Vec3, 4> dirs{};
  std::array<bool, 4> known{};
  for (size_t i = 0; i < 4; ++i) {
    known[i] = nbrs[i] != nullptr;
    if (known[i] && !direction(*nbrs[i], dirs[i])) return QvChirality::None;
  }
  return Handedness(dirs, known);
}

// Clears every atom configuration of `mol` and returns the candidates left:
// those of the graph alone, where ConfigureCentres starts.
inline QvStereoCandidates UnconfiguredCandidates(QvMolBase& mol) {
  for (QvAtomBase& atom : mol.GetAtoms()) QvClearAtomStereo(atom);
  return QvFindStereoCandidates(mol);
}

// Configurations can tell apart neighbours alike in the graph (the
// pseudo-asymmetric carbon between an R and an S branch), so when one may
// (QvStereoCandidates), candidates are looked for again after a round, until
// no new one turns up. `round(candidates)` configures the candidates it has
// not tried yet and says whether it configured one in a shared class.
// Returns the candidates of the last round.
template <class Round>
QvStereoCandidates ConfigureInRounds(const QvMolBase& mol, QvStereoCandidates candidates, Round round) {
  constexpr int kMaxRounds = 4;
  for (int n = 1;; ++n) {
    if (!round(candidates) || !candidates.alike_substituents || n == kMaxRounds) return candidates;
    candidates = QvFindStereoCandidates(mol);
  }
}

// Replaces every atom configuration of `mol` by what `configure(QvAtomBase&)`
// sets on the candidate centres, starting from `candidates`, those of
// UnconfiguredCandidates, in rounds (ConfigureInRounds). Stereo groups of
// atoms left without a configuration go. Returns the candidates of the last
// round.
template <class Configure>
QvStereoCandidates ConfigureCentres(QvMolBase& mol, QvStereoCandidates candidates, Configure configure) {
  std::vector<bool> tried(mol.GetMaxAtomIdx(), false);
  candidates = ConfigureInRounds(mol, std::move(candidates), [&](const QvStereoCandidates& found) {
    bool splits_class = false;
    for (QvAtomBase& atom : mol.GetAtoms()) {
      const unsigned idx = atom.GetIdx();
      if (!found.atoms[idx] || tried[idx]) continue;
      tried[idx] = true;
      configure(atom);
      splits_class = splits_class || (QvHasAtomStereo(atom) && found.in_shared_class[idx]);
    }
    return splits_class;
  });
  for (QvAtomBase& atom : mol.GetAtoms())
    if (!QvHasAtomStereo(atom)) QvClearStereoGroup(atom);
  return candidates;
}

template <class Configure>
QvStereoCandidates ConfigureCentres(QvMolBase& mol, Configure configure) {
  return ConfigureCentres(mol, UnconfiguredCandidates(mol), configure);
}

}  // namespace Tamrin::stereo_geometry
