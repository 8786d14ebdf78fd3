#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fast_float/fast_float.h>
#include <locale.h>

#include "tamrin/chem/elements.h"
#include "tamrin/formats/xyz/xyz.h"
#include "tamrin/model/molbase.h"
#include "tamrin/streams/molstream.h"

namespace Tamrin {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Digits only, the whole text, within 32 bits.
bool ParseDecimal(std::string_view s, unsigned& value) {
  std::uint32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  value = v;
  return true;
}

// The count line: blanks, at most one '+', digits, blanks.
bool ParseCount(std::string_view line, unsigned& n) {
  line = TrimBlanks(line);
  if (!line.empty() && line.front() == '+') line.remove_prefix(1);
  return ParseDecimal(line, n);
}

// The C library's conversion takes forms the fast path does not (a '+'
// sign, hexadecimal, "nan(...)"). Its C-locale variant keeps a reader in a
// process whose locale writes decimal commas from accepting "1,5".
double StrtodC(const char* text, char** stop) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  return c_locale ? strtod_l(text, stop, c_locale) : std::strtod(text, stop);
}

// A field is a number when the C library's string-to-double conversion takes
// all of it (trailing blanks, tabs and line feeds aside, which the field
// splitting has removed already). fast_float gives the same value for every
// form it accepts, so it answers first.
bool ParseDouble(std::string_view field, double& value) {
  const char* first = field.data();
  const char* last = first + field.size();
  const auto [end, ec] = fast_float::from_chars(first, last, value);
  if (ec == std::errc() && end == last) return true;

  const std::string text(field);
  char* stop = nullptr;
  const double v = StrtodC(text.c_str(), &stop);
  for (const char* p = stop; *p; ++p)
    if (!IsBlank(*p) && *p != '\n') return false;
  value = v;
  return true;
}

// Up to the first kKept fields of a line; `count` says how many there were,
// stopping at kKept since further fields are ignored.
struct AtomFields {
  static constexpr unsigned kKept = 5;
  std::array<std::string_view, kKept> field;
  unsigned count = 0;

  explicit AtomFields(std::string_view line) {
    std::size_t i = 0;
    while (count < kKept) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      if (i == line.size()) break;
      const std::size_t start = i;
      while (i < line.size() && !IsBlank(line[i])) ++i;
      field[count++] = line.substr(start, i - start);
    }
  }
};

// A symbol, else a whole number for fields that start with a digit; 0 when
// neither gives an element.
unsigned ElementOf(std::string_view field) {
  unsigned z = QvGetAtomicNum(field);
  if (z == 0 && field.front() >= '0' && field.front() <= '9' && !ParseDecimal(field, z)) return 0;
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
    if (!ParseDouble(fields.field[i + 1], xyz[i])) return false;
  mol.SetCoords(atom, xyz);

  double charge;
  if (fields.count >= 5 && ParseDouble(fields.field[4], charge)) atom->SetPartialCharge(charge);
  return true;
}

}  // namespace

bool QvXYZReadFxn(qvmolistream& in, QvMolBase& mol) {
  mol.SetDimension(3);
  std::string line;
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
