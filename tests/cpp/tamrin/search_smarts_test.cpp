// SMARTS parsing, writing and matching on small molecules whose answers can
// be counted by hand. Agreement with a peer over real alert sets and real
// molecules is tested from Python (tests/python/test_search_rdkit.py).
#include <gtest/gtest.h>

#include <string>

#include "tamrin/formats/smiles/smiles.h"
#include "tamrin/model/model.h"
#include "tamrin/perception/aromaticity.h"
#include "tamrin/search/smarts.h"
#include "tamrin/search/substructure.h"

namespace {

using Tamrin::QvGraphMol;
using Tamrin::QvQuery;

QvGraphMol Perceived(const std::string& smiles) {
  QvGraphMol mol;
  EXPECT_TRUE(Tamrin::QvParseSmiles(mol, smiles, false, false)) << smiles;
  Tamrin::QvPerceiveAromaticity(mol, 2);
  return mol;
}

QvQuery Compile(const std::string& smarts) {
  QvQuery query;
  std::string error;
  EXPECT_TRUE(query.FromSmarts(smarts, &error)) << smarts << "\n" << error;
  return query;
}

struct CountCase {
  const char* smarts;
  const char* smiles;
  size_t unique;  // matches counted by hand, one per set of atoms
};

// One or more cases per primitive and operator, each with a molecule where
// the wrong reading would give another count.
const CountCase kCounts[] = {
    {"C", "CCO", 2},
    {"c", "c1ccccc1C", 6},
    {"[#6]", "c1ccccc1C", 7},
    {"a", "c1ccncc1CO", 6},
    {"A", "c1ccncc1CO", 2},
    {"[Cl]", "ClCCl", 2},
    {"Cl", "ClC(Cl)Cl", 3},
    {"[Br,I]", "BrCCI", 2},
    {"[CH3]", "CC(C)CO", 2},
    {"[CH2]", "CC(C)CO", 1},
    {"[C;H1]", "CC(C)CO", 1},
    {"[OH]", "CC(=O)O", 1},
    {"[h]", "CC(=O)O", 2},
    {"[O;h0]", "CC(=O)O", 1},
    {"[D3]", "CC(C)(C)O", 0},
    {"[D4]", "CC(C)(C)O", 1},
    {"[D1]", "CC(C)(C)O", 4},
    {"[X4]", "CC(=O)O", 1},
    {"[X3]", "CC(=O)O", 1},
    {"[v4]", "CC(=O)O", 2},
    {"[v2]", "CC(=O)O", 2},
    {"[N+]", "C[N+](C)(C)C.[Cl-]", 1},
    {"[Cl-]", "C[N+](C)(C)C.[Cl-]", 1},
    {"[-]", "C(=O)[O-].[Na+]", 1},
    {"[+1]", "C(=O)[O-].[Na+]", 1},
    {"[#8;+0]", "C(=O)[O-]", 1},
    {"[13C]", "[13CH3]CC", 1},
    {"[12C]", "[13CH3]CC", 0},
    {"[2H]", "[2H]C([2H])C", 2},
    {"[#1]", "[2H]C([2H])C", 2},
    {"[H]", "[H]C", 1},
    {"[R]", "C1CC1CC", 3},
    {"[R0]", "C1CC1CC", 2},
    {"[R2]", "C1CC2CCC1C2", 3},
    {"[r3]", "C1CC1C1CCCC1", 3},
    {"[r5]", "C1CC1C1CCCC1", 5},
    {"[r]", "C1CC1CC", 3},
    {"[x3]", "C1CC2CCC1C2", 2},
    {"[x2]", "C1CC2CCC1C2", 5},
    {"[x]", "C1CC1CC", 3},
    {"[!C]", "CCO", 1},
    {"[!#6;!#8]", "CCON", 1},
    {"[C,N;H2]", "NCC(C)O", 2},
    {"[C&H2,N]", "NCC(C)O", 2},
    {"[c,n;R1]", "c1ccncc1", 6},
    {"CC", "CCC", 2},
    {"C-C", "C=CC", 1},
    {"C=C", "C=CC", 1},
    {"C#N", "CC#N", 1},
    {"c:c", "c1ccccc1", 6},
    {"cc", "c1ccccc1", 6},
    {"c-c", "c1ccccc1", 0},
    {"c-c", "c1ccccc1-c1ccccc1", 1},
    {"C~O", "CC(=O)O", 2},
    {"C@C", "C1CC1CC", 3},
    {"C!@C", "C1CC1CC", 2},
    {"[#6]=,#[#6]", "C=CC#C", 2},
    {"C/C=C/C", "C/C=C/C", 1},
    {"c1ccccc1", "c1ccccc1", 1},
    {"c1ccccc1", "c1ccc2ccccc2c1", 2},
    {"C1CC1", "C1CC1C1CC1", 2},
    {"S2(C1)CC21", "C1S2CC12", 1},  // two rings opened at one atom, closed in the other order
    {"[$(C=O)]", "CC(=O)O", 1},
    {"[C;$(C(=O)O)]O", "CC(=O)OC", 1},
    {"[$([OH]C=O)]", "OC(=O)CO", 1},
    {"[!$(C=O);C]", "CC(=O)O", 1},
    {"[$(*~[$(N~O)])]", "CN(=O)=O", 3},
    {"C.C", "CC", 1},
    {"O.O", "CCO", 0},
    {"C.C.O", "CCOC", 3},
    {"*.*.*.*.*.*.*.*.*.*", "CCCCCCCCCCCC", 66},  // every set once, not every order
    {"(C.C).C", "CCC.C", 4},
    {"[C:1][O:2]", "CCO", 1},
    {"*", "CC", 2},
    {"[N;!H0]", "CN(C)C.CNC", 1},
};

class Counts : public ::testing::TestWithParam<CountCase> {};

TEST_P(Counts, UniqueMatchesAndWrittenFormAgree) {
  const CountCase& c = GetParam();
  const QvGraphMol mol = Perceived(c.smiles);
  const QvQuery query = Compile(c.smarts);
  EXPECT_EQ(Tamrin::QvFindMatches(query, mol).size(), c.unique) << c.smarts << " on " << c.smiles;
  EXPECT_EQ(Tamrin::QvMatches(query, mol), c.unique > 0);
  // The written text is a fixed point and means the same.
  const std::string written = query.Smarts();
  const QvQuery again = Compile(written);
  EXPECT_EQ(again.Smarts(), written) << c.smarts;
  EXPECT_EQ(Tamrin::QvFindMatches(again, mol).size(), c.unique) << written;
}

INSTANTIATE_TEST_SUITE_P(Smarts, Counts, ::testing::ValuesIn(kCounts));

// Ring flags left unperceived: the matcher falls back on its own rings.
TEST(Smarts, RingTestsWithoutPerceivedRings) {
  QvGraphMol mol;
  ASSERT_TRUE(Tamrin::QvParseSmiles(mol, "C1CC1CC", false, false));
  mol.SetPerceived(Tamrin::QvPerceivedRings, false);
  EXPECT_EQ(Tamrin::QvFindMatches(Compile("[R]"), mol).size(), 3u);
  EXPECT_EQ(Tamrin::QvFindMatches(Compile("C@C"), mol).size(), 3u);
}

TEST(Smarts, AllMatchesAndLimit) {
  const QvGraphMol benzene = Perceived("c1ccccc1");
  const QvQuery ring = Compile("c1ccccc1");
  EXPECT_EQ(Tamrin::QvFindMatches(ring, benzene, 0, true).size(), 1u);
  const auto all = Tamrin::QvFindMatches(ring, benzene, 0, false);
  EXPECT_EQ(all.size(), 12u);  // six starting atoms, two directions
  const Tamrin::QvMolBase& m = benzene;
  for (const auto& match : all) {
    ASSERT_EQ(match.size(), 6u);
    for (size_t i = 0; i < 6; ++i)
      EXPECT_NE(m.GetBond(m.GetAtom(Tamrin::QvHasAtomIdx{match[i]}), m.GetAtom(Tamrin::QvHasAtomIdx{match[(i + 1) % 6]})),
                nullptr);
  }
  EXPECT_EQ(Tamrin::QvFindMatches(ring, benzene, 5, false).size(), 5u);
  EXPECT_EQ(Tamrin::QvFindMatches(Compile("C.C"), Perceived("CCC"), 0, false).size(), 6u);
  // Matches are in query atom order: the O of C=O first here.
  const auto carbonyl = Tamrin::QvFindMatches(Compile("O=C"), Perceived("CC(=O)C"));
  ASSERT_EQ(carbonyl.size(), 1u);
  EXPECT_EQ(carbonyl[0], (std::vector<unsigned>{2, 1}));
}

struct StereoCase {
  const char* smarts;
  const char* smiles;
  size_t plain, stereo;  // unique matches without and with stereo
};

// Readings of the marks that a wrong neighbour order or side would flip.
// Broad agreement with RDKit is tested from Python.
TEST(Smarts, StereoMarks) {
  const StereoCase cases[] = {
      {"F[C@](Cl)(Br)I", "F[C@@](Cl)(Br)I", 1, 0},
      {"[C@H](F)(Cl)Br", "F[C@@H](Cl)Br", 1, 1},    // the named H comes first
      {"[C@](F)(Cl)Br", "F[C@H](Cl)Br", 1, 1},      // the unnamed fourth comes second
      {"C1CC[C@@]1(F)Cl", "FC1(Cl)CCC1", 1, 0},     // no configuration: no match
      {"[C@@H](F)C", "F[C@H](Cl)C", 1, 1},         // two neighbours: any configuration
      {"F/C=C1.C\\1", "F/C=C/C", 1, 1},    // the closing digit reads from its atom
      {"F/C=C\\1.C/1", "F/C=C/C", 1, 0},  // of two, the opening digit's bond counts
      {"C(\\F)=C/F", "F/C=C/F", 1, 1},
      {"[C@@H]1CCCC[C@@H]1C", "C[C@H]1CCCC[C@@H]1C", 2, 2},  // ring digits at the centres
      {"[C@@H]1CCCC[C@H]1C", "C[C@H]1CCCC[C@@H]1C", 2, 0},
  };
  for (const StereoCase& c : cases) {
    const QvGraphMol mol = Perceived(c.smiles);
    const QvQuery query = Compile(c.smarts);
    EXPECT_EQ(Tamrin::QvFindMatches(query, mol).size(), c.plain) << c.smarts << " on " << c.smiles;
    EXPECT_EQ(Tamrin::QvFindMatches(query, mol, 0, true, {true}).size(), c.stereo) << c.smarts << " on " << c.smiles;
    EXPECT_EQ(Tamrin::QvMatches(query, mol, {true}), c.stereo > 0) << c.smarts;
  }
}

TEST(Smarts, ComponentGroups) {
  const QvGraphMol mol = Perceived("CCO.CN.O");
  const std::pair<const char*, size_t> cases[] = {
      {"(C).(C)", 2}, {"(C.C)", 1}, {"(O).(O)", 1}, {"(O.O)", 0}, {"(C.O).(N)", 2}, {"(O).(N).(C)", 2}, {"O.(N.C)", 2},
  };
  for (const auto& [smarts, unique] : cases)
    EXPECT_EQ(Tamrin::QvFindMatches(Compile(smarts), mol).size(), unique) << smarts;
}

struct WriteCase {
  const char* smarts;
  const char* written;
};

TEST(Smarts, WrittenForms) {
  const WriteCase cases[] = {
      {"CC(=O)O", "CC(=O)O"},
      {"c1ccccc1Cl", "c1ccccc1Cl"},
      {"[CH3][NX3;H2,H1;!$(NC=O)]", "[C&H3][N&X3;H2,H1;!$(NC=O)]"},
      {"[13C@@H:4]", "[13&C&@@&H1:4]"},
      {"[N+,n-2]", "[N&+1,n&-2]"},
      {"C%12CCC%12C%(3)CC%(3).[Se]", "C1CCC1C1CC1.[Se]"},
      {"[R][r6][x2][h][h2]", "[R][r6][x2][h][h2]"},
      {"C!@;-,=C", "C!@;-,=C"},
      {"[2H]", "[2&#1]"},
      {"(C.N).O.(Cl)", "(C.N).O.(Cl)"},
      // The writer reorders neighbours; the hand or direction follows.
      {"C(C1)[C@H]1F", "C1C[C&@@&H1]1F"},
      {"C(/F)=C/1.Cl\\1", "C(/F)=C/Cl"},
  };
  for (const WriteCase& c : cases) EXPECT_EQ(Compile(c.smarts).Smarts(), c.written) << c.smarts;
}

struct ErrorCase {
  const char* smarts;
  size_t position;
  const char* message;
};

TEST(Smarts, ErrorsNameThePosition) {
  const ErrorCase cases[] = {
      {"", 0, "no atoms"},
      {"CC)", 2, "unbalanced ')'"},
      {"C(C", 3, "unclosed branch"},
      {"C1CC", 1, "unclosed ring bond"},
      {"[C", 0, "unclosed '['"},
      {"[C;]", 3, "unexpected character ']'"},
      {"[Cq]", 2, "unexpected character 'q'"},
      {"C-&C", 3, "bond primitive expected"},
      {"C=", 2, "bond without an atom"},
      {"=C", 0, "bond before any atom"},
      {"(C)C", 3, "'.' expected after a component-level group"},
      {"((C))", 1, "component-level groups do not nest"},
      {"(C.C", 4, "unclosed component-level group"},
      {"C.(C.)", 5, "empty component-level group"},
      {"[$((C))]", 3, "component-level grouping inside $()"},
      {"(C1).(C1)", 7, "ring bond out of a component-level group"},
      {"CC>>CC", 2, "reaction queries are not supported"},
      {"[$(C]", 4, "unexpected character ']'"},
      {"[$C]", 1, "'(' expected after '$'"},
      {"C%1C", 2, "two digits expected"},
      {"C11", 2, "ring closure to the same atom"},
      {"C.", 2, "'.' at the end"},
      {"[#]", 2, "atomic number expected"},
      {"[C:]", 3, "atom map number expected"},
      {"J", 0, "unexpected character 'J'"},
      {"[99999999999C]", 7, "number too large"},
  };
  for (const ErrorCase& c : cases) {
    Tamrin::QvQMolBase q;
    std::string error;
    EXPECT_FALSE(Tamrin::QvParseSmarts(q, c.smarts, &error)) << c.smarts;
    EXPECT_EQ(q.NumAtoms(), 0u);
    EXPECT_NE(error.find(c.message), std::string::npos) << c.smarts << ": " << error;
    EXPECT_NE(error.find("position " + std::to_string(c.position) + ":"), std::string::npos) << c.smarts << ": " << error;
  }
}

TEST(Smarts, LimitsRefuseRatherThanRecurse) {
  Tamrin::QvQMolBase q;
  std::string error;
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "[$(C";
  EXPECT_FALSE(Tamrin::QvParseSmarts(q, deep, &error));
  EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
  EXPECT_FALSE(Tamrin::QvParseSmarts(q, "[" + std::string(600, 'C') + "]", &error));
  EXPECT_NE(error.find("expression too long"), std::string::npos) << error;
}

}  // namespace
