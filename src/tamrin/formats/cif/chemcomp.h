// Ligand definitions: a CIF data block describing one chemical component
// (_chem_comp, _chem_comp_atom, _chem_comp_bond), as the archive's component
// dictionary and monomer libraries write them, read as one molecule.
#pragma once

namespace Tamrin {

namespace cifdoc {
struct Block;
}
class QvMolBase;

// Title: the component id (else the block name). Atoms: element, name,
// formal charge; coordinates from the ideal set, else the model set, else the
// plain x, y, z of monomer libraries. Bonds with their orders (aromatic and
// delocalised ones kekulized) and aromatic flags. False, after saying why,
// for a block without atoms or with a bond to an atom it does not list.
bool QvReadChemCompBlock(const cifdoc::Block& block, QvMolBase& mol);

// Molecule data the reader sets, so that the steps after reading treat the
// molecule as one whose bonds are given; removed by those steps.
inline constexpr const char* kQvChemCompTag = "__CIF_CHEM_COMP__";

}  // namespace Tamrin
