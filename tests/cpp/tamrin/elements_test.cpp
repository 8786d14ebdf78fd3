#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <sstream>
#include <string>
#include <vector>

#include "tamrin/chem/elements.h"

namespace {

using Tamrin::QvGetAtomicMass;
using Tamrin::QvGetAtomicNum;
using Tamrin::QvGetAtomicSymbol;
using Tamrin::QvGetCovalentRadius;
using Tamrin::QvMaxAtomicNum;

// Written out independently of the library's table, so a typo in either shows.
const char* const kSymbols =
    "H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn "
    "Ga Ge As Se Br Kr Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce "
    "Pr Nd Pm Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi Po At Rn "
    "Fr Ra Ac Th Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr Rf Db Sg Bh Hs Mt Ds Rg Cn Nh Fl "
    "Mc Lv Ts Og";

std::vector<std::string> Words(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

TEST(Elements, EverySymbolMapsBothWaysInAnyCase) {
  const std::vector<std::string> symbols = Words(kSymbols);
  ASSERT_EQ(symbols.size(), QvMaxAtomicNum);
  for (unsigned z = 1; z <= QvMaxAtomicNum; ++z) {
    const std::string& s = symbols[z - 1];
    SCOPED_TRACE(s);
    EXPECT_EQ(std::string(QvGetAtomicSymbol(z)), s);
    EXPECT_EQ(QvGetAtomicNum(s.c_str()), z);
    EXPECT_EQ(QvGetAtomicNum(Upper(s)), z);
    EXPECT_EQ(QvGetAtomicNum(Lower(s)), z);
    EXPECT_EQ(QvGetAtomicNum(" \t " + s + "\t "), z);
  }
}

struct Lookup {
  const char* text;
  unsigned expected;
};

class ElementLookup : public ::testing::TestWithParam<Lookup> {};

TEST_P(ElementLookup, MatchesTheSymbolRule) {
  EXPECT_EQ(QvGetAtomicNum(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ElementLookup,
    ::testing::Values(
        Lookup{"cl", 17}, Lookup{"cL", 17}, Lookup{"CL", 17}, Lookup{"c", 6}, Lookup{"  Fe", 26},
        Lookup{"\tn", 7}, Lookup{"Na \t", 11},
        // Not a symbol at all.
        Lookup{"", 0}, Lookup{" \t ", 0}, Lookup{"Xx", 0}, Lookup{"X", 0}, Lookup{"D", 0},
        Lookup{"Q", 0}, Lookup{"J", 0}, Lookup{"Cla", 0}, Lookup{"Carbon", 0},
        // Digits and punctuation are never part of a symbol.
        Lookup{"17", 0}, Lookup{"6", 0}, Lookup{"C1", 0}, Lookup{"1C", 0}, Lookup{"Cl-", 0},
        Lookup{"C+", 0}, Lookup{"[", 0}, Lookup{"@", 0}, Lookup{"C.", 0},
        // Blanks inside, line ends and bytes that only look like letters once 0x20 is cleared.
        Lookup{"N a", 0}, Lookup{"Na\n", 0}, Lookup{"\nNa", 0}, Lookup{"\xC3\x89", 0},
        Lookup{"\xE3", 0}, Lookup{"{", 0}, Lookup{"C\x7f", 0},
        // Placeholders exist only for elements 101 to 118.
        Lookup{"Unu", 101}, Lookup{"UUO", 118}, Lookup{"uus", 117}, Lookup{"Unn", 0}, Lookup{"Uue", 0}, Lookup{"Ubn", 0}, Lookup{"Nnn", 0},
        Lookup{"Uux", 0}, Lookup{"Unqq", 0}));

TEST(Elements, NumbersWithoutAnElementHaveEmptyData) {
  EXPECT_EQ(QvGetAtomicNum(static_cast<const char*>(nullptr)), 0u);
  for (unsigned z : {0u, QvMaxAtomicNum + 1, 200u, static_cast<unsigned>(UINT_MAX)}) {
    SCOPED_TRACE(z);
    EXPECT_STREQ(QvGetAtomicSymbol(z), "");
    EXPECT_EQ(QvGetAtomicMass(z), 0.0);
    EXPECT_EQ(QvGetCovalentRadius(z), 0.0);
  }
}

// Catches slipped digits: radii are plausible and masses grow with the atomic number except at the
// few places where the heavier isotopes dominate the lighter element.
TEST(Elements, MassesGrowExceptAtTheKnownInversions) {
  const std::vector<unsigned> inversions = {19, 28, 53, 91, 93, 95, 108};
  for (unsigned z = 1; z <= QvMaxAtomicNum; ++z) {
    SCOPED_TRACE(z);
    const double mass = QvGetAtomicMass(z);
    EXPECT_GE(mass, z);
    EXPECT_LE(mass, 3.0 * z);
    EXPECT_GE(QvGetCovalentRadius(z), 0.25);
    EXPECT_LE(QvGetCovalentRadius(z), 2.7);
    if (z == 1) continue;
    const bool inverted = mass < QvGetAtomicMass(z - 1);
    const bool expected = std::find(inversions.begin(), inversions.end(), z) != inversions.end();
    EXPECT_EQ(inverted, expected) << QvGetAtomicSymbol(z - 1) << " " << QvGetAtomicMass(z - 1)
                                  << " then " << QvGetAtomicSymbol(z) << " " << mass;
  }
}

}  // namespace
