// Bond orders and formal charges for a molecule that has only connectivity
// (the whole-molecule reading step after bonds were found from coordinates).
#pragma once

#include <cstdint>
#include <vector>

namespace Tamrin {

class QvMolBase;

// Gives the bonds orders 1, 2 and 3 (a Kekulé form; aromaticity is the
// later aromaticity pass's business) and the atoms formal charges, so that
// a molecule read from bare coordinates comes out as a chemist draws it.
//
// Runs only on molecules whose undeleted bonds all have order 1 (nothing
// about orders is known yet); any other molecule is left alone, so formats
// that carry orders keep theirs.
//
// Two regimes, chosen by whether the molecule contains a hydrogen atom:
// - Hydrogens explicit: every hydrogen is an atom, so an atom's degree says
//   how many bond-order units it still needs (C of degree 3 one, of degree 2
//   two; N of degree 2 one, of degree 1 two; B of degree 1 or 2 one;
//   terminal O and S one; S of degree 3 one and of degree 4 two; P of
//   degree 4 one; Cl, Br, I of degree d >= 2 d - 1, as in perchlorate).
// - No hydrogen atom at all: the need comes from the geometry: planarity of
//   three-connected atoms, angles of two-connected ones, and bond lengths
//   relative to the sum of covalent radii (below 0.93 reads as multiple,
//   below 0.84 as triple; a terminal N below 0.90, since amino groups on
//   rings come at 0.93; from 0.97 on a bond is single). Atoms left short
//   get hydrogens from the implicit hydrogen step.
// The extra units are a maximum matching over copies of the atoms (one copy
// per unit, so two matched pairs on one bond make it triple), built in
// rounds so that carbon is satisfied before nitrogen, nitrogen before the
// hypervalent S and P centres and those before terminal O and S, which can
// carry a charge instead. Each round is seeded greedily in tiers of bond
// length (so geometry chooses between competing matchings: a carbonyl
// before its amide C-N) and completed with augmenting paths. After that, a
// three-connected N may take one more unit as N+ where that completes an
// atom left short (pyridinium, guanidinium, N-oxides of aromatic rings,
// whose N is tried first), and an N-oxide left as O− takes its N+ when an
// alternating path leads to another negative end; only then may bonds as
// long as single bonds (from 0.97, or any bond to an atom held by a metal)
// take a unit; a terminal O or S still short next to an unused
// three-connected N that bears another one pairs with it (nitro); and a
// two-connected N next to a one-connected atom may take a second unit
// (azide, diazo, isocyanide).
//
// Formal charges follow from each atom's bond-order sum v (bonds to metals
// not counted): N, P, As +1 at v = 4, −1 at v = 2 (P, As also −1 at 6); O +1
// at 3, −1 at 1; S, Se, Te +1 at 3, −1 at 1; B −1 at 4; halogens −1 at 0 and
// +1 at 2; a one-connected C at v = 3 is −1 (isocyanide). Without hydrogen
// atoms only the charges geometry proves are set: four-connected N+ and B−,
// N+ that took an extra unit, and beside such a cation a singly bonded
// terminal O or S or an atom that geometry calls multiply bonded but that
// was left short. In both
// regimes an atom with no bonds is an ion when its element says so: alkali
// metals +1, Mg Ca Sr Ba +2, halogens −1. Everything else stays neutral; an
// atom that cannot be satisfied is left short (a radical) rather than given
// an invented charge. Metals and other elements outside B, C, N, O, Si, P,
// S, As, Se, Te and the halogens keep single bonds and take no part.
//
// Sets no perception bit; the bond-order and charge changes clear the
// aromaticity bit. Linear in atoms and bonds apart from the augmenting paths
// (few: the greedy seed settles almost everything).
void QvAssignBondOrders(QvMolBase& mol);

// All that QvAssignBondOrders reads from the coordinates of a molecule that
// contains a hydrogen atom: the length tier of each bond, in list order. Two
// such molecules with the same atoms and the same bonds in the same order
// whose tiers agree get the same orders and charges, so a caller that has
// the result for one may keep it for the other. False, with `tiers` empty,
// for a molecule without hydrogens, whose angles count as well.
bool QvBondOrderLengthTiers(const QvMolBase& mol, std::vector<std::uint8_t>& tiers);

}  // namespace Tamrin
