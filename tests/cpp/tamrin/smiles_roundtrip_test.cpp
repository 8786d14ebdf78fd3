// SMILES round trips on molecules that stress the canonical order: written
// and read back, the canonical string stays the same; shuffling the atom
// order does not change it. Real molecules are compared with RDKit in
// tests/python/test_smiles_rdkit.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/stereo.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
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

// The neighbours whose order a stored configuration is read along.
std::vector<const QvAtomBase*> StereoNeighbours(const QvAtomBase& atom) {
  std::vector<const QvAtomBase*> nbrs;
  for (const QvAtomBase& nbr : atom.GetAtoms()) nbrs.push_back(&nbr);
  if (nbrs.size() == 3) nbrs.push_back(nullptr);
  return nbrs;
}

const QvAtomBase* FirstOtherNeighbour(const QvAtomBase& atom, const QvAtomBase* other) {
  for (const QvAtomBase& nbr : atom.GetAtoms())
    if (&nbr != other) return &nbr;
  return nullptr;
}

// A copy of `mol` with its atoms and bonds created in a random order,
// stereo carried over through the public configuration calls.
QvGraphMol Shuffled(const QvMolBase& mol, std::mt19937& rng) {
  std::vector<const QvAtomBase*> atoms;
  for (const QvAtomBase& atom : mol.GetAtoms()) atoms.push_back(&atom);
  std::vector<unsigned> perm(atoms.size());
  std::iota(perm.begin(), perm.end(), 0u);
  std::shuffle(perm.begin(), perm.end(), rng);
  QvGraphMol copy;
  std::vector<QvAtomBase*> map(mol.GetMaxAtomIdx(), nullptr);
  for (unsigned p : perm) {
    const QvAtomBase& source = *atoms[p];
    QvAtomBase* atom = copy.NewAtom(source.GetAtomicNum());
    atom->SetIsotope(source.GetIsotope());
    atom->SetFormalCharge(source.GetFormalCharge());
    atom->SetImplicitHCount(source.GetImplicitHCount());
    atom->SetAromatic(source.IsAromatic());
    atom->SetMapIdx(source.GetMapIdx());
    map[source.GetIdx()] = atom;
  }
  std::vector<const QvBondBase*> bonds;
  for (const QvBondBase& bond : mol.GetBonds()) bonds.push_back(&bond);
  std::shuffle(bonds.begin(), bonds.end(), rng);
  const auto mapped = [&](const QvAtomBase* a) -> const QvAtomBase* { return a ? map[a->GetIdx()] : nullptr; };
  for (const QvBondBase* bond : bonds) {
    QvBondBase* b = copy.NewBond(map[bond->GetBgn()->GetIdx()], map[bond->GetEnd()->GetIdx()], bond->GetOrder());
    b->SetAromatic(bond->IsAromatic());
  }
  for (const QvAtomBase* atom : atoms) {
    if (!Tamrin::QvHasAtomStereo(*atom)) continue;
    const auto nbrs = StereoNeighbours(*atom);
    std::vector<const QvAtomBase*> new_nbrs;
    for (const QvAtomBase* nbr : nbrs) new_nbrs.push_back(mapped(nbr));
    Tamrin::QvSetAtomStereo(*map[atom->GetIdx()], new_nbrs, Tamrin::QvGetAtomStereo(*atom, nbrs));
  }
  for (const QvBondBase* bond : bonds) {
    if (!Tamrin::QvHasBondStereo(*bond)) continue;
    const QvAtomBase* ref_bgn = FirstOtherNeighbour(*bond->GetBgn(), bond->GetEnd());
    const QvAtomBase* ref_end = FirstOtherNeighbour(*bond->GetEnd(), bond->GetBgn());
    QvBondBase* b = copy.GetBond(map[bond->GetBgn()->GetIdx()], map[bond->GetEnd()->GetIdx()]);
    Tamrin::QvSetBondStereo(*b, mapped(ref_bgn), mapped(ref_end), Tamrin::QvGetBondStereo(*bond, ref_bgn, ref_end));
  }
  return copy;
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
  for (unsigned i = 0; i < shuffles; ++i) misses += Write(Shuffled(mol, rng), flags) != canonical;
  return misses;
}

constexpr unsigned kCanonicalNoStereo = kCanonical & ~(Flag::AtomStereo | Flag::BondStereo);

// Molecules of many kinds, then centres that only stereo tells apart: cis-
// and trans-1,4-disubstituted rings, small-ring polyols, inositols and a
// 1,3,5-trisubstituted ring (all ring atoms alike in the graph), a double
// bond between two equal arms, and adamantane with marks on its bridgeheads.
// The ranking has to break ties between atoms that differ only in hand, for
// the adamantane two levels deep.
TEST(SmilesRoundTrip, CanonicalInEveryAtomOrder) {
  std::mt19937 rng(3);
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
        "O[C@@H]1[C@@H](O)[C@@H](O)[C@@H]1O", "C1[C@H]2C[C@@H]3C[C@H]1C[C@@H](C2)C3"}) {
    QvGraphMol mol;
    ASSERT_TRUE(Tamrin::QvParseSmiles(mol, text, false, false)) << text;
    SCOPED_TRACE(text);
    ExpectRoundTrips(mol);
    EXPECT_EQ(ShuffleMisses(mol, kCanonical, rng, 40), 0u);
    EXPECT_EQ(ShuffleMisses(mol, kCanonicalNoStereo, rng, 20), 0u);
  }
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
