// Kekulization: single and double orders for aromatic bonds whose order is
// not resolved yet.
#pragma once

#include <vector>

#include "tamrin/perception/graphview.h"

namespace Tamrin {

class QvMolBase;

// The bond order that marks an aromatic bond still waiting for kekulization.
inline constexpr unsigned kQvAromaticOrder = 5;

// Gives every undeleted bond of order kQvAromaticOrder the order 1 or 2 so
// that each atom's valence works out; other bonds are unchanged.
//
// An atom of these bonds needs exactly one double bond when its valence (sum
// of its other bonds' orders, one per unresolved bond, implicit hydrogens)
// falls short of its lowest standard valence not below it. Standard
// valences are those of the isoelectronic neutral element (N+ counts as C,
// O+ and S+ as N and P, C- as N, N- as O, B- as C, C+ as B): B 3; C 4; N, P,
// As 3 or 5; O 2; S, Se, Te 2, 4 or 6. So pyridine n needs one, pyrrole [nH],
// furan o and thiophene s need none, and the carbon of c(=O) needs none.
// The double bonds are a perfect matching of the atoms that need one over the
// unresolved bonds, found greedily and completed with augmenting paths
// (Edmonds' blossoms, since aromatic graphs have odd rings); wildcard atoms
// take a double bond only when that is needed to complete the matching.
// Near-linear for real molecules (the greedy pass leaves few augmentations).
//
// Returns false when no such assignment exists (for example "c1cccc1" or a
// pyrrole written without its hydrogen); the bonds then still get orders 1
// and 2 from the largest matching found, and the caller reports the failure.
// Aromatic flags and perception bits are left as they were.
// Bonds with an empty end are not touched.
bool QvKekulize(QvMolBase& mol);

// The same on orders held apart from the molecule (by bond position of `g`),
// for passes that need a Kekulé form without changing the molecule.
bool QvKekulizeOrders(const QvGraphView& g, std::vector<unsigned>& orders);

}  // namespace Tamrin
