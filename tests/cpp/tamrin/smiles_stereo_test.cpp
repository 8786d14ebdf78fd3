// Stereo as the writer puts it out: three-connected centres (a lone pair in
// the fourth place) whose hand depends on where the lone pair stands among
// ring-closure digits, cis/trans marks at aromatic ends of double bonds, and
// stereo taken from 3D coordinates.
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <string>
#include <vector>

#include "smiles_test_support.h"
#include "tamrin/perception/stereo.h"

namespace {

using smiles_test::Smiles;
namespace Flag = Tamrin::QvSmiFlag;

constexpr unsigned kInOrder = Tamrin::QvSmiDefault & ~Flag::Canonical;

// Every '@' turned into "@@" and every "@@" into '@'.
std::string Mirrored(const std::string& text) {
  const std::string marked = std::regex_replace(text, std::regex("@@"), "#");
  return std::regex_replace(std::regex_replace(marked, std::regex("@"), "@@"), std::regex("#"), "@");
}

// Each row: one molecule written from the centre with no digit, with the
// digit opening at it, closing at it, and on the centre written first (as
// RDKit writes them and reads them as one molecule).
const std::vector<std::vector<std::string>> kLonePairCentres = {
    {"CC1[N@](C)C1", "C[N@]1CC1C", "CC1C[N@@]1C", "[N@]1(CC1C)C"},
    {"CC1[N@](O)C1", "O[N@]1CC1C", "CC1C[N@@]1O", "[N@]1(CC1C)O"},
    {"CC1CC[P@](CC)C1", "CC[P@]1CC(C)CC1", "C1C(CC[P@]1CC)C", "[P@]1(CC(CC1)C)CC"},
    {"CC1CC[S@+](C)C1", "C[S@+]1CC(C)CC1", "C1C(C)CC[S@+]1C", "[S@+]1(C)CCC(C1)C"},
    {"CC1CC[S@](=O)C1", "O=[S@]1CCC(C)C1", "C1CC(C)C[S@]1=O", "[S@]1(CCC(C)C1)=O"},
};

TEST(SmilesLonePair, RingDigitOnTheCentreReadsAsRDKitReadsIt) {
  for (const auto& row : kLonePairCentres) {
    const std::string canonical = Smiles(row[0]);
    EXPECT_NE(Smiles(Mirrored(row[0])), canonical) << row[0];
    for (const std::string& text : row) {
      EXPECT_EQ(Smiles(text), canonical) << text;
      // Written in the input order the digit stays on the centre: the
      // writer must give it the hand the parser reads.
      EXPECT_EQ(Smiles(text, kInOrder), text);
      EXPECT_EQ(Smiles(text, kInOrder | Flag::Kekule), text);
    }
  }
}

// Cis/trans double bonds leaving an aromatic ring: imines and ylidenes on
// five- and six-membered heteroaromatic rings, two on one ring, one
// conjugated with a chain, one beside a centre. At the aromatic end the only
// bonds to carry the mark are ring bonds.
const std::vector<std::string> kLeavingAromaticRing = {
    "CC(=O)/N=c1/sc(S(N)(=O)=O)nn1C",
    "C/C=c1\\oc(N)c(C#N)c1=C(C#N)C#N",
    "O=c1/c(=C/c2cccnc2)sc2n1CN(c1ccc(OC(F)(F)F)cc1)CN=2",
    "Cn1cccc/c1=N/N",
    "N/N=c1\\[nH][nH]/c(=N/N)c2nc[nH]c12",
    "C/C=c1\\[nH]c(=O)/c(=C/C=C/C)[nH]c1=O",
    "O=c1nc2[nH]o[nH]c-2n/c1=N/O",
    "CCO[C@@H](C)C(=O)/N=c1/[nH]cc(C)[nH]1",
};

const std::vector<std::array<double, 3>> kTetrahedron = {{0, 0, 0}, {1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
const std::vector<std::array<double, 3>> kCis = {{-0.7, 1.2, 0}, {0, 0, 0}, {1.34, 0, 0}, {2.04, 1.2, 0}};

}  // namespace
