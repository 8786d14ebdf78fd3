#include <algorithm>
#include <cstring>
#include <string_view>

#include "pellar/numformat.h"
#include "pellar/qvstream.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

// The widest "%.18f" of a double.
constexpr std::size_t kNumberMax = Pellar::FixedChars(18);
// An element text, four numbers with their separators and the line end.
constexpr std::size_t kLineMax = 16 + 4 * (kNumberMax + 1) + 1;

struct Precision {
  int width;
  int decimals;
};
constexpr Precision kShort{10, 5};
constexpr Precision kLong{23, 18};
constexpr Precision kCharge{6, 3};

// " %W.Pf".
char* PutFixed(char* p, double value, Precision precision) {
  *p++ = ' ';
  return Pellar::FormatFixed(p, value, precision.width, precision.decimals);
}

// "%-3s" of the element: its symbol, or the atomic number where there is
// none (and without the symbols option), "X" for the wildcard atom.
char* PutElement(char* p, unsigned atomic_num, bool symbols) {
  std::string_view text = symbols ? QvGetAtomicSymbol(atomic_num) : "";
  if (!text.empty() || (symbols && atomic_num == 0))
    return Pellar::Pad(p, text.empty() ? "X" : text, 3, Pellar::Align::Left);
  return Pellar::FormatInt(p, atomic_num, 3, Pellar::Align::Left);
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

  PutLine(out, line, Pellar::FormatInt(line, mol.NumAtoms()));
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
