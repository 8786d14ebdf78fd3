// Shared by the MDL reader tests: molfile text built from parts, and reading
// every record of a text with the messages it draws.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sorvil/base/tagdata.h"
#include "sorvil/base/tagregistry.h"
#include "support/captured_messages.h"
#include "tamrin/model/model.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace mdltest {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;

// An atom line in the fixed V2000 columns; `tail` replaces everything after
// the symbol when given (mass difference onwards, from column 35).
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

// Ethane-like chain of `n` carbons along x, bonds 1-2, 2-3, ...
inline Molfile Chain(unsigned n, const char* title = "chain") {
  Molfile m;
  m.title = title;
  for (unsigned i = 0; i < n; ++i) m.atoms.push_back(AtomLine(1.5 * i, 0.75 * (i % 2), 0, "C"));
  for (unsigned i = 1; i < n; ++i) m.bonds.push_back(BondLine(i, i + 1, 1));
  return m;
}

struct ReadResult {
  std::vector<QvGraphMol> mols;
  std::vector<std::string> messages;
  unsigned failed = 0;
};

// Every record of `text` read through QvReadMolecule in `format`, with
// `flavor` when not 0.
inline ReadResult ReadAll(const std::string& text, QvFormat format = QvFormat::SDF, unsigned flavor = 0) {
  ReadResult result;
  CapturedMessages captured;
  Tamrin::qvmolistream in;
  in.SetFormat(format);
  if (flavor) in.SetFlavor(format, flavor);
  in.openstring(text);
  QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol.GetMol())) result.mols.push_back(mol);
  result.messages = captured.lines();
  result.failed = in.GetFailedCount();
  return result;
}

// The one molecule of `text`; fails the test when there is not exactly one.
inline QvGraphMol ReadOne(const std::string& text, std::vector<std::string>* messages = nullptr,
                          QvFormat format = QvFormat::SDF, unsigned flavor = 0) {
  ReadResult r = ReadAll(text, format, flavor);
  if (messages) *messages = r.messages;
  EXPECT_EQ(r.mols.size(), 1u) << text;
  return r.mols.empty() ? QvGraphMol() : r.mols.front();
}

inline QvAtomBase& AtomNo(QvGraphMol& mol, unsigned i) { return *mol.GetMol().AtomList().at(i); }
inline QvBondBase& BondNo(QvGraphMol& mol, unsigned i) { return *mol.GetMol().BondList().at(i); }

inline std::vector<unsigned> HCounts(const QvMolBase& mol) {
  std::vector<unsigned> out;
  for (const QvAtomBase& atom : mol.GetAtoms()) out.push_back(atom.GetImplicitHCount());
  return out;
}

inline std::vector<std::pair<std::string, std::string>> SDData(const QvMolBase& mol) {
  return Sorvil::QvGetSDDataPairs(mol);
}

inline std::vector<std::string> Titles(const ReadResult& r) {
  std::vector<std::string> out;
  for (const QvGraphMol& m : r.mols) out.push_back(m.GetMol().GetTitle());
  return out;
}

}  // namespace mdltest
