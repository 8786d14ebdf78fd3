// MDL atom parities both ways, and the stereo groups that a molfile's chiral
// flag stands for.
//
// MDL parity: the neighbours of a centre are numbered by ascending atom
// index, hydrogen atoms and then the implicit hydrogen (or the lone pair of a
// three-connected centre) counting highest. Seen with the highest-numbered
// neighbour pointing away from the viewer, the other three running 1, 2, 3
// clockwise is parity 1, anticlockwise parity 2; 3 is "either". In the terms
// of stereo.h, parity 1 is QvChirality::Clockwise along that neighbour order
// and parity 2 QvChirality::Anticlockwise.
#pragma once

namespace Tamrin {

class QvAtomBase;
class QvMolBase;

// Replaces every atom configuration by the atoms' "MDLAtomParity" data (int):
// parities 1 and 2 on candidate centres become configurations; 3, other
// values, and parities on atoms that are no centres set nothing. Sets bit 4.
void QvPerceiveAtomStereoFromParities(QvMolBase& mol);

// The MDL parity of `atom` from its stored configuration: 1 or 2, or 0 when
// it has none (the storage has no "either" state, so 3 never comes out).
unsigned QvMDLParity(const QvAtomBase& atom);

// Sets "MDLAtomParity" (int) to QvMDLParity on every atom with a stored
// configuration and deletes it from every other atom.
void QvDeriveMDLParities(QvMolBase& mol);

// Stereo groups (stereo.h) from the molecule's chiral flag, the bool data
// "MDLParity": with the flag set, every configured centre without a group
// becomes absolute; with it clear or absent, they all join one new racemic
// group (And, numbered one above the highest And group present), which is
// what the MDL chiral flag 0 means: the drawn configuration and its mirror
// image. Centres that already belong to a group keep it. False when a group
// cannot be set (the numbers have run out).
bool QvCreateMDLStereoGroups(QvMolBase& mol);

}  // namespace Tamrin
