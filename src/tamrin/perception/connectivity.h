// Bonds from 3D coordinates (the first reading step of coordinate-only
// formats such as XYZ).
#pragma once

namespace Tamrin {

class QvMolBase;

// The slack added to the sum of two covalent radii (tamrin/chem/elements.h):
// two atoms closer than r1 + r2 + kQvBondTolerance are bonded. 0.45 Å takes
// stretched bonds of unoptimised or thermal geometries and still stays
// below the shortest 1,3 contacts (2.1 Å across cyclobutane; 1.8 Å between
// the hydrogens of a methylene).
inline constexpr double kQvBondTolerance = 0.45;
// Atoms closer than this overlap (a duplicated atom, a broken file) and are
// never bonded to each other.
inline constexpr double kQvOverlapDistance = 0.4;

// Bonds of order 1 between the undeleted atoms of a molecule of dimension 3
// that lie within bonding distance; other dimensions are left alone (there is
// nothing to measure). Pairs already bonded keep their bond, which also
// counts towards the limits below. Atoms without a covalent radius (wildcard
// atoms, unknown elements) and atoms with non-finite coordinates get no bonds.
//
// No atom takes more bonds than its element sensibly carries (H and F 1,
// O 2, B C N 4, Cl Br I 4 as in perchlorate, Si P S As Se Te 6, metals and
// the rest 12): candidates are accepted from the shortest, relative to the sum of
// radii, to the longest, so it is always the most stretched contacts that
// are dropped. Nor are two atoms bonded that already share a neighbour
// across an angle wider than 80 degrees (a three-membered ring has about 60;
// the diagonal of a squashed four-membered ring comes within reach at 88).
// The new bonds are listed in atom order (by their first atom, then the
// second), whatever their lengths. Overlapping pairs are reported once per molecule ("Atoms %u
// and %u overlap (%.2f A apart); not bonded.", atom indices).
//
// Beyond 96 atoms, atoms are binned into a grid of cells one bonding cutoff
// of the light elements wide (the few larger atoms search as many cells out
// as they reach), so the time grows linearly with the number of atoms for any
// density real molecules and crystals have (smaller molecules compare all
// pairs).
void QvDetermineConnectivity(QvMolBase& mol);

}  // namespace Tamrin
