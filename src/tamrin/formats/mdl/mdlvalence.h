// The MDL valence model: which valences an element may take, by formal
// charge, when an MDL connection table leaves its hydrogens implicit.
//
// A molfile normally lists no hydrogen counts; every reader and writer of
// the format derives them from one shared model so that a file round-trips
// with the same counts. The model works by isoelectronic shift: an atom of
// a main-group element with `e` valence electrons and charge `q` takes the
// valences of a neutral atom with e - q electrons, according to its period:
//
//   e - q          1    2    3      4      5      6        7
//   period 2       1    2    3      4      3,5    2        1
//   period 3       1    2    3      4      3,5    2,4,6    1,3,5,7
//   period 4       1    -    3      4      3,5    2,4,6    1,3,5,7
//   period 5       1    -    3      2,4    3,5    2,4,6    1,3,5,7
//   period 6       1    -    1,3    2,4    3,5    2,4,6    1,3,5,7
//
// (period 2 is B to F, 3 Al to Cl, 4 Ga to Br, 5 In to I, 6 Tl to At). So
// neutral C takes 4, N 3 or 5, O 2, S 2, 4 or 6, Cl 1, 3, 5 or 7; N+ takes 4
// like C; O- takes 1 like F; B- takes 4. Hydrogen and the alkali metals take
// 1 when neutral; the alkaline earths take 2 when neutral and 1 as cations.
// Every other element (noble gases, transition metals, lanthanides,
// actinides), and every charge outside the table, has no valence of its own:
// the atom keeps exactly the bonds it has and gets no hydrogens.
#pragma once

#include <span>

namespace Tamrin {

class QvAtomBase;

// The valences the model allows `atomic_num` with `formal_charge`, lowest
// first; empty when it allows none (see above).
std::span<const unsigned> QvMDLValences(unsigned atomic_num, int formal_charge);

// Default MDL valence of an element with a formal charge for a given explicit
// valence (sum of bond orders): the lowest allowed valence not below
// `explicit_valence`, or `explicit_valence` itself when none is.
unsigned QvMDLDefaultValence(unsigned atomic_num, int formal_charge, unsigned explicit_valence);

// Implicit hydrogens that the model gives the atom (default valence minus
// explicit valence, >= 0). The explicit valence is the sum of the orders of
// the atom's undeleted bonds; a bond still of the unresolved aromatic order
// (5) counts 1.5, the sum rounded down, so that c1ccccc1 carbons read 1.
// Radicals are not part of the atom record and are not considered here.
unsigned QvMDLImplicitHCount(const QvAtomBase& atom);

}  // namespace Tamrin
