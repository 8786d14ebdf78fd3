// XYZ: one molecule per record as an atom count line, a title line and one
// line per atom with an element, x, y, z in Ångström and optionally a
// partial charge. The format has no bonds; the molecule streams rebuild them
// from the coordinates after reading when the input flavor asks for it.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (the format's record is in xyzformat.cpp); the functions here are the
// record reader and writer behind them.
#pragma once

namespace Pellar {
class qvostream;
}

namespace Tamrin {

// The output flavor bits of XYZ.
namespace QvOFlavor::XYZ {
// A fifth column with the partial charges.
inline constexpr unsigned Charges = 0x1;
// Element symbols rather than atomic numbers.
inline constexpr unsigned Symbols = 0x2;
// 5 decimals (what is written anyway) or 18; not both.
inline constexpr unsigned SinglePrecision = 0x4;
inline constexpr unsigned DoublePrecision = 0x8;
}  // namespace QvOFlavor::XYZ

class QvMolBase;
class qvmolistream;

// Reads the next record into `mol`, which the caller has cleared; the
// molecule's dimension becomes 3. False, without a message, at the end of
// input and for a malformed record; the lines read up to the fault are
// consumed and the next call starts after them. An element that is neither
// a symbol nor an atomic number gives an atom of atomic number 0 carrying
// the field as its name. A record with the count 0 is an empty molecule.
bool QvXYZReadFxn(qvmolistream& in, QvMolBase& mol);

// Writes one record. `charges`: a fifth column with the partial charges,
// when at least one of them is not 0. `symbols`: element symbols rather than
// atomic numbers. `long_precision`: 18 decimals in place of 5.
void QvXYZWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, bool charges, bool symbols,
                   bool long_precision);

}  // namespace Tamrin
