#include "tamrin/perception/explicith.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "tamrin/model/graphmol.h"
#include "tamrin/model/molbase.h"
#include "tamrin/perception/layout2d.h"

namespace Tamrin {

namespace {

using Vec = std::array<double, 3>;

Vec Sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Scale(const Vec& a, double s) { return {a[0] * s, a[1] * s, a[2] * s}; }
Vec Add(const Vec& a, const Vec& b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Length(const Vec& a) { return std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]); }

// A unit vector, or `fallback` for one too short to have a direction.
Vec Unit(const Vec& a, const Vec& fallback) {
  const double len = Length(a);
  return len > 1e-6 ? Scale(a, 1.0 / len) : fallback;
}

// Common bond lengths to hydrogen, in Ångström; others take 1.1.
double BondLength(unsigned parent) {
  switch (parent) {
    case 6: return 1.09;
    case 7: return 1.01;
    case 8: return 0.96;
    case 16: return 1.34;
    case 15: return 1.42;
    default: return 1.1;
  }
}

// Directions for `n` hydrogens on an atom whose bonds point along `bonds`
// (unit vectors): around the axis opposite the bonds, at a tetrahedral angle
// from it when there is more than one hydrogen or one other bond.
std::vector<Vec> Directions3D(const std::vector<Vec>& bonds, unsigned n) {
  Vec axis{};
  for (const Vec& b : bonds) axis = Sub(axis, b);
  axis = Unit(axis, {1, 0, 0});
  // A second axis across the bonds' plane, so that two hydrogens on an atom
  // with two bonds leave that plane on either side.
  Vec across = bonds.size() >= 2 ? Cross(bonds[0], bonds[1]) : Vec{};
  if (Length(across) < 1e-6) across = Cross(axis, std::abs(axis[0]) < 0.9 ? Vec{1, 0, 0} : Vec{0, 1, 0});
  const Vec u = Unit(across, {0, 0, 1});
  const Vec v = Cross(axis, u);
  // Half the tetrahedral angle between two hydrogens on a CH2; the
  // supplement of it towards one bond (CH3, NH2, OH).
  const double tilt = n == 1 && !bonds.empty() ? 0.0 : (bonds.size() >= 2 ? 0.9553 : 1.2310);
  std::vector<Vec> out;
  for (unsigned k = 0; k < n; ++k) {
    const double phi = 2.0 * std::numbers::pi * k / n;
    const Vec side = Add(Scale(u, std::cos(phi)), Scale(v, std::sin(phi)));
    out.push_back(Add(Scale(axis, std::cos(tilt)), Scale(side, std::sin(tilt))));
  }
  return out;
}

// In the plane: the hydrogens share the space opposite the bonds evenly.
std::vector<Vec> Directions2D(const std::vector<Vec>& bonds, unsigned n) {
  Vec axis{};
  for (const Vec& b : bonds) axis = Sub(axis, {b[0], b[1], 0});
  axis = Unit(axis, {1, 0, 0});
  const double base = std::atan2(axis[1], axis[0]);
  const double step = 2.0 * std::numbers::pi / static_cast<double>(bonds.size() + n);
  std::vector<Vec> out;
  for (unsigned k = 0; k < n; ++k) {
    const double angle = base + (k - (n - 1) / 2.0) * step;
    out.push_back({std::cos(angle), std::sin(angle), 0});
  }
  return out;
}

}  // namespace

unsigned QvAddExplicitHydrogens(QvMolBase& mol) {
  const unsigned dimension = mol.GetDimension();
  std::vector<QvAtomBase*> parents;
  for (QvAtomBase& atom : mol.GetAtoms())
    if (atom.GetImplicitHCount() != 0) parents.push_back(&atom);

  unsigned added = 0;
  for (QvAtomBase* parent : parents) {
    const unsigned n = parent->GetImplicitHCount();
    Vec at{};
    std::vector<Vec> bonds;
    if (dimension != 0) {
      mol.GetCoords(parent, at.data());
      for (const QvAtomBase& nbr : parent->GetAtoms()) {
        Vec p{};
        mol.GetCoords(&nbr, p.data());
        const Vec d = Sub(p, at);
        if (Length(d) > 1e-6) bonds.push_back(Unit(d, {}));
      }
    }
    const std::vector<Vec> dirs = dimension == 0 ? std::vector<Vec>{}
                                  : dimension == 2 ? Directions2D(bonds, n)
                                                   : Directions3D(bonds, n);
    parent->SetImplicitHCount(0);
    const double length = BondLength(parent->GetAtomicNum());
    for (unsigned k = 0; k < n; ++k) {
      QvAtomBase* h = mol.NewAtom(1u);
      mol.NewBond(parent, h, 1);
      if (!dirs.empty()) {
        const Vec pos = Add(at, Scale(dirs[k], length));
        mol.SetCoords(h, pos.data());
      }
      ++added;
    }
  }
  return added;
}

bool QvHasCoordinates(const QvMolBase& mol) {
  if (mol.GetDimension() == 0) return false;
  if (mol.NumAtoms() <= 1) return true;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double xyz[3];
    mol.GetCoords(&atom, xyz);
    if (xyz[0] != 0.0 || xyz[1] != 0.0 || xyz[2] != 0.0) return true;
  }
  return false;
}

const QvMolBase& QvPrepareAllAtoms(QvWorkingMol& work, bool add_hydrogens) {
  // Decided first: hydrogens placed around atoms at the origin would
  // otherwise pass for coordinates.
  const bool layout = !QvHasCoordinates(work.Get());
  if (add_hydrogens) {
    bool any = false;
    for (const QvAtomBase& atom : work.Get().GetAtoms()) any |= atom.GetImplicitHCount() != 0;
    if (any) QvAddExplicitHydrogens(work.Copy());
  }
  if (layout) QvGenerate2DCoordinates(work.Copy(), 0);
  return work.Get();
}

}  // namespace Tamrin
