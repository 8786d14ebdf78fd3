// Small builders and readers shared by the molecule model tests.
#pragma once

#include <array>
#include <vector>

#include "tamrin/model/model.h"

namespace model_test {

using Xyz = std::array<double, 3>;

// A chain of `count` carbons joined by single bonds; atom i sits at (i, 2i, 3i).
inline std::vector<Tamrin::QvAtomBase*> MakeChain(Tamrin::QvMolBase& mol, unsigned count) {
  std::vector<Tamrin::QvAtomBase*> atoms;
  for (unsigned i = 0; i < count; ++i) {
    atoms.push_back(mol.NewAtom(6));
    const double xyz[3] = {1.0 * i, 2.0 * i, 3.0 * i};
    mol.SetCoords(atoms.back(), xyz);
    if (i > 0) mol.NewBond(atoms[i - 1], atoms[i], 1);
  }
  return atoms;
}

inline Xyz CoordsOf(const Tamrin::QvMolBase& mol, const Tamrin::QvAtomBase* atom) {
  Xyz xyz{};
  mol.GetCoords(atom, xyz.data());
  return xyz;
}

inline std::vector<unsigned> AtomIndices(const Tamrin::QvMolBase& mol) {
  std::vector<unsigned> out;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) out.push_back(atom.GetIdx());
  return out;
}

}  // namespace model_test
