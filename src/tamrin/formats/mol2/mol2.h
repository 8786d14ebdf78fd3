// Tripos MOL2: one molecule per "@<TRIPOS>MOLECULE" record, with its atoms
// (name, coordinates, Tripos type, substructure, partial charge) and bonds
// (Tripos bond types) in the sections that follow.
//
// Reading and writing normally go through QvReadMolecule and QvWriteMolecule
// (formats MOL2 and MOL2H, whose records are in mol2format.cpp); the
// functions here are the record reader and writer behind them.
#pragma once

namespace Tamrin {

class QvMolBase;
class qvmolistream;
class qvmolostream;

// The output flavor bits of MOL2 and MOL2H.
namespace QvOFlavor::MOL2 {
inline constexpr unsigned AtomTypes = 0x1;         // Tripos atom types before writing
inline constexpr unsigned BondTypes = 0x2;         // Tripos bond types before writing
inline constexpr unsigned AtomNames = 0x4;         // "C1", "C2", "N1", ... before writing
inline constexpr unsigned Prepare3D = 0x8;         // bond orders for bare 3D connectivity
inline constexpr unsigned ExplicitHydrogens = 0x10;
inline constexpr unsigned DropSingleSubstructure = 0x20;
inline constexpr unsigned LongCharges = 0x40;      // "%10.5f" rather than "%10.4f"
inline constexpr unsigned Forcefield = 0x80;
}  // namespace QvOFlavor::MOL2

// The input flavor bits of MOL2 (MOL2H always keeps its hydrogens).
namespace QvIFlavor::MOL2 {
inline constexpr unsigned KeepHydrogens = 0x1;
inline constexpr unsigned Residues = 0x2;          // substructure names become residues
}  // namespace QvIFlavor::MOL2

// Reads the next record into `mol` (cleared by the caller). Lines before the
// record's "@<TRIPOS>MOLECULE" are skipped; the record ends before the next
// one, which is left for the next call. False without a message at the end
// of data; a malformed record is reported as "Unable to read MOL2 file
// because of ..." and leaves `mol` empty. Residues from substructure names
// when the stream's input flavor for MOL2 has QvIFlavor::MOL2::Residues.
bool ReadMOL2Record(qvmolistream& in, QvMolBase& mol, bool keep_hydrogens);

// Writes one record under the output flavor `flavor` (the bits above and
// the generic ring and aromaticity bits). Returns a QvWriteMolecule status:
// 0, or QvWriteFailed (17) when a Forcefield-flavor record lacked a type or
// name and nothing was written.
int WriteMOL2Record(qvmolostream& out, const QvMolBase& mol, unsigned flavor);

}  // namespace Tamrin
