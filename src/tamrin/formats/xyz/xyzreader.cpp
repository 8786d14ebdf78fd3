#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pellar/numparse.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

using Pellar::ParseWhole;
using Pellar::TrimBlanks;

// The count line: blanks, at most one '+', digits, blanks.
bool ParseCount(std::string_view line, unsigned& n) {
  std::uint32_t v = 0;
  if (!ParseWhole(TrimBlanks(line), v)) return false;
  n = v;
  return true;
}

// An element, x, y, z and a charge; further fields are ignored.
using AtomFields = Pellar::LineFields<5>;

// A symbol, else a whole number for fields that start with a digit; 0 when
// neither gives an element.
unsigned ElementOf(std::string_view field) {
  unsigned z = QvGetAtomicNum(field);
  if (z == 0 && field.front() >= '0' && field.front() <= '9' && !ParseWhole(field, z)) return 0;
  return z;
}

bool ReadAtom(std::string_view line, QvMolBase& mol) {
  const AtomFields fields(line);
  if (fields.count == 0) return false;

  // The atom exists before the line is known to be complete: a record cut
  // short in its last line still leaves its atoms behind, which is how the
  // stream tells a damaged final record from clean end of input.
  QvAtomBase* atom = mol.NewAtom(0u);
  const unsigned z = ElementOf(fields.field[0]);
  if (z != 0)
    atom->SetAtomicNum(z);
  else
    atom->SetName(std::string(fields.field[0]));

  if (fields.count < 4) return false;
  double xyz[3];
  for (unsigned i = 0; i < 3; ++i)
    if (!ParseWhole(fields.field[i + 1], xyz[i])) return false;
  mol.SetCoords(atom, xyz);

  double charge;
  if (fields.count >= 5 && ParseWhole(fields.field[4], charge)) atom->SetPartialCharge(charge);
  return true;
}

}  // namespace

bool QvXYZReadFxn(qvmolistream& in, QvMolBase& mol) {
  mol.SetDimension(3);
  std::string_view line;
  unsigned n = 0;
  if (!in.GetLine(line) || !ParseCount(line, n)) return false;
  if (!in.GetLine(line)) return false;
  mol.SetTitle(std::string(TrimBlanks(line)));
  // No reservation from n: the count is unchecked input and may be huge.
  for (unsigned i = 0; i < n; ++i)
    if (!in.GetLine(line) || !ReadAtom(line, mol)) return false;
  return true;
}

}  // namespace Tamrin
