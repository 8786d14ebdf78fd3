// Stereo as the writer puts it out: three-connected centres (a lone pair in
// the fourth place) whose hand depends on where the lone pair stands among
// ring-closure digits.
#include <gtest/gtest.h>

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

}  // namespace
