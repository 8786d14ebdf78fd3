// The place of the lone pair among the written neighbours of a stereo centre
// with three connections and no hydrogen (sulfoxides, phosphines, sulfonium
// ions, ring nitrogens that cannot invert), shared by the parser and the
// writer so that what one writes the other reads back.
//
// The lone pair counts as the neighbour right after the first written one,
// also on an atom written first. The exception, one ring-closure digit on a
// centre whose three bonds are all single, reads with the opposite hand: that
// is how RDKit reads such centres (aziridines, oxaziridines, cyclic
// phosphines and sulfonium ions), checked on random atom orders of every such
// centre of the shared 100k set, while a centre with a double bond (a cyclic
// sulfoxide) or with two digits follows the plain rule there too.
#pragma once

namespace Tamrin {

inline bool QvLonePairFlipsHand(unsigned ring_digits, bool all_single) { return ring_digits == 1 && all_single; }

}  // namespace Tamrin
