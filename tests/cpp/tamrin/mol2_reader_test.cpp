// The MOL2 reader through the molecule streams: which records come out and
// with which messages, the chemistry recovered from Tripos types, the
// elements of type names, and the record tokenizer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mol2_test_support.h"
#include "pellar/qvsstream.h"
#include "sorvil/base/tagregistry.h"
#include "tamrin/model/residue.h"
#include "tamrin/streams/tokenizer.h"

namespace {

using mol2test::CanonicalSmiles;
using mol2test::ReadAll;
using mol2test::Record;
using Tamrin::QvFormat;

const std::string kWater = Record("water", {"1 O 0 0 0 O.3 1 HOH1 -0.8", "2 H1 0.96 0 0 H 1 HOH1 0.4",
                                            "3 H2 -0.24 0.93 0 H 1 HOH1 0.4"},
                                  {"1 1 2 1", "2 1 3 1"});

std::string Failed(const std::string& title) { return "Error reading molecule \"" + title + "\" in Tripos MOL2 format."; }

struct StreamCase {
  const char* label;
  std::string text;
  std::vector<std::string> titles;    // of the molecules read, in order
  std::vector<std::string> warnings;  // exactly these, in order
};

class Mol2Stream : public testing::TestWithParam<StreamCase> {};

TEST_P(Mol2Stream, RecordsAndMessages) {
  const StreamCase& c = GetParam();
  const mol2test::Read read = ReadAll(c.text);
  std::vector<std::string> titles;
  for (const auto& mol : read.mols) titles.emplace_back(mol.GetTitle());
  EXPECT_EQ(titles, c.titles);
  EXPECT_EQ(read.messages, c.warnings);
}

const std::string kSkipped = "Unable to read MOL2 file because of ";

INSTANTIATE_TEST_SUITE_P(
    Cases, Mol2Stream,
    testing::Values(
        StreamCase{"text_before_first_record_and_star_title",
                   "# comment\n\n" + Record("*****", {"1 C 0 0 0 C.3"}, {}) + kWater, {"", "water"}, {}},
        StreamCase{"malformed_counts",
                   "@<TRIPOS>MOLECULE\nbad\nx y\n" + kWater,
                   {"water"},
                   {"Malformed atom and bond count block in MOL2 format = (x y)", kSkipped + "its counts line",
                    Failed("")}},
        StreamCase{"negative_atoms",
                   "@<TRIPOS>MOLECULE\nneg\n-1 0\n" + kWater,
                   {"water"},
                   {"Invalid number of atoms in MOL2 format = (-1 0)", kSkipped + "its atom count", Failed("")}},
        StreamCase{"negative_bonds",
                   "@<TRIPOS>MOLECULE\nneg\n1 -4 0\n" + kWater,
                   {"water"},
                   {"Invalid number of bonds in MOL2 format = (1 -4 0)", kSkipped + "its bond count", Failed("")}},
        StreamCase{"fewer_atom_lines_than_counted",
                   "@<TRIPOS>MOLECULE\nshort\n3 0\nSMALL\nNO_CHARGES\n@<TRIPOS>ATOM\n1 C 0 0 0 C.3\n" + kWater,
                   {"water"},
                   {kSkipped + "an ATOM section of fewer lines than its 3 atoms", Failed("")}},
        StreamCase{"no_atom_section_at_end",
                   kWater + "@<TRIPOS>MOLECULE\nmol\n   12     0     1     0     0\nSMALL\nNO_CHARGES\n\n\n",
                   {"water"},
                   {kSkipped + "no ATOM section for its 12 atoms",
                    "The data end inside a record in Tripos MOL2 format."}},
        StreamCase{"malformed_atom_line",
                   Record("bad", {"1 C 0 zero 0 C.3"}, {}) + kWater,
                   {"water"},
                   {kSkipped + "a malformed ATOM line: 1 C 0 zero 0 C.3", Failed("")}},
        StreamCase{"malformed_bond_line",
                   Record("bad", {"1 C 0 0 0 C.3", "2 C 1.5 0 0 C.3"}, {"1 1 2"}) + kWater,
                   {"water"},
                   {kSkipped + "a malformed BOND line: 1 1 2", Failed("")}},
        StreamCase{"empty_record_is_skipped_quietly",
                   "@<TRIPOS>MOLECULE\nnothing\n0 0\nSMALL\nNO_CHARGES\n" + kWater, {"water"}, {}},
        StreamCase{"crlf_and_blank_lines_in_tables",
                   "@<TRIPOS>MOLECULE\r\nw\r\n 1 0\r\nSMALL\r\nNO_CHARGES\r\n\r\n\r\n@<TRIPOS>ATOM\r\n\r\n"
                   " 1 C 0 0 0 C.3 1 <0> 0.0 \r\n",
                   {"w"},
                   {}}),
    [](const testing::TestParamInfo<StreamCase>& p) { return p.param.label; });

// Bonds: out-of-range, self and repeated lines are skipped; "nc" and "du"
// make none; the type name is kept.
TEST(Mol2Reader, BondLinesThatMakeNoBond) {
  const mol2test::Read read = ReadAll(
      Record("bonds", {"1 C1 0 0 0 C.3", "2 C2 1.5 0 0 C.3", "3 N 3 0 0 N.am", "4 C3 4 1 0 C.2", "5 O 5 1 0 O.2"},
             {"1 1 2 1", "2 1 9 1", "3 2 2 1", "4 2 1 2", "5 1 3 nc", "6 1 4 DU", "7 3 4 am", "8 4 5 2", "9 0 1 1"}));
  ASSERT_EQ(read.mols.size(), 1u);
  const Tamrin::QvMolBase& mol = read.mols[0];
  ASSERT_EQ(mol.NumBonds(), 3u);
  std::vector<std::string> types;
  for (const Tamrin::QvBondBase& bond : mol.GetBonds())
    types.push_back(std::string(bond.GetTypeName()) + "/" + std::to_string(bond.GetOrder()));
  EXPECT_EQ(types, (std::vector<std::string>{"1/1", "am/1", "2/2"}));
}

// Bond orders and charges recovered from the types, whatever bond types the
// writer chose: each record against the molecule it stands for.
struct ChemistryCase {
  const char* label;
  std::vector<std::string> atoms;
  std::vector<std::string> bonds;
  const char* smiles;
};

class Mol2Chemistry : public testing::TestWithParam<ChemistryCase> {};

TEST_P(Mol2Chemistry, SameMoleculeAsSmiles) {
  const ChemistryCase& c = GetParam();
  const mol2test::Read read = ReadAll(Record(c.label, c.atoms, c.bonds));
  ASSERT_EQ(read.mols.size(), 1u) << testing::PrintToString(read.messages);
  EXPECT_EQ(mol2test::Canonical(read.mols[0]), CanonicalSmiles(c.smiles));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mol2Chemistry,
    testing::Values(
        ChemistryCase{"acetate_aromatic_bonds",
                      {"1 C1 0 0 0 C.3", "2 C2 1.5 0 0 C.2", "3 O1 2.1 1 0 O.co2", "4 O2 2.1 -1 0 O.co2"},
                      {"1 1 2 1", "2 2 3 ar", "3 2 4 ar"},
                      "CC(=O)[O-]"},
        ChemistryCase{"acetate_single_bonds",
                      {"1 C1 0 0 0 C.3", "2 C2 1.5 0 0 C.2", "3 O1 2.1 1 0 O.co2", "4 O2 2.1 -1 0 O.co2"},
                      {"1 1 2 1", "2 2 3 1", "3 2 4 1"},
                      "CC(=O)[O-]"},
        ChemistryCase{"nitromethane_aromatic_bonds",
                      {"1 C 0 0 0 C.3", "2 N 1.5 0 0 N.pl3", "3 O1 2.1 1 0 O.2", "4 O2 2.1 -1 0 O.2"},
                      {"1 1 2 1", "2 2 3 ar", "3 2 4 ar"},
                      "C[N+](=O)[O-]"},
        ChemistryCase{"guanidinium",
                      {"1 C 0 0 0 C.cat", "2 N1 1.3 0 0 N.pl3", "3 N2 -0.6 1.1 0 N.pl3", "4 N3 -0.6 -1.1 0 N.pl3"},
                      {"1 1 2 ar", "2 1 3 ar", "3 1 4 ar"},
                      "NC(N)=[NH2+]"},
        ChemistryCase{"methanesulfonate",
                      {"1 C 0 0 0 C.3", "2 S 1.8 0 0 S.o2", "3 O1 2.3 1.3 0 O.co2", "4 O2 2.3 -1.3 0 O.co2",
                       "5 O3 2.3 0 1.3 O.co2"},
                      {"1 1 2 1", "2 2 3 ar", "3 2 4 ar", "4 2 5 ar"},
                      "CS(=O)(=O)[O-]"},
        ChemistryCase{"pyridine_aromatic_bonds",
                      {"1 N 1.39 0 0 N.ar", "2 C1 0.69 1.2 0 C.ar", "3 C2 -0.69 1.2 0 C.ar", "4 C3 -1.39 0 0 C.ar",
                       "5 C4 -0.69 -1.2 0 C.ar", "6 C5 0.69 -1.2 0 C.ar"},
                      {"1 1 2 ar", "2 2 3 ar", "3 3 4 ar", "4 4 5 ar", "5 5 6 ar", "6 6 1 ar"},
                      "c1ccncc1"},
        ChemistryCase{"toluene_single_bonds_throughout",
                      {"1 C1 1.39 0 0 C.ar", "2 C2 0.69 1.2 0 C.ar", "3 C3 -0.69 1.2 0 C.ar", "4 C4 -1.39 0 0 C.ar",
                       "5 C5 -0.69 -1.2 0 C.ar", "6 C6 0.69 -1.2 0 C.ar", "7 C7 2.9 0 0 C.3"},
                      {"1 1 2 1", "2 2 3 1", "3 3 4 1", "4 4 5 1", "5 5 6 1", "6 6 1 1", "7 1 7 1"},
                      "Cc1ccccc1"},
        ChemistryCase{"acetone_single_bonds",
                      {"1 C1 0 0 0 C.3", "2 C2 1.5 0 0 C.2", "3 C3 2.2 1.2 0 C.3", "4 O 2.1 -1 0 O.2"},
                      {"1 1 2 1", "2 2 3 1", "3 2 4 1"},
                      "CC(C)=O"},
        ChemistryCase{"acetonitrile_single_bonds",
                      {"1 C1 0 0 0 C.3", "2 C2 1.5 0 0 C.1", "3 N 2.6 0 0 N.1"},
                      {"1 1 2 1", "2 2 3 1"},
                      "CC#N"},
        ChemistryCase{"tetramethylammonium",
                      {"1 N 0 0 0 N.4", "2 C1 1.5 0 0 C.3", "3 C2 -1.5 0 0 C.3", "4 C3 0 1.5 0 C.3",
                       "5 C4 0 -1.5 0 C.3"},
                      {"1 1 2 1", "2 1 3 1", "3 1 4 1", "4 1 5 1"},
                      "C[N+](C)(C)C"},
        ChemistryCase{"pyrrole_aromatic_bonds_united_atoms",
                      {"1 N 1.1 0 0 N.pl3", "2 C1 0.35 1.1 0 C.ar", "3 C2 -0.9 0.7 0 C.ar", "4 C3 -0.9 -0.7 0 C.ar",
                       "5 C4 0.35 -1.1 0 C.ar"},
                      {"1 1 2 ar", "2 2 3 ar", "3 3 4 ar", "4 4 5 ar", "5 5 1 ar"},
                      "c1cc[nH]c1"},
        // One hydrogen atom says the file gives all of them.
        ChemistryCase{"hydrogen_atoms_are_all_there_is",
                      {"1 O 0 0 0 O.3", "2 H1 0.96 0 0 H", "3 C 1.4 0 0 C.3"},
                      {"1 1 2 1", "2 1 3 1"},
                      "[C]O"},
        ChemistryCase{"ions_without_bonds",
                      {"1 Na 0 0 0 Na", "2 Cl 3 0 0 Cl", "3 Mg 6 0 0 Mg", "4 Br 9 0 0 Br", "5 Br 12 0 0 Br"},
                      {},
                      "[Na+].[Cl-].[Mg+2].[Br-].[Br-]"}),
    [](const testing::TestParamInfo<ChemistryCase>& p) { return p.param.label; });

// The element of each type name, by reading one-atom records.
TEST(Mol2Reader, ElementsOfTypeNames) {
  const std::vector<std::pair<std::string, unsigned>> cases = {
      {"C.ar", 6},  {"Cl", 17}, {"CL", 17}, {"N.pl3", 7}, {"Fe", 26}, {"FE", 26}, {"Br", 35}, {"BR", 35},
      {"RH", 45},   {"CA", 6},  {"ca", 6},  {"Ca", 20},   {"cl", 17}, {"br", 35}, {"Co.oh", 27}, {"NB", 7},
      {"OS", 8},    {"na", 7},  {"Na", 11}, {"N*", 7},    {"O3", 8},  {"c3", 6},  {"Du", 0},  {"Se", 34},
      {"S.o2", 16}, {"H", 1},   {"HX", 1},  {"Zn", 30},   {"Sn", 50}, {"Mg", 12}, {"Si", 14}, {"Lp", 0}};
  for (const auto& [type, z] : cases) {
    const mol2test::Read read = ReadAll(Record("t", {"1 X 0 0 0 " + type}, {}));
    ASSERT_EQ(read.mols.size(), 1u) << type;
    EXPECT_EQ(read.mols[0]->GetAtoms().begin()->GetAtomicNum(), z) << type;
    EXPECT_EQ(std::string(read.mols[0]->GetAtoms().begin()->GetTypeName()), type);
  }
}

// Atom fields and what input bit 0x2 makes of substructures; the comment.
TEST(Mol2Reader, AtomFieldsResiduesAndComment) {
  const std::string text =
      "@<TRIPOS>MOLECULE\nala\n4 3 2\nPROTEIN\nUSER_CHARGES\n****\nfrom a test\n@<TRIPOS>ATOM\n"
      "1 N 1.0 2.0 3.0 N.3 7 ALA12 -0.25\n2 CA 2.0 2.0 3.0 C.3 7 ALA12 0.125\n"
      "3 C 3.0 2.0 3.0 C.3 9 <3> 0\n4 O 4 2 3 O.3 2 LIG -0.5\n@<TRIPOS>BOND\n1 1 2 1\n2 2 3 1\n3 3 4 1\n";
  for (unsigned flavor : {0x4000u, 0x4002u}) {
    const mol2test::Read read = ReadAll(text, QvFormat::MOL2, flavor);
    ASSERT_EQ(read.mols.size(), 1u);
    const Tamrin::QvMolBase& mol = read.mols[0];
    std::vector<std::string> seen;
    for (const Tamrin::QvAtomBase& atom : mol.GetAtoms()) {
      double xyz[3];
      mol.GetCoords(&atom, xyz);
      const Tamrin::QvResidue* r = Tamrin::QvGetResidue(atom);
      seen.push_back(std::string(atom.GetName()) + " " + std::to_string(xyz[0]) + " " +
                     std::to_string(atom.GetPartialCharge()) + " " +
                     (r ? r->name + ":" + std::to_string(r->number) : "-"));
    }
    const bool residues = flavor & 0x2;
    EXPECT_EQ(seen, (std::vector<std::string>{
                        std::string("N 1.000000 -0.250000 ") + (residues ? "ALA:12" : "-"),
                        std::string("CA 2.000000 0.125000 ") + (residues ? "ALA:12" : "-"),
                        "C 3.000000 0.000000 -", std::string("O 4.000000 -0.500000 ") + (residues ? "LIG:2" : "-")}));
    EXPECT_EQ(mol.GetData<std::string>(Sorvil::QvGetTag("QvMolComment")), "from a test");
    EXPECT_EQ(mol.GetDimension(), 3u);
  }
}

TEST(Mol2Tokenizer, WholeRecordsAndNonAsciiLines) {
  CapturedMessages messages;
  const std::string text = "junk\n" + kWater + "@<TRIPOS>MOLECULE\nb\xc3\xa9nzene\n0 0\n" + kWater;
  const auto tokenizer = Tamrin::QvCreateTokenizer(QvFormat::MOL2, 0x4000);
  ASSERT_TRUE(tokenizer);
  Pellar::qvisstream in;
  ASSERT_TRUE(in.load(text));
  std::vector<std::string> records;
  std::string record;
  while (tokenizer->Next(in, record)) records.push_back(record);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], kWater);
  EXPECT_EQ(records[1], "@<TRIPOS>MOLECULE\n0 0\n");
  EXPECT_EQ(records[2], kWater);
  EXPECT_EQ(messages.lines(),
            (std::vector<std::string>{"Non ASCII character encountered in MOL2 tokenizer b\xc3\xa9nzene"}));
}

}  // namespace
