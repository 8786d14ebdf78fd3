#include "tamrin/formats/mdl/mdlvalence.h"

#include <array>

#include "tamrin/model/atombase.h"
#include "tamrin/model/bondbase.h"
#include "tamrin/perception/kekulize.h"

namespace Tamrin {

namespace {

enum Kind : unsigned { kNoModel, kGroup1, kGroup2, kPeriod2, kPeriod3, kPeriod4, kPeriod5, kPeriod6 };

struct Element {
  Kind kind;
  int electrons;  // valence electrons of the neutral p-block atom
};

// The first element of each p-block row (group 13) and the row's kind.
struct PRow {
  unsigned first;
  Kind kind;
};
constexpr PRow kPRows[] = {{5, kPeriod2}, {13, kPeriod3}, {31, kPeriod4}, {49, kPeriod5}, {81, kPeriod6}};

Element Classify(unsigned z) {
  switch (z) {
    case 1: case 3: case 11: case 19: case 37: case 55: case 87: return {kGroup1, 1};
    case 4: case 12: case 20: case 38: case 56: case 88: return {kGroup2, 2};
    default: break;
  }
  for (const PRow& row : kPRows)
    if (z >= row.first && z < row.first + 5) return {row.kind, static_cast<int>(z - row.first) + 3};
  return {kNoModel, 0};
}

using Set = std::span<const unsigned>;
constexpr std::array<unsigned, 1> k1{1}, k2{2}, k3{3}, k4{4};
constexpr std::array<unsigned, 2> k13{1, 3}, k24{2, 4}, k35{3, 5};
constexpr std::array<unsigned, 3> k246{2, 4, 6};
constexpr std::array<unsigned, 4> k1357{1, 3, 5, 7};

// Rows of the table in the header, columns for 1 to 7 electrons; an empty
// span is a "-".
constexpr std::size_t kPRowCount = 5;
const std::array<std::array<Set, 7>, kPRowCount> kByElectrons{{
    {{k1, k2, k3, k4, k35, k2, k1}},
    {{k1, k2, k3, k4, k35, k246, k1357}},
    {{k1, Set{}, k3, k4, k35, k246, k1357}},
    {{k1, Set{}, k3, k24, k35, k246, k1357}},
    {{k1, Set{}, k13, k24, k35, k246, k1357}},
}};

}  // namespace

std::span<const unsigned> QvMDLValences(unsigned atomic_num, int formal_charge) {
  const Element e = Classify(atomic_num);
  switch (e.kind) {
    case kNoModel: return {};
    case kGroup1: return formal_charge == 0 ? Set(k1) : Set{};
    case kGroup2: return formal_charge == 0 ? Set(k2) : formal_charge == 1 ? Set(k1) : Set{};
    default: break;
  }
  // Charges far outside any chemistry cannot overflow: the charge of an
  // atom record is 16 bits.
  const int shifted = e.electrons - formal_charge;
  if (shifted < 1 || shifted > 7) return {};
  return kByElectrons[e.kind - kPeriod2][shifted - 1];
}

unsigned QvMDLDefaultValence(unsigned atomic_num, int formal_charge, unsigned explicit_valence) {
  for (const unsigned valence : QvMDLValences(atomic_num, formal_charge))
    if (valence >= explicit_valence) return valence;
  return explicit_valence;
}

unsigned QvMDLImplicitHCount(const QvAtomBase& atom) {
  unsigned twice = 0;  // in half bond orders
  for (const QvBondBase& bond : atom.GetBonds())
    twice += bond.GetOrder() == kQvAromaticOrder ? 3 : 2 * bond.GetOrder();
  const unsigned used = twice / 2;
  return QvMDLDefaultValence(atom.GetAtomicNum(), atom.GetFormalCharge(), used) - used;
}

}  // namespace Tamrin
