// Tripos (Sybyl) atom and bond types: the typing that MOL2 files carry and
// docking programs expect, and the way back from types to bond orders,
// charges and hydrogen counts for files that only carry the types.
#pragma once

#include <string_view>

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;

// The Tripos atom types by index; 0 ("Du") means none applies.
inline constexpr unsigned kQvNumTriposTypes = 44;
// The name of a type index ("C.ar"); "Du" for indices out of range.
const char* QvTriposTypeName(unsigned index);
// The index of a type name, exact spelling; 0 for names not in the table.
unsigned QvTriposTypeIndex(std::string_view name);

// The Tripos type of an atom from its element, formal charge, bond orders,
// aromatic flags and hydrogens (implicit and explicit), the flags as the
// caller perceived them (MOL2 writing applies the Tripos aromaticity model
// first). Modelling choices where the Tripos definitions leave room: every
// aromatic carbon is C.ar, an aromatic nitrogen N.ar except the neutral
// pyrrole-type N with three connections, which is N.pl3 (readers kekulize
// from that), ring O and S of aromatic rings are O.3 and S.3; an amide N is N.am, and so is the N of
// a sulfonamide, whose geometry is the same; the carbon of an amidinium or
// guanidinium (a C double bonded to N+ with another N bonded) is C.cat, as
// is that of a neutral guanidine, whose N are all N.pl3; both O of a
// carboxyl group, acid or anion, and the terminal O without hydrogen of a
// phosphate are O.co2. 0 for elements outside the table (boron, arsenic, ...), whose
// MOL2 type is then their element symbol.
unsigned QvTriposAtomType(const QvAtomBase& atom);

// Sets every atom's type string to the name of its type (the element
// symbol for elements without one, "Du" for wildcard atoms, which also
// keep a type "Lp" as lone pairs) and sets QvPerceivedHybridization.
void QvAssignTriposAtomTypes(QvMolBase& mol);

// Sets every bond's type name: "ar" for aromatic bonds, "am" for the C-N
// bond of an amide, otherwise its order ("1", "2", "3"); bonds of order 0
// are "du". Aromatic flags as for the atom types.
void QvAssignTriposBondTypes(QvMolBase& mol);
// The type name QvAssignTriposBondTypes gives one bond.
const char* QvTriposBondType(const QvBondBase& bond);

// How many hydrogens an atom of this type name has beyond its bonded
// neighbours: the type's valence less the explicit degree, never below 0
// (C.3 4, C.2, C.ar and C.cat 3, C.1 2, N.4 4, N.3, N.am and N.pl3 3, N.2
// and N.ar 2, N.1 1, O.3 2, O.2 1, S.3 2, S.2 1, P.3 3 below four
// neighbours, halogens 1 unless alone: a halide). Types that imply none
// (O.co2, S.o, S.o2, metals, H, unknown types) give 0.
unsigned QvTriposExpectedHCount(const QvAtomBase& atom);
// The same for a type name and an explicit degree.
unsigned QvTriposExpectedHCount(std::string_view type, unsigned degree);

// Bond orders and formal charges from the atom types, for a molecule read
// from a file that gives only types and bond types ("ar" or "1" where the
// chemistry says otherwise). On entry bonds have their orders from the file
// with unresolved aromatic bonds at order 5 (kekulize.h); then:
// - single bonds in rings between two aromatic-typed atoms (C.ar, N.ar)
//   that have no double or aromatic bond at all become aromatic (files
//   that write "1" throughout);
// - atoms whose type needs a double or triple bond that none of their bonds
//   gives (C.2, N.2, O.2, S.2, C.1, N.1) take it from a single bond to
//   another such atom, terminal atoms first;
// - aromatic bonds are kekulized;
// - charges: N.4 +1; a nitrogen whose bond orders and hydrogens come to 4
//   +1 (a nitro N written N(=O)=O loses one double bond to its O, which
//   becomes -1); a C.cat without a double bond takes one to an N, which
//   becomes +1; an O.co2 with a single bond to an atom that already has its
//   double bond to another terminal O is -1 (the first such O of a C, P or
//   S without one takes the double bond); a terminal O.2 left on a single
//   bond without hydrogen is -1 (N(=O)O written for a nitro group); atoms
//   without bonds or hydrogens are ions where their element says so
//   (alkali metals +1, Mg, Ca, Sr, Ba +2, halogens -1).
// Hydrogen counts are taken as they stand, so the caller sets the expected
// counts first for molecules without hydrogen atoms.
void QvAssignTriposBondOrders(QvMolBase& mol);

// Names every atom by the MOL2 convention: element symbol and a running
// number per element ("C1", "C2", "N1"), "Lp%d" for lone pairs (wildcard
// atoms typed "Lp") and "Du%d" for other wildcard atoms.
void QvNameAtomsTripos(QvMolBase& mol);

// The running numbers behind QvNameAtomsTripos, for callers that name atoms
// without storing the names.
class QvTriposNamer {
 public:
  // The next name for an atom of this element, written into `out`.
  std::string_view Next(unsigned atomic_num, bool lone_pair, char (&out)[24]);

 private:
  unsigned counts_[256] = {};
  unsigned lone_pairs_ = 0;
};

}  // namespace Tamrin
