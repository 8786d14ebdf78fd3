// From the asymmetric unit to the atoms of a small-molecule crystal
// structure: the images under the symmetry operators, the sites of one unit
// cell, and the molecules grown whole from them across cell boundaries.
#pragma once

#include <array>
#include <vector>

#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

namespace Tamrin::smcif {

struct AsymAtom {
  unsigned atomic_num = 0;
  std::array<double, 3> frac{};
};

// An atom of the result: which asymmetric-unit atom it images, and where
// (fractional, not wrapped into the cell).
struct PlacedAtom {
  unsigned asym = 0;
  std::array<double, 3> frac{};
};

// The least volume (Å^3) one atom takes in a crystal: diamond has 5.7, and
// keeping every disorder alternative can halve what a structure shows.
// Denser unit cells are refused.
inline constexpr double kMinVolumePerAtom = 2.0;

// `ops` holds the identity first and no operator twice. With
// `whole_molecules`, one copy of each molecule that asymmetric-unit atoms
// belong to, in the order of the asymmetric unit, each grown from the first
// of its atoms as placed in the file; a component that is bonded to its own
// translate is a network and is given as its sites in the unit cell. Without,
// every site of the unit cell. Within a component, atoms are ordered by
// operator, then by asymmetric-unit atom, so the atoms as the file places
// them come first. False, leaving `out` empty, when the unit cell holds
// more atoms than kMinVolumePerAtom allows (`sites` tells how many).
bool ExpandAsymmetricUnit(const gemmi::UnitCell& cell, const std::vector<gemmi::Op>& ops,
                          const std::vector<AsymAtom>& atoms, bool whole_molecules,
                          std::vector<PlacedAtom>& out, size_t& sites);

}  // namespace Tamrin::smcif
