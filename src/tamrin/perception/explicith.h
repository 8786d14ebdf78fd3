// Implicit hydrogens made into atoms, for writers of formats that list every
// atom (quantum-chemistry input decks, force-field files).
#pragma once

namespace Tamrin {

class QvMolBase;
class QvWorkingMol;

// Adds each atom's implicit hydrogens as hydrogen atoms bonded to it by single
// bonds and sets its implicit count to 0; returns how many were added. The new
// atoms get positions for a starting geometry, not an optimised one: a
// typical X-H length from the parent, spread away from its other bonds (in
// the xy plane when the molecule's dimension is 2). A molecule without
// coordinates (dimension 0) gets no positions; lay it out afterwards.
unsigned QvAddExplicitHydrogens(QvMolBase& mol);

// Whether the molecule has coordinates: a dimension other than 0 and, with
// more than one atom, an atom away from the origin.
bool QvHasCoordinates(const QvMolBase& mol);

// A writer's molecule for such formats: with `add_hydrogens` the implicit
// hydrogens made atoms, and a 2D layout when it has no coordinates, on the
// working copy when either applies.
const QvMolBase& QvPrepareAllAtoms(QvWorkingMol& work, bool add_hydrogens);

}  // namespace Tamrin
