// SLN line notation, written only: the molecule's graph as one string that
// other toolkits' SLN parsers read back as the same molecule (stereo is not
// written).
#pragma once

#include <string>

namespace Tamrin {

class QvMolBase;

// The SLN string of `mol`:
// - Atoms by element symbol ("Any" for a wildcard), hydrogens always as a
//   count after the symbol ("CH3", "NH2", "OH"): an SLN atom without one has
//   none. Plain hydrogen atoms are folded into their neighbour's count.
// - Attributes in brackets after the symbol: the ring id, then after ":"
//   the isotope ("I=13") and the charge ("+", "-2"), joined by ";"
//   ("N[+]H4", "C[1:I=13]H2").
// - Bonds in Kekule form: none written for single ("-" before an atom whose
//   symbol begins with H, which would otherwise read as a hydrogen count),
//   "=", "#"; ":" for an aromatic bond a reader left without a Kekule order.
// - A depth-first walk: branches in parentheses, a ring closed by the id of
//   the atom it returns to ("C[1]H2CH2CH2@1"); ids are unique across the
//   whole string, disconnected parts joined by ".".
// An empty molecule gives "".
std::string QvSLNString(const QvMolBase& mol);

}  // namespace Tamrin
