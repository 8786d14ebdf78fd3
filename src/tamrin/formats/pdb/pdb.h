// PDB: one molecule per model or file section; atoms from ATOM and HETATM
// records with their residue data (tamrin/model/residue.h), bonds from
// CONECT records, and the header records kept on the molecule as (record
// name, rest of line) pairs so that a molecule read from PDB writes back
// with its header.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (the format's record is in pdbformat.cpp); the functions here are the
// record reader and writer behind them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sorvil/base/typeid.h"

namespace Pellar {
class qvostream;
}

namespace Tamrin {

class QvAtomBase;
class QvMolBase;
class qvmolistream;

// The reader flags (the low byte of the input flavor).
namespace QvIFlavor::PDB {
inline constexpr unsigned TER = 0x01;      // a TER record ends the molecule
inline constexpr unsigned END = 0x02;      // an END record ends the molecule
inline constexpr unsigned ENDMDL = 0x04;   // an ENDMDL record ends the molecule
inline constexpr unsigned ALL = 0x08;      // no alternate-location, dummy or " Q" filter
inline constexpr unsigned Charge = 0x20;   // columns 61-67 are the partial charge
inline constexpr unsigned Radius = 0x40;   // columns 55-60 are the radius
inline constexpr unsigned FormalCharge = 0x80;  // columns 79-80
}  // namespace QvIFlavor::PDB

// The writer flags.
namespace QvOFlavor::PDB {
inline constexpr unsigned CONECT = 0x001;        // CONECT for every bond
inline constexpr unsigned OrderCONECT = 0x002;   // ... with orders as repeated entries
inline constexpr unsigned BothCONECT = 0x004;    // ... from both ends
inline constexpr unsigned Charge = 0x008;        // partial charge for the B-factor
inline constexpr unsigned Radius = 0x010;        // radius for the occupancy
inline constexpr unsigned TER = 0x020;           // close with "TER" rather than "END"
inline constexpr unsigned Element = 0x040;       // element in columns 77-78
inline constexpr unsigned ElementCharge = 0x080; // element and formal charge in 77-80
inline constexpr unsigned HetCONECT = 0x100;     // CONECT only for bonds with a HETATM atom
}  // namespace QvOFlavor::PDB

// Reads the next molecule. False at the end of input when no atom was read.
// Damaged records are reported and skipped; the rest of the molecule stands.
bool QvPDBReadFxn(qvmolistream& in, QvMolBase& mol, unsigned flags);

// Writes one molecule; false, with nothing written, when a residue name or
// chain ID cannot be mapped to one the format takes.
bool QvPDBWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, unsigned flags);

// The header records kept with a molecule, in file order. `record` is the
// record name as it stands ("REMARK", "TITLE"), `rest` the line after it, so
// record + rest is the line.
void QvAddPDBData(QvMolBase& mol, std::string_view record, std::string_view rest);
std::vector<std::pair<std::string, std::string>> QvGetPDBData(const QvMolBase& mol);
void QvClearPDBData(QvMolBase& mol);

// Anisotropic displacement of an atom (ANISOU, U(ij) times 10^4), kept under
// the built-in anisotropy tag.
struct QvAnisoU {
  int u[6] = {};
  bool operator==(const QvAnisoU&) const = default;
};
const QvAnisoU* QvGetAnisoU(const QvAtomBase& atom);

}  // namespace Tamrin

QV_DATA_TYPE(Tamrin::QvAnisoU, "Tamrin::QvAnisoU")
