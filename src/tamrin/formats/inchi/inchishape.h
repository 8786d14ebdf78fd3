// A check of InChI strings before they reach the InChI library, whose
// parser (version 1.03) reads and writes past its buffers, frees what it
// does not own or allocates without bound on some malformed strings: a
// repeated layer, a connection layer that leaves out atoms of its
// component, layers whose parts do not match the formula's components,
// huge counts. The check is of shape only; chemistry is the library's.
#pragma once

#include <string_view>

namespace Tamrin {

// Whether `text` is shaped as an InChI: "InChI=1S/" or "InChI=1/"; a
// formula of components joined by '.', each an optional multiplier of 2
// or more and element symbols with counts of 2 or more; then layers, each
// its letter and characters of InChI layers only, in their order within
// the main, isotopic (/i), fixed-H (/f) and reconnected (/r) parts; the
// main connection, hydrogen and charge layers with one part per component
// (parts joined by ';', "k*" standing for k of them); each connection part
// a walk naming every heavy atom of its component (1 to n) and nothing
// else, empty for a component of one heavy atom, and present whenever a
// component has more; numbers of at most four digits, without leading
// zeros.
bool QvLooksLikeInChI(std::string_view text);

}  // namespace Tamrin
