// Folding explicit hydrogen atoms into their heavy atoms' implicit counts.
#pragma once

namespace Tamrin {

class QvAtomBase;
class QvMolBase;

// The most hydrogens an atom's implicit count holds.
inline constexpr unsigned kQvMaxImplicitHydrogens = 255;

// Deletes each hydrogen atom that is an ordinary substituent and adds one to
// the implicit hydrogen count of the heavy atom it was bonded to. A hydrogen
// stays an atom when it carries a charge, a map index or a name, has no bond
// or more than one (bridging), its one bond is not single or goes to another
// hydrogen or to a wildcard atom, it has an isotope and `keep_isotopic` is
// set, or the heavy atom's count is already at its limit of 255. Tetrahedral and cis/trans stereo (stereo.h) that referred to a folded
// hydrogen is rewritten to refer to the implicit hydrogen instead, so the
// configuration is kept. The deleted records stay until QvMolBase::Sweep;
// perception bits that were set stay set (no ring, aromaticity or stereo
// changes). Returns how many hydrogens were folded. Linear in atoms + bonds.
unsigned QvSuppressHydrogens(QvMolBase& mol, bool keep_isotopic = false);

// The heavy atom that the hydrogen `h` folds into by that rule, or null when
// it stays an atom. The limit of kQvMaxImplicitHydrogens is the caller's to
// check, on its running count.
QvAtomBase* QvHydrogenFoldTarget(const QvAtomBase& h, bool keep_isotopic);

}  // namespace Tamrin
