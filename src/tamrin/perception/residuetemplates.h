// The heavy-atom graphs of the standard residues that residue perception
// recognises: amino-acid side chains (from CB) and nucleotide bases (from
// the nitrogen bonded to C1'), each atom with its PDB name.
#pragma once

#include <span>
#include <string_view>

namespace Tamrin::residue_templates {

// One atom: its name (as the PDB columns 13-16 hold it), element, the index
// of the template atom it hangs from (-1: the anchor outside the template,
// CA or C1'), and a second template atom it is bonded to (-1: none; -2: the
// backbone N, which closes the proline ring).
struct Atom {
  std::string_view name;
  unsigned element;
  int parent;
  int closure = -1;
};

struct Residue {
  std::string_view name;    // L-amino acid or nucleotide name
  // The other name: of the D-amino acid, or of the RNA nucleotide (a base
  // record's `name` is the DNA one); "" where there is none.
  std::string_view other_name;
  std::span<const Atom> atoms;
};

std::span<const Residue> AminoAcids();
std::span<const Residue> Bases();

}  // namespace Tamrin::residue_templates
