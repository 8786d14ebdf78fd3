// Shared by the XYZ tests: reading records from text and describing atoms.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/streams/molstream.h"

namespace xyztest {

// An atom as a test expects to find it, or builds it.
struct Atom {
  unsigned z;
  std::string name;
  float x, y, zc;
  double charge = 0.0;
  bool operator==(const Atom&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const Atom& a) {
    return os << a.z << ' ' << a.name << " (" << a.x << ", " << a.y << ", " << a.zc << ") q" << a.charge;
  }
};

inline std::vector<Atom> AtomsOf(const Tamrin::QvMolBase& mol) {
  std::vector<Atom> atoms;
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    float xyz[3] = {};
    mol.GetCoords(&atom, xyz);
    atoms.push_back({atom.GetAtomicNum(), atom.GetName(), xyz[0], xyz[1], xyz[2], atom.GetPartialCharge()});
  }
  return atoms;
}

inline void AddAtoms(Tamrin::QvMolBase& mol, const std::vector<Atom>& atoms) {
  for (const Atom& a : atoms) {
    Tamrin::QvAtomBase* atom = mol.NewAtom(a.z);
    if (!a.name.empty()) atom->SetName(a.name);
    const double xyz[3] = {a.x, a.y, a.zc};
    mol.SetCoords(atom, xyz);
    atom->SetPartialCharge(a.charge);
  }
}

// An input stream in XYZ format over a copy of `text`.
inline void OpenXYZ(Tamrin::qvmolistream& in, std::string_view text) {
  in.SetFormat(Tamrin::QvFormat::XYZ);
  in.openstring(text);
}

}  // namespace xyztest
