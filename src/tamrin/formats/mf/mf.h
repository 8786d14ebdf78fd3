// Molecular formulas: the element counts of a molecule in Hill order, with
// its net charge, as one line of text. Written only: a formula does not say
// how the atoms are joined.
#pragma once

#include <string>

namespace Tamrin {

class QvMolBase;

// The formula of `mol`, as the usual cheminformatics tools write it:
// - Carbon, then hydrogen, then the other elements with their symbols in
//   ASCII order (a wildcard atom, "*", before the letters). This is Hill
//   order for molecules with carbon; without carbon hydrogen still comes
//   first ("HCl", "H3N", "H2O"), as RDKit writes formulas.
// - A count of 1 is not written.
// - Hydrogens are those of the hydrogen atoms and the implicit counts;
//   isotopes are counted as their element ("[2H]C" gives "CH4").
// - The net formal charge follows: "+" or "-", then its size when above 1
//   ("C2H3O2-", "Fe+3"); a neutral molecule has none.
// An empty molecule gives "".
std::string QvMolecularFormula(const QvMolBase& mol);

}  // namespace Tamrin
