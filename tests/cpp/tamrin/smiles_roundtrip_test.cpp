// SMILES round trips on molecules that stress the canonical order: written
// and read back, the canonical string stays the same; shuffling the atom
// order does not change it. Real molecules are compared with RDKit in
// tests/python/test_smiles_rdkit.py.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "perception_test_support.h"
#include "smiles_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvGraphMol;
using Tamrin::QvMolBase;
namespace Flag = Tamrin::QvSmiFlag;

constexpr unsigned kCanonical = Tamrin::QvSmiDefault;
constexpr unsigned kInOrder = Tamrin::QvSmiDefault & ~Flag::Canonical;

std::string Write(const QvMolBase& mol, unsigned flags) {
  std::string out;
  EXPECT_TRUE(Tamrin::QvCreateSmiString(out, mol, flags));
  return out;
}

// Aromatic flags by the reading default, so that a Kekulé string read back
// compares with the aromatic original.
void PerceiveAromaticity(QvMolBase& mol) { Tamrin::QvPerceiveAromaticity(mol, 2); }

// Written with each flag set and read back, the canonical string stays.
void ExpectRoundTrips(QvMolBase& mol) {
  PerceiveAromaticity(mol);
  const std::string canonical = Write(mol, kCanonical);
  for (unsigned flags : {kInOrder, kCanonical, kCanonical | Flag::Kekule, kInOrder | Flag::ExplicitBonds}) {
    const std::string text = Write(mol, flags);
    QvGraphMol back;
    ASSERT_TRUE(Tamrin::QvParseSmiles(back, text, false, true)) << text;
    PerceiveAromaticity(back);
    EXPECT_EQ(Write(back, kCanonical), canonical) << "written with 0x" << std::hex << flags << ": " << text;
  }
}

// How many of `shuffles` shuffled copies give another canonical string.
unsigned ShuffleMisses(const QvMolBase& mol, unsigned flags, std::mt19937& rng, unsigned shuffles) {
  const std::string canonical = Write(mol, flags);
  unsigned misses = 0;
  std::vector<QvAtomBase*> map;
  for (unsigned i = 0; i < shuffles; ++i) misses += Write(perception_test::Permuted(mol, rng, map), flags) != canonical;
  return misses;
}

constexpr unsigned kCanonicalNoStereo = kCanonical & ~(Flag::AtomStereo | Flag::BondStereo);

// Molecules of many kinds, then centres that only stereo tells apart: cis-
// and trans-1,4-disubstituted rings, small-ring polyols, inositols and a
// 1,3,5-trisubstituted ring (all ring atoms alike in the graph), a double
// bond between two equal arms, and adamantane with marks on its bridgeheads.
// The ranking has to break ties between atoms that differ only in hand, for
// the adamantane two levels deep. Mirror images, and the like and meso-like
// pairs of equal halves, keep apart: each molecule has one string of its own.
TEST(SmilesRoundTrip, CanonicalInEveryAtomOrder) {
  std::mt19937 rng(3);
  std::set<std::string> distinct;
  unsigned count = 0;
  for (const char* text :
       {"CC(=O)Oc1ccccc1C(=O)O", "C[C@H](N)C(=O)O", "C[C@@H](N)C(=O)O", "F/C=C/C=C\\Cl", "c1ccc2ccccc2c1",
        "c1ccc2[nH]ccc2c1", "O=c1cc[nH]cc1", "C1CC2CCC1CC2", "[NH4+].[Cl-]", "[13CH3]C(=O)[O-]", "N#Cc1cccnc1",
        "C1=CC=CC=C1", "CC(C)(C)[Si](C)(C)OC", "[Na+].[O-]c1ccccc1", "C/C=C/1.C1", "c1cc2ccc3cccc4ccc(c1)c2c34",
        "CS(=O)(=O)N", "C[S@](=O)c1ccccc1", "B1OC(C)(C)C(C)(C)O1", "[2H]C([2H])([2H])Cl", "c1ccc(-c2ccccc2)cc1",
        "Cn1cnc2c1c(=O)n(C)c(=O)n2C", "F[C@H](Cl)C[C@@H](F)Cl", "C/C=C/C=C/C(/C=C/C)=C/C",
        "O=C(O)/C=C\\C(=O)/C=C\\C(=O)O", "CNN=C(/C=N\\O)/C=N/O", "C[S@](=O)C[C@H](N)C(=O)O",
        // symmetric stereo
        "O[C@@H]1CC[C@H](O)CC1", "O[C@H]1CC[C@H](O)CC1", "C/C=C/C(/C=C/C)=C/C",
        "O[C@H]1[C@H](O)[C@H](O)[C@@H](O)[C@H](O)[C@H]1O", "O[C@H]1[C@H](O)[C@@H](O)[C@H](O)[C@H](O)[C@H]1O",
        "O[C@H]1[C@@H](O)[C@H](O)[C@@H](O)[C@H](O)[C@@H]1O", "O[C@H]1[C@H](O)[C@H](O)[C@H](O)[C@H](O)[C@H]1O",
        "C[C@H]1C[C@@H](C)C[C@H](C)C1", "C[C@H]1C[C@H](C)C[C@H](C)C1", "O[C@H]1[C@@H](O)[C@@H]1O",
        "O[C@@H]1[C@@H](O)[C@@H](O)[C@@H]1O", "C1[C@H]2C[C@@H]3C[C@H]1C[C@@H](C2)C3",
        "F[C@H](Cl)Br", "F[C@@H](Cl)Br", "F[C@H](Cl)[C@H](Cl)F", "F[C@H](Cl)[C@@H](Cl)F", "F/C=C/C(/C=C/F)=C(C)C",
        "F/C=C\\C(/C=C/F)=C(C)C"}) {
    QvGraphMol mol;
    ASSERT_TRUE(Tamrin::QvParseSmiles(mol, text, false, false)) << text;
    SCOPED_TRACE(text);
    ExpectRoundTrips(mol);
    distinct.insert(Write(mol, kCanonical));
    ++count;
    EXPECT_EQ(ShuffleMisses(mol, kCanonical, rng, 40), 0u);
    EXPECT_EQ(ShuffleMisses(mol, kCanonicalNoStereo, rng, 20), 0u);
  }
  // Two inputs are spelled twice from other atoms: the second and third
  // inositols, and the two 1,3,5-trimethylcyclohexanes.
  EXPECT_EQ(distinct.size(), count - 2);
}

// Copies of a unit whose marks need the stereo tie-break search multiply
// its trials; the search is bounded, so this stays fast (unbounded, sixteen
// marked adamantanes took ten seconds in an optimised build) and the
// string still reads back as the same molecule.
TEST(SmilesRoundTrip, StereoSearchStaysBoundedOnRepeatedUnits) {
  std::string text = "C1[C@H]2C[C@@H]3C[C@H]1C[C@@H](C2)C3";
  for (unsigned i = 0; i < 4; ++i) text += "." + text;
  QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvParseSmiles(mol, text, false, false));
  const auto start = std::chrono::steady_clock::now();
  const std::string written = Write(mol, kCanonical);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  QvGraphMol back;
  ASSERT_TRUE(Tamrin::QvParseSmiles(back, written, false, false));
  EXPECT_EQ(back.NumAtoms(), mol.NumAtoms());
  EXPECT_EQ(Write(back, kCanonicalNoStereo), Write(mol, kCanonicalNoStereo));
}

}  // namespace
