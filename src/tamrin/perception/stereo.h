// Storage of stereo configurations on atoms and bonds: tetrahedral centres,
// cis/trans double bonds and enhanced stereo groups.
//
// The molecule model has no stereo fields of its own; the configurations are
// generic data on the atom or bond (tags "QvAtomStereo", "QvBondStereo" and
// "QvStereoGroup"). They are stored relative to the neighbours taken in
// ascending atom index, which Sweep and QvMolBase::Copy preserve, so a
// configuration survives both; callers always speak in terms of a neighbour
// order of their own choosing. A null neighbour stands for the atom's
// implicit hydrogen (or its lone pair when it has three connections). An
// atom copied into another molecule on its own (QvMolBase::NewAtom(source))
// carries the stored value along but not its meaning: state the
// configuration again there.
//
// Setting or clearing a configuration does not touch perception bits: the
// pass that sets all of a molecule's stereo sets QvPerceivedAtomStereo (4)
// and QvPerceivedBondStereo (8) when it is done, as the SMILES parser does.
#pragma once

#include <span>

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;

// As in SMILES: looking from the first neighbour, the others run
// anticlockwise ("@") or clockwise ("@@").
enum class QvChirality : unsigned { None = 0, Anticlockwise = 1, Clockwise = 2 };

// Records the configuration of `atom` for the neighbour order `nbrs`: four
// entries, its undeleted neighbours each once, and for an atom with three
// connections and at most one implicit hydrogen one null (that hydrogen or
// the lone pair) at its place in the order. False, changing nothing, when
// the list does not fit or `chirality` is None. The atom's chirality flag
// (SetChiral) is a property of the file formats and is not touched.
bool QvSetAtomStereo(QvAtomBase& atom, std::span<const QvAtomBase* const> nbrs, QvChirality chirality);
// The configuration seen along `nbrs` (same rules), or None when the atom has
// none or the list does not match the atom's neighbours.
QvChirality QvGetAtomStereo(const QvAtomBase& atom, std::span<const QvAtomBase* const> nbrs);
bool QvHasAtomStereo(const QvAtomBase& atom);
void QvClearAtomStereo(QvAtomBase& atom);

enum class QvBondConfig : unsigned { None = 0, Cis = 1, Trans = 2 };

// Records whether `ref_bgn` (a neighbour of the bond's begin atom other than
// its end) and `ref_end` (likewise at the end atom) lie on the same side of
// the double bond. A null reference stands for the implicit hydrogen of that
// end. False, changing nothing, for references that are not such neighbours,
// for an end with more than two other connections, or for None.
bool QvSetBondStereo(QvBondBase& bond, const QvAtomBase* ref_bgn, const QvAtomBase* ref_end, QvBondConfig config);
// The configuration seen from the two references, or None.
QvBondConfig QvGetBondStereo(const QvBondBase& bond, const QvAtomBase* ref_bgn, const QvAtomBase* ref_end);
bool QvHasBondStereo(const QvBondBase& bond);
void QvClearBondStereo(QvBondBase& bond);

// Enhanced stereo groups of the MDL and CXSMILES formats: an absolute centre
// (MDL ABS, CX "a"), or a member of a numbered group of centres whose
// configurations are known only relative to each other (MDL OR, CX "o") or
// that is a racemic mixture (MDL AND, CX "&").
enum class QvStereoGroupKind : unsigned { None = 0, Absolute = 1, Or = 2, And = 3 };
struct QvStereoGroup {
  QvStereoGroupKind kind = QvStereoGroupKind::None;
  unsigned number = 0;  // 1 and up for Or and And; 0 for Absolute
  bool operator==(const QvStereoGroup&) const = default;
};
// False for None, for Or/And with number 0 or Absolute with a number.
bool QvSetStereoGroup(QvAtomBase& atom, QvStereoGroup group);
QvStereoGroup QvGetStereoGroup(const QvAtomBase& atom);
void QvClearStereoGroup(QvAtomBase& atom);

// Removes every atom and bond configuration and stereo group of `mol` and
// clears perception bits 4 and 8.
void QvClearStereo(QvMolBase& mol);

}  // namespace Tamrin
