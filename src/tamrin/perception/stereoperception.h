// Stereo perception: tetrahedral centres and cis/trans double bonds from 3D
// coordinates and from 2D coordinates with wedge marks; and the other way
// round, the wedge marks that carry a molecule's stored stereo
// (tamrin/perception/stereo.h) into a drawing. (MDL atom parities are the
// molfile's business: tamrin/formats/mdl/mdlparity.h.)
//
// Only true stereo elements get a configuration: the passes look at the
// candidates of QvFindStereoCandidates and leave every other atom and bond
// without one, whatever the layout or the file says.
//
// Wedge marks are bond data under Sorvil::QvBondStereoTag (an int): 2 = wedge
// (up) seen from the begin atom, 1 = hash (down), 5 = either (single bond),
// 6 = either cis/trans (double bond).
//
#pragma once

#include <functional>
#include <vector>

namespace Tamrin {

class QvAtomBase;
class QvBondBase;
class QvMolBase;

// Which atoms and bonds can carry stereo, indexed by GetIdx() (GetMaxAtomIdx()
// and GetMaxBondIdx() entries; deleted ones false).
//
// Atoms are compared through symmetry classes: element, isotope, charge,
// implicit hydrogens, degree and aromatic flag, refined by the classes of the
// neighbours and the bond orders (aromatic bonds as one kind) and by the
// configurations already stored on atoms and double bonds (read along
// neighbours of distinct classes, so that mirror-image branches differ)
// until stable, without breaking ties. The passes below look again after
// configuring what they found, so a carbon between an R and an S branch (C3
// of a meso pentane-2,3,4-triol) becomes a centre only when those branches
// are configured, and a double bond between a cis and a trans branch a
// cis/trans bond only when those are. A tetrahedral
// centre is
// - an atom with four connections counting at most one implicit hydrogen, or
//   three connections and one implicit hydrogen, whose four substituents lie
//   in four different classes (explicit hydrogens are all one class, the
//   implicit one among them);
// - an atom with three connections and a lone pair taking the fourth place:
//   a sulfoxide or selenoxide (S, Se with one double bond and valence 4), a
//   sulfonium or selenonium (three single bonds, charge +1), a phosphine or
//   arsine (three single bonds, neutral), or a neutral nitrogen with three
//   single bonds that cannot invert: in a three-membered ring, or at the
//   head of a bridge (two smallest rings through it share more than one
//   bond; a nitrogen at a ring fusion inverts);
// - an atom with exactly two ring bonds, to alike neighbours, whose other two
//   substituents differ from them and from each other (the 1- and 4-carbons
//   of a 1,4-disubstituted cyclohexane), when another such atom or a centre
//   of the first two kinds lies on one of its smallest rings;
// - a ring-fusion atom with two alike ring neighbours and a third across the
//   fusion that is a centre or such an atom too (cis- and trans-decalin);
//   the head of a bridge whose alike bridges lead further is none.
// Aromatic atoms are never centres. A cis/trans bond is a non-aromatic double
// bond in no ring of fewer than 8 atoms whose ends each have one or two other
// neighbours (counting implicit hydrogens; a nitrogen or phosphorus end may
// have one, not a hydrogen, and a lone pair), no other double or triple
// bond, and two substituents of different classes where there are two. An
// end may be an aromatic atom, the bond leaving its ring (the imine of a
// 2-iminothiadiazoline, a 5-ylidene-thiazolone).
// The wedge marks, as named values.
namespace QvWedge {
inline constexpr int Hash = 1;
inline constexpr int Up = 2;
inline constexpr int Either = 5;
inline constexpr int EitherDouble = 6;
}  // namespace QvWedge

struct QvStereoCandidates {
  std::vector<bool> atoms;
  std::vector<bool> bonds;
  // Whether some atom or bond was judged with two substituents alike, and
  // by atom index, the atoms that share their symmetry class with another.
  // A configuration set on an atom alone in its class, or on a double bond
  // whose ends are each alone in theirs, changes no class, so only one set
  // on a shared class can make more candidates, and only where substituents
  // were alike.
  bool alike_substituents = false;
  std::vector<bool> in_shared_class;
};
QvStereoCandidates QvFindStereoCandidates(const QvMolBase& mol);

// Replaces every atom and bond configuration by what the 3D coordinates show:
// the handedness of each candidate centre from the signed volume of its
// neighbours (the implicit hydrogen or lone pair placed opposite the others),
// the cis/trans of each candidate double bond from the dihedral of two
// substituents. A centre that is flat, or a double bond twisted to about 90
// degrees, is left without a configuration. Stereo groups of atoms that keep
// a configuration stay. Sets perception bits 4 and 8; the molecule's
// dimension is not checked (callers use it on 3D molecules).
void QvPerceiveStereoFrom3D(QvMolBase& mol);

// Replaces every atom configuration by what the 2D coordinates (x and y) and
// the wedge marks show. A mark counts for the bond's begin atom: 2 puts the
// other end above the plane, 1 below. A candidate centre gets a configuration
// when at least one of its bonds carries such a mark from it, none carries the
// "either" mark 5 from it, and the picture is not ambiguous (flat); the
// implicit hydrogen or lone pair goes opposite the others. With `options` bit
// 0x1, a mark whose begin atom is no centre counts for its end atom when that
// is one (seen from there the begin atom lies on the other side), for files
// drawn with the wide end of the wedge at the stereo centre. Sets bit 4.
void QvPerceiveAtomStereoFromWedges(QvMolBase& mol, unsigned options);

// Replaces the configuration of every double bond by its cis/trans in the
// coordinates (2D or 3D), leaving without one the non-candidates, bonds that
// carry the "either" mark 6, bonds for which `unspecified` returns true (an
// empty function excludes none) and bonds whose substituents lie on the bond
// axis or, in 3D, at about 90 degrees. Sets bit 8.
void QvPerceiveBondStereoFromCoords(QvMolBase& mol, const std::function<bool(const QvBondBase&)>& unspecified);

// Stereo as the coordinates show it: QvPerceiveStereoFrom3D for a 3D
// molecule; for a 2D one, the atoms from the wedge marks (options 0) and the
// double bonds from the drawing; nothing without coordinates.
void QvPerceiveStereoFromCoords(QvMolBase& mol);

// Wedge marks for writing a 2D depiction: removes the marks 1, 2 and 5 from
// every bond (and 6 from double bonds that have a configuration), then gives
// each configured candidate centre one wedge or hash on a single bond that
// starts at it (bond ends swapped when needed; the configurations are stored
// by neighbour index and do not change). Preferred are bonds out of rings, to
// atoms that are no centres, to hydrogens and to atoms of few neighbours;
// each bond is marked once. A centre whose depiction is flat on every usable
// bond stays unmarked (QvHasCorrectDepictionStereo then says false).
void QvAssignWedgeMarks(QvMolBase& mol);

// True when QvPerceiveAtomStereoFromWedges (options 0) would give every
// candidate centre exactly its stored configuration, and none to the
// candidates without one. Configurations stored on atoms that are no centres
// carry no meaning and are not looked at. Changes nothing.
bool QvHasCorrectDepictionStereo(const QvMolBase& mol);

}  // namespace Tamrin
