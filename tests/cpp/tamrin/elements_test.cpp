#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "tamrin/chem/elements.h"

namespace {

using Tamrin::QvGetAtomicMass;
using Tamrin::QvGetAtomicNum;
using Tamrin::QvGetAtomicSymbol;
using Tamrin::QvGetCovalentRadius;
using Tamrin::QvMaxAtomicNum;

// Symbols in any case with blanks around them; nothing else is one.
TEST(Elements, LookupMatchesTheSymbolRule) {
  const std::pair<const char*, unsigned> cases[] = {
      {"cl", 17}, {"cL", 17}, {"CL", 17}, {"c", 6}, {"  Fe", 26}, {"\tn", 7}, {"Na \t", 11},
      // Not a symbol at all.
      {"", 0}, {" \t ", 0}, {"Xx", 0}, {"X", 0}, {"D", 0}, {"Q", 0}, {"J", 0}, {"Cla", 0}, {"Carbon", 0},
      // Digits and punctuation are never part of a symbol.
      {"17", 0}, {"6", 0}, {"C1", 0}, {"1C", 0}, {"Cl-", 0}, {"C+", 0}, {"[", 0}, {"@", 0}, {"C.", 0},
      // Blanks inside, line ends and bytes that only look like letters once 0x20 is cleared.
      {"N a", 0}, {"Na\n", 0}, {"\nNa", 0}, {"\xC3\x89", 0}, {"\xE3", 0}, {"{", 0}, {"C\x7f", 0},
      // Placeholders exist only for elements 101 to 118.
      {"Unu", 101}, {"UUO", 118}, {"uus", 117}, {"Unn", 0}, {"Uue", 0}, {"Ubn", 0}, {"Nnn", 0}, {"Uux", 0},
      {"Unqq", 0}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(QvGetAtomicNum(text), expected) << '"' << text << '"';
}

TEST(Elements, NumbersWithoutAnElementHaveEmptyData) {
  EXPECT_EQ(QvGetAtomicNum(static_cast<const char*>(nullptr)), 0u);
  for (unsigned z : {0u, QvMaxAtomicNum + 1, 200u, static_cast<unsigned>(UINT_MAX)}) {
    SCOPED_TRACE(z);
    EXPECT_EQ(std::tuple(std::string(QvGetAtomicSymbol(z)), QvGetAtomicMass(z), QvGetCovalentRadius(z)),
              std::tuple("", 0.0, 0.0));
  }
}

// Catches slipped digits: radii are plausible and masses grow with the atomic number except at the
// few places where the heavier isotopes dominate the lighter element.
TEST(Elements, MassesGrowExceptAtTheKnownInversions) {
  const std::vector<unsigned> inversions = {19, 28, 53, 91, 93, 95, 108};
  for (unsigned z = 1; z <= QvMaxAtomicNum; ++z) {
    SCOPED_TRACE(z);
    const double mass = QvGetAtomicMass(z);
    EXPECT_TRUE(mass >= z && mass <= 3.0 * z) << mass;
    EXPECT_TRUE(QvGetCovalentRadius(z) >= 0.25 && QvGetCovalentRadius(z) <= 2.7) << QvGetCovalentRadius(z);
    if (z == 1) continue;
    const bool inverted = mass < QvGetAtomicMass(z - 1);
    const bool expected = std::find(inversions.begin(), inversions.end(), z) != inversions.end();
    EXPECT_EQ(inverted, expected) << QvGetAtomicSymbol(z - 1) << " " << QvGetAtomicMass(z - 1)
                                  << " then " << QvGetAtomicSymbol(z) << " " << mass;
  }
}

}  // namespace
