// The XYZ record writer: byte-exact lines for both precisions, element
// texts, and when the charge column appears.
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
using xyztest::AddAtoms;
using xyztest::Atom;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Options {
  bool charges;
  bool symbols;
  bool long_precision;
};

std::string Write(const Tamrin::QvMolBase& mol, Options o) {
  Pellar::qvosstream out;
  Tamrin::QvXYZWriteFxn(out, mol, o.charges, o.symbols, o.long_precision);
  return out.str();
}

QvGraphMol Molecule(const std::string& title, const std::vector<Atom>& atoms) {
  QvGraphMol mol;
  mol.SetTitle(title);
  AddAtoms(mol, atoms);
  return mol;
}

// ---- exact texts ----

struct Expected {
  const char* label;
  std::vector<Atom> atoms;
  Options options;
  std::string text;  // without the count and title lines
};

class XYZWriterText : public ::testing::TestWithParam<Expected> {};

TEST_P(XYZWriterText, IsByteExact) {
  const Expected& e = GetParam();
  const QvGraphMol mol = Molecule("t", e.atoms);
  EXPECT_EQ(Write(mol, e.options), std::to_string(e.atoms.size()) + "\nt\n" + e.text);
}

const std::vector<Atom> kWater = {{8, "", 0.0f, 0.0f, 0.1173f, -0.834},
                                  {1, "", 0.0f, 0.7572f, -0.4692f, 0.417},
                                  {1, "", 0.0f, -0.7572f, -0.4692f, 0.417}};
const std::vector<Atom> kUncharged = {{6, "", 1.5f, -2.25f, 1000.125f}, {17, "", -0.0f, 0.000004f, 0.000006f}};

INSTANTIATE_TEST_SUITE_P(
    Lines, XYZWriterText,
    ::testing::Values(
        Expected{"ShortSymbolsCharges", kWater, {true, true, false},
                 "O      0.00000    0.00000    0.11730 -0.834\n"
                 "H      0.00000    0.75720   -0.46920  0.417\n"
                 "H      0.00000   -0.75720   -0.46920  0.417\n"},
        Expected{"ShortNumbersNoCharges", kWater, {false, false, false},
                 "8      0.00000    0.00000    0.11730\n"
                 "1      0.00000    0.75720   -0.46920\n"
                 "1      0.00000   -0.75720   -0.46920\n"},
        // The float 0.1173 is 0.117299996316432952880859375.
        Expected{"LongSymbolsCharges", kWater, {true, true, true},
                 "O      0.000000000000000000    0.000000000000000000    0.117299996316432953 -0.834\n"
                 "H      0.000000000000000000    0.757200002670288086   -0.469199985265731812  0.417\n"
                 "H      0.000000000000000000   -0.757200002670288086   -0.469199985265731812  0.417\n"},
        Expected{"ChargesAllZeroGiveFourColumns", kUncharged, {true, true, false},
                 "C      1.50000   -2.25000 1000.12500\n"
                 "Cl    -0.00000    0.00000    0.00001\n"},
        Expected{"OneChargeGivesEveryLineAColumn",
                 {{6, "", 0, 0, 0, 0.0}, {7, "", 0, 0, 0, 1e-30}},
                 {true, true, false},
                 "C      0.00000    0.00000    0.00000  0.000\n"
                 "N      0.00000    0.00000    0.00000  0.000\n"},
        Expected{"NaNChargesAloneGiveNoColumn", {{6, "", 0, 0, 0, kNaN}}, {true, true, false},
                 "C      0.00000    0.00000    0.00000\n"},
        Expected{"NaNChargeBesideARealOne",
                 {{6, "", 0, 0, 0, kNaN}, {8, "", 0, 0, 0, -kNaN}, {7, "", 0, 0, 0, -1.0}},
                 {true, true, false},
                 "C      0.00000    0.00000    0.00000    nan\n"
                 "O      0.00000    0.00000    0.00000   -nan\n"
                 "N      0.00000    0.00000    0.00000 -1.000\n"},
        Expected{"ChargesOffKeepsFourColumns", kWater, {false, true, false},
                 "O      0.00000    0.00000    0.11730\n"
                 "H      0.00000    0.75720   -0.46920\n"
                 "H      0.00000   -0.75720   -0.46920\n"},
        Expected{"WildcardIsXWithSymbols", {{0, "Du", 1, 2, 3}}, {false, true, false},
                 "X      1.00000    2.00000    3.00000\n"},
        Expected{"WildcardIsZeroWithoutSymbols", {{0, "Du", 1, 2, 3}}, {false, false, false},
                 "0      1.00000    2.00000    3.00000\n"},
        Expected{"NoSymbolGivesTheNumber", {{200, "", 1, 2, 3}, {118, "", 1, 2, 3}}, {false, true, false},
                 "200    1.00000    2.00000    3.00000\n"
                 "Og     1.00000    2.00000    3.00000\n"},
        Expected{"ElementWiderThanThreeIsNotCut", {{123456, "", 1, 2, 3}}, {false, false, false},
                 "123456    1.00000    2.00000    3.00000\n"},
        Expected{"WideValuesOverflowTheirColumns",
                 {{6, "", 123456.0f, -12345.5f, 1e30f, 12345.678}},
                 {true, true, false},
                 "C   123456.00000 -12345.50000 1000000015047466219876688855040.00000 12345.678\n"},
        Expected{"NonFiniteCoordinates", {{6, "", kNaN, kInf, -kInf}}, {false, true, true},
                 "C                       nan                     inf                    -inf\n"},
        Expected{"RoundsHalfToEvenOnExactTies", {{6, "", 0.125f, 0.375f, -2.5f, 0.0625}}, {true, true, false},
                 "C      0.12500    0.37500   -2.50000  0.062\n"}),
    [](const auto& p) { return std::string(p.param.label); });

TEST(XYZWriter, CountAndTitleLines) {
  EXPECT_EQ(Write(Molecule("", {}), {true, true, false}), "0\n\n");
  EXPECT_EQ(Write(Molecule("  spaced title  ", {}), {true, true, false}), "0\n  spaced title  \n");
}

// Deleted atoms are not part of the molecule: they are neither counted nor
// written, and the others keep their own coordinates.
TEST(XYZWriter, SkipsDeletedAtoms) {
  QvGraphMol mol = Molecule("d", {{6, "", 1, 1, 1}, {7, "", 2, 2, 2}, {8, "", 3, 3, 3}});
  mol.DeleteAtom(mol.AtomList()[1]);
  EXPECT_EQ(Write(mol, {false, true, false}),
            "2\nd\n"
            "C      1.00000    1.00000    1.00000\n"
            "O      3.00000    3.00000    3.00000\n");
}

// ---- printf as the oracle ----

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

// Random molecules with every element, numbers past the table, wildcard
// atoms, values across many magnitudes and charges that are often zero.
std::vector<Atom> RandomAtoms(std::mt19937& rng) {
  std::uniform_int_distribution<unsigned> count(0, 40), element(0, 125), exponent(-12, 12);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::bernoulli_distribution zero_charge(0.7);
  auto value = [&] { return static_cast<float>(mantissa(rng) * std::pow(10.0, exponent(rng))); };
  std::vector<Atom> atoms(count(rng));
  for (Atom& a : atoms) {
    a = {element(rng), "", value(), value(), value(), zero_charge(rng) ? 0.0 : mantissa(rng) * 3};
  }
  return atoms;
}

TEST(XYZWriter, MatchesPrintfOnRandomMolecules) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    const std::vector<Atom> atoms = RandomAtoms(rng);
    const QvGraphMol mol = Molecule("r", atoms);
    for (const Options o : {Options{true, true, false}, Options{true, true, true}, Options{false, false, false},
                            Options{true, false, true}}) {
      ASSERT_EQ(Write(mol, o), PrintfRecord(atoms, o))
          << "round " << round << " charges " << o.charges << " symbols " << o.symbols << " long "
          << o.long_precision;
    }
  }
}

// Writing goes through the output stream's 64 KiB buffer in many pieces.
TEST(XYZWriter, LargeMoleculeAcrossBufferFlushes) {
  std::vector<Atom> atoms;
  for (unsigned i = 0; i < 5000; ++i)
    atoms.push_back({1 + i % 118, "", static_cast<float>(i) * 0.5f, -static_cast<float>(i), 1.0f / (1.0f + i),
                     i % 3 ? 0.0 : 0.1 * i});
  const QvGraphMol mol = Molecule("r", atoms);
  const Options o{true, true, true};
  EXPECT_EQ(Write(mol, o), PrintfRecord(atoms, o));
}

}  // namespace
