// SMARTS text to query molecules and back.
//
// Accepted: atoms as organic-subset symbols (B C N O P S F Cl Br I, aromatic
// b c n o p s), '*', 'a', 'A' and bracket expressions; in brackets every
// element symbol (two letters are tried before one, so [Cl] is chlorine and
// [Rh] rhodium), #n, a mass number, H h D X v R r x with or without a
// number, charges (+ ++ +2 - -- -2), @ and @@, :n atom maps and $(...)
// nested queries, joined by ! & , ; with the usual precedence (! binds
// tightest, then '&' or adjacency, then ',', then ';'). Bonds: - = # : ~ @ /
// \ with the same operators; no symbol means single or aromatic. Branches,
// ring closures (digits, %nn and %(n)) and '.' between fragments.
// Component-level groups at the top level: the fragments inside one "(...)"
// must match in one component of the molecule, those of different groups in
// different ones ("(C.C)", "(C).(C)"; ungrouped fragments anywhere). Not
// accepted: reactions, with a message saying so.
//
// @ and @@ read as in SMILES: looking from the first neighbour written, the
// others anticlockwise or clockwise, ring closures at their digits. The
// fourth neighbour of an atom with three (its hydrogen, lone pair or an atom
// the query leaves out) counts right after the first, or first of all on an
// atom that opens its chain and names its hydrogen ([C@H](F)(Cl)Br). A bond
// written at both digits of a ring closure counts at the opening one; a / or
// \ written only at the closing digit reads from the closing atom.
//
// [H] alone, or H first in a bracket and followed only by a charge or a
// map ([H+], [2H:1]), is a hydrogen atom; anywhere else H counts hydrogens.
#pragma once

#include <string>
#include <string_view>

#include "tamrin/search/qmol.h"

namespace Tamrin {

// Replaces `query` by the parse of `text`. On bad input answers false, leaves
// `query` empty and sets `error` (when given) to a message naming the
// position (counted from 0) and showing the text with a caret under it.
bool QvParseSmarts(QvQMolBase& query, std::string_view text, std::string* error = nullptr);

// The query as SMARTS that parses back to the same atoms, bonds and
// expressions: atoms in order, each bracketed unless a bare symbol says the
// same, '&' written out.
std::string QvCreateSmarts(const QvQMolBase& query);

}  // namespace Tamrin
