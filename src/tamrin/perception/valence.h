// Standard valences of the organic subset, shared by the implicit hydrogen
// and kekulization passes.
#pragma once

#include <span>

namespace Tamrin {

// The valences of `atomic_num` with `charge`, lowest first; empty for
// elements and charges the rule does not cover. A charge of ±1 gives the
// valences of the isoelectronic neighbour: N+ and P+ 4; O+ 3; S+ 3 and 5;
// C+ 3; B+ 2; halogen+ 2; C- 3; N- and P- 2; O- and S- 1; B- 4; halogen- 0.
// Neutral: B 3; C 4; N, P, As 3 and 5; O 2; S, Se, Te 2, 4 and 6; F, Cl,
// Br, I 1.
std::span<const unsigned> QvStandardValences(unsigned atomic_num, int charge);

// The lowest standard valence not below `used`, or 0 when there is none.
unsigned QvTargetValence(unsigned atomic_num, int charge, unsigned used);

}  // namespace Tamrin
