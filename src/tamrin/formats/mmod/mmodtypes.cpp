// Macromodel atom types. The numbers run in element blocks (carbon 1-14,
// oxygen 15-23, nitrogen 24-40, hydrogen 41-48, sulfur 49-52, then one or two
// per element); within a block they tell hybridisation, charge and united-atom
// forms apart, of which the writer uses the all-atom ones only.
#include "tamrin/formats/mmod/mmod.h"
#include "tamrin/model/molbase.h"

namespace Tamrin {

namespace {

struct Block {
  unsigned first, last, element;
};
constexpr Block kBlocks[] = {{1, 14, 6},   {15, 23, 8},  {24, 40, 7},  {41, 48, 1},  {49, 52, 16},
                             {53, 53, 15}, {54, 55, 5},  {56, 56, 9},  {57, 57, 17}, {58, 58, 35},
                             {59, 59, 53}, {60, 60, 14}};

struct Bonding {
  unsigned doubles = 0, triples = 0, degree = 0;
  bool aromatic = false;
  unsigned first_neighbour = 0;  // its element
};

Bonding BondingOf(const QvAtomBase& atom) {
  Bonding b;
  b.aromatic = atom.IsAromatic();
  for (const QvBondBase& bond : atom.GetBonds()) {
    const QvAtomBase* nbr = bond.GetNbr(&atom);
    if (!nbr) continue;
    if (b.degree++ == 0) b.first_neighbour = nbr->GetAtomicNum();
    const unsigned order = bond.GetOrder();
    b.doubles += order == 2;
    b.triples += order == 3;
    b.aromatic |= bond.IsAromatic();
  }
  return b;
}

}  // namespace

unsigned QvMMODTypeElement(unsigned type) {
  for (const Block& block : kBlocks)
    if (type >= block.first && type <= block.last) return block.element;
  return 0;
}

int QvMMODTypeCharge(unsigned type) {
  switch (type) {
    case 11:  // carbocation
    case 31:  // sp2 and sp3 cationic nitrogen
    case 32:
    case 44:  // H+
      return 1;
    case 10:  // carbanion
    case 45:  // hydride
      return -1;
    default:
      return 0;
  }
}

unsigned QvMMODAtomType(const QvAtomBase& atom) {
  const int charge = atom.GetFormalCharge();
  const Bonding b = BondingOf(atom);
  const bool sp2 = b.doubles != 0 || b.aromatic;
  switch (atom.GetAtomicNum()) {
    case 0: return 61;
    case 1:
      if (charge != 0) return charge > 0 ? 44 : 45;
      switch (b.first_neighbour) {
        case 6: return 41;
        case 7: return 43;
        case 8:
        case 16: return 42;
        default: return 48;
      }
    case 6:
      if (charge != 0) return charge > 0 ? 11 : 10;
      if (b.triples != 0 || b.doubles >= 2) return 1;
      return sp2 ? 2 : 3;
    // A cationic nitrogen is 32 whatever its hybridisation: the sp2 cation's
    // own number, 31, is read by other programs as an element number.
    case 7:
      if (charge > 0) return 32;
      if (b.triples != 0) return 24;
      return sp2 ? 25 : 26;
    case 8:
      if (charge < 0) return 18;
      return sp2 ? 15 : 16;
    case 5: return b.degree >= 4 ? 55 : 54;
    case 9: return 56;
    case 14: return 60;
    case 15: return 53;
    case 16: return 49;
    case 17: return 57;
    case 35: return 58;
    case 53: return 59;
    default: return 62;  // any other element: Macromodel has no type that keeps it
  }
}

}  // namespace Tamrin
