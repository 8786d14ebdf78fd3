// Tripos atom and bond typing, over the functional groups that docking
// programs tell apart, with aromaticity by the Tripos model as the writer
// perceives it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mol2_test_support.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/perception/tripos.h"

namespace {

struct TypingCase {
  const char* smiles;
  std::vector<std::string> types;  // heavy atoms in SMILES order
};

class TriposTyping : public testing::TestWithParam<TypingCase> {};

TEST_P(TriposTyping, HeavyAtomTypes) {
  Tamrin::QvGraphMol mol = mol2test::FromSmiles(GetParam().smiles);
  Tamrin::QvPerceiveAromaticity(mol, 3);
  Tamrin::QvAssignTriposAtomTypes(mol);
  std::vector<std::string> types;
  for (const Tamrin::QvAtomBase& atom : mol->GetAtoms())
    if (atom.GetAtomicNum() != 1) types.emplace_back(atom.GetTypeName());
  EXPECT_EQ(types, GetParam().types);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, TriposTyping,
    testing::Values(TypingCase{"CC(=O)[O-]", {"C.3", "C.2", "O.co2", "O.co2"}},
                    TypingCase{"CC(=O)O", {"C.3", "C.2", "O.co2", "O.co2"}},
                    TypingCase{"CC(=O)OC", {"C.3", "C.2", "O.2", "O.3", "C.3"}},
                    TypingCase{"NC(=N)N", {"N.pl3", "C.cat", "N.pl3", "N.pl3"}},
                    TypingCase{"CC(=N)N", {"C.3", "C.2", "N.2", "N.pl3"}},
                    TypingCase{"CC(=O)NC", {"C.3", "C.2", "O.2", "N.am", "C.3"}},
                    TypingCase{"CS(=O)(=O)N", {"C.3", "S.o2", "O.2", "O.2", "N.am"}},
                    TypingCase{"CS(=O)C", {"C.3", "S.o", "O.2", "C.3"}},
                    TypingCase{"CSC", {"C.3", "S.3", "C.3"}},
                    TypingCase{"C=S", {"C.2", "S.2"}},
                    TypingCase{"C[N+](C)(C)C", {"C.3", "N.4", "C.3", "C.3", "C.3"}},
                    TypingCase{"CN", {"C.3", "N.3"}},
                    TypingCase{"Nc1ccccc1", {"N.pl3", "C.ar", "C.ar", "C.ar", "C.ar", "C.ar", "C.ar"}},
                    TypingCase{"c1ccncc1", {"C.ar", "C.ar", "C.ar", "N.ar", "C.ar", "C.ar"}},
                    TypingCase{"C[N+](=O)[O-]", {"C.3", "N.pl3", "O.2", "O.2"}},
                    TypingCase{"NC(N)=[NH2+]", {"N.pl3", "C.cat", "N.pl3", "N.pl3"}},
                    TypingCase{"CC#N", {"C.3", "C.1", "N.1"}},
                    TypingCase{"CN=C", {"C.3", "N.2", "C.2"}},
                    TypingCase{"C=C=C", {"C.2", "C.1", "C.2"}},
                    TypingCase{"COP(=O)([O-])[O-]", {"C.3", "O.3", "P.3", "O.co2", "O.co2", "O.co2"}},
                    TypingCase{"FC(Cl)(Br)I", {"F", "C.3", "Cl", "Br", "I"}},
                    TypingCase{"c1ccoc1", {"C.ar", "C.ar", "C.ar", "O.3", "C.ar"}},
                    TypingCase{"c1ccsc1", {"C.ar", "C.ar", "C.ar", "S.3", "C.ar"}},
                    TypingCase{"[Na+].[Zn+2].[Fe].[Ca+2].[Mg+2].[K+].[Li+]",
                               {"Na", "Zn", "Fe", "Ca", "Mg", "K", "Li"}},
                    TypingCase{"B(O)O", {"B", "O.3", "O.3"}},
                    TypingCase{"*C", {"Du", "C.3"}}));

TEST(TriposTyping, BondTypesAndNames) {
  Tamrin::QvGraphMol mol = mol2test::FromSmiles("CC(=O)Nc1ccccc1C#N.*");
  Tamrin::QvPerceiveAromaticity(mol, 3);
  Tamrin::QvAssignTriposAtomTypes(mol);
  Tamrin::QvAssignTriposBondTypes(mol);
  Tamrin::QvNameAtomsTripos(mol);
  std::vector<std::string> bonds, names;
  for (const Tamrin::QvBondBase& bond : mol->GetBonds()) bonds.emplace_back(bond.GetTypeName());
  for (const Tamrin::QvAtomBase& atom : mol->GetAtoms()) names.emplace_back(atom.GetName());
  EXPECT_EQ(bonds, (std::vector<std::string>{"1", "2", "am", "1", "ar", "ar", "ar", "ar", "ar", "ar", "1", "3"}));
  EXPECT_EQ(names, (std::vector<std::string>{"C1", "C2", "O1", "N1", "C3", "C4", "C5", "C6", "C7", "C8", "C9",
                                             "N2", "Du1"}));
}

}  // namespace
