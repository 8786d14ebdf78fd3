// Small-molecule CIF data blocks: unit cell, symmetry operators and
// fractional coordinates, expanded from the asymmetric unit to whole
// molecules. The CIF reader (one data block per record) hands such blocks
// here; blocks with Cartesian atom sites are macromolecular and read apart.
#pragma once

namespace gemmi::cif {
struct Block;
}

namespace Tamrin {

class QvMolBase;
class qvmolostream;

// Reads `block` into `mol` (cleared by the caller) under the CIF input
// flavor; false, after reporting why, when the block holds no molecule.
bool QvReadSmallMoleculeBlock(const gemmi::cif::Block& block, QvMolBase& mol, unsigned flavor);

// Writes `mol` as one small-molecule data block; a QvWriteMolecule status.
int QvWriteSmallMoleculeBlock(qvmolostream& out, const QvMolBase& mol, unsigned flavor);

}  // namespace Tamrin
