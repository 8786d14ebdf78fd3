// The XYZ record writer against printf, the oracle for every column, with
// random molecules and the edge cases; a few records byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "pellar/qvsstream.h"
#include "tamrin/chem/elements.h"
#include "xyz_test_support.h"

namespace {

using Tamrin::QvGraphMol;
using xyztest::Atom;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Options {
  bool charges, symbols, long_precision;
};
constexpr Options kAllOptions[] = {{true, true, false}, {true, true, true}, {false, false, false},
                                   {true, false, true}, {false, true, false}};

std::string Write(const std::vector<Atom>& atoms, Options o, const std::string& title = "r") {
  QvGraphMol mol;
  mol.SetTitle(title);
  xyztest::AddAtoms(mol, atoms);
  Pellar::qvosstream out;
  Tamrin::QvXYZWriteFxn(out, mol, o.charges, o.symbols, o.long_precision);
  return out.str();
}

// The record as printf writes it: the charge column on every line as soon as
// one charge is non-zero (NaN is not), a wildcard "X" among symbols and an
// element without a symbol by its number.
std::string PrintfRecord(const std::vector<Atom>& atoms, Options o) {
  bool charged = false;
  for (const Atom& a : atoms) charged |= a.charge < 0 || a.charge > 0;
  charged &= o.charges;
  std::string text = std::to_string(atoms.size()) + "\nr\n";
  const char* format = o.long_precision ? "%-3s %23.18f %23.18f %23.18f" : "%-3s %10.5f %10.5f %10.5f";
  for (const Atom& a : atoms) {
    std::string element = o.symbols ? Tamrin::QvGetAtomicSymbol(a.z) : "";
    if (element.empty()) element = o.symbols && a.z == 0 ? "X" : std::to_string(a.z);
    char line[512];
    std::snprintf(line, sizeof line, format, element.c_str(), double{a.x}, double{a.y}, double{a.zc});
    text += line;
    if (charged) {
      std::snprintf(line, sizeof line, " %6.3f", static_cast<double>(static_cast<float>(a.charge)));
      text += line;
    }
    text += '\n';
  }
  return text;
}

const std::vector<Atom> kWater = {{8, "", 0.0f, 0.0f, 0.1173f, -0.834},
                                  {1, "", 0.0f, 0.7572f, -0.4692f, 0.417},
                                  {1, "", 0.0f, -0.7572f, -0.4692f, 0.417}};

TEST(XYZWriter, ByteExactRecords) {
  EXPECT_EQ(Write(kWater, {true, true, false}, "water"),
            "3\nwater\n"
            "O      0.00000    0.00000    0.11730 -0.834\n"
            "H      0.00000    0.75720   -0.46920  0.417\n"
            "H      0.00000   -0.75720   -0.46920  0.417\n");
  // The float 0.1173 is 0.117299996316432952880859375.
  EXPECT_EQ(Write({kWater[0]}, {true, false, true}, "o"),
            "1\no\n8      0.000000000000000000    0.000000000000000000    0.117299996316432953 -0.834\n");
  EXPECT_EQ(Write({{6, "", 0, 0, 0, kNaN}, {8, "", 0, 0, 0, -kNaN}, {7, "", 0, 0, 0, -1.0}}, {true, true, false}),
            "3\nr\n"
            "C      0.00000    0.00000    0.00000    nan\n"
            "O      0.00000    0.00000    0.00000   -nan\n"
            "N      0.00000    0.00000    0.00000 -1.000\n");
  EXPECT_EQ(Write({}, {true, true, false}, ""), "0\n\n");
  EXPECT_EQ(Write({}, {true, true, false}, "  spaced title  "), "0\n  spaced title  \n");
}

// Random molecules with every element, numbers past the table, wildcard
// atoms, values across many magnitudes and charges that are often zero.
TEST(XYZWriter, MatchesPrintfOnRandomMolecules) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<unsigned> count(0, 40), element(0, 125), exponent(-12, 12);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::bernoulli_distribution zero_charge(0.7);
  const auto value = [&] { return static_cast<float>(mantissa(rng) * std::pow(10.0, exponent(rng))); };
  for (int round = 0; round < 300; ++round) {
    std::vector<Atom> atoms(count(rng));
    for (Atom& a : atoms) a = {element(rng), "", value(), value(), value(), zero_charge(rng) ? 0.0 : mantissa(rng) * 3};
    for (const Options o : kAllOptions)
      ASSERT_EQ(Write(atoms, o), PrintfRecord(atoms, o)) << "round " << round << " charges " << o.charges
                                                          << " symbols " << o.symbols << " long " << o.long_precision;
  }
}

}  // namespace
