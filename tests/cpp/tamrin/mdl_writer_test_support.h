// Helpers of the molfile writer tests: molecules from SMILES, writing
// through a string stream with the messages captured, and picking lines.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "sorvil/base/tagdata.h"
#include "support/captured_messages.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace mdl_writer_test {

inline constexpr unsigned kBlankDate = 0x800;
// No derived parities, no layout, no optional property lines, no date: the
// table as the molecule holds it.
inline constexpr unsigned kPlain = 0x40 | kBlankDate;

using smiles_test::FromSmiles;

// Atom n (1-based) in list order.
inline Tamrin::QvAtomBase* AtomNumber(Tamrin::QvMolBase& mol, unsigned n) {
  for (Tamrin::QvAtomBase& atom : mol.GetAtoms())
    if (--n == 0) return &atom;
  return nullptr;
}

inline void SetCoords(Tamrin::QvMolBase& mol, const std::vector<std::array<float, 3>>& xyz) {
  unsigned i = 0;
  for (Tamrin::QvAtomBase& atom : mol.GetAtoms()) mol.SetCoords(&atom, xyz.at(i++).data());
}

struct Written {
  std::string text;
  int status = -1;
  std::vector<std::string> warnings;
};

inline Written Write(const Tamrin::QvMolBase& mol, unsigned flavor, Tamrin::QvFormat format = Tamrin::QvFormat::SDF) {
  CapturedMessages captured;
  Tamrin::qvmolostream out;
  EXPECT_TRUE(out.SetFormat(format));
  EXPECT_TRUE(out.SetFlavor(format, flavor));
  EXPECT_TRUE(out.openstring(false));
  Written w;
  w.status = Tamrin::QvWriteMolecule(out, mol);
  w.text = out.GetString();
  w.warnings = captured.lines();
  return w;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', from)) {
    lines.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  if (from < text.size()) lines.push_back(text.substr(from));
  return lines;
}

// The V2000 lines after the bond block up to "M  END", each with its '\n'.
inline std::string PropertyLines(const std::string& text) {
  const std::vector<std::string> lines = Lines(text);
  const std::size_t atoms = std::strtoul(lines.at(3).substr(0, 3).c_str(), nullptr, 10);
  const std::size_t bonds = std::strtoul(lines.at(3).substr(3, 3).c_str(), nullptr, 10);
  std::string out;
  for (std::size_t i = 4 + atoms + bonds; i < lines.size() && lines[i] != "M  END"; ++i) out += lines[i] + "\n";
  return out;
}

// What a writer must not change: atoms, bonds with orders and data, coordinates.
inline std::string Describe(const Tamrin::QvMolBase& mol) {
  std::string out = "dim" + std::to_string(mol.GetDimension()) + " data" + std::to_string(mol.NumData());
  for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
    double xyz[3];
    mol.GetCoords(&atom, xyz);
    out += " a" + std::to_string(atom.GetAtomicNum()) + "h" + std::to_string(atom.GetImplicitHCount()) + "d" +
           std::to_string(atom.NumData()) + "@" + std::to_string(xyz[0]) + "," + std::to_string(xyz[1]);
  }
  for (const Tamrin::QvBondBase& bond : mol.GetBonds())
    out += " b" + std::to_string(bond.GetBgn()->GetIdx()) + "-" + std::to_string(bond.GetEnd()->GetIdx()) + " o" +
           std::to_string(bond.GetOrder()) + "d" + std::to_string(bond.NumData());
  return out;
}

}  // namespace mdl_writer_test
