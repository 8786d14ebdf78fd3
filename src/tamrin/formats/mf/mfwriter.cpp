#include <map>
#include <string>
#include <string_view>

#include "pellar/numformat.h"
#include "tamrin/chem/elements.h"
#include "tamrin/formats/mf/mf.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

constexpr std::string_view kWildcard = "*";

void AppendCount(std::string& out, std::string_view symbol, unsigned long long count) {
  if (count == 0) return;
  out += symbol;
  if (count > 1) Pellar::AppendInt(out, count);
}

}  // namespace

std::string QvMolecularFormula(const QvMolBase& mol) {
  // Symbols in ASCII order; few distinct elements, so a map costs nothing.
  std::map<std::string_view, unsigned long long> counts;
  unsigned long long hydrogens = 0;
  long long charge = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    hydrogens += atom.GetImplicitHCount();
    charge += atom.GetFormalCharge();
    const unsigned z = atom.GetAtomicNum();
    if (z == 1) {
      ++hydrogens;
      continue;
    }
    const std::string_view symbol = QvGetAtomicSymbol(z);
    ++counts[symbol.empty() ? kWildcard : symbol];
  }

  std::string out;
  AppendCount(out, "C", counts["C"]);
  counts.erase("C");
  AppendCount(out, "H", hydrogens);
  for (const auto& [symbol, count] : counts) AppendCount(out, symbol, count);

  if (charge != 0) {
    out += charge > 0 ? '+' : '-';
    const unsigned long long size = charge > 0 ? charge : -charge;
    if (size > 1) Pellar::AppendInt(out, size);
  }
  return out;
}

}  // namespace Tamrin
