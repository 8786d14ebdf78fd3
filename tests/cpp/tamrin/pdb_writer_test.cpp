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
  return {.name = name, .chain = chain, .number = number, .serial = serial, .model = model, .fragment = fragment,
          .hetero = hetero};
}

TEST(PDBWriter, MoleculeWithoutResidues) {
  QvGraphMol mol;
  mol.SetTitle("ethanol");
  Add(mol, 6, 12345.678);
  Add(mol, 17, -1.5, -1234.5, 0.0004);
  Add(mol, 0, 0.0);
  mol->NewBond(mol->GetAtom(Tamrin::QvHasAtomIdx{0}), mol->GetAtom(Tamrin::QvHasAtomIdx{1}), 2);
  EXPECT_EQ(Write(mol, 0x001 | 0x040),
            "COMPND    ethanol\n"
            "ATOM      1  C   UNL     1    9999.999   0.000   0.000  1.00  0.00           C\n"
            "ATOM      2 CL   UNL     1      -1.500-999.999   0.000  1.00  0.00          CL\n"
            "ATOM      3  UNK UNL     1       0.000   0.000   0.000  1.00  0.00           X\n"
            "CONECT    1    2\n"
            "MASTER        0    0    0    0    0    0    0    0    3    0    1    0\n"
            "END\n");
}

TEST(PDBWriter, ResidueAtomsTerModelAndCharges) {
  QvGraphMol mol;
  const int models[] = {1, 1, 2};
  for (int i = 0; i < 3; ++i) {
    Tamrin::QvAtomBase* atom = Add(mol, i == 2 ? 8 : 7, i);
    atom->SetName(i == 2 ? " O  " : " N  ");
    atom->SetFormalCharge(i == 1 ? -2 : 1);
    atom->SetPartialCharge(-0.25);
    Tamrin::QvSetResidue(*atom, Residue(i == 2 ? "HOH" : "GLY", "A", i + 1, 10 + i, i == 2, i == 2 ? 2 : 1, models[i]));
  }
  Add(mol, 6, 5.0);
  EXPECT_EQ(Write(mol, 0x080 | 0x008 | 0x020),
            "MODEL        1\n"
            "ATOM     10  N   GLY A   1       0.000   0.000   0.000  1.00 -0.250          N1+\n"
            "ATOM     11  N   GLY A   2       1.000   0.000   0.000  1.00 -0.250          N2-\n"
            "TER      12      GLY A   2 \n"
            "ENDMDL\n"
            "MODEL        2\n"
            "HETATM   12  O   HOH A   3       2.000   0.000   0.000  1.00 -0.250          O1+\n"
            "TER      13      HOH A   3 \n"
            "ENDMDL\n"
            "ATOM     14  C   UNL     1       5.000   0.000   0.000  1.00  0.000          C\n"
            "TER\n"
            "MASTER        0    0    0    0    0    0    0    0    4    3    0    0\n");
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

TEST(PDBWriter, HeaderRecordsAndMasterCounts) {
  QvGraphMol mol;
  mol.SetTitle("T");
  Tamrin::QvSetResidue(*Add(mol, 6, 0.0), Residue("ALA", "A", 1, 1));
  for (const char* record : {"REMARK", "REMARK", "HELIX", "SHEET", "SEQRES", "ORIGX1", "SCALE2", "MASTER", "HET"})
    Tamrin::QvAddPDBData(mol, record, " x");
  const std::string text = Write(mol, 0);
  EXPECT_EQ(text.substr(0, 18), "COMPND    T\nREMARK");
  EXPECT_EQ(text.find("MASTER x"), std::string::npos);
  EXPECT_NE(text.find("MASTER        2    0    1    1    1    0    0    2    1    1    0    1\nEND\n"), std::string::npos);
  Tamrin::QvClearPDBData(mol);
  Tamrin::QvAddPDBData(mol, "HEADER", "    H");
  EXPECT_EQ(Write(mol, 0).substr(0, 10), "HEADER    ");
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

// Atom and ANISOU lines in the standard layout come back column for column.
TEST(PDBWriter, AtomAndAnisouLinesRoundTrip) {
  const std::string lines =
      "HETATM 1234 FE  AHEM B 153A     10.500 -20.250   3.125  0.75 12.50          FE\n"
      "ANISOU 1234 FE  AHEM B 153A    1234   -567     89   1011  -1213   1415      FE\n";
  QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvReadMoleculeFromBytes(mol, Tamrin::QvFormat::PDB, 0x16, false, lines));
  const std::string text = Write(mol, 0x040);
  EXPECT_EQ(text.substr(0, lines.size()), lines);
}

// ---- through the streams ----

// The output flavor picks the preparation (residue perception for a molecule
// without residues, the hierarchy for one with them) and the writer flags:
// its low ten bits, or by dimension when they are all zero.
TEST(PDBStream, OutputFlavorChoosesPreparationAndFlags) {
  QvGraphMol flat;
  ASSERT_TRUE(Tamrin::QvReadMoleculeFromBytes(flat, Tamrin::QvFormat::SMI, 0x4000, false, "CC=O\n"));
  QvGraphMol ligand;
  ASSERT_TRUE(Tamrin::QvReadMoleculeFromBytes(ligand, Tamrin::QvFormat::PDB, 0x7F16, false,
                                              "HETATM    1  C1  ACE A 102       8.000   5.000   5.000  1.00 30.00           C\n"
                                              "HETATM    2  O1  ACE A 102       9.200   5.000   5.000  1.00 30.00           O\n"
                                              "CONECT    1    2    2\n"));
  struct Case {
    const QvGraphMol* mol;
    unsigned flavor;
    const char* first_atom;  // its first 6 columns
    const char* conect;      // the last CONECT line, "" for none
    bool element;            // columns 77-78
  };
  const Case cases[] = {
      {&flat, 0x6744, "HETATM", "CONECT    3    2    2", true},   // perceived residues; 0x2747 below 3D
      {&flat, 0x4000, "ATOM  ", "CONECT    2    3    3", false},  // no preparation; 0x003 below 3D
      {&flat, 0x4400, "HETATM", "CONECT    2    3    3", false},  // residue perception asked for
      {&flat, 0x4001, "ATOM  ", "CONECT    2    3", false},       // CONECT without orders
      {&flat, 0x4200, "ATOM  ", "", false},                       // flags of their own: no CONECT
      {&ligand, 0x6744, "HETATM", "CONECT    2    1", true},      // 0x2744 in 3D: both directions, elements
      {&ligand, 0x4000, "HETATM", "CONECT    2    1", true},      // 0x144 in 3D
      {&ligand, 0x6000, "HETATM", "CONECT    2    1", true},      // the hierarchy, then 0x144
      {&ligand, 0x4040, "HETATM", "", true},                      // elements only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.mol == &flat ? "flat " : "ligand ") << std::hex << c.flavor);
    const std::string text = Tamrin::QvWriteMoleculeToBytes(Tamrin::QvFormat::PDB, c.flavor, false, *c.mol);
    const std::size_t atom = text.find("ATOM      1");
    const std::size_t line = atom == std::string::npos ? text.find("HETATM    1") : atom;
    ASSERT_NE(line, std::string::npos) << text;
    EXPECT_EQ(text.compare(line, 6, c.first_atom), 0) << text;
    EXPECT_EQ(text.compare(line + 76, 2, " C") == 0, c.element) << text;
    const std::size_t conect = text.rfind("CONECT");
    const std::string last = conect == std::string::npos ? "" : text.substr(conect, text.find('\n', conect) - conect);
    EXPECT_EQ(last, c.conect) << text;
  }
}

}  // namespace
