// QvCreateSmiString: atom text and the organic-subset test, bond symbols,
// ring-closure numbering, components and reactions, stereo, canonical and
// Kekulé output, the CX block, and the failure for too many open rings.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/hydrogens.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvGraphMol;
using smiles_test::Smiles;
namespace Flag = Tamrin::QvSmiFlag;

constexpr unsigned D = Tamrin::QvSmiDefault;
// The default without canonical ranking: atoms keep the input order.
constexpr unsigned N = D & ~Flag::Canonical;

// {input, flags, output}; the rows in order of the writer's parts.
TEST(SmilesWriter, Output) {
  const std::tuple<std::string, unsigned, std::string> cases[] = {
      // atoms and the organic subset
      {"C", N, "C"}, {"C", N | Flag::HydrogenBrackets, "[CH4]"}, {"[CH4]", N, "C"}, {"[CH3]", N, "[CH3]"},
      {"[C]", N, "[C]"}, {"[NH4+]", N, "[NH4+]"}, {"c1cc[nH]c1", N, "c1cc[nH]c1"}, {"c1ccncc1", N, "c1ccncc1"},
      {"[O-]C", N, "[O-]C"}, {"[Fe+2]", N, "[Fe+2]"}, {"[Fe-3]", N, "[Fe-3]"}, {"[13CH4]", N, "[13CH4]"},
      {"[13CH4]", 0, "C"}, {"[CH3:4]C", N, "[CH3:4]C"}, {"[CH3:4]C", 0, "CC"}, {"[R3]C", N, "[R3]C"},
      {"[R3]C", 0, "*C"}, {"[Xyz]C", N | Flag::AtomNames, "[Xyz]C"}, {"[Xyz]C", N, "*C"}, {"[#200]", N, "[#200]"},
      {"[Na+].[Cl-]", N, "[Na+].[Cl-]"}, {"B(C)(C)C", N, "B(C)(C)C"}, {"[BH4-]", N, "[BH4-]"}, {"[BH2]C", N, "BC"},
      {"P(C)(C)(C)(C)C", N, "P(C)(C)(C)(C)C"}, {"[PH2]C", N, "PC"}, {"N(=O)=O", N, "N(=O)=O"},
      {"S(=O)(=O)(O)O", N, "S(=O)(=O)(O)O"}, {"[SH](C)(C)C", N, "S(C)(C)C"}, {"[SH2](C)(C)C", N, "[SH2](C)(C)C"},
      {"[SH]C", N, "SC"}, {"ClC", N, "ClC"}, {"[ClH2+]", N, "[ClH2+]"}, {"[IH](C)C", N, "[IH](C)C"},
      {"[OH]C(=O)C", N, "OC(=O)C"}, {"*C", N, "*C"}, {"[*H]C", N, "[*H]C"}, {"[H][H]", N, "[H][H]"},
      {"[2H]C", N, "[2H]C"}, {"[2H]C", 0, "C"}, {"[H]C([H])([H])[H]", N, "C"},
      {"[H]C([H])([H])[H]", N | Flag::KeepHydrogens, "[H]C([H])([H])[H]"},
      // bonds
      {"C=CC#N", N, "C=CC#N"}, {"C$C", N, "C$C"}, {"CC", N | Flag::ExplicitBonds, "C-C"},
      {"c1ccccc1", N | Flag::ExplicitBonds, "c:1:c:c:c:c:c1"}, {"c1ccccc1-c1ccccc1", N, "c1ccccc1c2ccccc2"},
      {"c1ccc2c(c1)-c1ccccc1-2", N, "c1ccc-2c(c1)-c3ccccc23"}, {"c1ccccc1", N | Flag::Kekule, "C=1C=CC=CC1"},
      {"c1cc[nH]c1", N | Flag::Kekule, "C=1C=CNC1"},
      {"c1ccccc1", N | Flag::Kekule | Flag::ExplicitBonds, "C=1-C=C-C=C-C1"},
      // rings, branches, components
      {"C1CC1", N, "C1CC1"}, {"C1CC2CCC12", N, "C1CC2CCC12"}, {"C=1CC1", N, "C=1CC1"},
      {"C1CC1.C1CC1", N, "C1CC1.C2CC2"}, {"CC(C)(C)C", N, "CC(C)(C)C"}, {"C.N.O", N, "C.N.O"},
      // reactions
      {"CC>>CC", N, "CC>>CC"}, {"C.N>O>CN", N, "C.N>O>CN"}, {">>C", N, ">>C"}, {"C>>", N, "C>>"}, {">O>", N, ">O>"},
      // stereo
      {"F[C@H](Cl)Br", N, "F[C@H](Cl)Br"}, {"F[C@@H](Cl)Br", N, "F[C@@H](Cl)Br"},
      {"F[C@H](Cl)Br", N & ~Flag::AtomStereo, "FC(Cl)Br"}, {"[C@@H](F)(Cl)Br", N, "[C@@H](F)(Cl)Br"},
      {"F[C@]1(Cl)CCC1", N, "F[C@]1(Cl)CCC1"}, {"C[S@](=O)CC", N, "C[S@](=O)CC"}, {"[S@](C)(=O)CC", N, "[S@](C)(=O)CC"},
      {"[S@](C)(=O)CC", D, Smiles("C[S@](=O)CC", D)}, {"O=[S@@](C)CC", D, Smiles("C[S@](=O)CC", D)},
      {"[P@@](C)(CC)c1ccccc1", N, "[P@@](C)(CC)c1ccccc1"}, {"F/C=C/F", N, "F/C=C/F"}, {"F/C=C\\F", N, "F/C=C\\F"},
      {"F/C=C/F", N & ~Flag::BondStereo, "FC=CF"}, {"C(\\F)=C/F", N, "C(/F)=C\\F"}, {"F/C=C/C=C\\F", N, "F/C=C/C=C\\F"},
      {"F/C=C/1.F1", N, "F/C=C/F"}, {"O=C(O)/C=C\\C(=O)/C=C\\C(=O)O", N, "O=C(O)/C=C\\C(=O)/C=C\\C(=O)O"},
      // CX block: stereo groups by written position, only when asked for
      {"C[C@H](F)[C@@H](Cl)Br", N | Flag::CXBlock, "C[C@H](F)[C@@H](Cl)Br"},
      {"C[C@H](F)[C@@H](Cl)[C@H](Br)O |&2:5,a:1,o1:3|", N | Flag::CXBlock,
       "C[C@H](F)[C@@H](Cl)[C@H](Br)O |a:1,o1:3,&2:5|"},
      {"C[C@H](F)[C@@H](Cl)[C@H](Br)O |&2:5,a:1,o1:3|", N, "C[C@H](F)[C@@H](Cl)[C@H](Br)O"}};
  for (const auto& [in, flags, out] : cases) EXPECT_EQ(Smiles(in, flags), out) << in << " / 0x" << std::hex << flags;
}

// A chain of `length` carbons with extra ring bonds, each carbon given the
// hydrogens that make it tetravalent.
QvGraphMol ChainWithRings(unsigned length, const std::vector<std::pair<unsigned, unsigned>>& rings) {
  QvGraphMol mol;
  std::vector<QvAtomBase*> atoms;
  for (unsigned i = 0; i < length; ++i) {
    atoms.push_back(mol.NewAtom(6));
    if (i) mol.NewBond(atoms[i - 1], atoms[i], 1);
  }
  for (const auto& [a, b] : rings) mol.NewBond(atoms[a], atoms[b], 1);
  for (QvAtomBase& atom : mol.GetAtoms()) atom.SetImplicitHCount(4 - std::min(4u, atom.GetExplicitDegree()));
  return mol;
}

TEST(SmilesWriter, MoreThan99OpenRingsFail) {
  std::vector<std::pair<unsigned, unsigned>> rings;
  for (unsigned i = 2; i <= 101; ++i) rings.push_back({0, i});  // 100 closures open at the first atom
  QvGraphMol mol = ChainWithRings(102, rings);
  mol.SetTitle("crowded");
  CapturedMessages captured;
  std::string out = "stale";
  EXPECT_FALSE(Tamrin::QvCreateSmiString(out, mol, D));
  EXPECT_EQ(out, "");
  EXPECT_EQ(captured.lines(),
            (std::vector<std::string>{"Structure has more than 99 ring closures open at once.",
                                      "Problem has been detected during SMILES generation for molecule `crowded`."}));
}

// The writer counts ordinary hydrogen atoms on their heavy atoms without
// copying the molecule; what it writes must be what it writes for a copy
// whose hydrogens QvSuppressHydrogens folded, case by case of that rule
// (charged, mapped, isotopic, bridging, paired and wildcard-bound hydrogens
// stay atoms), stereo through a hydrogen included.
TEST(SmilesWriter, HydrogenAtomsAreWrittenAsIfFolded) {
  const char* inputs[] = {"[H]C([H])([H])[H]", "[2H]C([2H])C", "[H+].[H-].[H]O[H]", "[H][H]", "[H:1]C[H]",
                          "[H]*", "[BH2]1[H][BH2][H]1", "F[C@@]([H])(Cl)Br", "[H][C@](F)(Cl)Br",
                          "[H]/C(F)=C(/F)[H]", "[H]N1CC[C@]([H])(O)C1", "[H]C=O", "[13CH3][2H]"};
  for (const char* text : inputs)
    for (const unsigned flags : {D, D | Flag::Isotopes, N, D | Flag::Kekule}) {
      QvGraphMol mol;
      ASSERT_TRUE(Tamrin::QvParseSmiles(mol, text, false, false)) << text;
      QvGraphMol folded(mol);
      Tamrin::QvSuppressHydrogens(folded, flags & Flag::Isotopes);
      std::string ours, reference;
      EXPECT_TRUE(Tamrin::QvCreateSmiString(ours, mol, flags));
      EXPECT_TRUE(Tamrin::QvCreateSmiString(reference, folded, flags | Flag::KeepHydrogens));
      EXPECT_EQ(ours, reference) << text << " / 0x" << std::hex << flags;
    }
}

// Three-connected centres (a lone pair in the fourth place) whose hand
// depends on where the lone pair stands among ring-closure digits.

// Every '@' turned into "@@" and every "@@" into '@'.
std::string Mirrored(const std::string& text) {
  const std::string marked = std::regex_replace(text, std::regex("@@"), "#");
  return std::regex_replace(std::regex_replace(marked, std::regex("@"), "@@"), std::regex("#"), "@");
}

// Each row: one molecule written from the centre with no digit, with the
// digit opening at it, closing at it, and on the centre written first (as
// RDKit writes them and reads them as one molecule).
const std::vector<std::vector<std::string>> kLonePairCentres = {
    {"CC1[N@](C)C1", "C[N@]1CC1C", "CC1C[N@@]1C", "[N@]1(CC1C)C"},
    {"CC1[N@](O)C1", "O[N@]1CC1C", "CC1C[N@@]1O", "[N@]1(CC1C)O"},
    {"CC1CC[P@](CC)C1", "CC[P@]1CC(C)CC1", "C1C(CC[P@]1CC)C", "[P@]1(CC(CC1)C)CC"},
    {"CC1CC[S@+](C)C1", "C[S@+]1CC(C)CC1", "C1C(C)CC[S@+]1C", "[S@+]1(C)CCC(C1)C"},
    {"CC1CC[S@](=O)C1", "O=[S@]1CCC(C)C1", "C1CC(C)C[S@]1=O", "[S@]1(CCC(C)C1)=O"},
};

TEST(SmilesLonePair, RingDigitOnTheCentreReadsAsRDKitReadsIt) {
  for (const auto& row : kLonePairCentres) {
    const std::string canonical = Smiles(row[0]);
    EXPECT_NE(Smiles(Mirrored(row[0])), canonical) << row[0];
    for (const std::string& text : row) {
      EXPECT_EQ(Smiles(text), canonical) << text;
      // Written in the input order the digit stays on the centre: the
      // writer must give it the hand the parser reads.
      EXPECT_EQ(Smiles(text, N), text);
      EXPECT_EQ(Smiles(text, N | Flag::Kekule), text);
    }
  }
}

}  // namespace
