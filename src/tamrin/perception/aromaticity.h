// Aromaticity perception under the five models that the input flavors select.
//
// Every model works from a Kekulé structure: bond orders 1, 2 and 3, formal
// charges and implicit hydrogen counts (bonds still of order 5, aromatic but
// not yet resolved, are kekulized in scratch space first; the molecule's
// orders are never changed). Each ring atom is given a number of pi electrons
// from its element, charge, connections and double bonds (the table in
// aromaticity.cpp); a ring, or a fused union of rings where the model allows
// it, is aromatic when every atom has a count and their sum is 4n + 2. The
// rings are the smallest set of smallest rings (rings.h); ring membership is
// perceived first when bit QvPerceivedRings is not set.
//
// Summary of the models (the exact rules are documented next to the code):
//   2  Hückel over ring systems, the default after reading: single rings and
//      fused unions of up to four rings; exocyclic double bonds to more
//      electronegative atoms make the ring atom contribute 0 (2-pyridone is
//      aromatic, quinones are not); ions such as tropylium, the
//      cyclopentadienyl anion and pyridinium are aromatic. Boron never
//      counts; a ring triple bond (benzyne) or a valence above the lowest
//      (the S(=O) of a cyclic sulfinamide) disqualifies the atom; unions
//      join only rings that share one bond, never bridged ones. On the
//      99,999 molecules of a public drug-like set that RDKit reads, every
//      atom's flag agrees with RDKit's default model.
//   1  the toolkit's stricter model: as 2, but any exocyclic double bond
//      disqualifies the ring atom (2-pyridone is not aromatic).
//   3  the Tripos model of MOL2: single rings of 5 or 6 atoms only, no fused
//      unions, charged carbon and exocyclic double bonds disqualify.
//   4  a force-field model with arguments (maximum ring size, fused
//      propagation): rings of 5 to `arg` atoms; lone-pair donors only in
//      5-membered rings; with `flag`, a double bond into an already aromatic
//      ring counts, applied until nothing changes (both rings of any Kekulé
//      form of naphthalene); exocyclic double bonds and ions disqualify.
//   5  the MDL model: rings and fused unions in which every atom has exactly
//      one double bond and that bond is a ring bond: only rings of
//      alternating single and double bonds (no lone-pair donors, no
//      exocyclic double bonds), 4n + 2 atoms, whatever the Kekulé form.
#pragma once

namespace Tamrin {

class QvMolBase;

// An aromaticity model with the two extra arguments that model 4 takes.
struct QvAromaticityModel {
  unsigned model = 2;
  unsigned arg = 0;
  bool flag = false;
  bool operator==(const QvAromaticityModel&) const = default;
};

// Clears and then sets the aromatic flags of every undeleted atom and bond by
// `model` and sets perception bit QvPerceivedAromaticity (and
// QvPerceivedRings). An unknown model number clears the flags and leaves the
// bit unset. The single-number form gives model 4 its arguments 6 and true. Near-linear: the work is per ring, and fused unions are only
// tried inside a ring system.
void QvPerceiveAromaticity(QvMolBase& mol, const QvAromaticityModel& model);
void QvPerceiveAromaticity(QvMolBase& mol, unsigned model = 2);

}  // namespace Tamrin
