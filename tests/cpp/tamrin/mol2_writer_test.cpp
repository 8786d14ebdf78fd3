// The MOL2 writer: the layout of a whole record, the output-flavor bits and
// their messages, Tripos typing, and round trips through the reader.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "mol2_test_support.h"
#include "tamrin/model/residue.h"
#include "tamrin/perception/tripos.h"

namespace {

using mol2test::FromSmiles;
using mol2test::ReadAll;
using mol2test::Write;
using Tamrin::QvFormat;
using Tamrin::QvGraphMol;

QvGraphMol Acetamide() {
  QvGraphMol mol;
  const char* names[] = {"C1", "C2", "O1", "N1"};
  const unsigned z[] = {6, 6, 8, 7};
  const double xyz[][3] = {{0, 0, 0}, {1.5, 0, 0}, {2.1, 1.05, 0}, {2.2, -1.1, 0}};
  const double charges[] = {-0.1, 0.55, -0.5, 0.05};
  Tamrin::QvAtomBase* atoms[4];
  for (int i = 0; i < 4; ++i) {
    atoms[i] = mol->NewAtom(z[i]);
    atoms[i]->SetName(names[i]);
    mol->SetCoords(atoms[i], xyz[i]);
    atoms[i]->SetPartialCharge(charges[i]);
    Tamrin::QvSetResidue(*atoms[i], {.name = "ACM", .chain = "", .number = 5});
  }
  mol->NewBond(atoms[0], atoms[1], 1);
  mol->NewBond(atoms[1], atoms[2], 2);
  mol->NewBond(atoms[1], atoms[3], 1);
  atoms[0]->SetImplicitHCount(3);
  atoms[3]->SetImplicitHCount(2);
  mol->SetDimension(3);
  mol->SetTitle("acetamide");
  return mol;
}

// Every column of a record whose atoms carry the hydrogens their types
// imply: no hydrogens are added, the one residue gives one substructure.
TEST(Mol2Writer, WholeRecordLayout) {
  const std::string text = Write(Acetamide(), QvFormat::MOL2, 0x400F);
  EXPECT_EQ(text,
            "@<TRIPOS>MOLECULE\n"
            "acetamide\n"
            "    4     3     1     0     0\n"
            "SMALL\n"
            "USER_CHARGES\n"
            "\n"
            "@<TRIPOS>ATOM\n"
            "      1 C1          0.0000    0.0000    0.0000 C.3       1 ACM5       -0.1000\n"
            "      2 C2          1.5000    0.0000    0.0000 C.2       1 ACM5        0.5500\n"
            "      3 O1          2.1000    1.0500    0.0000 O.2       1 ACM5       -0.5000\n"
            "      4 N1          2.2000   -1.1000    0.0000 N.am      1 ACM5        0.0500\n"
            "@<TRIPOS>BOND\n"
            "     1    1    2 1\n"
            "     2    2    3 2\n"
            "     3    2    4 am\n"
            "@<TRIPOS>SUBSTRUCTURE\n"
            "     1 ACM5        1 GROUP   0 A     ****\n");
}

struct FlavorCase {
  const char* label;
  unsigned flavor;
  std::vector<std::string> present;  // lines (or line starts) that must appear
  std::vector<std::string> absent;
};

class Mol2WriterFlavor : public testing::TestWithParam<FlavorCase> {};

TEST_P(Mol2WriterFlavor, Lines) {
  const FlavorCase& c = GetParam();
  const std::string text = Write(Acetamide(), QvFormat::MOL2, c.flavor);
  for (const std::string& line : c.present) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  for (const std::string& line : c.absent) EXPECT_EQ(text.find(line), std::string::npos) << line << "\n" << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Mol2WriterFlavor,
    testing::Values(
        FlavorCase{"explicit_hydrogens",
                   0x401F,
                   {"    9     8     1     0     0\n", "      5 H        ", "H         1 ACM5        0.0000\n",
                    "     8    4    9 1\n"},
                   {}},
        FlavorCase{"single_substructure_dropped",
                   0x402F,
                   {"    4     3     0     0     0\n"},
                   {"@<TRIPOS>SUBSTRUCTURE"}},
        FlavorCase{"long_charges", 0x404F, {" ACM5      -0.10000\n"}, {}},
        FlavorCase{"no_preparation_keeps_names_and_empty_types",
                   0x4000,
                   {"      1 C1          0.0000    0.0000    0.0000 C         1 ACM5       -0.1000\n",
                    "     3    2    4 1\n"},
                   {"C.3", " am\n"}}),
    [](const testing::TestParamInfo<FlavorCase>& p) { return p.param.label; });

TEST(Mol2Writer, ForcefieldNeedsNamesAndTypes) {
  QvGraphMol mol = Acetamide();
  Tamrin::QvAssignTriposAtomTypes(mol);
  mol->GetAtoms().begin()->SetName("");
  int status = 0;
  CapturedMessages messages;
  EXPECT_EQ(Write(mol, QvFormat::MOL2, 0x4080, &status), "");
  EXPECT_EQ(status, Tamrin::QvWriteFailed);
  EXPECT_EQ(messages.lines(),
            (std::vector<std::string>{"Unable to write Forcefield-flavor MOL2 file: missing name for atom 0"}));

  QvGraphMol named = Acetamide();
  Tamrin::QvAssignTriposAtomTypes(named);
  const std::string text = Write(named, QvFormat::MOL2, 0x40A0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(text.find("\n     1 ACM         1 GROUP   0 A     ****\n"), std::string::npos) << text;
}

// What is written is read back the same: atoms, coordinates to the four
// decimals written, charges, bonds and residues. The values are held as
// floats, so a value that rounds at the fifth decimal may move a hair more
// than half the last decimal written.
constexpr double kFourDecimals = 5.1e-5;
void ExpectSameRecord(const Tamrin::QvMolBase& a, const Tamrin::QvMolBase& b, const std::string& label) {
  ASSERT_EQ(a.NumAtoms(), b.NumAtoms()) << label;
  ASSERT_EQ(a.NumBonds(), b.NumBonds()) << label;
  EXPECT_EQ(mol2test::Canonical(a), mol2test::Canonical(b)) << label;
  auto ia = a.GetAtoms().begin();
  for (const Tamrin::QvAtomBase& atom : b.GetAtoms()) {
    const Tamrin::QvAtomBase& first = *ia;
    ++ia;
    double p[3], q[3];
    a.GetCoords(&first, p);
    b.GetCoords(&atom, q);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], q[k], kFourDecimals) << label;
    EXPECT_NEAR(first.GetPartialCharge(), atom.GetPartialCharge(), kFourDecimals) << label;
    EXPECT_EQ(first.GetAtomicNum(), atom.GetAtomicNum()) << label;
    EXPECT_EQ(first.GetFormalCharge(), atom.GetFormalCharge()) << label;
    const Tamrin::QvResidue* ra = Tamrin::QvGetResidue(first);
    const Tamrin::QvResidue* rb = Tamrin::QvGetResidue(atom);
    ASSERT_EQ(ra == nullptr, rb == nullptr) << label;
    if (ra) {
      EXPECT_EQ(ra->name + std::to_string(ra->number), rb->name + std::to_string(rb->number)) << label;
    }
  }
}

std::string SharedFile(const std::string& name) {
  return std::string(NIMBREL_SOURCE_DIR "/../shared/testdata/mol2/") + name;
}

TEST(Mol2RoundTrip, SharedFilesReadBackTheSame) {
  const std::vector<std::string> files = {"chemfiles_Molecules_200.mol2", "rdkit_Issue3399798.mol2",
                                          "rdkit_pyrazole_pyridine.mol2", "silico_clozapine.mol2",
                                          "openbabel_culgi_00.mol2", "chemfiles_adp.mol2",
                                          "q2mm_rh_enamide_training_set.mol2"};
  if (!std::filesystem::exists(SharedFile(files[0]))) GTEST_SKIP() << "shared test data absent";
  unsigned records = 0;
  for (const std::string& name : files) {
    std::ifstream file(SharedFile(name), std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    const mol2test::Read first = ReadAll(buffer.str(), QvFormat::MOL2, 0x4002);
    ASSERT_FALSE(first.mols.empty()) << name;
    std::string written;
    for (const auto& mol : first.mols) written += Write(mol, QvFormat::MOL2, 0x4000);
    const mol2test::Read second = ReadAll(written, QvFormat::MOL2, 0x4002);
    ASSERT_EQ(second.mols.size(), first.mols.size()) << name;
    for (std::size_t i = 0; i < first.mols.size(); ++i) ExpectSameRecord(first.mols[i], second.mols[i], name);
    records += static_cast<unsigned>(first.mols.size());
  }
  EXPECT_EQ(records, 200u + 1 + 2 + 1 + 1 + 1 + 9);
}

// Molecules made from SMILES come back as the same molecule after typing,
// naming and writing every hydrogen.
TEST(Mol2RoundTrip, SmilesThroughMol2H) {
  const char* smiles[] = {"CC(=O)[O-]", "C[N+](=O)[O-]", "NC(N)=[NH2+]", "c1ccc2[nH]ccc2c1", "CS(=O)(=O)N",
                          "O=P([O-])([O-])OC", "C#CC=C=C", "c1ccsc1", "[Na+].[Cl-]", "OC(=O)c1ccncc1",
                          "CC(=O)Nc1ccc(O)cc1", "C1CC[NH2+]CC1", "O=[N+]([O-])c1ccccc1", "Cn1cnc2c1c(=O)n(C)c(=O)n2C"};
  for (const char* s : smiles) {
    QvGraphMol mol = FromSmiles(s);
    const std::string text = Write(mol, QvFormat::MOL2H, 0x401F);
    const mol2test::Read back = ReadAll(text, QvFormat::MOL2H, 0x4001);
    ASSERT_EQ(back.mols.size(), 1u) << s << "\n" << text;
    EXPECT_EQ(mol2test::Canonical(back.mols[0]), mol2test::CanonicalSmiles(s)) << text;
  }
}

}  // namespace
