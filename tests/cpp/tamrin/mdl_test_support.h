// Shared by the molfile tests: molfile text built from parts, reading and
// writing through the streams, and picking apart what was written.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "format_test_support.h"
#include "smiles_test_support.h"
#include "sorvil/base/tagdata.h"
#include "sorvil/base/tagregistry.h"

namespace mdltest {

using formattest::Lines;
using formattest::ReadResult;
using formattest::Titles;
using formattest::Written;
using smiles_test::FromSmiles;
using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

// ---- reading ----

// An atom line in the fixed V2000 columns.
inline std::string AtomLine(double x, double y, double z, const char* symbol, int mass = 0, int charge = 0,
                            int parity = 0, int hcount = 0, int valence = 0, int map = 0) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%10.4f%10.4f%10.4f %-3s%2d%3d%3d%3d  0%3d  0  0  0%3d  0  0\n", x, y, z, symbol,
                mass, charge, parity, hcount, valence, map);
  return buf;
}

inline std::string BondLine(int a, int b, int type, int stereo = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%3d%3d%3d%3d\n", a, b, type, stereo);
  return buf;
}

inline std::string CountsLine(std::size_t atoms, std::size_t bonds, int chiral = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%3zu%3zu  0  0%3d  0  0  0  0  0999 V2000\n", atoms, bonds, chiral);
  return buf;
}

// The program line of a 2D drawing ("2D" in columns 21-22).
inline const std::string kProgram2D = std::string(20, ' ') + "2D\n";
inline const std::string kProgram3D = std::string(20, ' ') + "3D\n";

struct Molfile {
  std::string title = "mol";
  std::vector<std::string> atoms;
  std::vector<std::string> bonds;
  std::string properties;  // lines before "M  END"
  int chiral = 0;
  std::string program = kProgram2D;
  std::string comment;

  std::string Text() const {
    std::string text = title + "\n" + program + comment + "\n" + CountsLine(atoms.size(), bonds.size(), chiral);
    for (const std::string& a : atoms) text += a;
    for (const std::string& b : bonds) text += b;
    return text + properties + "M  END\n";
  }
  // The SD record: the table, the data items given as text, "$$$$".
  std::string Record(const std::string& items = "") const { return Text() + items + "$$$$\n"; }
};

// A chain of `n` carbons along x, bonds 1-2, 2-3, ...
inline Molfile Chain(unsigned n, const char* title = "chain") {
  Molfile m;
  m.title = title;
  for (unsigned i = 0; i < n; ++i) m.atoms.push_back(AtomLine(1.5 * i, 0.75 * (i % 2), 0, "C"));
  for (unsigned i = 1; i < n; ++i) m.bonds.push_back(BondLine(i, i + 1, 1));
  return m;
}

inline ReadResult Read(const std::string& text, QvFormat format = QvFormat::SDF, unsigned flavor = 0) {
  return formattest::ReadAll(text, format, flavor);
}

// The one molecule of `text`; fails the test when there is not exactly one.
inline QvGraphMol ReadOne(const std::string& text, std::vector<std::string>* messages = nullptr,
                          QvFormat format = QvFormat::SDF) {
  ReadResult r = Read(text, format);
  if (messages) *messages = r.messages;
  EXPECT_EQ(r.mols.size(), 1u) << text;
  return r.mols.empty() ? QvGraphMol() : r.mols.front();
}

inline QvBondBase& BondNo(QvGraphMol& mol, unsigned i) { return *mol.GetMol().BondList().at(i); }

// Every atom as smiles_test::DescribeAtom gives it, then its name and alias
// when it has them: "13C h3 +1 :2 'Q' \"CH2\"".
inline std::string DescribeAtoms(const QvMolBase& mol) {
  std::string out;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    out += (out.empty() ? "" : ", ") + smiles_test::DescribeAtom(atom);
    if (*atom.GetName()) out += " '" + std::string(atom.GetName()) + "'";
    const unsigned alias = Sorvil::QvGetTag("QvAtomComment");
    if (atom.HasData(alias)) out += " \"" + atom.GetData<std::string>(alias) + "\"";
  }
  return out;
}

inline std::vector<std::pair<std::string, std::string>> SDData(const QvMolBase& mol) {
  return Sorvil::QvGetSDDataPairs(mol);
}

// ---- writing ----

inline constexpr unsigned kBlankDate = 0x800;
// No derived parities, no layout, no optional property lines, no date: the
// table as the molecule holds it.
inline constexpr unsigned kPlain = 0x40 | kBlankDate;

inline Written Write(const QvMolBase& mol, unsigned flavor, QvFormat format = QvFormat::SDF) {
  return formattest::Write(mol, flavor, format);
}

inline void SetCoords(QvMolBase& mol, const std::vector<std::array<float, 3>>& xyz) {
  unsigned i = 0;
  for (QvAtomBase& atom : mol.GetAtoms()) mol.SetCoords(&atom, xyz.at(i++).data());
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
inline std::string Describe(const QvMolBase& mol) {
  std::string out = "dim" + std::to_string(mol.GetDimension()) + " data" + std::to_string(mol.NumData());
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double xyz[3];
    mol.GetCoords(&atom, xyz);
    out += " a" + std::to_string(atom.GetAtomicNum()) + "h" + std::to_string(atom.GetImplicitHCount()) + "d" +
           std::to_string(atom.NumData()) + "@" + std::to_string(xyz[0]) + "," + std::to_string(xyz[1]);
  }
  for (const QvBondBase& bond : mol.GetBonds())
    out += " b" + std::to_string(bond.GetBgn()->GetIdx()) + "-" + std::to_string(bond.GetEnd()->GetIdx()) + " o" +
           std::to_string(bond.GetOrder()) + "d" + std::to_string(bond.NumData());
  return out;
}

}  // namespace mdltest
