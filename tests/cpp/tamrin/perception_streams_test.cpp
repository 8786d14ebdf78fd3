// The passes as the molecule streams run them after reading: ring
// perception, the aromaticity model chosen by the flavor, implicit hydrogens.
#include <gtest/gtest.h>

#include "perception_test_support.h"
#include "tamrin/streams/flavor.h"
#include "tamrin/streams/molio.h"
#include "tamrin/streams/molstream.h"

namespace {

using namespace perception_test;
using Tamrin::QvFormat;

struct FlavorCase {
  const char* name;
  const char* smiles;
  unsigned generic_bits;  // ring bit and aromaticity model bits
  unsigned aromatic_atoms;
  bool rings_flagged;
};

class ReadingSteps : public ::testing::TestWithParam<FlavorCase> {};

TEST_P(ReadingSteps, FlavorSelectsTheModel) {
  const FlavorCase& c = GetParam();
  Tamrin::qvmolistream in;
  ASSERT_TRUE(in.SetFormat(QvFormat::SMI));
  ASSERT_TRUE(in.SetFlavor(QvFormat::SMI, c.generic_bits));
  ASSERT_TRUE(in.openstring(std::string(c.smiles) + "\n"));
  QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
  EXPECT_EQ(CountAromaticAtoms(mol), c.aromatic_atoms) << c.name;
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedAromaticity));
  EXPECT_TRUE(mol.HasPerceived(Tamrin::QvPerceivedRings));
  unsigned ring_atoms = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) ring_atoms += atom.IsInRing();
  EXPECT_EQ(ring_atoms != 0, c.rings_flagged) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Smiles, ReadingSteps,
    ::testing::Values(FlavorCase{"default_model_2", "O=c1cccc[nH]1", 0x4000, 6, true},
                      FlavorCase{"strict_model_1", "O=c1cccc[nH]1", 0x4000 | 0x80000, 0, true},
                      FlavorCase{"mdl_model_5", "c1cc[nH]c1", 0x4000 | 0x8000, 0, true},
                      FlavorCase{"tripos_model_3", "c1ccc2cccc2cc1", 0x4000 | 0x20000, 0, true},
                      FlavorCase{"force_field_model_4", "c1cc[nH+]cc1", 0x4000 | 0x10000, 0, true},
                      FlavorCase{"huckel_model_2_bit", "c1ccc2cccc2cc1", 0x4000 | 0x40000, 10, true}),
    CaseName());

// Step D of the XYZ reader (flavor bit 0x2): hydrogens from standard
// valences. Without bonds from coordinates every carbon is a bare CH4.
TEST(ReadingStepsXyz, ImplicitHydrogensOnlyWhenTheFlavorAsks) {
  for (const unsigned flavor : {0x4000u, 0x4002u}) {
    Tamrin::qvmolistream in;
    ASSERT_TRUE(in.SetFormat(QvFormat::XYZ));
    ASSERT_TRUE(in.SetFlavor(QvFormat::XYZ, flavor));
    ASSERT_TRUE(in.openstring(std::string("2\nmethane and water\nC 0 0 0\nO 5 0 0\n")));
    QvGraphMol mol;
    ASSERT_TRUE(Tamrin::QvReadMolecule(in, mol));
    ASSERT_EQ(mol.NumAtoms(), 2u);
    const bool asked = flavor & 0x2;
    EXPECT_EQ(AtomAt(mol, 0)->GetImplicitHCount(), asked ? 4u : 0u);
    EXPECT_EQ(AtomAt(mol, 1)->GetImplicitHCount(), asked ? 2u : 0u);
  }
}

}  // namespace
