// The PDB writer: exact lines, CONECT layout, name mapping and its failures,
// and the round trip through the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/captured_messages.h"
#include "pellar/qvsstream.h"
#include "tamrin/formats/pdb/pdb.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"
#include "tamrin/streams/stringio.h"

namespace {

using Tamrin::QvGraphMol;
using Tamrin::QvResidue;

std::string Write(const Tamrin::QvMolBase& mol, unsigned flags, bool* ok = nullptr) {
  Pellar::qvosstream out;
  const bool written = Tamrin::QvPDBWriteFxn(out, mol, flags);
  if (ok) *ok = written;
  return out.str();
}

Tamrin::QvAtomBase* Add(QvGraphMol& mol, unsigned z, double x, double y = 0.0, double zc = 0.0) {
  Tamrin::QvAtomBase* atom = mol.NewAtom(z);
  const double xyz[3] = {x, y, zc};
  mol.SetCoords(atom, xyz);
  return atom;
}

QvResidue Residue(const char* name, const char* chain, int number, int serial, bool hetero = false, int fragment = 1,
                  int model = 0) {
  QvResidue r;
  r.name = name;
  r.chain = chain;
  r.number = number;
  r.serial = serial;
  r.hetero = hetero;
  r.fragment = fragment;
  r.model = model;
  return r;
}

// Orders as repeated entries, at most four per line, never split; bonds from
// the lower serial only unless both directions are asked for; HETATM-only.
TEST(PDBWriter, ConectLayout) {
  QvGraphMol mol;
  std::vector<Tamrin::QvAtomBase*> atoms;
  for (int i = 0; i < 6; ++i) {
    atoms.push_back(Add(mol, 6, 1.5 * i));
    Tamrin::QvSetResidue(*atoms.back(), Residue("LIG", "A", 1, i + 1, i == 5));
  }
  mol->NewBond(atoms[0], atoms[1], 3);
  for (int i = 2; i < 6; ++i) mol->NewBond(atoms[0], atoms[i], i == 2 ? 2 : 1);
  auto conects = [&](unsigned flags) {
    std::string lines;
    const std::string text = Write(mol, flags);
    for (std::size_t pos = text.find("CONECT"); pos != std::string::npos; pos = text.find("CONECT", pos + 1))
      lines += text.substr(pos, text.find('\n', pos) - pos + 1);
    return lines;
  };
  EXPECT_EQ(conects(0x001), "CONECT    1    2    3    4    5\nCONECT    1    6\n");
  EXPECT_EQ(conects(0x002), "CONECT    1    2    2    2\nCONECT    1    3    3    4    5\nCONECT    1    6\n");
  EXPECT_EQ(conects(0x100), "CONECT    1    6\n");
  EXPECT_EQ(conects(0x100 | 0x004), "CONECT    1    6\nCONECT    6    1\n");
  EXPECT_EQ(conects(0x001 | 0x004).substr(0, 66),
            "CONECT    1    2    3    4    5\nCONECT    1    6\nCONECT    2    1\n");
}

struct NamingCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> residues;  // name, chain per atom
  bool written;
  std::vector<std::string> messages;
  std::string first_atom_ids;  // columns 18-22 of the first atom line
};

class PDBNaming : public ::testing::TestWithParam<NamingCase> {};

TEST_P(PDBNaming, MapsOrRefuses) {
  const NamingCase& c = GetParam();
  QvGraphMol mol;
  int serial = 0;
  for (const auto& [name, chain] : c.residues) {
    Tamrin::QvAtomBase* atom = Add(mol, 6, serial);
    Tamrin::QvSetResidue(*atom, Residue(name.c_str(), chain.c_str(), 1, ++serial));
  }
  CapturedMessages messages;
  bool ok = false;
  const std::string text = Write(mol, 0, &ok);
  EXPECT_EQ(ok, c.written);
  EXPECT_EQ(messages.lines(), c.messages);
  if (!c.written) {
    EXPECT_TRUE(text.empty());
    return;
  }
  EXPECT_EQ(text.substr(17, 5), c.first_atom_ids);
}

std::vector<std::pair<std::string, std::string>> ManyChains(int n) {
  std::vector<std::pair<std::string, std::string>> r;
  for (int i = 0; i < n; ++i) r.emplace_back("ALA", "C" + std::to_string(i));
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PDBNaming,
    ::testing::Values(
        NamingCase{"fits", {{"ALA", "A"}, {"HOH", ""}}, true, {}, "ALA A"},
        NamingCase{"long_residue",
                   {{"LIGAND", "A"}},
                   true,
                   {"Mapped residue name LIGAND to LIG to be PDB format compliant"},
                   "LIG A"},
        NamingCase{"long_residue_taken",
                   {{"LIGAND", "A"}, {"LIG", "A"}},
                   true,
                   {"Mapped residue name LIGAND to L00 to be PDB format compliant"},
                   "L00 A"},
        NamingCase{"long_chain",
                   {{"ALA", "AB"}, {"ALA", "A"}},
                   true,
                   {"Mapped chain ID AB to B to be PDB format compliant"},
                   "ALA B"},
        NamingCase{"unprintable_chain",
                   {{"ALA", "\x01"}},
                   false,
                   {"Could not write PDB file for molecule with chain ID \x01"},
                   ""},
        NamingCase{"chains_exhausted", ManyChains(60), false,
                   [] {
                     std::vector<std::string> m;
                     const std::string pool = "ABDEFGIJKLMNOPQRSTUVWbcdefghijklmnopqtuvxyz123456789";
                     std::vector<std::string> names;
                     for (int i = 0; i < 60; ++i) names.push_back("C" + std::to_string(i));
                     std::sort(names.begin(), names.end());
                     for (std::size_t i = 0; i < pool.size(); ++i)
                       m.push_back("Mapped chain ID " + names[i] + " to " + pool[i] + " to be PDB format compliant");
                     m.push_back("Could not write PDB file for molecule. Chain ID naming failure.");
                     return m;
                   }(),
                   ""}),
    [](const auto& tp) { return std::string(tp.param.label); });

// ---- through the streams ----

}  // namespace
