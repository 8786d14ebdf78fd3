#include "tamrin/formats/inchi/inchishape.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace Tamrin {

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Upper(char c) { return c >= 'A' && c <= 'Z'; }
bool Lower(char c) { return c >= 'a' && c <= 'z'; }
bool Alnum(char c) { return Digit(c) || Upper(c) || Lower(c); }

// Reads the digits at `i` (at most four, no leading zero); `value` keeps
// `absent` when there are none. False for a number InChI never writes.
bool ReadNumber(std::string_view s, std::size_t& i, unsigned& value, unsigned absent) {
  const std::size_t start = i;
  while (i < s.size() && Digit(s[i])) ++i;
  if (i == start) {
    value = absent;
    return true;
  }
  if (i - start > 4 || (s[start] == '0' && i - start > 1)) return false;
  value = static_cast<unsigned>(std::stoul(std::string(s.substr(start, i - start))));
  return true;
}

std::vector<std::string_view> Split(std::string_view s, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t begin = 0;;) {
    const std::size_t end = s.find(separator, begin);
    parts.push_back(s.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (end == std::string_view::npos) return parts;
    begin = end + 1;
  }
}

// The heavy-atom count of each component of a formula, multipliers
// expanded; false for a formula of another shape.
bool Components(std::string_view formula, std::vector<unsigned>& heavy) {
  for (std::string_view part : Split(formula, '.')) {
    std::size_t i = 0;
    unsigned k = 1;
    if (!ReadNumber(part, i, k, 1) || k == 0 || (i > 0 && k < 2) || i == part.size()) return false;
    unsigned atoms = 0;
    while (i < part.size()) {
      const std::size_t symbol = i;
      if (!Upper(part[i++])) return false;
      if (i < part.size() && Lower(part[i])) ++i;
      const std::string_view element = part.substr(symbol, i - symbol);
      const std::size_t digits = i;
      unsigned count = 1;
      if (!ReadNumber(part, i, count, 1) || (i > digits && count < 2)) return false;
      if (element != "H") atoms += count;
    }
    if (heavy.size() + k > 4096) return false;
    heavy.insert(heavy.end(), k, atoms);
  }
  return true;
}

// The parts of a per-component layer, "k*" multipliers expanded.
bool Parts(std::string_view layer, std::vector<std::string_view>& parts) {
  for (std::string_view part : Split(layer, ';')) {
    std::size_t i = 0;
    unsigned k = 1;
    if (!ReadNumber(part, i, k, 1)) return false;
    if (i < part.size() && part[i] == '*' && i > 0 && k >= 2) {
      part.remove_prefix(i + 1);
    } else {
      k = 1;
    }
    if (parts.size() + k > 4096) return false;
    parts.insert(parts.end(), k, part);
  }
  return true;
}

// A connection walk over atoms 1 to n: numbers joined by '-', with
// branches in parentheses and ',' between branches; every atom named.
bool Connections(std::string_view walk, unsigned n) {
  if (n <= 1) return walk.empty();
  std::vector<bool> seen(n + 1, false);
  int depth = 0;
  bool expect_atom = true;
  for (std::size_t i = 0; i < walk.size();) {
    if (expect_atom) {
      unsigned atom = 0;
      if (!Digit(walk[i]) || !ReadNumber(walk, i, atom, 0) || atom == 0 || atom > n) return false;
      seen[atom] = true;
      expect_atom = false;
      continue;
    }
    switch (walk[i++]) {
      case '(':
        ++depth;
        expect_atom = true;
        break;
      case '-':
      case ',':
        expect_atom = true;
        break;
      case ')':
        // The chain goes on after a branch: "4(2)5".
        if (--depth < 0) return false;
        expect_atom = i < walk.size() && Digit(walk[i]);
        break;
      default:
        return false;
    }
  }
  if (expect_atom || depth != 0) return false;
  for (unsigned atom = 1; atom <= n; ++atom)
    if (!seen[atom]) return false;
  return true;
}

// Layers come in a fixed order within each part of an InChI: the main
// layers, the isotopic ones after /i, the fixed-H ones after /f (with their
// own /i part).
class LayerOrder {
 public:
  // False for a letter that cannot follow the layers seen so far.
  bool Next(char letter) {
    if (letter == 'i' && (part_ == Part::Main || part_ == Part::Fixed))
      return Enter(part_ == Part::Main ? Part::Isotopic : Part::FixedIsotopic);
    if (letter == 'f' && (part_ == Part::Main || part_ == Part::Isotopic)) return Enter(Part::Fixed);
    const std::string_view order = kOrders[static_cast<int>(part_)];
    const std::size_t rank = order.find(letter);
    if (rank == std::string_view::npos || static_cast<int>(rank) <= last_) return false;
    last_ = static_cast<int>(rank);
    return true;
  }
  bool InMain() const { return part_ == Part::Main; }

 private:
  enum class Part { Main, Isotopic, Fixed, FixedIsotopic };
  static constexpr std::string_view kOrders[] = {"chqpbtms", "hbtms", "hqbtmso", "hbtmso"};
  bool Enter(Part part) {
    part_ = part;
    last_ = -1;
    return true;
  }
  Part part_ = Part::Main;
  int last_ = -1;
};

// The formula and the layers after it; a reconnected part (/r) is a body
// of its own.
bool Body(std::string_view body) {
  const std::size_t formula_end = std::min(body.find('/'), body.size());
  std::vector<unsigned> heavy;
  if (formula_end == 0 || !Components(body.substr(0, formula_end), heavy)) return false;
  constexpr std::string_view kLayerPunctuation = ",;()*+-?.";
  LayerOrder order;
  bool connections = false;
  for (std::size_t start = formula_end; start < body.size();) {
    const std::size_t end = std::min(body.find('/', start + 1), body.size());
    const std::string_view layer = body.substr(start + 1, end - start - 1);
    if (!layer.empty() && layer.front() == 'r') return Body(body.substr(start + 2));
    if (layer.empty() || !order.Next(layer.front())) return false;
    for (char c : layer)
      if (!Alnum(c) && kLayerPunctuation.find(c) == std::string_view::npos) return false;
    // The fixed-H layer may restate the formula: the same heavy atoms, the
    // components perhaps in another order.
    if (layer.front() == 'f' && layer.size() > 1) {
      std::vector<unsigned> fixed;
      if (!Components(layer.substr(1), fixed)) return false;
      std::vector<unsigned> main = heavy;
      std::sort(main.begin(), main.end());
      std::sort(fixed.begin(), fixed.end());
      if (fixed != main) return false;
    }
    if (order.InMain() && std::string_view("chq").find(layer.front()) != std::string_view::npos) {
      std::vector<std::string_view> parts;
      if (!Parts(layer.substr(1), parts) || parts.size() != heavy.size()) return false;
      if (layer.front() == 'c') {
        connections = true;
        for (std::size_t k = 0; k < parts.size(); ++k)
          if (!Connections(parts[k], heavy[k])) return false;
      }
    }
    start = end;
  }
  if (!connections)
    for (unsigned n : heavy)
      if (n > 1) return false;
  return true;
}

}  // namespace

bool QvLooksLikeInChI(std::string_view text) {
  constexpr std::string_view kStandard = "InChI=1S/";
  constexpr std::string_view kOther = "InChI=1/";
  if (text.starts_with(kStandard)) return Body(text.substr(kStandard.size()));
  if (text.starts_with(kOther)) return Body(text.substr(kOther.size()));
  return false;
}

}  // namespace Tamrin
