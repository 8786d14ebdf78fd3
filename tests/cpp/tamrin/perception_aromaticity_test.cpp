#include <gtest/gtest.h>

#include <array>

#include "perception_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/rings.h"

namespace {

using namespace perception_test;
using Tamrin::QvPerceiveAromaticity;

// The same rings under every model. Expected: aromatic atoms under models
// 1, 2, 3, 4 (arguments 6, true) and 5.
struct AromaticCase {
  const char* name;
  const char* smiles;
  std::array<unsigned, 5> aromatic_atoms;
};

class AromaticityModels : public ::testing::TestWithParam<AromaticCase> {};

TEST_P(AromaticityModels, AromaticAtomsPerModel) {
  const AromaticCase& c = GetParam();
  for (unsigned model = 1; model <= 5; ++model) {
    QvGraphMol mol = Mol(c.smiles);
    QvPerceiveAromaticity(mol, model);
    EXPECT_EQ(CountAromaticAtoms(mol), c.aromatic_atoms[model - 1]) << c.name << " under model " << model;
    EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedAromaticity | Tamrin::QvPerceivedRings));
    // Aromatic bonds only ever join aromatic atoms, and an aromatic atom has
    // at least two aromatic bonds (it lies in an aromatic ring).
    for (const QvBondBase& bond : mol.GetBonds())
      EXPECT_TRUE(!bond.IsAromatic() || (bond.GetBgn()->IsAromatic() && bond.GetEnd()->IsAromatic()));
    for (const QvAtomBase& atom : mol.GetAtoms()) {
      if (!atom.IsAromatic()) continue;
      unsigned aromatic_bonds = 0;
      for (const QvBondBase& bond : atom.GetBonds()) aromatic_bonds += bond.IsAromatic();
      EXPECT_GE(aromatic_bonds, 2u) << c.name << " model " << model;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rings, AromaticityModels,
    ::testing::Values(
        AromaticCase{"benzene", "c1ccccc1", {6, 6, 6, 6, 6}},
        AromaticCase{"benzene_kekule", "C1=CC=CC=C1", {6, 6, 6, 6, 6}},
        AromaticCase{"pyridine", "c1ccncc1", {6, 6, 6, 6, 6}}, AromaticCase{"pyrrole", "c1cc[nH]c1", {5, 5, 5, 5, 0}},
        AromaticCase{"furan", "c1ccoc1", {5, 5, 5, 5, 0}}, AromaticCase{"thiophene", "c1ccsc1", {5, 5, 5, 5, 0}},
        AromaticCase{"selenophene", "c1cc[se]c1", {5, 5, 5, 5, 0}},
        AromaticCase{"phosphole", "c1cc[pH]c1", {5, 5, 5, 5, 0}},
        AromaticCase{"imidazole", "c1c[nH]cn1", {5, 5, 5, 5, 0}},
        AromaticCase{"indole", "c1ccc2[nH]ccc2c1", {9, 9, 9, 9, 6}},
        AromaticCase{"naphthalene", "c1ccc2ccccc2c1", {10, 10, 10, 10, 10}},
        AromaticCase{"pyrene", "c1cc2ccc3cccc4ccc(c1)c2c34", {16, 16, 16, 16, 16}},
        AromaticCase{"azulene", "c1ccc2cccc2cc1", {10, 10, 0, 0, 10}},
        AromaticCase{"tropylium", "[cH+]1cccccc1", {7, 7, 0, 0, 0}},
        AromaticCase{"cyclopropenylium", "[cH+]1cc1", {3, 3, 0, 0, 0}},
        AromaticCase{"cyclopentadienide", "[cH-]1cccc1", {5, 5, 0, 0, 0}},
        AromaticCase{"pyridinium", "c1cc[nH+]cc1", {6, 6, 6, 0, 6}},
        AromaticCase{"pyridine_n_oxide", "[O-][n+]1ccccc1", {6, 6, 6, 0, 6}},
        AromaticCase{"pyrylium", "c1cc[o+]cc1", {6, 6, 6, 0, 6}},
        AromaticCase{"2_pyridone", "O=c1cccc[nH]1", {0, 6, 0, 0, 0}},
        AromaticCase{"4_pyridinethione", "S=c1cc[nH]cc1", {0, 6, 0, 0, 0}},
        AromaticCase{"p_benzoquinone", "O=C1C=CC(=O)C=C1", {0, 0, 0, 0, 0}},
        AromaticCase{"fulvene", "C=C1C=CC=C1", {0, 0, 0, 0, 0}},
        AromaticCase{"cyclooctatetraene", "C1=CC=CC=CC=C1", {0, 0, 0, 0, 0}},
        AromaticCase{"cyclobutadiene", "C1=CC=C1", {0, 0, 0, 0, 0}},
        AromaticCase{"cyclopentadiene", "C1=CC=CC1", {0, 0, 0, 0, 0}},
        AromaticCase{"borole", "B1C=CC=C1", {0, 0, 0, 0, 0}},
        AromaticCase{"borepin", "B1C=CC=CC=C1", {0, 0, 0, 0, 0}},
        AromaticCase{"biphenyl", "c1ccccc1-c1ccccc1", {12, 12, 12, 12, 12}},
        AromaticCase{"fluorene", "c1ccc2c(c1)Cc1ccccc1-2", {12, 12, 12, 12, 12}},
        AromaticCase{"cyclohexane", "C1CCCCC1", {0, 0, 0, 0, 0}},
        AromaticCase{"quinoline", "c1ccc2ncccc2c1", {10, 10, 10, 10, 10}},
        AromaticCase{"purine", "c1ncc2[nH]cnc2n1", {9, 9, 9, 9, 6}},
        AromaticCase{"caffeine", "Cn1cnc2c1c(=O)n(C)c(=O)n2C", {5, 9, 5, 5, 0}},
        AromaticCase{"benzyne_like_triple", "C1#CC=CC=C1", {0, 0, 0, 0, 0}},
        // S(IV) is above sulfur's lowest valence: its ring stays non-aromatic.
        AromaticCase{"cyclic_sulfinamide", "O=C1NS(=O)Nc2ccccc21", {6, 6, 6, 6, 6}},
        // The urea bridge shares two bonds with the thiazole: no union, even
        // though the eight atoms would count 10 electrons.
        AromaticCase{"bridged_thiazole", "Cc1nc2sc1NC(=O)N2", {5, 5, 5, 5, 0}}),
    CaseName());

}  // namespace
