// Fresh 2D depictions for molecules that come without a layout (a SMILES
// record written as a molfile, a 3D structure drawn flat).
//
// Each connected component is laid out on its own, by the coordgen library
// when the component suits it and by our own ring-and-chain layout otherwise
// (components too large for its quadratic refinement, atoms with more bonds
// than it draws, rings too large for its macrocycle builder, or a result with
// atoms on top of each other that ours improves on). The components are then set
// side by side in rows, left to right. Double bonds with a stored cis/trans
// configuration (tamrin/perception/stereo.h) are drawn with it: a side that
// comes out wrong is mirrored across the bond, which works for every double
// bond outside a ring; ring bonds keep what the layout made of them.
//
// Bonds are drawn kQvLayout2DBondLength long, the length common drawing
// programs write into molfiles, so the depictions look familiar next to
// theirs.
#pragma once

namespace Tamrin {

class QvMolBase;

inline constexpr double kQvLayout2DBondLength = 1.5;

// MDL output flavor bit 0x200, passed on by the molfile writer: our own
// layout only, without coordgen. About ten times faster on drug-like
// molecules and equally free of overlapping atoms, but plainer (no ring
// templates, no refinement of angles), for bulk conversion where time
// matters more than looks.
inline constexpr unsigned kQvLayout2DQuick = 0x200;

// Fresh 2D coordinates for every atom (z = 0) and dimension 2; depictions
// without overlapping atoms for ring systems and chains. `options` is the MDL
// output flavor bit 0x200 (kQvLayout2DQuick); other bits are ignored. Atoms
// only reachable through bonds with an empty end count as separate
// components. Stereo perception bits 4 and 8 are cleared (any coordinate
// write invalidates them); the stored configurations themselves stay.
// False, coordinates unchanged, when the molecule takes no coordinates (a
// multi-conformer molecule without an active conformer).
bool QvGenerate2DCoordinates(QvMolBase& mol, unsigned options);

}  // namespace Tamrin
