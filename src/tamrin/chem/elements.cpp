#include "tamrin/chem/elements.h"

#include <array>
#include <cstdint>

#include "pellar/numparse.h"

namespace Tamrin {

namespace {

struct Element {
  const char* symbol;
  double mass;
  double radius;
};

// Radii: Cordero et al., Dalton Trans. 2008, 2832 (sp3 carbon, low-spin Mn,
// Fe, Co) up to curium; Pyykkö and Atsumi, Chem. Eur. J. 2009, 15, 186 from
// berkelium on, where no crystallographic survey exists.
constexpr std::array<Element, QvMaxAtomicNum + 1> kElements = {{
    {"", 0.0, 0.0},
    {"H", 1.008, 0.31},       {"He", 4.0026, 0.28},     {"Li", 6.94, 1.28},
    {"Be", 9.0122, 0.96},     {"B", 10.81, 0.84},       {"C", 12.011, 0.76},
    {"N", 14.007, 0.71},      {"O", 15.999, 0.66},      {"F", 18.998, 0.57},
    {"Ne", 20.180, 0.58},     {"Na", 22.990, 1.66},     {"Mg", 24.305, 1.41},
    {"Al", 26.982, 1.21},     {"Si", 28.085, 1.11},     {"P", 30.974, 1.07},
    {"S", 32.06, 1.05},       {"Cl", 35.45, 1.02},      {"Ar", 39.948, 1.06},
    {"K", 39.098, 2.03},      {"Ca", 40.078, 1.76},     {"Sc", 44.956, 1.70},
    {"Ti", 47.867, 1.60},     {"V", 50.942, 1.53},      {"Cr", 51.996, 1.39},
    {"Mn", 54.938, 1.39},     {"Fe", 55.845, 1.32},     {"Co", 58.933, 1.26},
    {"Ni", 58.693, 1.24},     {"Cu", 63.546, 1.32},     {"Zn", 65.38, 1.22},
    {"Ga", 69.723, 1.22},     {"Ge", 72.630, 1.20},     {"As", 74.922, 1.19},
    {"Se", 78.971, 1.20},     {"Br", 79.904, 1.20},     {"Kr", 83.798, 1.16},
    {"Rb", 85.468, 2.20},     {"Sr", 87.62, 1.95},      {"Y", 88.906, 1.90},
    {"Zr", 91.224, 1.75},     {"Nb", 92.906, 1.64},     {"Mo", 95.95, 1.54},
    {"Tc", 98.0, 1.47},       {"Ru", 101.07, 1.46},     {"Rh", 102.91, 1.42},
    {"Pd", 106.42, 1.39},     {"Ag", 107.87, 1.45},     {"Cd", 112.41, 1.44},
    {"In", 114.82, 1.42},     {"Sn", 118.71, 1.39},     {"Sb", 121.76, 1.39},
    {"Te", 127.60, 1.38},     {"I", 126.90, 1.39},      {"Xe", 131.29, 1.40},
    {"Cs", 132.91, 2.44},     {"Ba", 137.33, 2.15},     {"La", 138.91, 2.07},
    {"Ce", 140.12, 2.04},     {"Pr", 140.91, 2.03},     {"Nd", 144.24, 2.01},
    {"Pm", 145.0, 1.99},      {"Sm", 150.36, 1.98},     {"Eu", 151.96, 1.98},
    {"Gd", 157.25, 1.96},     {"Tb", 158.93, 1.94},     {"Dy", 162.50, 1.92},
    {"Ho", 164.93, 1.92},     {"Er", 167.26, 1.89},     {"Tm", 168.93, 1.90},
    {"Yb", 173.05, 1.87},     {"Lu", 174.97, 1.87},     {"Hf", 178.49, 1.75},
    {"Ta", 180.95, 1.70},     {"W", 183.84, 1.62},      {"Re", 186.21, 1.51},
    {"Os", 190.23, 1.44},     {"Ir", 192.22, 1.41},     {"Pt", 195.08, 1.36},
    {"Au", 196.97, 1.36},     {"Hg", 200.59, 1.32},     {"Tl", 204.38, 1.45},
    {"Pb", 207.2, 1.46},      {"Bi", 208.98, 1.48},     {"Po", 209.0, 1.40},
    {"At", 210.0, 1.50},      {"Rn", 222.0, 1.50},      {"Fr", 223.0, 2.60},
    {"Ra", 226.0, 2.21},      {"Ac", 227.0, 2.15},      {"Th", 232.04, 2.06},
    {"Pa", 231.04, 2.00},     {"U", 238.03, 1.96},      {"Np", 237.0, 1.90},
    {"Pu", 244.0, 1.87},      {"Am", 243.0, 1.80},      {"Cm", 247.0, 1.69},
    {"Bk", 247.0, 1.68},      {"Cf", 251.0, 1.68},      {"Es", 252.0, 1.65},
    {"Fm", 257.0, 1.67},      {"Md", 258.0, 1.73},      {"No", 259.0, 1.76},
    {"Lr", 266.0, 1.61},      {"Rf", 267.0, 1.57},      {"Db", 268.0, 1.49},
    {"Sg", 269.0, 1.43},      {"Bh", 270.0, 1.41},      {"Hs", 269.0, 1.34},
    {"Mt", 278.0, 1.29},      {"Ds", 281.0, 1.28},      {"Rg", 282.0, 1.21},
    {"Cn", 285.0, 1.22},      {"Nh", 286.0, 1.36},      {"Fl", 289.0, 1.43},
    {"Mc", 290.0, 1.62},      {"Lv", 293.0, 1.75},      {"Ts", 294.0, 1.65},
    {"Og", 294.0, 1.57},
}};

// Symbols of one or two letters, indexed by the upper-case first letter and
// the lower-case second letter (slot 0: none). Built by the compiler, so a
// lookup costs two comparisons and one load.
constexpr unsigned kSecondSlots = 27;

constexpr unsigned SymbolSlot(unsigned first, unsigned second) {
  return (first - 'A') * kSecondSlots + (second ? second - 'a' + 1 : 0);
}

constexpr auto kBySymbol = [] {
  std::array<std::uint8_t, 26 * kSecondSlots> table{};
  for (unsigned z = 1; z <= QvMaxAtomicNum; ++z) {
    const char* s = kElements[z].symbol;
    const auto first = static_cast<unsigned char>(s[0]);
    const auto second = static_cast<unsigned char>(s[1]);
    table[SymbolSlot(first, second)] = static_cast<std::uint8_t>(z);
  }
  return table;
}();

constexpr bool EverySymbolHasItsOwnSlot() {
  unsigned filled = 0;
  for (const std::uint8_t z : kBySymbol) filled += z != 0;
  return filled == QvMaxAtomicNum;
}
static_assert(EverySymbolHasItsOwnSlot(), "two element symbols share a lookup slot");

using Pellar::IsBlank;

// The letter as upper case ('A'..'Z'), or 0 for a byte that is no letter.
unsigned UpperLetter(char c) {
  const unsigned u = static_cast<unsigned char>(c) & ~0x20u;
  return u >= 'A' && u <= 'Z' ? u : 0;
}

unsigned LowerLetter(char c) {
  const unsigned u = UpperLetter(c);
  return u ? u | 0x20u : 0;
}

// The digit a letter stands for in the systematic element names
// (nil, un, bi, tri, quad, pent, hex, sept, oct, enn), or -1.
int SystematicDigit(unsigned lower) {
  constexpr std::string_view kDigits = "nubtqphsoe";
  const std::size_t at = kDigits.find(static_cast<char>(lower));
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// "Unq" and friends: placeholders for elements 101 to QvMaxAtomicNum only,
// as lighter elements have had permanent symbols all along.
unsigned SystematicAtomicNum(std::string_view s) {
  int value = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const unsigned letter = i == 0 ? UpperLetter(s[0]) | 0x20u : LowerLetter(s[i]);
    const int digit = SystematicDigit(letter);
    if (digit < 0) return 0;
    value = value * 10 + digit;
  }
  return value > 100 && value <= static_cast<int>(QvMaxAtomicNum) ? static_cast<unsigned>(value) : 0;
}

}  // namespace

unsigned QvGetAtomicNum(std::string_view symbol) {
  while (!symbol.empty() && IsBlank(symbol.front())) symbol.remove_prefix(1);
  while (!symbol.empty() && IsBlank(symbol.back())) symbol.remove_suffix(1);
  switch (symbol.size()) {
    case 1:
    case 2: {
      const unsigned first = UpperLetter(symbol[0]);
      const unsigned second = symbol.size() == 2 ? LowerLetter(symbol[1]) : 0;
      if (!first || (symbol.size() == 2 && !second)) return 0;
      return kBySymbol[SymbolSlot(first, second)];
    }
    case 3:
      return SystematicAtomicNum(symbol);
    default:
      return 0;
  }
}

unsigned QvGetAtomicNum(const char* symbol) {
  return symbol ? QvGetAtomicNum(std::string_view(symbol)) : 0;
}

const char* QvGetAtomicSymbol(unsigned atomic_num) {
  return atomic_num <= QvMaxAtomicNum ? kElements[atomic_num].symbol : "";
}

double QvGetAtomicMass(unsigned atomic_num) {
  return atomic_num <= QvMaxAtomicNum ? kElements[atomic_num].mass : 0.0;
}

double QvGetCovalentRadius(unsigned atomic_num) {
  return atomic_num <= QvMaxAtomicNum ? kElements[atomic_num].radius : 0.0;
}

const std::array<double, QvMaxAtomicNum + 1>& QvCovalentRadii() {
  static constexpr std::array<double, QvMaxAtomicNum + 1> kRadii = [] {
    std::array<double, QvMaxAtomicNum + 1> radii{};
    for (unsigned z = 0; z <= QvMaxAtomicNum; ++z) radii[z] = kElements[z].radius;
    return radii;
  }();
  return kRadii;
}

}  // namespace Tamrin
