// Residue perception: the place of each atom in a macromolecule (residue,
// chain, fragment, model), as PDB and the other residue formats write it.
#pragma once

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
