// Implicit hydrogen counts from standard valences (the reading step D).
#pragma once

namespace Tamrin {

class QvAtomBase;
class QvMolBase;

// Sets the implicit hydrogen count of `atom` to (lowest standard valence not
// below its bond-order sum) − (that sum), for the organic subset: B 3; C 4;
// N 3, 5; O 2; P 3, 5; S 2, 4, 6; F, Cl, Br, I 1; and As as P, Se and Te as
// S. A formal charge of ±1 moves the atom to the valences of its
// isoelectronic neighbour (valence.h): +1 on N or P gives 4; +1 on O gives 3,
// on S 3 or 5; −1 on C gives 3, on N or P 2, on O or S 1, on B 4; +1 on C or
// B gives 3 or 2; on a halogen +1 gives 2 and −1 gives 0. Bond orders count
// as such, except an unresolved aromatic order (5), which counts 1.5, the sum
// rounded down. Other elements, other charges, and atoms whose sum exceeds
// every standard valence keep their count. Returns whether the count was set.
bool QvAssignImplicitHCount(QvAtomBase& atom);

// QvAssignImplicitHCount for every undeleted atom. Linear in atoms + bonds.
// Sets no perception bit of its own (the counts feed aromaticity, whose bit a
// changed count clears).
void QvAssignImplicitHydrogens(QvMolBase& mol);

}  // namespace Tamrin
