#include <gtest/gtest.h>

#include <vector>

#include "tamrin/model/model.h"
#include "tamrin/perception/kekulize.h"
#include "tamrin/formats/mdl/mdlvalence.h"

namespace {

using Tamrin::QvGraphMol;
using Tamrin::QvMDLDefaultValence;
using Tamrin::QvMDLImplicitHCount;

struct ValenceCase {
  unsigned z;
  int charge;
  unsigned explicit_valence;
  unsigned expected;
};

class MDLDefaultValence : public ::testing::TestWithParam<ValenceCase> {};

TEST_P(MDLDefaultValence, LowestAllowedNotBelowExplicit) {
  const ValenceCase& c = GetParam();
  EXPECT_EQ(QvMDLDefaultValence(c.z, c.charge, c.explicit_valence), c.expected)
      << "Z=" << c.z << " charge=" << c.charge << " explicit=" << c.explicit_valence;
}

INSTANTIATE_TEST_SUITE_P(
    Elements, MDLDefaultValence,
    ::testing::Values(
        // Neutral organic elements and their higher valences.
        ValenceCase{6, 0, 0, 4}, ValenceCase{6, 0, 4, 4}, ValenceCase{6, 0, 5, 5},  // over-valent: itself
        ValenceCase{7, 0, 1, 3}, ValenceCase{7, 0, 4, 5}, ValenceCase{7, 0, 6, 6},
        ValenceCase{8, 0, 1, 2}, ValenceCase{8, 0, 3, 3},  // period 2: no expanded octet
        ValenceCase{15, 0, 4, 5}, ValenceCase{16, 0, 3, 4}, ValenceCase{16, 0, 5, 6},
        ValenceCase{17, 0, 2, 3}, ValenceCase{53, 0, 6, 7}, ValenceCase{9, 0, 0, 1},
        ValenceCase{5, 0, 2, 3}, ValenceCase{14, 0, 1, 4}, ValenceCase{34, 0, 1, 2},
        // Isoelectronic shifts by charge.
        ValenceCase{7, 1, 3, 4}, ValenceCase{8, -1, 1, 1}, ValenceCase{8, 1, 2, 3},
        ValenceCase{6, -1, 2, 3}, ValenceCase{6, 1, 2, 3}, ValenceCase{5, -1, 3, 4},
        ValenceCase{16, 1, 2, 3}, ValenceCase{16, -1, 0, 1}, ValenceCase{7, -1, 1, 2},
        ValenceCase{15, 1, 0, 4}, ValenceCase{8, 2, 0, 4},
        // Closed shells and charges outside the table keep what they have.
        ValenceCase{17, -1, 0, 0}, ValenceCase{8, -2, 0, 0}, ValenceCase{7, 5, 2, 2},
        ValenceCase{6, -4, 1, 1}, ValenceCase{6, 4, 0, 0},
        // Rows below period 3 lose the 2-electron valence; heavy rows have
        // the inert pair.
        ValenceCase{14, 2, 0, 2}, ValenceCase{32, 2, 0, 0}, ValenceCase{50, 0, 0, 2},
        ValenceCase{50, 0, 3, 4}, ValenceCase{49, 0, 0, 3}, ValenceCase{81, 0, 0, 1},
        ValenceCase{81, 0, 2, 3}, ValenceCase{82, 0, 0, 2}, ValenceCase{83, 0, 4, 5},
        // s-block and hydrogen.
        ValenceCase{1, 0, 0, 1}, ValenceCase{1, 1, 0, 0}, ValenceCase{11, 0, 0, 1},
        ValenceCase{11, 1, 0, 0}, ValenceCase{12, 0, 0, 2}, ValenceCase{12, 1, 0, 1},
        ValenceCase{12, 2, 0, 0},
        // Elements without a model: noble gases, metals, wildcards, unknown.
        ValenceCase{2, 0, 0, 0}, ValenceCase{10, 0, 0, 0}, ValenceCase{26, 0, 2, 2},
        ValenceCase{26, 3, 0, 0}, ValenceCase{0, 0, 1, 1}, ValenceCase{200, 0, 0, 0},
        ValenceCase{86, 0, 0, 0}, ValenceCase{54, 0, 2, 2}));

// Atom 0 with neighbours joined by the given orders; returns the count.
unsigned CountFor(unsigned z, int charge, const std::vector<unsigned>& orders) {
  QvGraphMol mol;
  auto* center = mol.NewAtom(z);
  center->SetFormalCharge(charge);
  for (const unsigned order : orders) mol.NewBond(center, mol.NewAtom(6), order);
  return QvMDLImplicitHCount(*center);
}

struct CountCase {
  unsigned z;
  int charge;
  std::vector<unsigned> orders;
  unsigned expected;
};

class MDLImplicitHCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(MDLImplicitHCount, DefaultValenceMinusBondOrders) {
  const CountCase& c = GetParam();
  EXPECT_EQ(CountFor(c.z, c.charge, c.orders), c.expected) << "Z=" << c.z << " charge=" << c.charge;
}

constexpr unsigned kArom = Tamrin::kQvAromaticOrder;

INSTANTIATE_TEST_SUITE_P(
    Atoms, MDLImplicitHCount,
    ::testing::Values(CountCase{6, 0, {}, 4}, CountCase{6, 0, {2}, 2}, CountCase{6, 0, {3, 1}, 0},
                      CountCase{7, 0, {1}, 2}, CountCase{7, 1, {1}, 3}, CountCase{7, 0, {2, 1, 1}, 1},
                      CountCase{8, -1, {1}, 0}, CountCase{16, 0, {2, 1}, 1}, CountCase{17, -1, {}, 0},
                      CountCase{26, 0, {1}, 0}, CountCase{6, 0, {1, 1, 1, 1, 1}, 0},
                      // Unresolved aromatic bonds count 1.5 each, rounded down.
                      CountCase{6, 0, {kArom, kArom}, 1}, CountCase{6, 0, {kArom, kArom, 1}, 0},
                      CountCase{7, 0, {kArom, kArom}, 0}));

}  // namespace
