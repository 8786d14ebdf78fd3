// Residue perception: the place of each atom in a macromolecule (residue,
// chain, fragment, model), as PDB and the other residue formats write it.
#pragma once

#include "tamrin/model/perceived.h"

namespace Tamrin {

class QvMolBase;

// Brings the residue data of a molecule into the shape the residue formats
// write (QvPerceivedResidues records that it has been done; without `force`
// a molecule that has the bit is left alone):
// - fragment numbers: a new fragment starts where the chain or model
//   changes, and where a hetero residue follows a polymer residue that it is
//   not bonded to (the ligands and waters after a chain), so writers put TER
//   records where the file had them and a modified residue inside a chain
//   (MSE, HETATM but bonded) does not split it;
// - hetero flags: residues with a standard amino-acid or nucleotide name are
//   polymer, all others hetero;
// - serial numbers for atoms that have none (0): one past the previous
//   atom's, and one more after a fragment change, which its TER record
//   takes.
// Atoms without residue data are left alone.
void QvPerceiveResidueHierarchy(QvMolBase& mol, bool force);

}  // namespace Tamrin

namespace Tamrin {

// What QvPerceiveResidues looks for; 4095 (every bit) asks for all of it.
namespace QvResidueOption {
inline constexpr unsigned AminoAcids = 0x1;    // the 20 standard residues, L and D, termini, disulfides
inline constexpr unsigned NucleicAcids = 0x2;  // DNA and RNA nucleotides
inline constexpr unsigned Hydrogens = 0x4;     // names for hydrogens on named heavy atoms
inline constexpr unsigned Hetero = 0x8;        // hetero residues for everything else
inline constexpr unsigned All = 0xFFF;
}  // namespace QvResidueOption

// Gives every atom residue data by recognising polymer residues in the bond
// graph, so a peptide or oligonucleotide read from SMILES or SD writes as a
// PDB entry: residue names (D-amino acids by their own names, from the 3D
// layout or the atom stereo), residues numbered from the N-terminus (5'
// end) in one chain per polymer strand, cyclic chains from their lowest
// atom, standard atom names (" N  ", " CA ", " OXT", " P  ", " O5'"), and
// each hydrogen named after its heavy atom ("1HB ", " HA "). Atoms of no
// polymer residue become hetero residues "UNL" (one per connected piece;
// "HOH" for water) with atom names from element and count. Replaces any
// residue data the molecule had; then runs the hierarchy pass. A tenth
// hydrogen on one atom stops hydrogen naming with "Can't create PDB name
// when there are more than 9 hydrogens on an atom.".
void QvPerceiveResidues(QvMolBase& mol, unsigned options = QvResidueOption::All);

}  // namespace Tamrin
