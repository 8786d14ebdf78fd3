// Bond orders and charges from connectivity and geometry, through XYZ
// reading with the default flavor (connectivity, rings, bond orders,
// implicit hydrogens, atom completion, aromaticity). Geometries are
// force-field minimised; the expectations are what a chemist draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "support/captured_messages.h"
#include "tamrin/chem/elements.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/perception/bondorders.h"
#include "tamrin/streams/molio.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvAtomBase;
using Tamrin::QvBondBase;
using Tamrin::QvGraphMol;
using Tamrin::QvHasOrder;

struct Case {
  const char* name;
  const char* atoms;     // XYZ atom lines, '|' between lines
  const char* expected;  // heavy atoms: symbol, valence, charge sign
  unsigned doubles, triples;
  // With every hydrogen line removed, if tested so: "" the same as `expected`.
  const char* heavy = nullptr;
};

std::string XyzText(const char* atoms) {
  std::string lines(atoms);
  std::replace(lines.begin(), lines.end(), '|', '\n');
  const auto n = std::count(lines.begin(), lines.end(), '\n') + 1;
  return std::to_string(n) + "\ntest\n" + lines + "\n";
}

bool ReadXyz(const std::string& text, QvGraphMol& mol) {
  Tamrin::qvmolistream in;
  xyztest::OpenXYZ(in, text);
  return Tamrin::QvReadMolecule(in, mol);
}

std::string SortedJoin(std::vector<std::string> parts) {
  std::sort(parts.begin(), parts.end());
  std::string text;
  for (const std::string& p : parts) text += (text.empty() ? "" : " ") + p;
  return text;
}

// Valence counts bond orders and implicit hydrogens alike, so explicit and
// implicit hydrogen forms of one structure read the same. Sorted, so that
// resonance forms placing a charge on equivalent atoms compare equal.
std::string Describe(const QvGraphMol& mol) {
  std::vector<std::string> parts;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    if (atom.GetAtomicNum() == 1) continue;
    unsigned valence = atom.GetImplicitHCount();
    for (const QvBondBase& bond : atom.GetBonds()) valence += bond.GetOrder();
    const int q = atom.GetFormalCharge();
    parts.push_back(Tamrin::QvGetAtomicSymbol(atom.GetAtomicNum()) + std::to_string(valence) +
                    (q > 0 ? std::string(q, '+') : std::string(-q, '-')));
  }
  return SortedJoin(parts);
}

std::string Sorted(const std::string& words) {
  std::istringstream in(words);
  std::vector<std::string> parts;
  for (std::string w; in >> w;) parts.push_back(w);
  return SortedJoin(parts);
}

unsigned CountOrder(const QvGraphMol& mol, unsigned order) {
  unsigned n = 0;
  for (const QvBondBase& bond : mol.GetBonds()) n += bond.GetOrder() == order;
  return n;
}

// Geometries with their hydrogens, which the test below strips.
const Case kExplicit[] = {
    {"ethane", "C -0.756 0.003 -0.022|C 0.756 -0.003 0.022|H -1.170 -0.100 0.985|H -1.124 0.938 -0.453|H -1.125 -0.827 -0.632|H 1.125 0.827 0.632|H 1.170 0.099 -0.985|H 1.124 -0.938 0.453", "C4 C4", 0, 0, ""},
    {"ethene", "C 0.521 0.103 0.405|C -0.521 -0.103 -0.405|H 1.299 -0.646 0.518|H 0.616 1.023 0.973|H -0.616 -1.023 -0.973|H -1.299 0.646 -0.518", "C4 C4", 1, 0, ""},
    {"ethyne", "C -0.598 0.236 0.011|C 0.598 0.149 -0.011|H -1.661 0.312 0.032|H 1.661 0.073 -0.032", "C4 C4", 0, 1, ""},
    {"benzene", "C 0.811 -1.135 0.013|C 1.388 0.134 -0.024|C 0.578 1.269 -0.037|C -0.811 1.135 -0.013|C -1.388 -0.134 0.024|C -0.578 -1.269 0.037|H 1.442 -2.019 0.024|H 2.470 0.238 -0.043|H 1.028 2.258 -0.067|H -1.442 2.019 -0.024|H -2.470 -0.238 0.043|H -1.028 -2.258 0.067", "C4 C4 C4 C4 C4 C4", 3, 0, ""},
    {"pyridine", "C -0.104 1.179 0.024|C -1.238 0.374 0.013|C -1.065 -1.001 -0.015|N 0.142 -1.607 -0.033|C 1.225 -0.799 -0.022|C 1.153 0.585 0.006|H -0.200 2.261 0.046|H -2.232 0.805 0.027|H -1.919 -1.672 -0.024|H 2.183 -1.310 -0.037|H 2.056 1.185 0.014", "C4 C4 C4 N3 C4 C4", 3, 0, ""},
    {"acetate", "C -0.630 -0.037 -0.112|C 0.863 0.056 0.151|O 1.354 -0.928 0.772|O 1.423 1.102 -0.282|H -0.845 -0.925 -0.713|H -0.995 0.842 -0.651|H -1.169 -0.110 0.837", "C4 C4 O2 O1-", 1, 0, "C4 C4 O2 O2"},
    {"nitrobenzene", "O 2.901 -1.023 -0.529|N 2.331 0.042 -0.253|O 2.909 1.129 -0.102|C 0.872 0.016 -0.095|C 0.186 1.198 0.217|C -1.202 1.166 0.366|C -1.896 -0.034 0.206|C -1.210 -1.210 -0.105|C 0.178 -1.191 -0.256|H 0.712 2.141 0.345|H -1.743 2.078 0.608|H -2.978 -0.054 0.323|H -1.758 -2.142 -0.228|H 0.698 -2.115 -0.498", "O2 N4+ O1- C4 C4 C4 C4 C4 C4", 4, 0, ""},
    {"acetonitrile", "C -0.486 0.006 -0.008|C 0.975 -0.012 0.016|N 2.135 -0.026 0.034|H -0.891 0.007 1.009|H -0.856 0.898 -0.522|H -0.877 -0.873 -0.528", "C4 C4 N3", 0, 1, ""},
    {"imidazole", "C 1.199 -0.291 0.030|C 0.482 0.881 -0.003|N -0.829 0.493 -0.025|C -0.854 -0.873 -0.005|N 0.359 -1.375 0.028|H 2.275 -0.414 0.054|H 0.780 1.919 -0.013|H -1.637 1.099 -0.051|H -1.775 -1.440 -0.015", "C4 C4 N3 C4 N3", 2, 0, ""},
    {"acetone", "C -1.253 0.261 0.179|C -0.072 -0.506 -0.353|C 1.292 0.013 0.012|O -0.216 -1.507 -1.053|H -1.224 1.286 -0.199|H -1.228 0.260 1.271|H -2.181 -0.212 -0.154|H 1.413 1.029 -0.371|H 1.408 0.003 1.099|H 2.060 -0.626 -0.431", "C4 C4 C4 O2", 1, 0, ""},
};

// The same molecules with every hydrogen line removed: geometry decides, the
// hydrogen step fills in. A carboxylate reads as the acid: nothing in bare
// heavy atoms tells the two apart.
TEST(BondOrderPass, HeavyAtomsOnly) {
  unsigned tested = 0;
  for (const Case& c : kExplicit) {
    if (!c.heavy) continue;
    SCOPED_TRACE(c.name);
    std::string lines;
    for (std::string_view rest = c.atoms; !rest.empty();) {
      const std::string_view line = rest.substr(0, rest.find('|'));
      rest.remove_prefix(std::min(rest.size(), line.size() + 1));
      if (!line.starts_with("H ")) lines += (lines.empty() ? "" : "|") + std::string(line);
    }
    QvGraphMol mol;
    ASSERT_TRUE(ReadXyz(XyzText(lines.c_str()), mol));
    EXPECT_EQ(Describe(mol), Sorted(*c.heavy ? c.heavy : c.expected));
    EXPECT_EQ(CountOrder(mol, 2), c.doubles);
    EXPECT_EQ(CountOrder(mol, 3), c.triples);
    ++tested;
  }
  EXPECT_EQ(tested, 10u);
}

// Edge cases, read from XYZ text: ions, metals, lone atoms.
struct TextCase {
  const char* name;
  const char* atoms;
  const char* expected;
};

class BondOrderEdges : public ::testing::TestWithParam<TextCase> {};

const TextCase kEdges[] = {
    // Lone atoms beside a molecule with hydrogens: ions of their group.
    {"salt_and_water", "Na 5 0 0|Cl -5 0 0|Mg 0 5 0|O 0 0 0|H 0.757 0.586 0|H -0.757 0.586 0", "Na0+ Cl0- Mg0++ O2"},
    // A lone carbon without any hydrogen atom is methane's carbon.
    {"lone_carbon", "C 0 0 0", "C4"},
    // Zinc bonded to a carboxylate oxygen (1.9 A): the bond stays single and
    // does not count towards the oxygen, which becomes the carboxylate's O-
    // (its valence here counts the zinc bond too).
    {"metal_carboxylate",
     "C 0 0 0|O 1.25 0 0|O -0.62 1.08 0|C -0.76 -1.3 0|H -0.2 -2.2 0|H -1.3 -1.3 0.9|H -1.4 -1.3 -0.9|Zn 2.9 1.0 0",
     "C4 C4 O2- O2 Zn1"},
    // Perchlorate: three Cl=O, one O-.
    {"perchlorate", "Cl 0 0 0|O 0.83 0.83 0.83|O -0.83 -0.83 0.83|O -0.83 0.83 -0.83|O 0.83 -0.83 -0.83|H 5 5 5|H 5.74 5 5",
     "Cl7 O2 O2 O2 O1-"},
    // Benzenediazonium's nitrogens (only the ipso carbon's frame kept: a
    // methyl carbon stands in for the ring).
    {"diazonium", "C 0 0 0|N 1.42 0 0|N 2.52 0 0|H -0.36 1.03 0|H -0.36 -0.51 0.89|H -0.36 -0.51 -0.89",
     "C4 N4+ N3"},
    // A lone N-O on a three-connected N stays N-O-: N+=O would be a cation
    // with nothing to balance it (trimethylamine's N with one O, planar).
    {"lone_n_oxide", "N 0 0 0|C 1.47 0 0|C -0.735 1.273 0|O -0.665 -1.152 0|H 1.83 1.03 0|H 1.83 -0.51 0.89|"
     "H 1.83 -0.51 -0.89|H -0.39 2.30 0|H -1.83 1.27 0|H -0.39 0.76 0.89",
     "N3 C4 C4 O1-"},
    // A wildcard atom takes no bonds and no part.
    {"wildcard_beside_methane", "Xx 0 0 0|C 3 0 0|H 4.09 0 0|H 2.64 1.03 0|H 2.64 -0.51 0.89|H 2.64 -0.51 -0.89", "0 C4"},
};

TEST_P(BondOrderEdges, ReadAsExpected) {
  const TextCase& c = GetParam();
  QvGraphMol mol;
  ASSERT_TRUE(ReadXyz(XyzText(c.atoms), mol));
  EXPECT_EQ(Describe(mol), Sorted(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Edges, BondOrderEdges, ::testing::ValuesIn(kEdges),
                         [](const auto& p) { return std::string(p.param.name); });

// Molecules that already carry orders (any bond above 1) are left alone; a
// molecule without coordinates still gets orders from degrees when its
// hydrogens are atoms.
TEST(BondOrderPass, KeepsKnownOrdersAndWorksWithoutCoordinates) {
  QvGraphMol mol;
  QvAtomBase* c1 = mol.NewAtom(6);
  QvAtomBase* c2 = mol.NewAtom(6);
  QvBondBase* cc = mol.NewBond(c1, c2, 1);
  for (QvAtomBase* c : {c1, c2})
    for (int k = 0; k < 2; ++k) mol.NewBond(c, mol.NewAtom(1), 1);
  Tamrin::QvAssignBondOrders(mol);
  EXPECT_EQ(cc->GetOrder(), 2u);
  QvBondBase* ch = mol.GetBond(QvHasOrder{1});
  ASSERT_NE(ch, nullptr);
  ch->SetOrder(3);  // a deliberate oddity the pass must not touch
  cc->SetOrder(1);
  Tamrin::QvAssignBondOrders(mol);
  EXPECT_EQ(cc->GetOrder(), 1u);
  EXPECT_EQ(ch->GetOrder(), 3u);
}

// Random clouds of atoms, dense enough to overlap, of every kind the passes
// meet (organic elements, hydrogens, metals, wildcards, unknown numbers):
// the reading steps finish and leave orders 1 to 3, hydrogens with at most
// one bond and no atom over the connectivity limits.
TEST(BondOrderPass, RandomCloudsStayWithinLimits) {
  std::mt19937 rng(20261206);
  const unsigned kinds[] = {1, 1, 1, 1, 5, 6, 6, 6, 6, 7, 7, 8, 8, 9, 11, 15, 16, 17, 26, 30, 0, 150};
  std::uniform_int_distribution<size_t> kind(0, std::size(kinds) - 1);
  std::uniform_real_distribution<double> coord(0.0, 6.0);
  for (int round = 0; round < 200; ++round) {
    std::string lines;
    const int n = 1 + round % 40;
    for (int i = 0; i < n; ++i) {
      const unsigned z = kinds[kind(rng)];
      lines += (i ? "|" : "") + std::to_string(z) + " " + std::to_string(coord(rng)) + " " +
               std::to_string(coord(rng)) + " " + std::to_string(coord(rng));
    }
    CapturedMessages quiet;
    QvGraphMol mol;
    ASSERT_TRUE(ReadXyz(XyzText(lines.c_str()), mol)) << lines;
    for (const QvBondBase& bond : mol.GetBonds()) {
      EXPECT_GE(bond.GetOrder(), 1u) << lines;
      EXPECT_LE(bond.GetOrder(), 3u) << lines;
    }
    for (const QvAtomBase& atom : mol.GetAtoms()) {
      const unsigned z = atom.GetAtomicNum();
      EXPECT_LE(atom.GetExplicitDegree(), z == 1 ? 1u : z == 6 ? 4u : 12u) << lines;
    }
  }
}

}  // namespace
