// Macromodel structure files: one record per structure, a header line with
// the atom count and the title, then one line per atom giving its
// Macromodel atom type, six (neighbour, bond order) pairs, x, y, z and
// further fields of which the partial charge is read (the third after z).
// The atom type carries the element; a file of consecutive conformers is
// read one record each, combined by the streams under a conformer test.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (the format's record is in mmodformat.cpp).
#pragma once

namespace Pellar {
class qvostream;
}

namespace Tamrin {

class QvAtomBase;
class QvMolBase;
class qvmolistream;

// The output flavor bits of MMOD.
namespace QvOFlavor::MMOD {
// Implicit hydrogens written as atoms: Macromodel counts no implicit ones.
inline constexpr unsigned AddHydrogens = 0x1;
}  // namespace QvOFlavor::MMOD

// The element of a Macromodel atom type; 0 for the dummy, lone-pair and
// "any atom" types and for numbers that name no type.
unsigned QvMMODTypeElement(unsigned type);
// The formal charge a type implies (carbanion, carbocation, cationic
// nitrogen, H+ and H-), 0 for the rest. The oxide type 18 depends on the
// bonds: the reader charges it where there is no double bond.
int QvMMODTypeCharge(unsigned type);
// The type written for an atom: from its element, formal charge, double and
// triple bonds, aromaticity, and for hydrogen its neighbour's element.
unsigned QvMMODAtomType(const QvAtomBase& atom);

// Reads the next record into `mol`, which the caller has cleared. False,
// without a message, at the end of input and for a malformed record (a
// missing or unreadable field, a neighbour outside the record); the lines
// the header announces are consumed all the same. The dimension becomes 2
// when every z is 0, else 3. Bonds listed from one end only are taken too.
bool QvMMODReadFxn(qvmolistream& in, QvMolBase& mol);

// Writes one record: with `add_hydrogens` the implicit hydrogens as atoms;
// a 2D layout when the molecule has no coordinates (dimension 0, or every
// atom at the origin); aromatic bonds in a Kekulé form. The format holds six
// bonds per atom: further ones are left out with a warning. Elements without
// a Macromodel type are written as type 62 and read back as atomic number 0.
void QvMMODWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, bool add_hydrogens);

}  // namespace Tamrin
