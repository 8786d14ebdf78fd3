// Small-molecule CIF data blocks: unit cell, symmetry operators and
// fractional coordinates, expanded from the asymmetric unit to whole
// molecules. The CIF reader (one data block per record) hands such blocks
// here; blocks with Cartesian atom sites are macromolecular and read apart.
//
// Reading, with every flavor bit below set (as the molecule streams always
// have them):
// - atoms come from the `_atom_site_` loop (label, type symbol or else the
//   label's leading letters, fractional x, y, z, occupancy, disorder); an atom
//   without usable coordinates, or flagged `dum` (a dummy), is skipped with a
//   warning;
// - of each disorder assembly only its lowest-numbered group is kept, with
//   every atom outside disorder groups;
// - the symmetry operators come from the file's operator loop, else from its
//   Hall symbol, else from its Hermann-Mauguin name, else the cell is taken
//   as P 1; images that coincide with an earlier image of the same atom
//   (within kQvCIFSameSite, modulo the cell) are one atom;
// - one copy of each molecule the asymmetric unit holds a part of is kept
//   whole, grown from the atoms as the file places them; a network that
//   meets itself across the cell (a salt, a metal, a coordination polymer)
//   cannot be whole, and is given as the atoms of one unit cell instead.
// Cartesian coordinates (Å, a along x, b in the xy plane) make the molecule
// 3D; bonds are left to connectivity perception after the read. Atom names
// are the site labels, occupancies other than 1 are kept as atom data
// ("occupancy"), the cell as molecule data (kQvCIFCellTag), the title is the
// block name. Charges are not read: oxidation numbers are not formal charges.
#pragma once

namespace Tamrin::cifdoc {
struct Block;
}

namespace Tamrin {

class QvMolBase;
class qvmolostream;

// The input flavor bits the small-molecule reader reads.
namespace QvIFlavor::CIF {
// Apply the symmetry operators; clear: the asymmetric unit as written.
inline constexpr unsigned Symmetry = 0x10;
// Whole molecules; clear: every atom of the unit cell, in the cell.
inline constexpr unsigned WholeMolecules = 0x20;
// One group per disorder assembly; clear: every disorder group.
inline constexpr unsigned FirstDisorderGroup = 0x40;
}  // namespace QvIFlavor::CIF

// Molecule data: a, b, c (Å), alpha, beta, gamma (degrees) as a vector of
// six doubles. The writer writes the molecule in this cell when present.
inline constexpr const char* kQvCIFCellTag = "CIF cell";
// Two images of one atom closer than this (Å) are one atom on a special
// position. Coordinates given to four decimals in a 30 Å cell are good to
// 0.003 Å; the closest distinct images (a split atom beside a mirror) are
// over 0.3 Å apart.
inline constexpr double kQvCIFSameSite = 0.2;

// Reads `block` into `mol` (cleared by the caller) under the CIF input
// flavor; false, after reporting why, when the block holds no molecule.
bool QvReadSmallMoleculeBlock(const cifdoc::Block& block, QvMolBase& mol, unsigned flavor);

// Writes `mol` as one small-molecule data block in P 1: the block is named
// after the title, the cell is the one the molecule was read with or else a
// box with 5 Å around the atoms, one atom site per atom (its name when the
// names are unique CIF words, else element and number) and a bond loop when
// there are bonds. A QvWriteMolecule status.
int QvWriteSmallMoleculeBlock(qvmolostream& out, const QvMolBase& mol, unsigned flavor);

}  // namespace Tamrin
