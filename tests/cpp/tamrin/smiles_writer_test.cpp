// QvCreateSmiString: atom text and the organic-subset test, bond symbols,
// ring-closure numbering, components and reactions, stereo, canonical and
// Kekulé output, the CX block, and the failure for too many open rings.
#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
