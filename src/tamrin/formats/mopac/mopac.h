// MOPAC input decks (written only): a keywords line, a title line, a comment
// line, then one line per atom with its symbol and Cartesian coordinates,
// each followed by its optimisation flag. Several molecules make several
// decks, each after a blank line, as MOPAC reads consecutive jobs.
//
// Writing normally goes through QvWriteMolecule (the format's record is in
// mopacformat.cpp).
#pragma once

#include <string_view>

namespace Pellar {
class qvostream;
}

namespace Tamrin {

class QvMolBase;

// The output flavor bits of MOPAC.
namespace QvOFlavor::MOPAC {
// Implicit hydrogens written as atoms: MOPAC counts no implicit ones.
inline constexpr unsigned AddHydrogens = 0x1;
// Every coordinate flagged 1, to be optimised; without it 0, held fixed (and
// the default keywords ask for a single SCF calculation).
inline constexpr unsigned Optimise = 0x2;
}  // namespace QvOFlavor::MOPAC

// The SD data items (tagdata.h) that override the default keywords and the
// empty comment line.
inline constexpr std::string_view kQvMOPACKeywordsTag = "MOPAC_KEYWORDS";
inline constexpr std::string_view kQvMOPACCommentTag = "MOPAC_COMMENT";

// Writes one deck. The keywords are the molecule's MOPAC_KEYWORDS item, else
// "PM7" ("PM7 1SCF" without Optimise), with " CHARGE=n" added for a net
// formal charge n other than 0 when they do not name a charge already. The
// comment line is the MOPAC_COMMENT item. Line breaks within the three text
// lines become blanks. A molecule without coordinates (dimension 0, or every
// atom at the origin) is laid out in 2D first; wildcard atoms are written as
// MOPAC's dummy atom "XX".
void QvMOPACWriteFxn(Pellar::qvostream& out, const QvMolBase& mol, unsigned options);

}  // namespace Tamrin
