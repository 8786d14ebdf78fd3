// The periodic table as readers and writers need it: symbols, standard atomic
// masses and covalent radii for atomic numbers 0 to QvMaxAtomicNum.
//
// Atomic number 0 is the wildcard atom: it has no symbol, no mass and no
// radius. Numbers above QvMaxAtomicNum are legal in a molecule (an atom may
// carry any number a file gave it) but have no entry here: their symbol is
// empty and their mass and radius are 0.
//
// Lookups are pure table reads, safe from any thread and independent of the
// locale, so readers may call them once per atom.
#pragma once

#include <array>
#include <string_view>

namespace Tamrin {

inline constexpr unsigned QvMaxAtomicNum = 118;

// The atomic number for an element symbol, or 0 when the text names none.
//
// Leading blanks and tabs are skipped; the first letter matches in either
// case and any further letters are taken as lower case, so "cl", "CL" and
// "Cl" all give 17. Elements above 100 are also found by their three-letter
// systematic placeholders ("Unq" for 104, "Uuo" for 118). Trailing blanks
// and tabs are allowed; any other text around the symbol gives 0.
unsigned QvGetAtomicNum(std::string_view symbol);
// A null pointer gives 0.
unsigned QvGetAtomicNum(const char* symbol);

// "C" for 6; "" for 0 and for numbers without an element.
const char* QvGetAtomicSymbol(unsigned atomic_num);

// Standard atomic weight in g/mol (IUPAC conventional values); for elements
// without stable isotopes the mass number of the longest-lived isotope.
double QvGetAtomicMass(unsigned atomic_num);

// Single-bond covalent radius in Ångström, for bond perception from
// coordinates.
double QvGetCovalentRadius(unsigned atomic_num);
// The same for atomic numbers 0 to QvMaxAtomicNum, as one table, for
// callers that look one up for every atom or bond.
const std::array<double, QvMaxAtomicNum + 1>& QvCovalentRadii();

}  // namespace Tamrin
