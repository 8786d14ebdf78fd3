#include <gtest/gtest.h>

#include <random>

#include "perception_test_support.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/perception/valence.h"

namespace {

using namespace perception_test;
using Tamrin::kQvAromaticOrder;
using Tamrin::QvKekulize;

// Every atom that had aromatic bonds ends with a valence that is one of its
// standard valences (atoms the rule does not cover are not checked).
void ExpectValencesWorkOut(const QvMolBase& mol, const std::string& smiles) {
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    unsigned used = atom.GetImplicitHCount();
    for (const QvBondBase& bond : atom.GetBonds()) {
      EXPECT_NE(bond.GetOrder(), kQvAromaticOrder) << smiles;
      used += bond.GetOrder();
    }
    const auto valences = Tamrin::QvStandardValences(atom.GetAtomicNum(), atom.GetFormalCharge());
    if (valences.empty() || !atom.IsAromatic()) continue;
    EXPECT_NE(std::find(valences.begin(), valences.end(), used), valences.end())
        << smiles << " atom " << atom.GetIdx() << " valence " << used;
  }
}

unsigned CountDoubles(const QvMolBase& mol) {
  unsigned n = 0;
  for (const QvBondBase& bond : mol.GetBonds()) n += bond.GetOrder() == 2;
  return n;
}

struct KekuleCase {
  const char* name;
  const char* smiles;
  unsigned doubles;
};

class KekulizeSucceeds : public ::testing::TestWithParam<KekuleCase> {};

TEST_P(KekulizeSucceeds, ValencesWorkOutInEveryAtomOrder) {
  const KekuleCase& c = GetParam();
  QvGraphMol mol;
  ASSERT_TRUE(ParseInto(mol, c.smiles));
  // Atom and bond orders change which matches the greedy pass makes, so the
  // augmenting search is exercised from many starting points.
  std::mt19937 rng(7);
  for (int round = 0; round < 30; ++round) {
    std::vector<QvAtomBase*> map;
    QvGraphMol copy = round == 0 ? QvGraphMol(mol) : Permuted(mol, rng, map);
    ASSERT_TRUE(QvKekulize(copy)) << c.name << " round " << round;
    ExpectValencesWorkOut(copy, c.smiles);
    EXPECT_EQ(CountDoubles(copy), c.doubles) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Molecules, KekulizeSucceeds,
    ::testing::Values(KekuleCase{"benzene", "c1ccccc1", 3}, KekuleCase{"pyridine", "c1ccncc1", 3},
                      KekuleCase{"pyrrole", "c1cc[nH]c1", 2}, KekuleCase{"n_methylpyrrole", "Cn1cccc1", 2},
                      KekuleCase{"furan", "c1ccoc1", 2}, KekuleCase{"thiophene", "c1ccsc1", 2},
                      KekuleCase{"selenophene", "c1cc[se]c1", 2}, KekuleCase{"imidazole", "c1c[nH]cn1", 2},
                      KekuleCase{"indole", "c1ccc2[nH]ccc2c1", 4}, KekuleCase{"azulene", "c1ccc2cccc2cc1", 5},
                      KekuleCase{"pyrene", "c1cc2ccc3cccc4ccc(c1)c2c34", 8},
                      KekuleCase{"coronene", "c1cc2ccc3ccc4ccc5ccc6ccc1c1c2c3c4c5c61", 12},
                      KekuleCase{"tropylium", "[cH+]1cccccc1", 3},
                      KekuleCase{"cyclopentadienide", "[cH-]1cccc1", 2},
                      KekuleCase{"pyridinium", "c1cc[nH+]cc1", 3},
                      KekuleCase{"pyridine_n_oxide", "[O-][n+]1ccccc1", 3},
                      KekuleCase{"pyrylium", "c1cc[o+]cc1", 3}, KekuleCase{"2_pyridone", "O=c1cccc[nH]1", 3},
                      KekuleCase{"caffeine", "Cn1cnc2c1c(=O)n(C)c(=O)n2C", 4},
                      KekuleCase{"borole_aromatic_written", "c1cc[bH]c1", 2},
                      KekuleCase{"wildcard_not_needed", "c1ccc2c(c1)*cc2", 4},
                      KekuleCase{"tetrazolide", "c1nn[n-]n1", 2},
                      KekuleCase{"porphine", "c1cc2cc3ccc(cc4ccc(cc5ccc(cc1n2)[nH]5)n4)[nH]3", 11}),
    CaseName());

TEST(Kekulize, FailureReportedAndOrdersStillResolved) {
  // The last: "*" is not an aromatic atom, so its bonds are single and five
  // carbons are left to pair up.
  for (const char* smiles : {"c1cccc1", "c1ccnc1", "n1cccc1", "c1ccccc1c", "c1ccc2c(c1)cccc2c", "c1cc*cc1"}) {
    QvGraphMol mol;
    ASSERT_TRUE(ParseInto(mol, smiles));
    EXPECT_FALSE(QvKekulize(mol)) << smiles;
    for (const QvBondBase& bond : mol.GetBonds()) EXPECT_TRUE(bond.GetOrder() == 1 || bond.GetOrder() == 2) << smiles;
  }
}

TEST(Kekulize, LargeFusedSheetStaysFast) {
  // A strip of 2000 fused benzene rings (polyacene): the greedy pass and the
  // augmenting paths must cope without quadratic blow-up in practice.
  QvGraphMol mol;
  Polyacene(mol, 2000, kQvAromaticOrder);
  ASSERT_TRUE(QvKekulize(mol));
  ExpectValencesWorkOut(mol, "polyacene");
}

}  // namespace
