// The PDB reader and tokenizer: columns, filters, CONECT orders, header
// records and every message, on records made here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "../support/captured_messages.h"
#include "pellar/qvsstream.h"
#include "tamrin/formats/pdb/pdb.h"
#include "tamrin/formats/pdb/pdbtokenizer.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

using Tamrin::QvGraphMol;
using Tamrin::QvResidue;

// An ATOM or HETATM line in the standard columns.
std::string AtomLine(int serial, const char* name, const char* res, char chain, int resnum, double x,
                     const char* tail = "  1.00 20.00           C  ", const char* record = "ATOM  ", char alt = ' ') {
  char line[128];
  std::snprintf(line, sizeof line, "%s%5d %-4s%c%-3s %c%4d    %8.3f%8.3f%8.3f%s", record, serial, name, alt, res,
                chain, resnum, x, 1.0, 2.0, tail);
  return line;
}

std::vector<QvGraphMol> ReadAll(const std::string& text, unsigned flavor = 0x16) {
  Tamrin::qvmolistream in;
  in.SetFormat(Tamrin::QvFormat::PDB);
  in.SetFlavor(Tamrin::QvFormat::PDB, flavor);
  in.openstring(text);
  std::vector<QvGraphMol> mols;
  QvGraphMol mol;
  while (Tamrin::QvReadMolecule(in, mol)) mols.push_back(mol);
  return mols;
}

// ---- which atom records are taken, by the filters and flag 0x08 ----

struct FilterCase {
  const char* label;
  std::string line;
  bool kept;  // without flag 0x08; with it every line is kept
};

class PDBFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(PDBFilter, DropsOnlyWhatTheRulesSay) {
  const FilterCase& c = GetParam();
  const std::string text = AtomLine(1, " N  ", "GLY", 'A', 1, 0.0) + "\n" + c.line + "\nEND\n";
  EXPECT_EQ(ReadAll(text, 0x16).at(0).NumAtoms(), c.kept ? 2u : 1u);
  EXPECT_EQ(ReadAll(text, 0x16 | 0x08).at(0).NumAtoms(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, PDBFilter,
    ::testing::Values(FilterCase{"altA", AtomLine(2, " CA ", "GLY", 'A', 1, 1.0, "", "ATOM  ", 'A'), true},
                      FilterCase{"alt1", AtomLine(2, " CA ", "GLY", 'A', 1, 1.0, "", "ATOM  ", '1'), true},
                      FilterCase{"altB", AtomLine(2, " CA ", "GLY", 'A', 1, 1.0, "", "ATOM  ", 'B'), false},
                      FilterCase{"dummy", AtomLine(2, " C  ", "DUM", 'A', 1, 1.0), false},
                      FilterCase{"q", AtomLine(2, " Q1 ", "GLY", 'A', 1, 1.0), false},
                      FilterCase{"placeholder",
                                 "ATOM      2  CA  GLY A   1    9999.0009999.0009999.000  1.00 20.00", false},
                      FilterCase{"hetatm", AtomLine(2, "FE  ", "HEM", 'A', 1, 1.0, "", "HETATM"), true}),
    [](const auto& tp) { return std::string(tp.param.label); });

// ---- atom fields ----

TEST(PDBReader, ReadsColumnsIntoAtomAndResidue) {
  const std::string text =
      "HETATM 1234 FE   HEM B 153A     10.500 -20.250   3.125  0.75 12.50          FE2+\n"
      "END\n";
  const auto mols = ReadAll(text, 0x16 | 0x80);
  ASSERT_EQ(mols.size(), 1u);
  const Tamrin::QvAtomBase& atom = *mols[0]->GetAtom([](const auto&) { return true; });
  double xyz[3];
  mols[0]->GetCoords(&atom, xyz);
  // Every value here is exact in binary, so equality is the right test.
  EXPECT_EQ(std::tuple(atom.GetAtomicNum(), atom.GetFormalCharge(), std::string(atom.GetName()), xyz[0], xyz[1], xyz[2]),
            std::tuple(26u, 2, "FE  ", 10.5, -20.25, 3.125));
  const QvResidue* res = Tamrin::QvGetResidue(atom);
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(std::tuple(res->name, res->chain, res->number, res->insertion_code, res->serial, res->hetero,
                       res->occupancy, res->b_factor),
            std::tuple("HEM", "B", 153, 'A', 1234, true, 0.75f, 12.5f));
}

// Numbers in the layout the format gives them and shifted out of it read
// alike: as the C library reads the field.
TEST(PDBReader, NumbersInAndOutOfTheirColumnsLayout) {
  struct Case {
    const char* serial;  // columns 7-11
    const char* x;       // columns 31-38
    const char* occ;     // columns 55-60
  };
  const Case cases[] = {{"  123", "  10.500", "  0.50"}, {"   -5", "  -0.000", "  1.00"},
                        {"123  ", "  12.5  ", "0.5   "},  {" 0042", " 1.5e+01", " -0.25"},
                        {"    7", "12345.67", "100.00"},  {"    8", "    -7.2", "   .75"}};
  for (const Case& c : cases) {
    std::string line = "ATOM      1  CA  GLY A   1       0.000   1.000   2.000  1.00 20.00           C  ";
    line.replace(6, 5, c.serial);
    line.replace(30, 8, c.x);
    line.replace(54, 6, c.occ);
    const auto mols = ReadAll(line + "\nEND\n");
    ASSERT_EQ(mols.size(), 1u) << line;
    const Tamrin::QvAtomBase& atom = *mols[0]->GetAtom([](const auto&) { return true; });
    double xyz[3];
    mols[0]->GetCoords(&atom, xyz);
    EXPECT_EQ(xyz[0], static_cast<double>(static_cast<float>(std::strtod(c.x, nullptr)))) << line;
    EXPECT_EQ(std::signbit(xyz[0]), std::signbit(std::strtod(c.x, nullptr))) << line;
    EXPECT_EQ(Tamrin::QvGetResidue(atom)->serial, std::atoi(c.serial)) << line;
    EXPECT_EQ(Tamrin::QvGetResidue(atom)->occupancy, static_cast<float>(std::strtod(c.occ, nullptr))) << line;
  }
}

// Numbers in the layout, over the whole range of each field and at its
// ends: the coordinates, occupancy and B-factor as the C library reads the
// text and the molecule narrows it to single precision; the radius (0x40),
// kept in double precision, as it reads it, and the partial charge (0x20)
// narrowed as well.
TEST(PDBReader, LaidOutNumbersReadAsTheCLibraryReadsThem) {
  std::vector<std::string> coords = {"   0.000", "  -0.000", "9999.999", "-999.999", "   0.001", "  -0.001"};
  std::vector<std::string> columns = {"  0.00", " -0.00", "999.99", "-99.99", "  0.01", " -0.01"};
  std::mt19937 rng(7);
  char field[16];
  while (coords.size() < 3000) {
    std::snprintf(field, sizeof field, "%8.3f", std::uniform_int_distribution<int>(-999999, 9999999)(rng) / 1e3);
    coords.emplace_back(field);
  }
  while (columns.size() < 2000) {
    std::snprintf(field, sizeof field, "%6.2f", std::uniform_int_distribution<int>(-9999, 99999)(rng) / 1e2);
    columns.emplace_back(field);
  }
  std::string text;
  const std::size_t n = coords.size();
  for (std::size_t i = 0; i < n; ++i)
    text += "ATOM  " + std::string(5 - std::to_string(i + 1).size(), ' ') + std::to_string(i + 1) +
            "  C   GLY A   1    " + coords[i] + coords[(i + 1) % n] + coords[(i + 2) % n] +
            columns[i % columns.size()] + columns[(i + 1) % columns.size()] + "           C  \n";
  const auto plain = ReadAll(text + "END\n");
  const auto redirected = ReadAll(text + "END\n", 0x16 | 0x20 | 0x40);
  ASSERT_EQ(plain.size(), 1u);
  ASSERT_EQ(plain[0]->NumAtoms(), n);
  std::vector<float> xyz(3 * n);
  plain[0]->GetCoords(xyz.data());
  const auto as_float = [](const std::string& number) {
    return static_cast<float>(std::strtod(number.c_str(), nullptr));
  };
  std::size_t i = 0;
  const auto* redirected_atoms = &redirected[0]->AtomList();
  for (const auto& atom : plain[0]->GetAtoms()) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
      const float expected = as_float(coords[(i + axis) % n]);
      EXPECT_EQ(xyz[3 * atom.GetIdx() + axis], expected) << coords[(i + axis) % n];
      EXPECT_EQ(std::signbit(xyz[3 * atom.GetIdx() + axis]), std::signbit(expected)) << coords[(i + axis) % n];
    }
    const std::string& occupancy = columns[i % columns.size()];
    const std::string& b_factor = columns[(i + 1) % columns.size()];
    EXPECT_EQ(Tamrin::QvGetResidue(atom)->occupancy, as_float(occupancy)) << occupancy;
    EXPECT_EQ(Tamrin::QvGetResidue(atom)->b_factor, as_float(b_factor)) << b_factor;
    const Tamrin::QvAtomBase& other = *(*redirected_atoms)[i];
    EXPECT_EQ(other.GetRadius(), std::strtod(occupancy.c_str(), nullptr)) << occupancy;
    EXPECT_EQ(other.GetPartialCharge(), as_float(b_factor)) << b_factor;
    ++i;
  }
}

// Element from columns 77-78 when they name one, else from the atom name.
TEST(PDBReader, ElementFromNameOrColumns) {
  struct Case {
    std::string line;
    unsigned z;
    unsigned isotope;
  };
  const std::vector<Case> cases = {
      {AtomLine(1, " CA ", "ALA", 'A', 1, 0.0, "  1.00 20.00"), 6, 0},
      {AtomLine(1, "CA  ", "CA", 'A', 1, 0.0, "  1.00 20.00", "HETATM"), 20, 0},
      {AtomLine(1, "HG21", "THR", 'A', 1, 0.0, "  1.00 20.00"), 1, 0},
      {AtomLine(1, "HG  ", "HG", 'A', 1, 0.0, "  1.00 20.00", "HETATM"), 80, 0},
      {AtomLine(1, "1HB ", "ALA", 'A', 1, 0.0, "  1.00 20.00"), 1, 0},
      {AtomLine(1, "CL1 ", "LIG", 'A', 1, 0.0, "  1.00 20.00", "HETATM"), 17, 0},
      {AtomLine(1, " D  ", "HOH", 'A', 1, 0.0, "  1.00 20.00", "HETATM"), 1, 2},
      {AtomLine(1, " CA ", "LIG", 'A', 1, 0.0, "  1.00 20.00          CA"), 20, 0},
      {AtomLine(1, " X  ", "LIG", 'A', 1, 0.0, "  1.00 20.00          XX"), 0, 0},
      // One capital in column 78, and what falls back to the name.
      {AtomLine(1, " H1 ", "HOH", 'A', 1, 0.0, "  1.00 20.00           D"), 1, 2},
      {AtomLine(1, " H1 ", "HOH", 'A', 1, 0.0, "  1.00 20.00           T"), 1, 3},
      {AtomLine(1, " K  ", "K", 'A', 1, 0.0, "  1.00 20.00           K", "HETATM"), 19, 0},
      {AtomLine(1, " NZ ", "LYS", 'A', 1, 0.0, "  1.00 20.00           Q"), 7, 0},
      {AtomLine(1, " OG ", "SER", 'A', 1, 0.0, "  1.00 20.00           o"), 8, 0},
      {AtomLine(1, " SG ", "CYS", 'A', 1, 0.0, "  1.00 20.00          S "), 16, 0},
      {AtomLine(1, " t  ", "LIG", 'A', 1, 0.0, "  1.00 20.00"), 0, 0},
      {AtomLine(1, " n  ", "LIG", 'A', 1, 0.0, "  1.00 20.00"), 7, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto mols = ReadAll(c.line + "\n");
    ASSERT_EQ(mols.size(), 1u);
    const auto& atom = *mols[0]->GetAtom([](const auto&) { return true; });
    EXPECT_EQ(atom.GetAtomicNum(), c.z);
    EXPECT_EQ(atom.GetIsotope(), c.isotope);
  }
}

// Occupancy and B-factor, or radius and partial charge under 0x40 and 0x20.
TEST(PDBReader, RedirectedColumns) {
  const std::string line = AtomLine(1, " O  ", "HOH", 'W', 1, 0.0, "  1.52 -0.834");
  const auto plain = ReadAll(line + "\n", 0x16);
  const QvResidue& a = *Tamrin::QvGetResidue(*plain[0]->GetAtom([](const auto&) { return true; }));
  EXPECT_EQ(std::tuple(a.occupancy, a.b_factor), std::tuple(1.52f, -0.834f));
  const auto redirected = ReadAll(line + "\n", 0x16 | 0x20 | 0x40);
  const auto& b = *redirected[0]->GetAtom([](const auto&) { return true; });
  EXPECT_DOUBLE_EQ(b.GetRadius(), 1.52);
  EXPECT_NEAR(b.GetPartialCharge(), -0.834, 1e-6);
  EXPECT_FLOAT_EQ(Tamrin::QvGetResidue(b)->occupancy, 1.0f);
}

// ---- CONECT orders ----

TEST(PDBReader, ConectOrders) {
  struct Case {
    const char* conect;
    std::vector<unsigned> orders;  // bonds in creation order
  };
  const std::vector<Case> cases = {
      {"CONECT    1    2    2\n", {2}},
      {"CONECT    1    2    2\nCONECT    2    1    1\n", {2}},
      {"CONECT    1    2    2    2\nCONECT    2    1    1    1\n", {3}},
      {"CONECT    1    2    2    2    2    2\n", {4}},
      {"CONECT    1    2    3\nCONECT    2    1\nCONECT    3    1\n", {1, 1}},
      {"CONECT    1    1    2    0    3\n", {1}},
      {"CONECT    1    2    9\n", {1}},
      {"CONECT    1\n", {}},
      // Only a repeat of the entry just before raises the order.
      {"CONECT    1    2    3    2\n", {1, 1}},
  };
  std::string atoms;
  for (int i = 1; i <= 3; ++i) atoms += AtomLine(i, " C  ", "LIG", 'A', 1, i) + "\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.conect);
    const auto mols = ReadAll(atoms + c.conect + "END\n");
    ASSERT_EQ(mols.size(), 1u);
    std::vector<unsigned> orders;
    for (const auto& bond : mols[0]->GetBonds()) orders.push_back(bond.GetOrder());
    EXPECT_EQ(orders, c.orders);
  }
}

// ---- ending records and models ----

TEST(PDBReader, EndingRecordsByFlag) {
  const std::string a = AtomLine(1, " C  ", "LIG", 'A', 1, 0.0) + "\n";
  const std::string text = "MODEL        1\n" + a + "TER\n" + a + "ENDMDL\nMODEL        2\n" + a + "ENDMDL\n" + a + "END\n" + a;
  struct Case {
    unsigned flavor;
    std::vector<unsigned> atoms;
  };
  for (const Case& c : {Case{0x16, {2, 1, 1, 1}}, Case{0x01, {1, 4}}, Case{0x00, {5}}, Case{0x02, {4, 1}}}) {
    SCOPED_TRACE(c.flavor);
    std::vector<unsigned> counts;
    for (const auto& mol : ReadAll(text, c.flavor)) counts.push_back(mol.NumAtoms());
    EXPECT_EQ(counts, c.atoms);
  }
  const auto models = ReadAll(text, 0x16);
  EXPECT_EQ(Tamrin::QvGetResidue(*models[1]->GetAtom([](const auto&) { return true; }))->model, 2);
}

// Each model stands on its own: coordinates, and CONECT records that name
// only its own serials, whatever the models before it held.
TEST(PDBReader, ModelsKeepNothingOfTheModelsBefore) {
  struct Model {
    std::vector<double> x;  // one atom per value, serials from 1
    const char* conect;
    unsigned bonds;
  };
  const std::vector<Model> models = {{{1.0, 2.0, 3.0, 4.0}, "CONECT    1    4\n", 1},
                                     {{5.0, 6.0}, "CONECT    1    4\nCONECT    2    3\n", 0},
                                     {{7.0, 8.0, 9.0}, "CONECT    1    2\n", 1}};
  std::string text;
  for (std::size_t m = 0; m < models.size(); ++m) {
    text += "MODEL     " + std::to_string(m + 1) + "\n";
    for (std::size_t i = 0; i < models[m].x.size(); ++i)
      text += AtomLine(static_cast<int>(i + 1), " C  ", "LIG", 'A', 1, models[m].x[i]) + "\n";
    text += std::string(models[m].conect) + "ENDMDL\n";
  }
  const auto mols = ReadAll(text + "END\n");
  ASSERT_EQ(mols.size(), models.size());
  for (std::size_t m = 0; m < models.size(); ++m) {
    SCOPED_TRACE(m);
    std::vector<double> x;
    for (const auto& atom : mols[m]->GetAtoms()) {
      double xyz[3];
      mols[m]->GetCoords(&atom, xyz);
      x.push_back(xyz[0]);
    }
    EXPECT_EQ(x, models[m].x);
    EXPECT_EQ(mols[m].NumBonds(), models[m].bonds);
  }
}

// The tokenizer cuts where the reader stops.
TEST(PDBTokenizer, RecordsMatchTheReader) {
  const std::string a = AtomLine(1, " C  ", "LIG", 'A', 1, 0.0) + "\n";
  // The header's LINK records go with every model.
  const std::string link = "LINK         C   LIG A   1                 C   LIG A   1\n";
  const std::string text =
      "HEADER    X\n" + link + "MODEL        1\n" + a + a + "ENDMDL\nMODEL        2\n" + a + "ENDMDL\nEND\n";
  Tamrin::QvPDBTokenizer tokenizer(0x16);
  Pellar::qvisstream in;
  ASSERT_TRUE(in.load(text));
  std::vector<std::string> records;
  std::string record;
  while (tokenizer.Next(in, record)) records.push_back(record);
  EXPECT_EQ(records, (std::vector<std::string>{"HEADER    X\n" + link + "MODEL        1\n" + a + a + "ENDMDL\n",
                                               "MODEL        2\n" + link + a + "ENDMDL\n"}));
  EXPECT_TRUE(record.empty());
}

// ---- header records, titles and the messages of damaged records ----

TEST(PDBReader, CompoundTitles) {
  struct Case {
    std::string header;
    std::string title;
  };
  const std::vector<Case> cases = {
      {"COMPND    LYSOZYME  \n", "LYSOZYME"},
      {"COMPND    MOL_ID: 1;\nCOMPND   2 MOLECULE: HEMOGLOBIN ALPHA;\n", "HEMOGLOBIN ALPHA"},
      {"COMPND    FIRST\nCOMPND   2 MOLECULE: SECOND;\n", "FIRST"},
      {"COMPND    FIRST\nCOMPND    SECOND\n", "SECOND"},
  };
  for (const Case& c : cases) {
    const auto mols = ReadAll(c.header + AtomLine(1, " C  ", "LIG", 'A', 1, 0.0) + "\n");
    ASSERT_EQ(mols.size(), 1u);
    EXPECT_EQ(mols[0].GetTitle(), c.title) << c.header;
  }
}

struct DamageCase {
  const char* label;
  std::string records;  // after three carbon atoms of residue LIG A 1..3
  std::string message;
};

class PDBDamage : public ::testing::TestWithParam<DamageCase> {};

// A damaged record costs that record only: the atoms stay and the message
// names the record.
TEST_P(PDBDamage, ReportsAndKeepsTheRest) {
  const DamageCase& c = GetParam();
  std::string text;
  for (int i = 1; i <= 3; ++i) text += AtomLine(i, " CA ", "ALA", 'A', i, 1.5 * i) + "\n";
  CapturedMessages messages;
  const auto mols = ReadAll(text + c.records + "END\n");
  ASSERT_EQ(mols.size(), 1u);
  EXPECT_EQ(mols[0].NumAtoms(), 3u);
  EXPECT_EQ(messages.lines(), std::vector<std::string>{c.message});
}

INSTANTIATE_TEST_SUITE_P(
    Records, PDBDamage,
    ::testing::Values(
        DamageCase{"helix", "HELIX    1   1 ALA A    x  ALA A    3  1\n",
                   "Skipping invalid secondary structure record: HELIX    1   1 ALA A    x  ALA A    3  1"},
        DamageCase{"sheet", "SHEET    1   A 2 ALA A   1\n",
                   "Skipping invalid secondary structure record: SHEET    1   A 2 ALA A   1"},
        DamageCase{"link", "LINK         CA  ALA A   1\n", "Skipping invalid LINK record: LINK         CA  ALA A   1"},
        DamageCase{"link_missing", "LINK         CA  ALA A   1                 CA  ALA A   9\n",
                   "Failed to find atoms matching LINK        CA  ALA A   1                 CA  ALA A   9"},
        DamageCase{"coordinates", "ATOM      4  CB  ALA A   3      1.0xx   1.000   1.000\n",
                   "Skipping invalid atom record: ATOM      4  CB  ALA A   3      1.0xx   1.000   1.000"}),
    [](const auto& tp) { return std::string(tp.param.label); });

TEST(PDBReader, LinkAndSecondaryStructureApply) {
  std::string text = "HELIX    1   1 ALA A    1  ALA A    2  5\nSHEET    1   A 2 ALA A   3  ALA A   3  0\n"
                     "LINK         CA  ALA A   1                 CA  ALA A   3     1555   1555  2.00\n";
  for (int i = 1; i <= 3; ++i) text += AtomLine(i, " CA ", "ALA", 'A', i, 10.0 * i) + "\n";
  CapturedMessages messages;
  const auto mols = ReadAll(text, 0x16);
  ASSERT_EQ(mols.size(), 1u);
  std::string kinds;
  for (const auto& atom : mols[0]->GetAtoms()) kinds += Tamrin::QvGetResidue(atom)->secondary_structure;
  EXPECT_EQ(kinds, "HHS");
  EXPECT_EQ(mols[0].NumBonds(), 1u);
  EXPECT_TRUE(messages.lines().empty());
}

}  // namespace
