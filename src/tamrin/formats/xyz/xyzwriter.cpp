#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "pellar/qvstream.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

// The widest "%.18f" of a double (309 digits, sign, point, decimals) with room
// to spare; coordinates are floats today, but nothing here depends on it.
constexpr std::size_t kNumberMax = 400;
// An element text, four numbers with their separators and the line end.
constexpr std::size_t kLineMax = 16 + 4 * (kNumberMax + 1) + 1;

struct Precision {
  int width;
  int decimals;
};
constexpr Precision kShort{10, 5};
constexpr Precision kLong{23, 18};
constexpr Precision kCharge{6, 3};

// Appends `text` padded with blanks to `width`, on the left or the right.
char* PutPadded(char* p, std::string_view text, int width, bool left) {
  const std::size_t pad = static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size())));
  if (!left) p = std::fill_n(p, pad, ' ');
  p = std::copy(text.begin(), text.end(), p);
  if (left) p = std::fill_n(p, pad, ' ');
  return p;
}

// " %W.Pf": to_chars in fixed notation gives printf's digits, including its
// "nan", "-nan", "inf" and "-0.00000".
char* PutFixed(char* p, double value, Precision precision) {
  char digits[kNumberMax];
  const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed,
                                    precision.decimals);
  *p++ = ' ';
  return PutPadded(p, std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)),
                   precision.width, false);
}

// "%-3s" of the element: its symbol, or the atomic number where there is
// none (and without the symbols option), "X" for the wildcard atom.
char* PutElement(char* p, unsigned atomic_num, bool symbols) {
  std::string_view text = symbols ? QvGetAtomicSymbol(atomic_num) : "";
  char number[16];
  if (text.empty()) {
    if (symbols && atomic_num == 0) {
      text = "X";
    } else {
      const auto result = std::to_chars(number, number + sizeof number, atomic_num);
      text = std::string_view(number, static_cast<std::size_t>(result.ptr - number));
    }
  }
  return PutPadded(p, text, 3, true);
}

bool AnyChargeSet(const QvMolBase& mol) {
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    const double q = atom.GetPartialCharge();
    // NaN is neither, so a molecule of NaN charges gets no column.
    if (q < 0.0 || q > 0.0) return true;
  }
  return false;
}

void PutLine(Pellar::qvostream& out, const char* begin, char* end) {
  *end++ = '\n';
  out.write(begin, static_cast<std::size_t>(end - begin));
}

}  // namespace

void QvXYZWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, bool charges, bool symbols,
                   bool long_precision) {
  const bool charge_column = charges && AnyChargeSet(mol);
  const Precision precision = long_precision ? kLong : kShort;
  char line[kLineMax];

  const auto count = std::to_chars(line, line + sizeof line, mol.NumAtoms());
  PutLine(out, line, count.ptr);
  const char* title = mol.GetTitle();
  out.write(title, std::strlen(title));
  out.put('\n');

  for (const QvAtomBase& atom : mol.GetAtoms()) {
    double xyz[3] = {};
    mol.GetCoords(&atom, xyz);
    char* p = PutElement(line, atom.GetAtomicNum(), symbols);
    for (double v : xyz) p = PutFixed(p, v, precision);
    if (charge_column) p = PutFixed(p, atom.GetPartialCharge(), kCharge);
    PutLine(out, line, p);
  }
}

}  // namespace Tamrin
