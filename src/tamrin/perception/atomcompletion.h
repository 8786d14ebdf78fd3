// The per-atom completion step of reading from coordinates.
#pragma once

namespace Tamrin {

class QvMolBase;

// Hydrogen counts for molecules whose hydrogens are atoms of their own. A
// file of coordinates that lists any hydrogen lists all of them, so in a
// molecule with at least one hydrogen atom every implicit hydrogen count is
// set to 0: the implicit-hydrogen step, which runs before this one and knows
// only standard valences, would otherwise give an atom that the bond-order
// step left short (a radical, an unusual valence) hydrogens the file never
// had. Molecules without hydrogen atoms keep the counts that step gave them.
// Sets no perception bit (a changed count clears the aromaticity bit).
void QvCompleteAtoms(QvMolBase& mol);

}  // namespace Tamrin
